// The host side of the plug-in contract: IGuiWorks (handed to the plug-in's
// Init) and IHostServices (created by the plug-in by class identifier), both
// forwarding to a HostFrontend that the main window implements. Toolkit-free
// so the contract is tested without windows.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "contract/HostInterfaces.h"

// What the host application offers behind its COM objects.
class HostFrontend {
public:
    virtual ~HostFrontend() = default;
    // A docked tool window named `name`; returns the client widget handle
    // that becomes the parent of the component dialog, null on refusal.
    virtual HWND createDockedWindow(const std::string& name) = 0;
    virtual bool debuggingActive() const = 0;
    virtual void setCommandState(int command, int state) = 0;
    // The folder that holds "Partdescriptionfiles".
    virtual std::string installDirectory() const = 0;
    // The target of the current debugging session (not AddRef'd); null
    // while the host does not debug.
    virtual ITargetAccess* target() = 0;
    virtual void writeMessage(int kind, const std::string& source, const std::string& prefix,
                              const std::string& text) = 0;
    virtual void createCategory(const std::string& name, int kind) = 0;
};

// The host objects reach the frontend through a shared link that the host
// cuts when it shuts down: the plug-in may keep its host objects longer than
// the windows behind them live, and calls then fail instead of crashing.
struct HostLink {
    HostFrontend* frontend = nullptr;
};
using HostLinkPtr = std::shared_ptr<HostLink>;

// Reference counting and IDispatch placeholders shared by the host objects.
template <typename Interface>
class HostObject : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT GetTypeInfoCount(uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(uint32_t, uint32_t, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, OLECHAR**, uint32_t, uint32_t, int32_t*) override {
        return E_NOTIMPL;
    }
    HRESULT Invoke(int32_t, REFIID, uint32_t, uint16_t, void*, void*, void*, uint32_t*) override {
        return E_NOTIMPL;
    }

protected:
    virtual ~HostObject() = default;
    HRESULT queryFor(REFIID iid, const IID& own, void** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == own) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class GuiWorks final : public HostObject<IGuiWorks> {
public:
    // Starts with one reference owned by the caller.
    explicit GuiWorks(HostLinkPtr link) : link_(std::move(link)) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        return queryFor(iid, IID_IGuiWorks, object);
    }
    HRESULT CreateDockedWindow(BSTR name, LONG a, LONG b, LONG c, LONG d, HINSTANCE instance,
                               HWND* window) override;
    HRESULT GetDebuggingActive(int16_t* active) override;
    HRESULT SetCommandState(LONG command, LONG state) override;
    HRESULT GetInstallDirectory(BSTR* directory) override;

private:
    HostLinkPtr link_;
};

class HostServices final : public HostObject<IHostServices> {
public:
    explicit HostServices(HostLinkPtr link) : link_(std::move(link)) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        return queryFor(iid, IID_IHostServices, object);
    }
    HRESULT GetNamedObject(BSTR name, const IID* iid, void** object) override;
    HRESULT WriteMessage(LONG kind, BSTR source, BSTR prefix, BSTR text) override;
    HRESULT CreateCategory(BSTR name, LONG kind) override;

private:
    HostLinkPtr link_;
};

// Registers the host-services class in this process's class table for as
// long as the registration object lives, so that CoCreateInstance with
// CLSID_HostServices (as the plug-in does in Init) reaches this host.
class HostServicesRegistration {
public:
    explicit HostServicesRegistration(HostLinkPtr link);
    ~HostServicesRegistration();
    HostServicesRegistration(const HostServicesRegistration&) = delete;
    HostServicesRegistration& operator=(const HostServicesRegistration&) = delete;
    HRESULT result() const { return result_; }

private:
    IClassFactory* factory_ = nullptr;
    DWORD cookie_ = 0;
    HRESULT result_ = E_FAIL;
};
