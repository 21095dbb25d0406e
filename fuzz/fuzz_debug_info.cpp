// The debugger's reading of an ELF file (libelf symbols, libdw line table)
// on any bytes, and the look-ups on what it accepted: no crash, no hang,
// refusals as exceptions.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/debugger/Breakpoints.h"
#include "host/debugger/ProgramInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quill::debugger;
    try {
        const ProgramInfo info =
            ProgramInfo::parse(std::string(reinterpret_cast<const char*>(data), size), "fuzz.elf");
        for (uint32_t pc = 0; pc < 0x200; pc += 2) (void)info.locate(pc);
        Breakpoints breakpoints(&info);
        std::string error;
        for (const std::string& file : info.files()) {
            (void)breakpoints.add(file + ":1", &error);
            if (info.findFile(file).empty() && info.files().size() == 1) __builtin_trap();
        }
        for (const Symbol& s : info.variables()) (void)info.variable(s.name);
        if (const Symbol* main = info.function("main")) (void)info.functionBreakAddress(*main);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
