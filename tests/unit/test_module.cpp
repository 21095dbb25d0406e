// The module QuillComponents.so through its exported entry points, loaded
// the way a host loads it: registration writes and removes exactly its
// keys, and the module reports itself unloadable only when no object or
// lock is alive.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "contract/HostInterfaces.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/server.h"
#include "tests/support/ScratchRegistry.h"

namespace fs = std::filesystem;

namespace {

const std::string kModulePath = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";

struct Module {
    void* handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    DllRegisterServerFn registerServer = nullptr;
    DllUnregisterServerFn unregisterServer = nullptr;
    std::string error;
};

// Loaded once and kept, as a host keeps it.
const Module& module() {
    static Module m = [] {
        Module m;
        m.handle = ::dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m.handle) {
            m.error = ::dlerror();
            return m;
        }
        m.getClassObject =
            reinterpret_cast<DllGetClassObjectFn>(::dlsym(m.handle, "DllGetClassObject"));
        m.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(m.handle, "DllCanUnloadNow"));
        m.registerServer =
            reinterpret_cast<DllRegisterServerFn>(::dlsym(m.handle, "DllRegisterServer"));
        m.unregisterServer =
            reinterpret_cast<DllUnregisterServerFn>(::dlsym(m.handle, "DllUnregisterServer"));
        return m;
    }();
    return m;
}

using Values = std::map<std::string, std::string>;
using Dump = std::map<std::string, Values>;  // key path below HKCR -> its values

void dumpKey(HKEY key, const std::string& path, Dump* out) {
    Values values;
    std::string name, data;
    for (DWORD i = 0; RegEnumValue(key, i, &name, &data) == ERROR_SUCCESS; ++i) {
        values[name.empty() ? "@" : name] = data;
    }
    if (!path.empty()) (*out)[path] = values;
    for (DWORD i = 0; RegEnumKey(key, i, &name) == ERROR_SUCCESS; ++i) {
        HKEY sub = nullptr;
        ASSERT_EQ(RegOpenKey(key, name, &sub), ERROR_SUCCESS);
        dumpKey(sub, path.empty() ? name : path + "\\" + name, out);
        RegCloseKey(sub);
    }
}

Dump classesRoot() {
    Dump d;
    dumpKey(HKEY_CLASSES_ROOT, "", &d);
    return d;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(module().handle, nullptr) << kModulePath << ": " << module().error;
        ASSERT_NE(module().getClassObject, nullptr);
        ASSERT_NE(module().canUnloadNow, nullptr);
        ASSERT_NE(module().registerServer, nullptr);
        ASSERT_NE(module().unregisterServer, nullptr);
    }

    ScratchRegistry registry_;
    const std::string clsid_ = CLSID_LEDView.toString();
    const std::string libid_ = LIBID_QuillComponentsLib.toString();
};

TEST_F(ModuleTest, RegisteringWritesExactlyTheClassProgIdAndTypeLibraryKeys) {
    ASSERT_EQ(module().registerServer(), S_OK);
    const std::string path = fs::canonical(kModulePath).string();
    const std::string cls = "CLSID\\" + clsid_;
    const std::string lib = "TypeLib\\" + libid_;
    const Dump expected = {
        {"QuillComponents.LEDView.1", {{"@", "LEDView Class"}}},
        {"QuillComponents.LEDView.1\\CLSID", {{"@", clsid_}}},
        {"QuillComponents.LEDView", {{"@", "LEDView Class"}}},
        {"QuillComponents.LEDView\\CLSID", {{"@", clsid_}}},
        {"QuillComponents.LEDView\\CurVer", {{"@", "QuillComponents.LEDView.1"}}},
        {"CLSID", {}},
        {cls, {{"@", "LEDView"}}},
        {cls + "\\ProgID", {{"@", "QuillComponents.LEDView.1"}}},
        {cls + "\\VersionIndependentProgID", {{"@", "QuillComponents"}}},
        {cls + "\\Programmable", {}},
        {cls + "\\InprocServer32", {{"@", path}, {"ThreadingModel", "Apartment"}}},
        {cls + "\\TypeLib", {{"@", libid_}}},
        {"TypeLib", {}},
        {lib, {}},
        {lib + "\\1.0", {{"@", "QuillComponents 1.0 Type Library"}}},
        {lib + "\\1.0\\0", {}},
        {lib + "\\1.0\\0\\linux64", {{"@", path}}},
        {lib + "\\1.0\\FLAGS", {{"@", "0"}}},
        {lib + "\\1.0\\HELPDIR", {{"@", fs::path(path).parent_path().string()}}},
    };
    EXPECT_EQ(classesRoot(), expected);

    // Registering again gives the same keys, and drops what an earlier
    // registration left in the class key.
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, cls + "\\Stale", "", "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, cls + "\\Programmable", "old", "x"), ERROR_SUCCESS);
    ASSERT_EQ(module().registerServer(), S_OK);
    EXPECT_EQ(classesRoot(), expected);
}

