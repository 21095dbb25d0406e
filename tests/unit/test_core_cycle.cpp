// The debugger-event cycle: the event table, the register refresh and its
// notifications, write-back and reset detection.
#include <functional>

#include "test_core_fixture.h"

namespace {

const std::string kSimplePart =
    PartXml(Reg("PORTB", "$18") + Reg("DDRB", "$17") + Reg("PINB", "$16"),
            "<PACKAGES>[PDIP]</PACKAGES><PDIP>"
            "<PIN1><NAME>[PA0:ADC0]</NAME></PIN1>"
            "<PIN2><NAME>[PA1:ADC1]</NAME></PIN2></PDIP>");

// Records every notification of the 64 register subjects, in order.
class RegisterWatch {
public:
    explicit RegisterWatch(CLEDView* view) {
        for (int i = 0; i < 64; ++i) {
            hits_.push_back(std::make_unique<Hit>(Hit{i, &order}));
            observers_.push_back(std::make_unique<CallOnWrite<Hit>>(view->IORegister(i),
                                                                    hits_.back().get(), &Hit::hit));
        }
    }
    std::vector<int> order;

private:
    struct Hit {
        int index;
        std::vector<int>* order;
        void hit() { order->push_back(index); }
    };
    std::vector<std::unique_ptr<Hit>> hits_;
    std::vector<std::unique_ptr<CallOnWrite<Hit>>> observers_;
};

// Counts the changes of a byte subject.
struct ChangeCounter {
    explicit ChangeCounter(Value<uint8_t>* subject)
        : observer(subject, this, &ChangeCounter::changed) {}
    void changed() { ++count; }
    int count = 0;
    CallOnChange<ChangeCounter, uint8_t> observer;
};

class Cycle : public CoreTest {
protected:
    void SetUp() override { Session("Test", kSimplePart); }
};

}  // namespace

// ---- Event table

TEST_F(CoreTest, DebugStartAttachesDetectsTheSimulatorAndEnablesCommandsInOrder) {
    InitView();
    WritePart("Test", kSimplePart);
    const size_t before = works().commandStateCalls.size();
    StartDebugging("Test");
    EXPECT_TRUE(view->IsAttached());
    EXPECT_TRUE(view->IsSimulator());
    EXPECT_TRUE(services().HasText("Target: Simulator."));
    EXPECT_TRUE(services().HasText("Number of ADC Channels = 2"));
    EXPECT_TRUE(services().HasText("Mapped PORTB to adress $18 (24)."));
    // The mapping is trace; the target's verdict is not.
    for (const auto& m : services().messages) {
        if (m.text.starts_with("Mapped ")) {
            EXPECT_EQ(m.kind, kTraceMessageKind) << m.text;
        }
        if (m.text == "Target: Simulator.") {
            EXPECT_EQ(m.kind, kMessageKind);
        }
    }

    // Without a converter model the Slider stays off; the rest come on in
    // this order, and Settings and About are never touched.
    const std::vector<std::pair<LONG, LONG>> expected = {{4, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4},
                                                         {5, 4}, {7, 4}, {8, 4}, {9, 4}, {10, 4}};
    const auto& calls = works().commandStateCalls;
    std::vector<std::pair<LONG, LONG>> made(calls.begin() + static_cast<long>(before), calls.end());
    EXPECT_EQ(made, expected);

    // Step 4 asks for the target again after the part was read, before
    // enabling the commands: its name is logged once more, after the mapping.
    const std::vector<std::string> lines = services().Lines();
    long lastMapped = -1, lastTarget = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("Mapped ") != std::string::npos) lastMapped = static_cast<long>(i);
        if (lines[i] == "CLEDView::GetSelectedTarget() --> Simulator") {
            lastTarget = static_cast<long>(i);
        }
    }
    ASSERT_GE(lastMapped, 0);
    EXPECT_GT(lastTarget, lastMapped);
}

