#include <gtest/gtest.h>

#include "host/session/HostObjects.h"
#include "host/app/tests/FakeParts.h"
#include "platform/server.h"

namespace {

struct FakeFrontend : HostFrontend {
    HWND dockHandle = reinterpret_cast<HWND>(0x1234);
    std::vector<std::string> docks;
    bool debugging = false;
    std::map<int, int> states;
    std::string directory = "/opt/host";
    ITargetAccess* targetObject = nullptr;
    std::vector<std::string> lines;
    std::vector<std::string> categories;

    HWND createDockedWindow(const std::string& name) override {
        docks.push_back(name);
        return dockHandle;
    }
    bool debuggingActive() const override { return debugging; }
    void setCommandState(int command, int state) override { states[command] = state; }
    std::string installDirectory() const override { return directory; }
    ITargetAccess* target() override { return targetObject; }
    void writeMessage(int kind, const std::string& source, const std::string& prefix,
                      const std::string& text) override {
        lines.push_back(std::to_string(kind) + "|" + source + "|" + prefix + "|" + text);
    }
    void createCategory(const std::string& name, int) override { categories.push_back(name); }
};

struct HostObjectsTest : ::testing::Test {
    FakeFrontend frontend;
    HostLinkPtr link = std::make_shared<HostLink>(HostLink{&frontend});
};

TEST_F(HostObjectsTest, GuiWorksForwardsToTheFrontend) {
    auto* works = new GuiWorks(link);
    HWND window = nullptr;
    CComBSTR name("LED 2");
    EXPECT_EQ(works->CreateDockedWindow(name.get(), 0, 0, 1, 216, nullptr, &window), S_OK);
    EXPECT_EQ(window, frontend.dockHandle);
    EXPECT_EQ(frontend.docks, std::vector<std::string>{"LED 2"});

    frontend.dockHandle = nullptr;  // the frontend refuses
    window = reinterpret_cast<HWND>(1);
    EXPECT_TRUE(FAILED(works->CreateDockedWindow(name.get(), 0, 0, 1, 216, nullptr, &window)));
    EXPECT_EQ(window, nullptr);

    int16_t active = 7;
    EXPECT_EQ(works->GetDebuggingActive(&active), S_OK);
    EXPECT_EQ(active, 0);
    frontend.debugging = true;
    works->GetDebuggingActive(&active);
    EXPECT_EQ(active, 1);

    EXPECT_EQ(works->SetCommandState(kCmdSlider, kCommandEnabled), S_OK);
    EXPECT_EQ(frontend.states[4], 4);

    BSTR dir = nullptr;
    EXPECT_EQ(works->GetInstallDirectory(&dir), S_OK);
    EXPECT_EQ(BstrToAnsi(dir), "/opt/host");
    SysFreeString(dir);
    EXPECT_EQ(works->GetInstallDirectory(nullptr), E_POINTER);

    // Once the host has gone, calls fail instead of reaching freed windows.
    link->frontend = nullptr;
    EXPECT_TRUE(FAILED(works->GetDebuggingActive(&active)));
    EXPECT_TRUE(FAILED(works->SetCommandState(kCmdCapacityMeasurement, kCommandEnabled)));
    works->Release();
}

TEST_F(HostObjectsTest, TargetOnlyWhileDebuggingAndOnlyByItsName) {
    auto* services = new HostServices(link);
    auto* target = new NullTarget();
    CComBSTR avr("AVRTARGET"), other("OTHER");
    void* object = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(services->GetNamedObject(avr.get(), &IID_ITargetAccess, &object)));
    EXPECT_EQ(object, nullptr);

    frontend.targetObject = target;
    EXPECT_EQ(services->GetNamedObject(other.get(), &IID_ITargetAccess, &object), E_INVALIDARG);
    EXPECT_EQ(services->GetNamedObject(avr.get(), &IID_IGuiWorks, &object), E_NOINTERFACE);
    ASSERT_EQ(services->GetNamedObject(avr.get(), &IID_ITargetAccess, &object), S_OK);
    EXPECT_EQ(object, static_cast<ITargetAccess*>(target));
    EXPECT_EQ(target->Release(), 1u);  // the reference the call handed out
    EXPECT_EQ(services->GetNamedObject(avr.get(), nullptr, &object), E_POINTER);
    target->Release();
    services->Release();
}

TEST_F(HostObjectsTest, ClassTableRegistrationLastsAsLongAsItsObject) {
    {
        ClassRegistration registration(CLSID_HostServices, HostServicesCreator(link));
        ASSERT_EQ(registration.result(), S_OK);
        void* object = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_HostServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IHostServices, &object),
                  S_OK);
        auto* services = static_cast<IHostServices*>(object);
        CComBSTR name("Debugger");
        EXPECT_EQ(services->CreateCategory(name.get(), 0), S_OK);
        EXPECT_EQ(frontend.categories.back(), "Debugger");
        services->Release();
    }
    void* object = nullptr;
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_HostServices, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IHostServices, &object)));
}

}  // namespace