TEST_F(ModuleTest, UnregisteringRemovesItsKeysButKeepsTheClsidKeyAndOthers) {
    const std::string other = "CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32";
    const std::string otherLib = "TypeLib\\" + libid_ + "\\2.0";
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, other, "", "/other.so"), ERROR_SUCCESS);
    ASSERT_EQ(module().registerServer(), S_OK);
    ASSERT_EQ(module().unregisterServer(), S_OK);
    Dump left = classesRoot();
    EXPECT_EQ(left.count("CLSID"), 1u);
    EXPECT_EQ(left.count(other), 1u);
    EXPECT_EQ(left.count("QuillComponents.LEDView"), 0u);
    EXPECT_EQ(left.count("QuillComponents.LEDView.1"), 0u);
    EXPECT_EQ(left.count("CLSID\\" + clsid_), 0u);
    EXPECT_EQ(left.count("TypeLib\\" + libid_), 0u);

    // Another version of the library keeps the library's key.
    ASSERT_EQ(module().registerServer(), S_OK);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, otherLib, "", "v2"), ERROR_SUCCESS);
    ASSERT_EQ(module().unregisterServer(), S_OK);
    left = classesRoot();
    EXPECT_EQ(left.count(otherLib), 1u);
    EXPECT_EQ(left.count("TypeLib\\" + libid_ + "\\1.0"), 0u);

    // Unregistering what is not registered succeeds and changes nothing.
    Dump before = classesRoot();
    EXPECT_EQ(module().unregisterServer(), S_OK);
    EXPECT_EQ(classesRoot(), before);
}

// The LCD's blink timer and status texts need both messages; loading the
// module registers them.
TEST_F(ModuleTest, LoadingRegistersTheComponentWindowMessages) {
    EXPECT_NE(FindWindowMessage("BLINKCURSOR"), 0u);
    EXPECT_NE(FindWindowMessage("WM_CHANGESTATUSBAR"), 0u);
    EXPECT_EQ(FindWindowMessage("NEVER_REGISTERED"), 0u);
}

TEST_F(ModuleTest, MayUnloadOnlyWithoutObjectsOrLocks) {
    ASSERT_EQ(module().canUnloadNow(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(module().getClassObject(CLSID_LEDView, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);  // the factory's code is in use

    IGuiPlugin* first = nullptr;
    IDispatch* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IGuiPlugin, reinterpret_cast<void**>(&first)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&second)),
              S_OK);
    factory->Release();
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);  // two objects
    first->Release();
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);  // one object
    second->Release();
    EXPECT_EQ(module().canUnloadNow(), S_OK);

    // A lock outlives the factory that took it.
    ASSERT_EQ(module().getClassObject(CLSID_LEDView, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    factory->Release();
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);
    ASSERT_EQ(
        module().getClassObject(CLSID_LEDView, IID_IUnknown, reinterpret_cast<void**>(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);  // the factory itself
    factory->Release();
    EXPECT_EQ(module().canUnloadNow(), S_OK);
}

}  // namespace