TEST_F(CoreTest, DebugStartOnAnotherTargetDisablesFunctions) {
    InitView();
    target().targetName = "JTAGICE mkII";
    const size_t before = works().commandStateCalls.size();
    StartDebugging();
    EXPECT_TRUE(view->IsAttached());
    EXPECT_FALSE(view->IsSimulator());
    EXPECT_TRUE(services().HasText("No simulator detected. Disabling functions."));
    ASSERT_EQ(works().commandStateCalls.size(), before + 1);
    EXPECT_EQ(works().commandStateCalls.back(), (std::pair<LONG, LONG>{4, 0}));

    // Refreshes do nothing while the target is not the simulator.
    const int reads = target().reads;
    view->HandleEvent(kEventHalted, nullptr);
    EXPECT_EQ(target().reads, reads);
    EXPECT_TRUE(target().writes.empty());
}

TEST_F(Cycle, AttachmentFollowsTheEvents) {
    for (LONG e : {6, 8, 102}) {
        view->HandleEvent(e, nullptr);
        EXPECT_FALSE(view->IsAttached()) << e;
        EXPECT_TRUE(view->IsSimulator()) << e;
        view->HandleEvent(kEventSessionStarted, nullptr);
        EXPECT_TRUE(view->IsAttached()) << e;
    }
    view->HandleEvent(kEventSessionEnded, nullptr);
    EXPECT_FALSE(view->IsAttached());
    EXPECT_FALSE(view->IsSimulator());

    view->HandleEvent(kEventReattach, nullptr);  // re-attach and detect
    EXPECT_TRUE(view->IsAttached());
    EXPECT_TRUE(view->IsSimulator());

    // Unknown events do nothing.
    const size_t lines = services().messages.size();
    for (LONG e : {0, 1, 2, 4, 5, 100, 105, -1}) EXPECT_EQ(view->HandleEvent(e, nullptr), S_OK);
    EXPECT_EQ(services().messages.size(), lines);
    EXPECT_TRUE(view->IsAttached());
}

// ---- Refresh

// The first refresh notifies every register in index order; later ones
// notify only the changed registers, and write the image back either way.
TEST_F(Cycle, RefreshesNotifyEveryRegisterFirstThenOnlyChangedOnes) {
    RegisterWatch watch(view);
    target().Io()[0x18] = 0x0F;
    Refresh();
    std::vector<int> all(64);
    for (int i = 0; i < 64; ++i) all[i] = i;
    EXPECT_EQ(watch.order, all);
    EXPECT_EQ(view->IORegister(0x18)->get(), 0x0F);
    for (int i = 0; i < 64; ++i) EXPECT_TRUE(view->IORegister(i)->notifyEnabled());
    EXPECT_FALSE(view->IsRefreshing());

    watch.order.clear();
    target().writes.clear();
    Refresh();
    EXPECT_TRUE(watch.order.empty());
    ASSERT_EQ(IoWrites().size(), 1u);
    EXPECT_EQ(IoWrites()[0].address, 0u);
    EXPECT_EQ(IoWrites()[0].bytes.size(), 64u);

    target().Io()[0x16] = 0x01;
    target().Io()[0x05] = 0x80;
    Refresh();
    EXPECT_EQ(watch.order, (std::vector<int>{0x05, 0x16}));

    // A failed read keeps the image: nothing changes, the image is still
    // written back.
    watch.order.clear();
    target().Io()[0x16] = 0x02;
    target().readFailure[kMemoryIo] = E_FAIL;
    target().writes.clear();
    Refresh();
    EXPECT_TRUE(watch.order.empty());
    EXPECT_EQ(IoWrites().size(), 1u);
    EXPECT_EQ(target().Io()[0x16], 0x01);
}

namespace {
// An input component: when PORTB changes it drives inputs, as a switch does.
struct OnPortB {
    std::function<void()> drive;
    void portChanged() { drive(); }
};
}  // namespace

TEST_F(Cycle, InputsSetDuringRefreshAreCollectedIntoOneWrite) {
    Refresh();
    OnPortB follower{[this] { view->IORegister(0x16)->set(view->IORegister(0x18)->get() ^ 0xFF); }};
    CallOnChange<OnPortB, uint8_t> watcher(view->IORegister(0x18), &follower,
                                           &OnPortB::portChanged);
    target().writes.clear();
    target().Io()[0x18] = 0x0F;
    Refresh();
    ASSERT_EQ(IoWrites().size(), 1u);  // not one per input change
    EXPECT_EQ(IoWrites()[0].bytes[0x16], 0xF0);
    EXPECT_EQ(target().Io()[0x16], 0xF0);

    // The component's own input does not come back as a change.
    RegisterWatch watch(view);
    Refresh();
    EXPECT_TRUE(watch.order.empty());

    // An input whose write failed is not taken for the target's value.
    target().writeFailure[kMemoryIo] = E_FAIL;
    target().Io()[0x18] = 0x3C;
    Refresh();
    EXPECT_EQ(view->IORegister(0x16)->get(), 0xC3);
    target().writeFailure.clear();
    Refresh();
    EXPECT_EQ(view->IORegister(0x16)->get(), 0xF0);
}

