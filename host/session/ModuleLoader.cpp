#include "host/session/ModuleLoader.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "platform/registry.h"
#include "platform/server.h"

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace

std::string RegisteredServerPath(const std::string& progId) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return {};
    std::string path;
    if (RegGetValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsid.toString() + "\\InprocServer32", "",
                    &path) != ERROR_SUCCESS) {
        return {};
    }
    return path;
}

std::string RegisterModule(const std::string& modulePath) {
    std::error_code ec;
    if (modulePath.empty() || !std::filesystem::is_regular_file(modulePath, ec)) {
        return "module " + (modulePath.empty() ? std::string("(none)") : modulePath) +
               " does not exist";
    }
    // The module stays loaded: CoCreateInstance finds it again by path, and
    // a module is never unloaded while the process may still use it.
    void* handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return std::string("cannot load ") + modulePath + ": " + dlerror();
    auto reg = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
    if (!reg) return modulePath + " exports no DllRegisterServer";
    HRESULT hr = reg();
    if (FAILED(hr)) return "DllRegisterServer of " + modulePath + " failed (" + hex(hr) + ")";
    return {};
}

PluginLoadResult LoadPlugin(const std::string& modulePath, bool forceModule) {
    PluginLoadResult result;
    std::error_code ec;
    std::string registered = RegisteredServerPath(kPluginProgId);
    bool usable = !registered.empty() && std::filesystem::is_regular_file(registered, ec);
    if (!usable || (forceModule && !sameFile(registered, modulePath))) {
        result.error = RegisterModule(modulePath);
        if (!result.error.empty()) return result;
        result.registeredNow = true;
        registered = RegisteredServerPath(kPluginProgId);
        if (registered.empty()) {
            result.error = "the module registered itself but the registry (" + RegistryFilePath() +
                           ") names no server for " + kPluginProgId;
            return result;
        }
    }
    result.modulePath = registered;

    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(kPluginProgId, &clsid);
    if (FAILED(hr)) {
        result.error = std::string("ProgID ") + kPluginProgId + " is not registered";
        return result;
    }
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IGuiPlugin,
                          result.plugin.putVoid());
    if (FAILED(hr) || !result.plugin) {
        result.plugin.reset();
        result.error = "cannot create " + std::string(kPluginProgId) + " from " + registered +
                       " (" + hex(hr) + ")";
        return result;
    }
    return result;
}
