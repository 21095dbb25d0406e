// The debug session on the simulator running the debugger's demo, built
// with DWARF, with STABS and stripped: run to a breakpoint, read and write
// variables, and what the program does with a written one; and what a
// program without line information still gives.
#include <gtest/gtest.h>

#include "host/debugger/tests/DemoSource.h"


#include "contract/HostProtocol.h"
#include "host/session/HostSetup.h"
#include "host/debugger/DebugSession.h"

namespace qd = quill::debugger;
using Outcome = qd::DebugSession::Outcome;

namespace {

using demo::kElf;

using demo::lineOf;

struct DebugSessionTest : ::testing::Test {
    Debugger debugger;
    qd::DebugSession session{debugger};

    void start(const std::string& firmware) {
        SessionConfig config;
        config.firmware = firmware;
        std::string error;
        std::unique_ptr<Machine> machine = SimulatorFactory()(config, &error);
        ASSERT_TRUE(machine) << error;
        session.load(firmware);
        debugger.start(std::move(machine));
    }
    uint8_t porta() {
        uint8_t value = 0;
        debugger.machine()->readMemory(kMemoryIo, 0x1B, &value, 1);
        return value;
    }
};

// The same steps on the DWARF and the STABS build.
struct BuildsTest : DebugSessionTest, ::testing::WithParamInterface<std::string> {};
INSTANTIATE_TEST_SUITE_P(Builds, BuildsTest, ::testing::Values(kElf, demo::kStabsElf),
                         [](const auto& p) { return p.param == kElf ? "Dwarf" : "Stabs"; });

TEST_P(BuildsTest, RunsToBreakpointsAndWritesVariables) {
    start(GetParam());
    EXPECT_EQ(session.programProblem(), "");
    ASSERT_EQ(session.addBreakpoint("tick").kind, Outcome::Ok);
    for (int pass = 1; pass <= 3; ++pass) {
        const Outcome o = session.runUntilBreak(100000, {});
        ASSERT_EQ(o.kind, Outcome::Ok) << o.message;
        EXPECT_EQ(session.expectSource("debug_demo.c", lineOf("counter++")).kind, Outcome::Ok);
        // tick() has not counted this pass yet.
        EXPECT_EQ(session.expectVariable("counter", pass - 1).kind, Outcome::Ok);
    }
    const Outcome wrongLine = session.expectSource("debug_demo.c", lineOf("PORTA = pattern"));
    EXPECT_EQ(wrongLine.kind, Outcome::Failed);
    EXPECT_NE(wrongLine.message.find(":" + std::to_string(lineOf("counter++"))),
              std::string::npos);

    // The program copies `pattern` to PORTA on its next pass.
    ASSERT_EQ(session.setVariable("pattern", 0xA5).kind, Outcome::Ok);
    ASSERT_EQ(session.setVariable("total", -2).kind, Outcome::Ok);  // 0xFFFE in two bytes
    EXPECT_EQ(session.expectVariable("total", 0xFFFE).kind, Outcome::Ok);
    EXPECT_EQ(session.expectVariable("total", -2).kind, Outcome::Ok);
    EXPECT_EQ(session.setVariable("pattern", 256).kind, Outcome::Error);  // does not fit
    ASSERT_EQ(session.runUntilBreak(100000, {}).kind, Outcome::Ok);
    EXPECT_EQ(porta(), 0xA5);
    EXPECT_EQ(session.expectVariable("total", 0xFFFE + 3).kind, Outcome::Failed);  // 16 bits wrap
    EXPECT_EQ(session.expectVariable("total", 1).kind, Outcome::Ok);

    // Without breakpoints nothing stops; a removed one stops nothing.
    session.clearBreakpoints();
    EXPECT_EQ(session.runUntilBreak(1000, {}).kind, Outcome::Error);
    ASSERT_EQ(session.addBreakpoint("debug_demo.c:" + std::to_string(lineOf("passes++"))).kind,
              Outcome::Ok);
    EXPECT_EQ(session.runUntilBreak(1000, {}).kind, Outcome::Ok);
    EXPECT_EQ(session.expectSource("debug_demo.c", lineOf("passes++")).kind, Outcome::Ok);
    EXPECT_EQ(session.expectVariable("nosuch", 1).kind, Outcome::Error);
}

// Stripped of its debug information: functions and variables from the
// symbol table; what needs lines says that they are missing.
TEST_F(DebugSessionTest, StrippedProgramBreaksByFunctionOnly) {
    start(demo::kStrippedElf);
    const std::string missing = "built without -g: breakpoints by function only";
    EXPECT_EQ(session.programProblem(), missing);
    const Outcome line = session.addBreakpoint("debug_demo.c:" + std::to_string(lineOf("passes++")));
    EXPECT_EQ(line.kind, Outcome::Error);
    EXPECT_EQ(line.message, missing);
    const Outcome tick = session.addBreakpoint("tick");
    ASSERT_EQ(tick.kind, Outcome::Ok) << tick.message;
    EXPECT_EQ(tick.message.rfind("breakpoint at tick (0x", 0), 0u) << tick.message;
    for (int pass = 1; pass <= 2; ++pass) {
        const Outcome o = session.runUntilBreak(100000, {});
        ASSERT_EQ(o.kind, Outcome::Ok) << o.message;
        EXPECT_EQ(o.message.rfind("halted at tick (PC", 0), 0u) << o.message;
        EXPECT_EQ(session.expectVariable("counter", pass - 1).kind, Outcome::Ok);
    }
    ASSERT_EQ(session.setVariable("pattern", 0x5A).kind, Outcome::Ok);
    ASSERT_EQ(session.runUntilBreak(100000, {}).kind, Outcome::Ok);
    EXPECT_EQ(porta(), 0x5A);
    const Outcome source = session.expectSource("debug_demo.c", lineOf("counter++"));
    EXPECT_EQ(source.kind, Outcome::Error);
    EXPECT_NE(source.message.find(missing), std::string::npos) << source.message;
    // Step over is one instruction, told by the function it is in.
    const Outcome step = session.stepOver();
    EXPECT_EQ(step.kind, Outcome::Ok);
    EXPECT_EQ(step.message.rfind("stepped one instruction to tick+0x", 0), 0u) << step.message;
}

TEST_F(DebugSessionTest, HexFirmwareHasNoSourceLevel) {
    start(std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo.hex");
    EXPECT_FALSE(session.program());
    EXPECT_FALSE(session.programProblem().empty());
    const Outcome o = session.addBreakpoint("main");
    EXPECT_EQ(o.kind, Outcome::Error);
    EXPECT_NE(o.message.find("no debug information"), std::string::npos);
    EXPECT_EQ(session.expectVariable("counter", 0).kind, Outcome::Error);
    EXPECT_FALSE(session.currentLine());
}

}  // namespace