TEST_F(CoreTest, WithDirectAccessARefreshWritesBackOnlyWhatComponentsChanged) {
    // The host then holds the image it gave: nothing goes back when no
    // component changed a register, else the span from the first to the
    // last changed one.
    target().offerDirectAccess = true;
    Session("Test", kSimplePart);
    Refresh();
    target().writes.clear();
    Refresh();
    EXPECT_TRUE(IoWrites().empty());

    OnPortB inputs{[this] {  // two inputs
        view->IORegister(0x12)->set(0x5A);
        view->IORegister(0x16)->set(0xA5);
    }};
    CallOnChange<OnPortB, uint8_t> watcher(view->IORegister(0x18), &inputs, &OnPortB::portChanged);
    target().Io()[0x18] = 0x0F;
    Refresh();
    ASSERT_EQ(IoWrites().size(), 1u);
    EXPECT_EQ(IoWrites()[0].address, 0x12u);
    EXPECT_EQ(IoWrites()[0].bytes.size(), 5u);
    EXPECT_EQ(target().Io()[0x12], 0x5A);
    EXPECT_EQ(target().Io()[0x16], 0xA5);
    EXPECT_EQ(target().Io()[0x18], 0x0F);
}

TEST_F(Cycle, ChangesOutsideRefreshWriteOnlyTheChangedBitsOfTheRegister) {
    // Before the first refresh the registers do not notify, so nothing is
    // written.
    view->IORegister(0x18)->set(0x33);
    EXPECT_TRUE(IoWrites().empty());

    Refresh();
    target().writes.clear();
    // The program changed SREG and bit 7 of 0x12 since the last refresh
    // (a host that leaves refreshes out); a component then sets bit 0.
    target().Io()[0x3F] = 0x80;
    target().Io()[0x12] = 0x80;
    view->IORegister(0x12)->set(0x01);
    ASSERT_EQ(IoWrites().size(), 1u);
    EXPECT_EQ(IoWrites()[0].address, 0x12u);
    EXPECT_EQ(IoWrites()[0].bytes.size(), 1u);
    EXPECT_EQ(target().Io()[0x12], 0x81);  // read, modified, written
    EXPECT_EQ(target().Io()[0x3F], 0x80);  // nothing else reverted

    view->IORegister(0x12)->set(0x01);  // same value: no change, no write
    EXPECT_EQ(IoWrites().size(), 1u);

    // The next refresh shows the register as the target holds it.
    Refresh();
    EXPECT_EQ(view->IORegister(0x12)->get(), 0x81);
}

// The converter's flag goes into ADCSRA, found by name: at $06 on the
// old parts; a part without ADCSRA gets no flag anywhere.
TEST_F(CoreTest, AConverterFlagWrittenBackIsSeenByTheNextRefresh) {
    Session("Test", PartXml(Reg("ADCSRA", "$06") + Reg("PORTB", "$18")));
    Refresh();
    view->SetAdifPending();
    Refresh();
    EXPECT_EQ(target().Io()[0x06] & 0x10, 0x10);
    Refresh();
    EXPECT_EQ(view->IORegister(0x06)->get() & 0x10, 0x10);
}

TEST_F(Cycle, AConverterFlagOnAPartWithoutAdcsraChangesNothing) {
    Refresh();
    const size_t writes = IoWrites().size();
    const auto before = target().Io();
    view->SetAdifPending();
    Refresh();
    EXPECT_EQ(target().Io(), before);
    EXPECT_FALSE(view->IsAdifPending());
    EXPECT_EQ(IoWrites().size(), writes + 1);  // the usual write-back of the I/O space
}

