// The scenario commands of source-level debugging: breakpoints on lines and
// functions, running to them, checking the line the program halted at,
// reading and writing variables by name, and waiting for a GDB client.
// Parsed here, run by the host.
#pragma once

#include <cstdint>
#include <string>

#include "host/scenario/Lexer.h"

namespace quill::scenario {

// "break demo.c:57" or "break main".
struct BreakCommand {
    std::string location;
};
// "clear breaks".
struct ClearBreaksCommand {};
// "run until break [timeout C]": fails when no breakpoint stops the program
// within C cycles.
struct RunUntilBreakCommand {
    static constexpr bool kCheck = true;
    uint64_t timeoutCycles;
};
// "expect source demo.c:57": the program is halted at that line.
struct ExpectSourceCommand {
    static constexpr bool kCheck = true;
    std::string file;
    int line;
};
// "expect variable counter 5" / "set variable counter 7": a global or
// static scalar of 1, 2 or 4 bytes, little-endian. A negative value is
// its two's complement in the variable's size.
struct ExpectVariableCommand {
    static constexpr bool kCheck = true;
    std::string name;
    int64_t value;
};
struct SetVariableCommand {
    std::string name;
    int64_t value;
};
// "wait for debugger [timeout S seconds]": until a GDB client has attached
// and detached again, at most S seconds of wall-clock time.
struct WaitForDebuggerCommand {
    double seconds;
};

inline constexpr double kDefaultDebuggerWaitSeconds = 60;
inline constexpr double kMaxDebuggerWaitSeconds = 3600;

// The commands from their words (t[0] is the verb; "expect"/"set"/"wait"
// lines are passed from their second word on, the part after the verb).
// Throw LineError for a malformed line.
BreakCommand parseBreak(const Tokens& t);
ClearBreaksCommand parseClear(const Tokens& t);
RunUntilBreakCommand parseRun(const Tokens& t, uint64_t maxCycles);
ExpectSourceCommand parseExpectSource(const Tokens& t);
ExpectVariableCommand parseExpectVariable(const Tokens& t);
SetVariableCommand parseSetVariable(const Tokens& t);
WaitForDebuggerCommand parseWaitForDebugger(const Tokens& t);

std::string describeDebug(const BreakCommand& c);
std::string describeDebug(const ClearBreaksCommand& c);
std::string describeDebug(const RunUntilBreakCommand& c);
std::string describeDebug(const ExpectSourceCommand& c);
std::string describeDebug(const ExpectVariableCommand& c);
std::string describeDebug(const SetVariableCommand& c);
std::string describeDebug(const WaitForDebuggerCommand& c);

}  // namespace quill::scenario
