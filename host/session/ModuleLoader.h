// Finds and creates the plug-in the COM way: ProgID -> class identifier ->
// in-process server path in the registry, registering the module first when
// it is not registered (or its registered file is gone).
#pragma once

#include <string>
#include <vector>

#include "contract/HostInterfaces.h"
#include "platform/comobject.h"

struct PluginLoadResult {
    ComPtr<IGuiPlugin> plugin;   // null on failure
    std::string modulePath;      // the server the registry names
    bool registeredNow = false;  // DllRegisterServer was called
    std::string error;           // set when plugin is null
};

constexpr const char* kPluginProgId = "QuillComponents.LEDView";

// The in-process server path registered for `progId`; empty when the ProgID
// or its class is not registered.
std::string RegisteredServerPath(const std::string& progId);

// Registers the module at `modulePath` by loading it and calling its
// DllRegisterServer. Returns an explanation on failure, empty on success.
std::string RegisterModule(const std::string& modulePath);

// Creates the plug-in. `modulePath` is the module to register when the
// registry names none (or a missing file); with `forceModule` the module is
// registered whenever the registry names another file.
PluginLoadResult LoadPlugin(const std::string& modulePath, bool forceModule);
