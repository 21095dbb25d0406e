// The module's four exported in-process server entry points: the class
// factory of LEDView, the unload check, and registration in the registry.
#include <memory>
#include <string>

#include "components/ComponentWiring.h"
#include "contract/HostInterfaces.h"
#include "core/CLEDView.h"
#include "core/ModuleResources.h"
#include "framework/WindowMessages.h"
#include "platform/classfactory.h"
#include "platform/registry.h"
#include "platform/server.h"

#define QUILL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The counters of this module; the tag's internal linkage keeps them out of
// reach of other modules in the same process.
struct ThisModule {};
using Counter = ModuleCounter<ThisModule>;

// The plug-in object as the module hands it out: counted for the whole of
// its life, so that the module stays loaded while a host holds one.
class CountedLEDView final : public CLEDView, private CountedObject<Counter> {};

// The component windows' registered messages exist from the moment the
// module is loaded.
[[maybe_unused]] const bool g_messagesRegistered = (RegisterComponentMessages(), true);

IUnknown* CreateLEDView() {
    auto view = std::make_unique<CountedLEDView>();
    WireComponents(view.get());
    return static_cast<IGuiPlugin*>(view.release());
}

constexpr const char* kProgId = "QuillComponents.LEDView.1";
constexpr const char* kVersionIndependentProgId = "QuillComponents.LEDView";
constexpr const char* kClassKeyName = "LEDView";
constexpr const char* kClassVersionIndependentProgId = "QuillComponents";
constexpr const char* kThreadingModel = "Apartment";
// The platform name under which the library file is registered.
constexpr const char* kTypeLibPlatform = "linux64";

std::string classKey() { return "CLSID\\" + CLSID_LEDView.toString(); }
std::string typeLibKey() { return "TypeLib\\" + LIBID_QuillComponentsLib.toString(); }
std::string typeLibVersionKey() {
    return typeLibKey() + "\\" + std::to_string(typelib::kMajorVersion) + "." +
           std::to_string(typelib::kMinorVersion);
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Sets each value in turn; stops at the first failure.
class Writer {
public:
    void set(const std::string& key, const char* name, const std::string& data) {
        if (result_ == ERROR_SUCCESS) result_ = RegSetKeyValue(HKEY_CLASSES_ROOT, key, name, data);
    }
    void create(const std::string& key) {
        if (result_ != ERROR_SUCCESS) return;
        HKEY handle = nullptr;
        result_ = RegCreateKey(HKEY_CLASSES_ROOT, key, &handle);
        if (handle) RegCloseKey(handle);
    }
    bool ok() const { return result_ == ERROR_SUCCESS; }

private:
    LONG result_ = ERROR_SUCCESS;
};

bool registerClass(const std::string& modulePath) {
    const std::string clsid = CLSID_LEDView.toString();
    Writer w;
    // Each ProgID names its class, so that CLSIDFromProgID finds it.
    w.set(kProgId, "", typelib::kCoclassHelpString);
    w.set(std::string(kProgId) + "\\CLSID", "", clsid);
    w.set(kVersionIndependentProgId, "", typelib::kCoclassHelpString);
    w.set(std::string(kVersionIndependentProgId) + "\\CLSID", "", clsid);
    w.set(std::string(kVersionIndependentProgId) + "\\CurVer", "", kProgId);

    // The class key is written anew, without what an earlier registration
    // left in it.
    LONG removed = RegDeleteTree(HKEY_CLASSES_ROOT, classKey());
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) return false;
    const std::string key = classKey();
    w.set(key, "", kClassKeyName);
    w.set(key + "\\ProgID", "", kProgId);
    w.set(key + "\\VersionIndependentProgID", "", kClassVersionIndependentProgId);
    w.create(key + "\\Programmable");
    w.set(key + "\\InprocServer32", "", modulePath);
    w.set(key + "\\InprocServer32", "ThreadingModel", kThreadingModel);
    w.set(key + "\\TypeLib", "", LIBID_QuillComponentsLib.toString());
    return w.ok();
}

bool registerTypeLib(const std::string& modulePath) {
    const std::string key = typeLibVersionKey();
    Writer w;
    w.set(key, "", typelib::kHelpString);
    w.set(key + "\\0\\" + kTypeLibPlatform, "", modulePath);
    w.set(key + "\\FLAGS", "", "0");
    w.set(key + "\\HELPDIR", "", directoryOf(modulePath));
    return w.ok();
}

bool removeTree(const std::string& key) {
    LONG r = RegDeleteTree(HKEY_CLASSES_ROOT, key);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

// Removes the library's key once no version of it is left.
bool removeEmptyTypeLibKey() {
    HKEY key = nullptr;
    LONG r = RegOpenKey(HKEY_CLASSES_ROOT, typeLibKey(), &key);
    if (r == ERROR_FILE_NOT_FOUND) return true;
    if (r != ERROR_SUCCESS) return false;
    std::string name, data;
    bool empty = RegEnumKey(key, 0, &name) == ERROR_NO_MORE_ITEMS &&
                 RegEnumValue(key, 0, &name, &data) == ERROR_NO_MORE_ITEMS;
    RegCloseKey(key);
    return !empty || RegDeleteKey(HKEY_CLASSES_ROOT, typeLibKey()) == ERROR_SUCCESS;
}

}  // namespace

QUILL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(clsid == CLSID_LEDView)) return CLASS_E_CLASSNOTAVAILABLE;
    return ClassFactory<Counter>::Get(ClassFactory<Counter>::FromNew(&CreateLEDView), iid, object);
}

QUILL_EXPORT HRESULT DllCanUnloadNow() { return Counter::CanUnload() ? S_OK : S_FALSE; }

// Registers the class, its ProgIDs and the type library, all in one write:
// a failure leaves the registry as it was.
QUILL_EXPORT HRESULT DllRegisterServer() {
    const std::string modulePath = ModuleFilePath();
    if (modulePath.empty()) return SELFREG_E_CLASS;
    RegistryTransaction transaction;
    if (!registerClass(modulePath)) return SELFREG_E_CLASS;
    if (!registerTypeLib(modulePath)) return SELFREG_E_TYPELIB;
    return transaction.Commit() == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

// Removes what DllRegisterServer wrote; the CLSID key itself stays.
// Unregistering a module that is not registered succeeds.
QUILL_EXPORT HRESULT DllUnregisterServer() {
    RegistryTransaction transaction;
    bool ok =
        removeTree(kProgId) && removeTree(kVersionIndependentProgId) && removeTree(classKey());
    if (!ok) return SELFREG_E_CLASS;
    if (!removeTree(typeLibVersionKey()) || !removeEmptyTypeLibKey()) return SELFREG_E_TYPELIB;
    return transaction.Commit() == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}