// ---- Reset detection

// A failed read is not a reset: the count keeps its value and no component
// starts over.
TEST_F(Cycle, FailedCycleReadKeepsTheCountAndIsNoReset) {
    ChangeCounter updates(view->UpdateRequest());
    target().cycleCounter = 500;
    Refresh();
    target().cycleCounterResult = E_FAIL;
    Refresh();
    EXPECT_EQ(view->CycleCounter()->get(), 500u);
    EXPECT_EQ(updates.count, 0);
    EXPECT_EQ(services().CountText("RESET Detected."), 0);
}

// The 32-bit count wraps after 2^32 cycles: passing the wrap is time going
// on, while a fall shortly after the wrap is a reset: UpdateRequest toggles
// once.
TEST_F(Cycle, CountWrappingPast2To32IsNoResetButAFallIs) {
    ChangeCounter updates(view->UpdateRequest());
    target().cycleCounter = 0xFFFFFF00u;
    Refresh();
    target().cycleCounter = 0x00000100u;
    Refresh();
    EXPECT_EQ(updates.count, 0);
    EXPECT_EQ(services().CountText("RESET Detected."), 0);

    target().cycleCounter = 0x20000000u;
    Refresh();
    target().cycleCounter = 12;
    Refresh();
    EXPECT_EQ(updates.count, 1);
    EXPECT_EQ(view->UpdateRequest()->get(), 1);
    EXPECT_EQ(services().CountText("RESET Detected."), 1);
    EXPECT_TRUE(services().HasText("Request update (0 => 1)"));
}

// The count a host tells for the instructions it left out reaches the
// count's followers only when one of them acts on it: one due by then, or
// one that follows every count. Either way the reset detection sees the
// count step forward from there.
TEST_F(CoreTest, ALeftOutCountReachesOnlyTheFollowersItConcerns) {
    target().offerDirectAccess = true;
    Session("Test", kSimplePart);
    struct Follower {
        uint32_t due = 500;
        std::vector<uint32_t> calls;
        CycleCountValue* counter = nullptr;
        void call() { calls.push_back(counter->get()); }
        bool nextDue(uint32_t* at) const {
            *at = due;
            return true;
        }
    } follower;
    follower.counter = view->CycleCounter();
    CallWhenDue<Follower> due(view->CycleCounter(), &follower, &Follower::call,
                              &Follower::nextDue);
    target().cycleCounter = 100;
    Refresh();
    target().skippedCount = 300;
    target().cycleCounter = 310;
    Refresh();
    EXPECT_TRUE(follower.calls.empty());
    EXPECT_EQ(view->CycleCounter()->previous(), 300u);
    target().skippedCount = 600;
    target().cycleCounter = 610;
    Refresh();
    EXPECT_EQ(follower.calls, (std::vector<uint32_t>{600, 610}));
    // One that follows every count sees the left-out one too.
    struct Counts {
        CycleCountValue* counter = nullptr;
        std::vector<uint32_t> seen;
        void changed() { seen.push_back(counter->get()); }
    } counts{view->CycleCounter(), {}};
    CallOnChange<Counts, uint32_t> every(view->CycleCounter(), &counts, &Counts::changed);
    target().skippedCount.reset();
    Refresh();  // sets the filter with a follower of every count
    counts.seen.clear();
    target().skippedCount = 700;
    target().cycleCounter = 710;
    Refresh();
    EXPECT_EQ(counts.seen, (std::vector<uint32_t>{700, 710}));
    EXPECT_EQ(services().CountText("RESET Detected."), 0);
}

TEST_F(Cycle, RequestUpdateAlternatesAndEvent18RequestsOne) {
    services().messages.clear();
    view->Request_Update();
    view->Request_Update();
    ChangeCounter updates(view->UpdateRequest());
    view->HandleEvent(kEventPartReset, nullptr);
    EXPECT_EQ(updates.count, 1);
    std::vector<std::string> requests;
    for (const auto& m : services().messages) {
        if (m.prefix == "CLEDView::Request_Update() -->") requests.push_back(m.text);
    }
    EXPECT_EQ(requests,
              (std::vector<std::string>{"Request update (0 => 1)", "Request update (1 => 0)",
                                        "Request update (0 => 1)"}));
}
