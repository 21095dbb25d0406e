#include <gtest/gtest.h>

#include "host/session/Debugger.h"
#include "host/app/tests/FakeParts.h"

namespace {

using Events = std::vector<LONG>;

struct DebuggerTest : ::testing::Test {
    RecordingPlugin plugin;
    Debugger debugger{&plugin};
    CountingMachine* machine = nullptr;

    void start() {
        auto m = std::make_unique<CountingMachine>();
        machine = m.get();
        debugger.start(std::move(m));
    }
};

TEST_F(DebuggerTest, SessionEventsAndTarget) {
    EXPECT_EQ(debugger.target(), nullptr);
    EXPECT_FALSE(debugger.stepInto());  // nothing to step
    start();
    EXPECT_EQ(plugin.events, (Events{kEventSessionStarted, kEventTargetReady, kEventHalted}));
    EXPECT_EQ(debugger.state(), Debugger::State::Halted);
    EXPECT_EQ(debugger.target(), machine->access);
    debugger.stop();
    EXPECT_EQ(plugin.events.back(), kEventSessionEnded);
    EXPECT_EQ(debugger.target(), nullptr);
    debugger.stop();  // a second stop sends nothing
    EXPECT_EQ(plugin.events.size(), 4u);
}

TEST_F(DebuggerTest, RunSlicesStopAtTheCycleLimitAndOnBreak) {
    start();
    plugin.events.clear();
    EXPECT_TRUE(debugger.beginRun());
    EXPECT_FALSE(debugger.stepInto());  // no stepping while running
    EXPECT_EQ(plugin.events, (Events{kEventRunStarted}));
    uint64_t done = debugger.runSlice(100, std::chrono::seconds(10));
    EXPECT_EQ(done, 50u);  // 2 cycles each
    EXPECT_EQ(plugin.events.size(), 51u);
    EXPECT_EQ(debugger.state(), Debugger::State::Running);
    debugger.breakRun();
    EXPECT_EQ(debugger.state(), Debugger::State::Halted);
    EXPECT_EQ(debugger.runSlice(1000, std::chrono::seconds(10)), 0u);
    EXPECT_EQ(machine->count, 50u);
}

// Slices within a frame of the last idle call leave it to a later one; the
// break that ends the run makes the pictures current at once.
TEST_F(DebuggerTest, ARunIdlesAtMostOncePerFrameAndAtItsBreak) {
    start();
    debugger.setRunIdleInterval(std::chrono::hours(1));
    ASSERT_TRUE(debugger.beginRun());
    const int before = plugin.idles;
    debugger.runSlice(10, std::chrono::seconds(10));
    EXPECT_EQ(plugin.idles, before + 1) << "the first slice of the frame";
    debugger.runSlice(20, std::chrono::seconds(10));
    debugger.runSlice(30, std::chrono::seconds(10));
    EXPECT_EQ(plugin.idles, before + 1);
    debugger.breakRun();
    EXPECT_EQ(plugin.idles, before + 2);
    debugger.breakRun();  // not running: nothing more
    EXPECT_EQ(plugin.idles, before + 2);

    // Without an interval every slice idles.
    debugger.setRunIdleInterval(std::chrono::steady_clock::duration::zero());
    ASSERT_TRUE(debugger.beginRun());
    debugger.runSlice(40, std::chrono::seconds(10));
    debugger.runSlice(50, std::chrono::seconds(10));
    EXPECT_EQ(plugin.idles, before + 4);
}

TEST_F(DebuggerTest, SliceEndsWhenItsTimeIsUp) {
    start();
    debugger.beginRun();
    uint64_t done = debugger.runSlice(UINT64_MAX, std::chrono::nanoseconds(0));
    // The clock is looked at every 256 instructions.
    EXPECT_EQ(done, 256u);
}

TEST_F(DebuggerTest, AFaultHaltsWithItsReason) {
    start();
    machine->stepsUntilFault = 3;
    debugger.beginRun();
    EXPECT_EQ(debugger.runSlice(UINT64_MAX, std::chrono::seconds(10)), 3u);
    EXPECT_EQ(debugger.state(), Debugger::State::Halted);
    EXPECT_EQ(debugger.lastFault(), "invalid opcode");
    EXPECT_FALSE(debugger.stepInto());
    EXPECT_FALSE(debugger.runCycles(10));
}

TEST_F(DebuggerTest, RunCyclesAndReset) {
    start();
    plugin.events.clear();
    EXPECT_TRUE(debugger.runCycles(9));
    EXPECT_EQ(machine->cycleCount, 10u);  // whole instructions: 5 x 2 cycles
    EXPECT_EQ(plugin.events, Events(5, kEventHalted));
    plugin.events.clear();
    EXPECT_TRUE(debugger.reset());
    EXPECT_EQ(machine->resets, 1);
    EXPECT_EQ(machine->cycleCount, 0u);
    EXPECT_EQ(plugin.events, (Events{kEventHalted}));  // the plug-in sees the count fall
    // A stop callback ends a long wait.
    int calls = 0;
    EXPECT_FALSE(debugger.runCycles(1u << 30, [&] { return ++calls < 3; }));
    EXPECT_EQ(machine->count, 5u + 3 * 1024);
}

// A run stops before the instruction at a breakpoint, with the same event
// 3 as after any instruction; the next run leaves it; script waits pass
// over breakpoints; clearing the set lets runs go on.
TEST_F(DebuggerTest, BreakpointsStopRunsButNotWaits) {
    quill::debugger::BreakpointSet breakpoints;
    breakpoints.add(20);  // reached after 10 instructions
    debugger.setBreakpoints(&breakpoints);
    start();
    plugin.events.clear();
    ASSERT_TRUE(debugger.beginRun());
    EXPECT_EQ(debugger.runSlice(UINT64_MAX, std::chrono::seconds(10)), 10u);
    EXPECT_EQ(debugger.state(), Debugger::State::Halted);
    EXPECT_TRUE(debugger.atBreakpoint());
    EXPECT_EQ(plugin.events.back(), kEventHalted);
    EXPECT_EQ(plugin.events.size(), 11u);  // 27, then 3 after each instruction
    EXPECT_EQ(debugger.runToBreakpoint(100), Debugger::RunEnd::Reached);
    EXPECT_FALSE(debugger.atBreakpoint());

    EXPECT_EQ(machine->count, 60u);
    breakpoints.add(400);
    EXPECT_TRUE(debugger.runCycles(1000));  // a wait: 500 instructions, past pc 400
    EXPECT_EQ(machine->count, 560u);
    breakpoints.add(1200);
    EXPECT_EQ(debugger.runToBreakpoint(1u << 20), Debugger::RunEnd::Breakpoint);
    EXPECT_EQ(machine->programCounter(), 1200u);
    breakpoints.clear();
    EXPECT_EQ(debugger.runToBreakpoint(100), Debugger::RunEnd::Reached);
}

// Refreshed after every instruction, a run sends event 3 from within the
// machine's run: a break asked for by a refresh ends the slice right after
// it, a breakpoint stops the run after its instruction's refresh, and a
// script's wait runs on over both.
TEST_F(DebuggerTest, ARunRefreshedAfterEachInstructionStopsWhereItsRefreshSays) {
    quill::debugger::BreakpointSet breakpoints;
    debugger.setBreakpoints(&breakpoints);
    debugger.setRefreshPolicy(RefreshPolicy::EveryInstruction);
    start();
    int halted = 0;
    debugger.setEventListener([&](LONG event) {
        if (event == kEventHalted && ++halted == 7) debugger.breakRun();
    });
    ASSERT_TRUE(debugger.beginRun());
    EXPECT_EQ(debugger.runSlice(UINT64_MAX, std::chrono::seconds(10)), 7u);
    EXPECT_EQ(machine->count, 7u);
    EXPECT_EQ(debugger.state(), Debugger::State::Halted);
    EXPECT_EQ(debugger.instructionsExecuted(), 7u);
    EXPECT_EQ(halted, 7);  // no refresh left to catch up

    breakpoints.add(30);  // the next instruction after the 15th
    ASSERT_TRUE(debugger.beginRun());
    EXPECT_EQ(debugger.runSlice(UINT64_MAX, std::chrono::seconds(10)), 8u);
    EXPECT_TRUE(debugger.atBreakpoint());
    EXPECT_EQ(halted, 15);
    EXPECT_EQ(debugger.refreshesSent(), debugger.instructionsExecuted() + 1);  // + the session's

    halted = 100;  // a wait is not a slice: nothing it refreshes ends it
    EXPECT_TRUE(debugger.runCycles(40));
    EXPECT_EQ(machine->count, 35u);
    EXPECT_EQ(halted, 120);
}

TEST_F(DebuggerTest, RestartEndsTheOldSessionFirst) {
    start();
    start();
    EXPECT_EQ(plugin.events,
              (Events{kEventSessionStarted, kEventTargetReady, kEventHalted, kEventSessionEnded,
                      kEventSessionStarted, kEventTargetReady, kEventHalted}));
}

}  // namespace
