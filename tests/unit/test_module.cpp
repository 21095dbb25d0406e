// The module QuillComponents.so through its exported entry points, loaded
// the way a host loads it: registration writes and removes exactly its
// keys, the class factory serves only LEDView, and the module reports
// itself unloadable only when no object or lock is alive. Also: the type
// library description agrees with the module's constants.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/HostInterfaces.h"
#include "core/ModuleResources.h"
#include "platform/registry.h"
#include "platform/server.h"

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
        if (const char* v = std::getenv("QUILL_REGISTRY")) old_ = v;
        char pattern[] = "/tmp/quill-module-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("QUILL_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
        clsid_ = CLSID_LEDView.toString();
        libid_ = LIBID_QuillComponentsLib.toString();
    }
    void TearDown() override {
        if (old_) {
            ::setenv("QUILL_REGISTRY", old_->c_str(), 1);
        } else {
            ::unsetenv("QUILL_REGISTRY");
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path dir_;
    std::optional<std::string> old_;
    std::string clsid_, libid_;
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

TEST_F(ModuleTest, RegistrationIntoAnUnwritableRegistryFailsAndWritesNothing) {
    std::ofstream(dir_ / "plain") << "a file, not a directory";
    ::setenv("QUILL_REGISTRY", (dir_ / "plain" / "registry.reg").c_str(), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(FAILED(module().registerServer()));
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(classesRoot().empty());
}

TEST_F(ModuleTest, ARegisteredModuleIsCreatedByClassAndByProgId) {
    ASSERT_EQ(module().registerServer(), S_OK);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID("QuillComponents.LEDView", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_LEDView);
    ASSERT_EQ(CLSIDFromProgID("QuillComponents.LEDView.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_LEDView);

    IGuiPlugin* plugin = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IGuiPlugin,
                               reinterpret_cast<void**>(&plugin)),
              S_OK);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);
    CComBSTR setup;
    EXPECT_EQ(plugin->GetSetup(setup.out()), S_OK);
    EXPECT_EQ(setup.str().rfind("<GUI_PLUGIN>", 0), 0u) << setup.str();
    plugin->Release();
    EXPECT_EQ(module().canUnloadNow(), S_OK);

    // Once unregistered, the class is unknown again.
    ASSERT_EQ(module().unregisterServer(), S_OK);
    void* object = &object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_LEDView, nullptr, CLSCTX_INPROC_SERVER, IID_IGuiPlugin, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ModuleTest, TheClassFactoryServesOnlyLedView) {
    void* object = &object;
    EXPECT_EQ(module().getClassObject(CLSID_HostServices, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(module().getClassObject(CLSID_LEDView, IID_IClassFactory, nullptr), E_POINTER);
    object = &object;
    EXPECT_EQ(module().getClassObject(CLSID_LEDView, IID_IGuiPlugin, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(module().canUnloadNow(), S_OK);  // the refused factory is gone

    IClassFactory* factory = nullptr;
    ASSERT_EQ(module().getClassObject(CLSID_LEDView, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory)),
              S_OK);
    int outer = 0;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IGuiPlugin, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITargetAccess, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    factory->Release();
    EXPECT_EQ(module().canUnloadNow(), S_OK);  // the refused object was freed
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

TEST(ModuleResources, StringTableAndInstance) {
    EXPECT_EQ(LoadModuleString(IDS_PROJNAME), "QuillComponents");
    EXPECT_EQ(LoadModuleString(101), "");
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&LoadModuleString), &info), 0);
    EXPECT_EQ(static_cast<void*>(ModuleInstance()), info.dli_fbase);
    EXPECT_FALSE(ModuleFilePath().empty());
    EXPECT_EQ(ModuleFilePath().front(), '/');
}

// ---- The type library description against the module's constants

std::string normalise(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\s+)"), " ");
    text = std::regex_replace(text, std::regex(R"(^ | $)"), "");
    return text;
}

std::string attribute(const std::string& attributes, const std::string& name) {
    std::smatch m;
    std::regex pattern(name + R"re(\s*\(\s*"?([^")]*)"?\s*\))re");
    return std::regex_search(attributes, m, pattern) ? normalise(m[1].str()) : "<missing>";
}

TEST(TypeLibrary, DescriptionAgreesWithTheModule) {
    std::ifstream in(std::string(QUILL_SOURCE_DIR) + "/resources/QuillComponents.idl");
    ASSERT_TRUE(in) << "resources/QuillComponents.idl is missing";
    std::stringstream s;
    s << in.rdbuf();
    const std::string idl = std::regex_replace(s.str(), std::regex(R"(//[^\n]*)"), "");
    std::smatch m;

    ASSERT_TRUE(std::regex_search(idl, m, std::regex(R"(\[([^\]]*)\]\s*library\s+(\w+))")));
    EXPECT_EQ(m[2].str(), typelib::kLibraryName);
    GUID libid;
    ASSERT_TRUE(GUID::parse(attribute(m[1].str(), "uuid"), &libid));
    EXPECT_EQ(libid, LIBID_QuillComponentsLib);
    EXPECT_EQ(attribute(m[1].str(), "version"), std::to_string(typelib::kMajorVersion) + "." +
                                                    std::to_string(typelib::kMinorVersion));
    EXPECT_EQ(attribute(m[1].str(), "helpstring"), typelib::kHelpString);

    ASSERT_TRUE(std::regex_search(
        idl, m,
        std::regex(R"(\[([^\]]*)\]\s*coclass\s+(\w+)\s*\{\s*\[default\]\s*interface\s+(\w+))")));
    EXPECT_EQ(m[2].str(), typelib::kCoclassName);
    EXPECT_EQ(m[3].str(), "IGuiPlugin");
    GUID clsid;
    ASSERT_TRUE(GUID::parse(attribute(m[1].str(), "uuid"), &clsid));
    EXPECT_EQ(clsid, CLSID_LEDView);
    EXPECT_EQ(attribute(m[1].str(), "helpstring"), typelib::kCoclassHelpString);

    ASSERT_TRUE(std::regex_search(
        idl, m,
        std::regex(R"(\[([^\]]*)\]\s*interface\s+IGuiPlugin\s*:\s*IDispatch\s*\{([^}]*)\})")));
    GUID iid;
    ASSERT_TRUE(GUID::parse(attribute(m[1].str(), "uuid"), &iid));
    EXPECT_EQ(iid, IID_IGuiPlugin);
    EXPECT_TRUE(std::regex_search(m[1].str(), std::regex(R"(\bdual\b)")));
    const std::string body = m[2].str();
    std::vector<std::string> methods;
    std::regex method(R"(HRESULT\s+(\w+)\s*\(([^)]*)\))");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), method);
         it != std::sregex_iterator(); ++it) {
        methods.push_back((*it)[1].str() + "(" + normalise((*it)[2].str()) + ")");
    }
    EXPECT_EQ(methods, (std::vector<std::string>{
                           "GetSetup([out, retval] BSTR* xmlstring)",
                           "ExecuteCommand([in] long command)",
                           "HandleEvent([in] long eventnum, [in] BSTR eventtext)",
                           "Init([in] IDispatch* iGuiWorks)",
                           "SaveFile([in] BSTR filename, [out, retval] VARIANT_BOOL* ok)",
                           "Close()",
                       }));
}

}  // namespace
