#include "platform/server.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "platform/registry.h"

namespace {

struct Registration {
    CLSID clsid;
    IUnknown* factory;
    DWORD context;
};

// The process's class table and the in-process servers loaded so far.
// Loaded servers stay loaded for the life of the process.
struct ServerState {
    std::mutex mutex;
    std::map<DWORD, Registration> classes;
    DWORD nextCookie = 1;
    std::map<std::string, void*> modules;  // path -> dlopen handle
};

ServerState& serverState() {
    static ServerState s;
    return s;
}

// A factory registered in this process for clsid, with a reference added.
IUnknown* findRegisteredFactory(REFCLSID clsid, DWORD context) {
    ServerState& s = serverState();
    std::lock_guard<std::mutex> guard(s.mutex);
    for (auto& [cookie, entry] : s.classes) {
        if (entry.clsid == clsid && (entry.context & context)) {
            entry.factory->AddRef();
            return entry.factory;
        }
    }
    return nullptr;
}

// Loads (once) the in-process server at path and returns its
// DllGetClassObject, or null with *hr set.
DllGetClassObjectFn loadServer(const std::string& path, HRESULT* hr) {
    ServerState& s = serverState();
    void* module = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.mutex);
        auto it = s.modules.find(path);
        if (it != s.modules.end()) module = it->second;
    }
    if (!module) {
        // Loaded outside the lock: a module's static initialisation may
        // itself use the class table.
        module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = ::dlerror();
            std::fprintf(stderr, "CoGetClassObject: cannot load %s: %s\n", path.c_str(),
                         why ? why : "unknown error");
            *hr = CO_E_DLLNOTFOUND;
            return nullptr;
        }
        std::lock_guard<std::mutex> guard(s.mutex);
        s.modules.emplace(path, module);  // a second load of the same path is the same handle
    }
    auto entry = reinterpret_cast<DllGetClassObjectFn>(::dlsym(module, "DllGetClassObject"));
    if (!entry) {
        std::fprintf(stderr, "CoGetClassObject: %s exports no DllGetClassObject\n", path.c_str());
        *hr = CO_E_ERRORINDLL;
        return nullptr;
    }
    return entry;
}

}  // namespace

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags,
                              DWORD* cookie) {
    if (!factory || !cookie) return E_INVALIDARG;
    *cookie = 0;
    ServerState& s = serverState();
    factory->AddRef();
    std::lock_guard<std::mutex> guard(s.mutex);
    DWORD id = s.nextCookie++;
    s.classes.emplace(id, Registration{clsid, factory, context});
    *cookie = id;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    ServerState& s = serverState();
    IUnknown* factory = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.mutex);
        auto it = s.classes.find(cookie);
        if (it == s.classes.end()) return E_INVALIDARG;
        factory = it->second.factory;
        s.classes.erase(it);
    }
    factory->Release();  // outside the lock: the factory may revoke others as it goes
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IUnknown* factory = findRegisteredFactory(clsid, context)) {
        HRESULT hr = factory->QueryInterface(iid, object);
        factory->Release();
        return hr;
    }
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;

    std::string path;
    std::string key = "CLSID\\" + clsid.toString() + "\\InprocServer32";
    if (RegGetValue(HKEY_CLASSES_ROOT, key, "", &path) != ERROR_SUCCESS || path.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = S_OK;
    DllGetClassObjectFn entry = loadServer(path, &hr);
    if (!entry) return hr;
    hr = entry(clsid, iid, object);
    if (FAILED(hr)) *object = nullptr;
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr =
        CoGetClassObject(clsid, context, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (!factory) return E_UNEXPECTED;
    hr = factory->CreateInstance(outer, iid, object);
    factory->Release();
    if (FAILED(hr)) *object = nullptr;
    return hr;
}

HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid) {
    if (!clsid) return E_INVALIDARG;
    if (progId.empty() || progId.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
    std::string name = progId;
    // A ProgID names its class directly, or through CurVer the versioned
    // ProgID that does. Follow a few CurVer links, never a cycle.
    for (int hop = 0; hop < 4; ++hop) {
        std::string text;
        if (RegGetValue(HKEY_CLASSES_ROOT, name + "\\CLSID", "", &text) == ERROR_SUCCESS) {
            return GUID::parse(text, clsid) ? S_OK : CO_E_CLASSSTRING;
        }
        if (RegGetValue(HKEY_CLASSES_ROOT, name + "\\CurVer", "", &text) != ERROR_SUCCESS ||
            text.empty() || text.find('\\') != std::string::npos) {
            break;
        }
        name = text;
    }
    return CO_E_CLASSSTRING;
}
