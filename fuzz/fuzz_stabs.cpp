// The STABS line-table reader on any bytes: an ELF file goes through the
// debugger's reading of it (the reader gets the .stab and .stabstr
// sections libelf finds), any other input is split into a .stab and a
// .stabstr at the offset its first two bytes give, so that the reader sees
// entries the ELF layer would not let through. No crash, no read outside
// the bytes, and what the reader gives holds together.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/debugger/Breakpoints.h"
#include "host/debugger/ProgramInfo.h"
#include "host/debugger/Stabs.h"

namespace {

using namespace quill::debugger;

void checkTable(const stabs::Table& table) {
    for (const stabs::Line& line : table.lines)
        if (line.file >= table.files.size()) __builtin_trap();
    for (const std::string& dir : table.dirs)
        if (dir.empty()) __builtin_trap();
    for (std::size_t i = 1; i < table.lines.size(); ++i) {
        const stabs::Line& a = table.lines[i - 1];
        const stabs::Line& b = table.lines[i];
        // Two lines at one address are one (the later).
        if (!a.endSequence && !b.endSequence && a.address == b.address) __builtin_trap();
    }
}

void checkProgram(const ProgramInfo& info) {
    for (const std::string& file : info.files())
        for (int line : {1, 2, 20})
            for (uint32_t pc : info.lineAddresses(file, line)) (void)info.locate(pc);
    for (uint32_t pc = 0; pc < 0x200; pc += 2) (void)info.locate(pc);
    Breakpoints breakpoints(&info);
    std::string error;
    if (!info.files().empty()) (void)breakpoints.add(info.files().front() + ":1", &error);
    for (const char* name : {"main", "tick"})
        if (const Symbol* f = info.function(name)) (void)info.functionBreakAddress(*f);
    if (info.hasLineInfo() != info.missingLineInfo().empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.substr(0, 4) == "\x7f" "ELF") {
        try {
            checkProgram(ProgramInfo::parse(std::string(bytes), "fuzz.elf"));
        } catch (const std::runtime_error&) {
        }
        return 0;
    }
    if (size < 2) return 0;
    const std::size_t split = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
    checkTable(stabs::read(bytes.substr(2, split), bytes.substr(2 + split)));
    return 0;
}
