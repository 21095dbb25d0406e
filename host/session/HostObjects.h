// The host side of the plug-in contract: IGuiWorks (handed to the plug-in's
// Init) and IHostServices (created by the plug-in by class identifier), both
// forwarding to a HostFrontend that the main window implements. Toolkit-free
// so the contract is tested without windows.
#pragma once

#include <memory>
#include <string>

#include "contract/HostInterfaces.h"
#include "platform/classfactory.h"
#include "platform/comobject.h"

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

class GuiWorks final : public DispatchObject<IGuiWorks, IID_IGuiWorks> {
public:
    // Starts with one reference owned by the caller.
    explicit GuiWorks(HostLinkPtr link) : link_(std::move(link)) {}

    HRESULT CreateDockedWindow(BSTR name, LONG a, LONG b, LONG c, LONG d, HINSTANCE instance,
                               HWND* window) override;
    HRESULT GetDebuggingActive(int16_t* active) override;
    HRESULT SetCommandState(LONG command, LONG state) override;
    HRESULT GetInstallDirectory(BSTR* directory) override;

private:
    HostLinkPtr link_;
};

class HostServices final : public DispatchObject<IHostServices, IID_IHostServices> {
public:
    explicit HostServices(HostLinkPtr link) : link_(std::move(link)) {}

    HRESULT GetNamedObject(BSTR name, const IID* iid, void** object) override;
    HRESULT WriteMessage(LONG kind, BSTR source, BSTR prefix, BSTR text) override;
    HRESULT CreateCategory(BSTR name, LONG kind) override;

private:
    HostLinkPtr link_;
    // The texts of the message being written, kept so that a plug-in that
    // writes a line per refresh costs no allocation per line; a message
    // written while one is being handed on uses texts of its own.
    std::string source_, prefix_, text_;
    bool writing_ = false;
};

// Makes the host-services objects of this host. Registered for
// CLSID_HostServices (ClassRegistration) so that CoCreateInstance, as the
// plug-in calls it in Init, reaches this host.
ClassRegistration::Creator HostServicesCreator(HostLinkPtr link);
