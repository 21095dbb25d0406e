// Host access: attaching to the target, memory transfers, the target
// description, the output window and docked windows.
#include "test_core_fixture.h"

namespace {

class HostAccess : public CoreTest {
protected:
    void Attach() {
        InitView();
        works().debugging = 1;
        ASSERT_TRUE(view->ConnectTarget());
        services().messages.clear();
    }
};

}  // namespace

TEST_F(HostAccess, AttachesOnlyWhileTheHostIsDebuggingAndRetriesAfterFailure) {
    InitView();
    EXPECT_FALSE(view->ConnectTarget());  // not debugging

    works().debugging = 1;
    works().debuggingActiveResult = E_FAIL;
    EXPECT_FALSE(view->ConnectTarget());
    works().debuggingActiveResult = S_OK;

    services().getNamedObjectResult = E_FAIL;
    EXPECT_FALSE(view->ConnectTarget());
    EXPECT_FALSE(view->IsAttached());

    services().getNamedObjectResult = S_OK;
    EXPECT_TRUE(view->ConnectTarget());
    EXPECT_TRUE(view->IsAttached());

    // Already attached: no further request to the host.
    services().getNamedObjectResult = E_FAIL;
    EXPECT_TRUE(view->ConnectTarget());
}

TEST_F(HostAccess, RepeatedAttachingHoldsOneTargetReference) {
    InitView();
    works().debugging = 1;
    view->HandleEvent(7, nullptr);
    const ULONG held = target().RefCount();
    for (int i = 0; i < 5; ++i) view->HandleEvent(7, nullptr);
    EXPECT_EQ(target().RefCount(), held);
}

TEST_F(HostAccess, LogWritesPrefixedLinesOnlyWhileAttached) {
    InitView();
    view->Log("CLEDView::Test()", "not attached");
    EXPECT_TRUE(services().messages.empty());

    works().debugging = 1;
    view->ConnectTarget();
    services().messages.clear();
    view->Log("CLEDView::Test()", "with label");
    view->Log("", "without label");
    view->Log("CLEDView::Test()", "");
    ASSERT_EQ(services().messages.size(), 2u);
    const auto& first = services().messages[0];
    EXPECT_EQ(first.kind, 3);
    EXPECT_EQ(first.source, "QuillComponents");
    EXPECT_EQ(first.prefix, "CLEDView::Test() -->");
    EXPECT_EQ(first.text, "with label");
    EXPECT_EQ(services().messages[1].prefix, "");
    EXPECT_EQ(services().messages[1].text, "without label");
}

TEST_F(HostAccess, MemoryTransfersUseTheAgreedKindsAndRangesAndFailCleanly) {
    uint8_t io[64];
    std::fill(std::begin(io), std::end(io), 0xEE);
    InitView();
    EXPECT_FALSE(view->ReadIOMemory(io));  // not attached
    EXPECT_EQ(io[0], 0xEE);
    EXPECT_FALSE(view->WriteIOMemory(io));
    EXPECT_TRUE(target().writes.empty());

    works().debugging = 1;
    view->ConnectTarget();
    target().Io()[0x3F] = 0x80;
    ASSERT_TRUE(view->ReadIOMemory(io));
    EXPECT_EQ(io[0x3F], 0x80);

    std::vector<uint8_t> data(CLEDView::kDataMemorySize, 0);
    target().Sram()[0] = 0x11;
    target().Sram()[1023] = 0x22;
    ASSERT_TRUE(view->ReadDataMemory(data.data()));
    EXPECT_EQ(data[0], 0x11);
    EXPECT_EQ(data[1023], 0x22);

    uint8_t regs[32] = {};
    target().Registers()[31] = 0x33;
    ASSERT_TRUE(view->ReadRegisters(regs));
    EXPECT_EQ(regs[31], 0x33);

    io[5] = 0x55;
    ASSERT_TRUE(view->WriteIOMemory(io));
    ASSERT_EQ(target().writes.size(), 1u);
    EXPECT_EQ(target().writes[0].kind, kMemoryIo);
    EXPECT_EQ(target().writes[0].address, 0u);
    EXPECT_EQ(target().writes[0].bytes.size(), 64u);
    EXPECT_EQ(target().Io()[5], 0x55);

    // A failing read and a block shorter than asked leave the buffer as it
    // was; the short block is never read past its end.
    std::fill(std::begin(io), std::end(io), 0xEE);
    target().readFailure[kMemoryIo] = E_FAIL;
    EXPECT_FALSE(view->ReadIOMemory(io));
    target().readFailure.clear();
    target().shortReadBy = 1;
    EXPECT_FALSE(view->ReadIOMemory(io));
    EXPECT_EQ(io[0x3F], 0xEE);
    target().shortReadBy = 0;

    target().writeFailure[kMemoryIo] = E_FAIL;
    EXPECT_FALSE(view->WriteIOMemory(io));
}

TEST_F(HostAccess, CycleCounterNeedsExactlySOk) {
    Attach();
    target().cycleCounter = 1234;
    EXPECT_EQ(view->ReadCycleCounter(), 1234u);
    target().cycleCounterResult = S_FALSE;
    EXPECT_EQ(view->ReadCycleCounter(), 0u);
    target().cycleCounterResult = E_FAIL;
    EXPECT_EQ(view->ReadCycleCounter(), 0u);
}

