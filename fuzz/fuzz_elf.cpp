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
        uint64_t total = 0;
        for (const MemoryChunk& c : image.flash) total += c.bytes.size();
        for (const MemoryChunk& c : image.eeprom) total += c.bytes.size();
        if (image.flash.empty() || total > size) __builtin_trap();
    } catch (const FirmwareError&) {
    }
    return 0;
}
