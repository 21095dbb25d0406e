// Source-level debugging on top of the host's debugger: the loaded
// program's line table and symbols, the user's breakpoints, the line the
// program halted at, and global variables read and written by name.
// Toolkit-free; the scenario runner, the source view and the watch use it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/session/Debugger.h"
#include "host/debugger/Breakpoints.h"
#include "host/debugger/ProgramInfo.h"

namespace quill::debugger {

class DebugSession {
public:
    explicit DebugSession(Debugger& debugger);
    ~DebugSession();
    DebugSession(const DebugSession&) = delete;
    DebugSession& operator=(const DebugSession&) = delete;

    // Reads the debug information of the firmware a new session runs. An
    // Intel HEX file, or an ELF file the reader refuses, leaves the session
    // without it; the reason is in programProblem(), which also says what
    // an ELF file without line information misses. Breakpoints are
    // cleared: their addresses belonged to the previous program.
    void load(const std::string& firmwarePath);
    const ProgramInfo* program() const { return program_.get(); }
    const std::string& programProblem() const { return problem_; }
    Breakpoints& breakpoints() { return breakpoints_; }
    Debugger& debugger() { return debugger_; }

    // The source line of the next instruction; none without line
    // information or outside it.
    std::optional<SourceLocation> currentLine() const;

    struct Outcome {
        enum Kind { Ok, Failed, Error } kind = Ok;
        std::string message;
    };
    Outcome addBreakpoint(const std::string& where);
    Outcome clearBreakpoints();
    // Runs until a breakpoint stops the program: fails when none does
    // within `cycles` or the program stops. keepGoing is asked now and
    // then (the event loop runs there); false cancels.
    Outcome runUntilBreak(uint64_t cycles, const std::function<bool()>& keepGoing);
    Outcome expectSource(const std::string& file, int line) const;
    Outcome expectVariable(const std::string& name, int64_t value) const;
    // Writes the variable while halted; the components are refreshed.
    Outcome setVariable(const std::string& name, int64_t value);

    // Source-level steps while halted: to the next line of this function
    // (calls and interrupts run through), and out of the current function
    // (to the instruction after its return). A breakpoint on the way stops
    // them; without line information step over is one instruction.
    Outcome stepOver();
    Outcome stepOut();

    // A scalar variable's value (1, 2 or 4 bytes, little-endian).
    std::optional<uint32_t> readScalar(const Symbol& variable) const;
    bool writeScalar(const Symbol& variable, uint32_t value);

private:
    // An address for messages: "debug_demo.c:18", else the function
    // holding it ("tick+0x4"), else that it has no line information.
    std::string describe(uint32_t pc) const;
    std::string here() const;  // the next instruction's, while debugging
    uint16_t stackPointer() const;
    Outcome stepped(bool ran, const char* what);
    // The variable of that name, if it is a scalar the session can read.
    const Symbol* scalar(const std::string& name, std::string* error) const;

    Debugger& debugger_;
    std::unique_ptr<ProgramInfo> program_;
    std::string problem_;
    Breakpoints breakpoints_;
};

}  // namespace quill::debugger
