// The line table in STABS debug information, what avr-gcc writes for a
// plain -g: the .stab section's entries (12 bytes each: string offset,
// type, other, description, value; little-endian as AVR ELF is) against the
// strings of .stabstr.
//
// Read are the source files (N_SO: the compilation folder, then the main
// file; N_SOL: a file whose code follows, such as a header's inline
// function), the functions (N_FUN: entry address and header line; a
// nameless N_FUN ends the function, its value the function's size) and the
// lines (N_SLINE: the line in the description, the address relative to the
// function's entry). Type descriptions, variables and the rest are passed
// over: variables come from the ELF symbol table.
//
// The bytes are a user's file: every offset is checked, a damaged entry is
// passed over, and what could be read is kept. Toolkit- and libelf-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quill::debugger::stabs {

struct Line {
    uint32_t address = 0;  // byte address in flash
    uint32_t file = 0;     // index into Table::files
    int line = 0;
    // The first address past a function: no line from here on, until the
    // next row.
    bool endSequence = false;
    bool operator==(const Line&) const = default;
};

struct Table {
    std::vector<std::string> files;  // full paths where the folder is known, in the order first seen
    std::vector<std::string> dirs;   // compilation folders, without the trailing '/'
    // In the order of the section; of several lines the compiler gave one
    // address (a function's header line and its first statement), the
    // last one only.
    std::vector<Line> lines;
    std::vector<std::pair<uint32_t, int>> functions;  // entry address, header line
};

Table read(std::string_view stab, std::string_view stabstr);

}  // namespace quill::debugger::stabs
