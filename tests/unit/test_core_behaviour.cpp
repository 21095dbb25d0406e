// Behaviour of the plug-in core that the project mended or chose and that
// a later change must not lose: Init's end state, the log prefix rule,
// instance counting, target detection, the clock under a decimal-comma
// locale, the pointer byte order and the single Stack view.
#include <memory>

#include "test_core_fixture.h"
#include "tests/support/CommaLocale.h"

namespace {

const std::string kPart = PartXml(Reg("PORTB", "$18"));

// A component window that only counts how often it was shown.
struct CountingWindow : IComponentWindow {
    explicit CountingWindow(int* shows) : shows_(shows) {}
    void Show() override { ++*shows_; }
    int* shows_;
};

}  // namespace

TEST_F(CoreTest, InitDisablesCommandsZeroToTenAndSetsTheDefaults) {
    view->UpdateRequest()->set(1);
    view->Vcc()->set(3.3);
    InitView();
    for (int command = 0; command <= kCmdAutostep; ++command) {
        EXPECT_EQ(works().commandStates[static_cast<size_t>(command)], kCommandDisabled) << command;
    }
    EXPECT_EQ(works().commandStates[kCmdAbout], memhost::InMemoryGuiWorks::kNeverSet);
    EXPECT_EQ(services().categories,
              (std::vector<std::pair<std::string, LONG>>{{kOutputSource, kCategoryKind}}));
    EXPECT_EQ(view->UpdateRequest()->get(), 0);
    EXPECT_DOUBLE_EQ(view->Vcc()->get(), 5.0);
    EXPECT_DOUBLE_EQ(view->AVcc()->get(), 5.0);
    EXPECT_DOUBLE_EQ(view->InternalReference()->get(), 2.56);
    EXPECT_DOUBLE_EQ(view->ExternalAref()->get(), 5.0);
    EXPECT_EQ(view->ExternalArefApplied()->get(), 0);
    EXPECT_FALSE(view->IsAttached());
    EXPECT_FALSE(view->IsSimulator());
    EXPECT_FALSE(view->IsAutostepActive());
    EXPECT_EQ(view->AdcModel(), nullptr);
}

TEST_F(CoreTest, LogPrefixesTheLabelAndDropsEmptyTexts) {
    InitView();
    view->Log("CLEDView::X()", "text");  // not attached: dropped
    EXPECT_TRUE(services().messages.empty());
    works().debugging = 1;
    ASSERT_TRUE(view->ConnectTarget());
    services().messages.clear();
    view->Log("CLEDView::X()", "labelled");
    view->Log("", "bare");
    view->Log("CLEDView::X()", "");
    ASSERT_EQ(services().messages.size(), 2u);
    EXPECT_EQ(services().messages[0].prefix, "CLEDView::X() -->");
    EXPECT_EQ(services().messages[0].source, kOutputSource);
    EXPECT_EQ(services().messages[0].kind, kMessageKind);
    EXPECT_EQ(services().messages[1].prefix, "");
    EXPECT_EQ(services().messages[1].text, "bare");
    // Trace: the same line under the trace's kind.
    view->Trace("CLEDView::X()", "traced");
    view->Trace("CLEDView::X()", "");
    ASSERT_EQ(services().messages.size(), 3u);
    EXPECT_EQ(services().messages[2].kind, kTraceMessageKind);
    EXPECT_EQ(services().messages[2].source, kOutputSource);
    EXPECT_EQ(services().messages[2].prefix, "CLEDView::X() -->");
}

TEST_F(CoreTest, InstanceCountOfAnIndexWithoutListCountsUp) {
    InitView();
    const int first = view->InstanceCount(42);
    EXPECT_EQ(view->InstanceCount(42), first + 1);
    EXPECT_EQ(view->InstanceCount(kCmdLed), 0);
    EXPECT_EQ(view->InstanceCount(kCmdStackView), 0);
}

TEST_F(CoreTest, ATargetNameInCapitalsIsTheSimulator) {
    target().targetName = "SIMULATOR";
    Session("Test", kPart);
    EXPECT_TRUE(view->IsSimulator());
    target().targetName = "JTAGICE";
    EXPECT_FALSE(view->Target_is_Simulator());
}

TEST_F(CoreTest, ClockTextsAreReadTheSameUnderADecimalCommaLocale) {
    target().frequency = "4.5";
    Session("Test", kPart);
    ScopedCommaLocale comma;
    ASSERT_TRUE(comma.active()) << "no de_DE locale (localedef, package locales)";
    EXPECT_DOUBLE_EQ(view->GetFrequency(), 4.5);
    view->General().clockPredefined = true;
    view->General().clockValue = "  3.686400";
    EXPECT_DOUBLE_EQ(view->ClockMHz(), 3.6864);
}

