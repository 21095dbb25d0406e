// The source-level debugging commands of the scenario language: their
// words as written in host/scenario/README.md, and the lines refused.
#include <gtest/gtest.h>

#include <string>

#include "host/scenario/Scenario.h"

using namespace quill::scenario;

namespace {

quill::scenario::Command one(const std::string& line) {
    const ParseResult r = parse(line + "\n", "debug.scn");
    EXPECT_TRUE(r.ok()) << line << ": " << (r.ok() ? "" : r.errors[0].text());
    return r.ok() && !r.script.steps.empty() ? r.script.steps[0].command : quill::scenario::Command{ResetCommand{}};
}

std::string refusal(const std::string& line) {
    const ParseResult r = parse(line + "\n", "debug.scn");
    return r.ok() ? "" : r.errors[0].message;
}

TEST(ScenarioDebug, CommandsAsDocumented) {
    EXPECT_EQ(std::get<BreakCommand>(one("break lcd_demo.c:57")).location, "lcd_demo.c:57");
    EXPECT_EQ(std::get<BreakCommand>(one("break main")).location, "main");
    EXPECT_TRUE(std::holds_alternative<ClearBreaksCommand>(one("clear breaks")));
    EXPECT_EQ(std::get<RunUntilBreakCommand>(one("run until break")).timeoutCycles, 1000000u);
    EXPECT_EQ(std::get<RunUntilBreakCommand>(one("run until break timeout 500")).timeoutCycles,
              500u);
    const auto source = std::get<ExpectSourceCommand>(one("expect source src/lcd_demo.c:57"));
    EXPECT_EQ(source.file, "src/lcd_demo.c");
    EXPECT_EQ(source.line, 57);
    EXPECT_EQ(std::get<ExpectVariableCommand>(one("expect variable counter 5")).value, 5);
    EXPECT_EQ(std::get<ExpectVariableCommand>(one("expect variable total -1")).value, -1);
    const auto set = std::get<SetVariableCommand>(one("set variable counter 0x7"));
    EXPECT_EQ(set.name, "counter");
    EXPECT_EQ(set.value, 7);
    EXPECT_EQ(std::get<WaitForDebuggerCommand>(one("wait for debugger")).seconds, 60);
    EXPECT_EQ(
        std::get<WaitForDebuggerCommand>(one("wait for debugger timeout 2.5 seconds")).seconds,
        2.5);
    EXPECT_EQ(describe(one("run until break timeout 500")),
              "run until a breakpoint (at most 500 cycles)");
}

TEST(ScenarioDebug, MalformedLinesAreRefused) {
    for (const char* line :
         {"break", "break a.c:", "break a.c:0", "break :5", "break 9lives", "break a b",
          "clear", "clear all", "run", "run until", "run until break timeout 0",
          "run until break soon", "expect source main", "expect source a.c:x",
          "expect variable counter", "expect variable 3x 1", "set variable counter 4294967296",
          "set variable counter -2147483649", "wait for", "wait for debugger timeout 5",
          "wait for debugger timeout 0 seconds", "wait for debugger timeout 5 minutes",
          "wait for debugger timeout 4000 seconds"}) {
        EXPECT_NE(refusal(line), "") << line;
    }
}

}  // namespace
