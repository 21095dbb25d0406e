#include "host/scenario/DebugCommands.h"

#include <cctype>
#include <cstdio>

#include "host/scenario/Values.h"
#include "platform/text.h"

namespace quill::scenario {

namespace {

using text::Lower;

void need(const Tokens& t, std::size_t index, const std::string& command, const std::string& what) {
    if (t.size() <= index) throw LineError{"missing argument: " + command + " needs " + what};
}

void noMore(const Tokens& t, std::size_t count, const std::string& command) {
    if (t.size() > count)
        throw LineError{"unexpected argument " + inQuotes(t[count].text) + " after " + command};
}

// "demo.c:57": a file name and a line from 1.
void splitSource(const std::string& text, std::string* file, int* line) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        throw LineError{"bad source line " + inQuotes(text) + " (use FILE:LINE, demo.c:57)"};
    *file = text.substr(0, colon);
    *line = static_cast<int>(parseUnsigned(text.substr(colon + 1), 1000000, "line"));
    if (*line < 1) throw LineError{"source lines count from 1"};
}

bool isIdentifier(const std::string& text) {
    if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
    return true;
}

// A variable's name and value: -2147483648 to 4294967295.
int64_t parseValue(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative && text.size() > 1 && text[1] == '-')
        throw LineError{"bad number " + inQuotes(text) + " for value"};
    const uint64_t magnitude = parseUnsigned(negative ? text.substr(1) : text,
                                             negative ? 0x80000000ull : 0xFFFFFFFFull, "value");
    return negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
}

std::string variableName(const Tokens& t, const std::string& command) {
    need(t, 1, command, "a variable name and a value");
    if (!isIdentifier(t[1].text)) throw LineError{"bad variable name " + inQuotes(t[1].text)};
    need(t, 2, command, "a value after the variable name");
    noMore(t, 3, command);
    return t[1].text;
}

}  // namespace

BreakCommand parseBreak(const Tokens& t) {
    need(t, 1, "break", "a source line (demo.c:57) or a function name");
    noMore(t, 2, "break");
    const std::string& where = t[1].text;
    if (where.find(':') != std::string::npos) {
        std::string file;
        int line;
        splitSource(where, &file, &line);
    } else if (!isIdentifier(where)) {
        throw LineError{"bad breakpoint " + inQuotes(where) +
                        " (use FILE:LINE or a function name)"};
    }
    return BreakCommand{where};
}

ClearBreaksCommand parseClear(const Tokens& t) {
    need(t, 1, "clear", "breaks");
    if (Lower(t[1].text) != "breaks")
        throw LineError{"unknown clear " + inQuotes(t[1].text) + " (use clear breaks)"};
    noMore(t, 2, "clear breaks");
    return {};
}

RunUntilBreakCommand parseRun(const Tokens& t, uint64_t maxCycles) {
    if (t.size() < 3 || Lower(t[1].text) != "until" || Lower(t[2].text) != "break")
        throw LineError{"unknown run command (use run until break [timeout CYCLES])"};
    uint64_t timeout = kDefaultWaitCycles;
    if (t.size() > 3) {
        if (Lower(t[3].text) != "timeout")
            throw LineError{"unexpected argument " + inQuotes(t[3].text) +
                            " after run until break (use timeout CYCLES)"};
        need(t, 4, "run until break timeout", "a number of cycles");
        noMore(t, 5, "run until break timeout");
        timeout = parseUnsigned(t[4].text, maxCycles, "timeout cycles");
        if (timeout == 0) throw LineError{"timeout needs at least 1 cycle"};
    }
    return RunUntilBreakCommand{timeout};
}

ExpectSourceCommand parseExpectSource(const Tokens& t) {
    need(t, 1, "expect source", "a source line (demo.c:57)");
    noMore(t, 2, "expect source");
    ExpectSourceCommand c;
    splitSource(t[1].text, &c.file, &c.line);
    return c;
}

ExpectVariableCommand parseExpectVariable(const Tokens& t) {
    std::string name = variableName(t, "expect variable");
    return ExpectVariableCommand{std::move(name), parseValue(t[2].text)};
}

SetVariableCommand parseSetVariable(const Tokens& t) {
    std::string name = variableName(t, "set variable");
    return SetVariableCommand{std::move(name), parseValue(t[2].text)};
}

WaitForDebuggerCommand parseWaitForDebugger(const Tokens& t) {
    // t: "for" "debugger" ["timeout" S "seconds"]
    if (t.size() < 2 || Lower(t[1].text) != "debugger")
        throw LineError{"unknown wait (use wait for debugger [timeout S seconds])"};
    if (t.size() == 2) return WaitForDebuggerCommand{kDefaultDebuggerWaitSeconds};
    if (Lower(t[2].text) != "timeout")
        throw LineError{"unexpected argument " + inQuotes(t[2].text) +
                        " after wait for debugger (use timeout S seconds)"};
    need(t, 3, "wait for debugger timeout", "a number of seconds");
    need(t, 4, "wait for debugger timeout", "the unit seconds after the number");
    const std::string unit = Lower(t[4].text);
    if (unit != "seconds" && unit != "second" && unit != "s")
        throw LineError{"bad unit " + inQuotes(t[4].text) + " (use seconds)"};
    noMore(t, 5, "wait for debugger timeout");
    const double seconds = parseDecimal(t[3].text, "the time");
    if (seconds <= 0 || seconds > kMaxDebuggerWaitSeconds)
        throw LineError{"wait for debugger time " + t[3].text + " s is outside 0 to 3600 s"};
    return WaitForDebuggerCommand{seconds};
}

std::string describeDebug(const BreakCommand& c) { return "break at " + c.location; }
std::string describeDebug(const ClearBreaksCommand&) { return "clear all breakpoints"; }
std::string describeDebug(const RunUntilBreakCommand& c) {
    return "run until a breakpoint (at most " + std::to_string(c.timeoutCycles) + " cycles)";
}
std::string describeDebug(const ExpectSourceCommand& c) {
    return "expect the program halted at " + c.file + ":" + std::to_string(c.line);
}
std::string describeDebug(const ExpectVariableCommand& c) {
    return "expect variable " + c.name + " is " + std::to_string(c.value);
}
std::string describeDebug(const SetVariableCommand& c) {
    return "set variable " + c.name + " to " + std::to_string(c.value);
}
std::string describeDebug(const WaitForDebuggerCommand& c) {
    char text[96];
    std::snprintf(text, sizeof text, "wait for a debugger to attach and detach (at most %g s)",
                  c.seconds);
    return text;
}

}  // namespace quill::scenario