TEST_F(HostAccess, TargetQueriesReadTheDescriptionAndFallBackToUnknown) {
    EXPECT_EQ(view->GetSelectedTarget(), "Unknown");  // not attached
    Attach();
    target().partName = "ATmega32";
    EXPECT_EQ(view->GetSelectedTarget(), "Simulator");
    EXPECT_EQ(view->GetSelectedPartname(), "ATmega32");
    ASSERT_EQ(services().messages.size(), 2u);
    EXPECT_EQ(services().messages[0].prefix, "CLEDView::GetSelectedTarget() -->");
    EXPECT_EQ(services().messages[0].text, "Simulator");
    EXPECT_EQ(services().messages[1].prefix, "CLEDView::GetSelectedPartname() -->");

    target().targetXmlResult = S_FALSE;  // only S_OK counts
    EXPECT_EQ(view->GetSelectedTarget(), "Unknown");
    target().targetXmlResult = S_OK;

    services().messages.clear();
    target().useXmlOverride = true;
    target().xmlOverride = "<TARGET><ADMIN><TARGET_NAME>Simulator</ADMIN>";
    EXPECT_EQ(view->GetSelectedTarget(), "Unknown");
    EXPECT_FALSE(view->Target_is_Simulator());
    ASSERT_FALSE(services().messages.empty());
    EXPECT_NE(services().messages[0].text.find("target description could not be read"),
              std::string::npos);

    target().xmlOverride = "<OTHER/><TARGET><SELECTED/></TARGET>";
    EXPECT_EQ(view->GetSelectedPartname(), "Unknown");
}

TEST_F(HostAccess, SimulatorIsRecognisedWhateverTheCase) {
    Attach();
    for (const char* name : {"Simulator", "SIMULATOR", "simulator"}) {
        target().targetName = name;
        EXPECT_TRUE(view->Target_is_Simulator()) << name;
    }
    for (const char* name : {"JTAGICE mkII", "Simulator2", ""}) {
        target().targetName = name;
        EXPECT_FALSE(view->Target_is_Simulator()) << name;
    }
    services().messages.clear();
    target().targetName = "Simulator";
    view->Target_is_Simulator();
    EXPECT_EQ(services().CountText("Simulator"), 1);  // the name is logged once per call
}

TEST_F(HostAccess, FrequencyFromTheTargetDescription) {
    EXPECT_DOUBLE_EQ(view->GetFrequency(), 1.0);  // not attached
    Attach();
    target().frequency = "4.5";
    EXPECT_DOUBLE_EQ(view->GetFrequency(), 4.5);
    target().frequency = " 7.3728 MHz";
    EXPECT_DOUBLE_EQ(view->GetFrequency(), 7.3728);
    target().frequency = "MHz 8";
    EXPECT_DOUBLE_EQ(view->GetFrequency(), 0.0);
    target().frequency = "";  // no FREQUENCY element
    EXPECT_DOUBLE_EQ(view->GetFrequency(), 1.0);
    target().frequency = "4.5";
    target().targetName = "JTAGICE";
    EXPECT_DOUBLE_EQ(view->GetFrequency(), 1.0);
}

TEST_F(HostAccess, HostDirectoryAndDockedWindowsGoThroughIGuiWorks) {
    InitView();
    works().installDirectory = "C:\\Program Files\\Atmel\\AVR Tools\\AvrStudio4";
    EXPECT_EQ(view->GetHostDirectory(), works().installDirectory);
    works().installDirectoryResult = E_FAIL;
    EXPECT_EQ(view->GetHostDirectory(), "");

    int widget = 0;
    works().dockedWindowFactory = [&](const std::string&, HWND* window) {
        *window = reinterpret_cast<HWND>(&widget);
        return S_OK;
    };
    HWND window = nullptr;
    CComBSTR name("abcdefghijkl");
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(&window);
    EXPECT_EQ(view->CreateDockedWindow(name.get(), 0, 0, 1, 216, instance, &window), S_OK);
    EXPECT_EQ(window, reinterpret_cast<HWND>(&widget));
    ASSERT_EQ(works().dockRequests.size(), 1u);
    const auto& r = works().dockRequests[0];
    EXPECT_EQ(r.name, "abcdefghijkl");
    EXPECT_EQ(std::vector<LONG>({r.a, r.b, r.c, r.d}), std::vector<LONG>({0, 0, 1, 216}));
    EXPECT_EQ(r.instance, instance);

    works().dockedWindowFactory = nullptr;
    EXPECT_EQ(view->CreateDockedWindow(name.get(), 0, 0, 1, 216, instance, &window), E_FAIL);
    EXPECT_EQ(window, nullptr);
}

TEST_F(HostAccess, RandomNamesDrawFromTheAlphabet) {
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    std::string a = view->RandomName(12, alphabet);
    std::string b = view->RandomName(12, alphabet);
    EXPECT_EQ(a.size(), 12u);
    EXPECT_EQ(a.find_first_not_of(alphabet), std::string::npos);
    EXPECT_NE(a, b);
    EXPECT_EQ(view->RandomName(5, "x"), "xxxxx");
    EXPECT_EQ(view->RandomName(5, ""), "");  // nothing to draw from
    EXPECT_EQ(view->RandomName(-1, alphabet), "");
}
