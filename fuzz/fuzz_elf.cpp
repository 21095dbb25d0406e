// ELF firmware: libelf and the checks around it on any bytes; what is
// accepted holds only segments inside the file, in flash or EEPROM.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/sim/FirmwareFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quill::sim;
    try {
        const FirmwareImage image =
            parseElf(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.elf");
        // Two segments may load the same bytes of the file to different
        // places, so only the placement is checked: sorted, apart, inside
        // flash and EEPROM.
        if (image.flash.empty()) __builtin_trap();
        for (const auto* memory : {&image.flash, &image.eeprom}) {
            uint64_t end = 0;
            for (const MemoryChunk& c : *memory) {
                if (c.bytes.empty() || c.address < end) __builtin_trap();
                end = c.end();
            }
        }
        if (image.flashEnd() > 0x800000 || image.eepromEnd() > 0x10000) __builtin_trap();
    } catch (const FirmwareError&) {
    }
    return 0;
}
