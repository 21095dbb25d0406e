#include "host/session/HostObjects.h"

HRESULT GuiWorks::CreateDockedWindow(BSTR name, LONG, LONG, LONG, LONG, HINSTANCE, HWND* window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    HostFrontend* frontend = link_->frontend;
    if (!frontend) return E_UNEXPECTED;
    HWND handle = frontend->createDockedWindow(BstrToAnsi(name));
    if (!handle) return E_FAIL;
    *window = handle;
    return S_OK;
}

HRESULT GuiWorks::GetDebuggingActive(int16_t* active) {
    if (!active) return E_POINTER;
    HostFrontend* frontend = link_->frontend;
    if (!frontend) return E_UNEXPECTED;
    *active = frontend->debuggingActive() ? 1 : 0;
    return S_OK;
}

HRESULT GuiWorks::SetCommandState(LONG command, LONG state) {
    HostFrontend* frontend = link_->frontend;
    if (!frontend) return E_UNEXPECTED;
    if (command < 0) return E_INVALIDARG;
    frontend->setCommandState(command, state);
    return S_OK;
}

HRESULT GuiWorks::GetInstallDirectory(BSTR* directory) {
    if (!directory) return E_POINTER;
    *directory = nullptr;
    HostFrontend* frontend = link_->frontend;
    if (!frontend) return E_UNEXPECTED;
    std::string dir = frontend->installDirectory();
    if (dir.empty()) return E_FAIL;
    *directory = AnsiToBstr(dir);
    return *directory ? S_OK : E_OUTOFMEMORY;
}

HRESULT HostServices::GetNamedObject(BSTR name, const IID* iid, void** object) {
    if (!object || !iid) return E_POINTER;
    *object = nullptr;
    if (BstrToAnsi(name) != kTargetObjectName) return E_INVALIDARG;
    HostFrontend* frontend = link_->frontend;
    if (!frontend) return E_UNEXPECTED;
    ITargetAccess* target = frontend->target();
    if (!target) return E_FAIL;  // no debugging session, no target
    return target->QueryInterface(*iid, object);
}

HRESULT HostServices::WriteMessage(LONG kind, BSTR source, BSTR prefix, BSTR text) {
    HostFrontend* frontend = link_->frontend;
    if (!frontend) return E_UNEXPECTED;
    if (writing_) {
        frontend->writeMessage(kind, BstrToAnsi(source), BstrToAnsi(prefix), BstrToAnsi(text));
        return S_OK;
    }
    BstrToAnsi(source, &source_);
    BstrToAnsi(prefix, &prefix_);
    BstrToAnsi(text, &text_);
    writing_ = true;
    frontend->writeMessage(kind, source_, prefix_, text_);
    writing_ = false;
    return S_OK;
}

HRESULT HostServices::CreateCategory(BSTR name, LONG kind) {
    std::string category = BstrToAnsi(name);
    if (category.empty()) return E_INVALIDARG;
    HostFrontend* frontend = link_->frontend;
    if (!frontend) return E_UNEXPECTED;
    frontend->createCategory(category, kind);
    return S_OK;
}

ClassRegistration::Creator HostServicesCreator(HostLinkPtr link) {
    return [link](IUnknown** created) -> HRESULT {
        // A new host-services object starts with the one reference the
        // factory takes over.
        *created = static_cast<IHostServices*>(new HostServices(link));
        return S_OK;
    };
}