TEST(ClockChoice, PredefinedValueInUseAndItsTexts) {
    const ClockChoice detected = ChooseClock(false, "  4.000000", 16.0);
    EXPECT_DOUBLE_EQ(detected.inUseMHz, 16.0);
    EXPECT_FALSE(detected.differs());
    EXPECT_EQ(detected.inUseText(), "16.000000 MHz, the simulator's");
    EXPECT_EQ(detected.differenceText(), "");

    const ClockChoice other = ChooseClock(true, "  4.000000", 16.0);
    EXPECT_DOUBLE_EQ(other.inUseMHz, 4.0);
    EXPECT_TRUE(other.differs());
    EXPECT_EQ(other.inUseText(),
              "4.000000 MHz, predefined (the simulator runs at 16.000000 MHz)");
    EXPECT_NE(other.differenceText().find("16.000000 MHz"), std::string::npos);

    EXPECT_FALSE(ChooseClock(true, "16.000000", 16.0).differs());
    EXPECT_FALSE(ChooseClock(true, "fast", 16.0).predefined);  // no number: the simulator's
}

// A predefined clock other than the simulator's is reported when debugging
// starts and whenever either clock changes; an unchanged pair once.
TEST_F(CoreTest, ADifferingPredefinedClockIsReported) {
    auto reports = [this] {
        int n = 0;
        for (const auto& m : services().messages) n += m.text.find("predefined clock") != std::string::npos;
        return n;
    };
    GeneralSettings clock;
    clock.clockPredefined = true;
    clock.clockValue = "  4.000000";
    view->SetGeneral(clock);  // not debugging: nothing to say yet
    Session("Test", kPart);   // the simulator at 4 MHz too
    EXPECT_EQ(reports(), 0);

    clock.clockValue = "  8.000000";
    view->SetGeneral(clock);
    view->SetGeneral(clock);
    EXPECT_EQ(reports(), 1);
    target().frequency = "16";
    view->HandleEvent(kEventPartReset, nullptr);  // detects the simulator again
    EXPECT_EQ(reports(), 2);
    EXPECT_TRUE(services().HasText(ChooseClock(true, "8", 16.0).differenceText()));
    view->HandleEvent(kEventSessionEnded, nullptr);
    view->HandleEvent(kEventTargetReady, nullptr);  // a new session: said again
    EXPECT_EQ(reports(), 3);
    target().frequency = "8";
    view->HandleEvent(kEventPartReset, nullptr);  // now they agree
    EXPECT_EQ(reports(), 3);
}

TEST_F(CoreTest, PointersTakeTheHighByteFromTheOddRegister) {
    Session("Test", kPart);
    auto& r = target().Registers();
    r[26] = 0x34;  // XL
    r[27] = 0x12;  // XH
    r[28] = 0x78;
    r[29] = 0x56;
    r[30] = 0xBC;
    r[31] = 0x9A;
    // A refresh tells whoever shows the memory that it may have changed;
    // the memory and the pointers are read when it is shown.
    struct Shown {
        int reads = 0;
        void read() { ++reads; }
    } shown;
    CallOnWrite<Shown> observer(view->MemoryRead(), &shown, &Shown::read);
    const int readsBefore = target().reads;
    Refresh();
    EXPECT_EQ(shown.reads, 1);
    EXPECT_EQ(target().reads - readsBefore, 1);  // the I/O registers alone
    view->ReadMemoryView();
    EXPECT_EQ(view->PointerX(), 0x1234);
    EXPECT_EQ(view->PointerY(), 0x5678);
    EXPECT_EQ(view->PointerZ(), 0x9ABC);
}

TEST_F(CoreTest, TwoStackViewCommandsCreateOneWindowAndShowItTwice) {
    InitView();
    int made = 0, shows = 0;
    view->SetComponentFactory(kCmdStackView, [&](CLEDView*, int command, int dialog) {
        EXPECT_EQ(command, kCmdStackView);
        EXPECT_EQ(dialog, kCommands[kCmdStackView].dialogId);
        ++made;
        return std::make_unique<CountingWindow>(&shows);
    });
    EXPECT_EQ(view->ExecuteCommand(kCmdStackView), S_OK);
    EXPECT_EQ(view->ExecuteCommand(kCmdStackView), S_OK);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(shows, 2);
    EXPECT_TRUE(view->Windows(kCmdStackView).empty());
}
