// The user's breakpoints: source lines and functions, each resolved through
// the program's line table into the instruction addresses the simulator
// stops at (every address of the line). Toolkit-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/sim/BreakpointSet.h"
#include "host/debugger/ProgramInfo.h"

namespace quill::debugger {

struct Breakpoint {
    std::string function;   // set on a function by name; empty for a line
    SourceLocation source;  // the line it stops at (file as the line table names it)
    std::vector<uint32_t> addresses;
};

class Breakpoints {
public:
    // `program` may be null (firmware without an ELF): every request then
    // fails with a message saying so. It must outlive this object.
    explicit Breakpoints(const ProgramInfo* program = nullptr) : program_(program) {}

    // Adds a breakpoint on "file.c:57" (a line: every statement of it; a
    // line without code moves on to the next line that has some) or "main"
    // (a function, past its frame set-up; from the symbol table, so also
    // in a program without line information). Returns it, or fills *error.
    const Breakpoint* add(std::string_view where, std::string* error);
    // Adds a breakpoint on a line of a file the line table names, or
    // removes the one there; false (with *error) when the line and the
    // rest of the file have no code. The GUI's margin click and F9.
    bool toggleLine(const std::string& file, int line, std::string* error);
    // Whether a breakpoint stops on that line.
    bool hasLine(const std::string& file, int line) const;
    // Removes every breakpoint of the list (addresses others added stay).
    void clear();

    const std::vector<Breakpoint>& list() const { return list_; }
    // The addresses of all breakpoints, for the run loop. A GDB client's
    // breakpoints join them there by address.
    const BreakpointSet& addresses() const { return set_; }
    BreakpointSet& addresses() { return set_; }
    const ProgramInfo* program() const { return program_; }

private:
    bool lineBreakpoint(const std::string& file, int line, Breakpoint* out, std::string* error) const;
    const Breakpoint* insert(Breakpoint breakpoint);

    const ProgramInfo* program_;
    std::vector<Breakpoint> list_;
    BreakpointSet set_;
};

}  // namespace quill::debugger
