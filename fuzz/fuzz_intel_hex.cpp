// Intel HEX firmware: every text is refused with a message or gives chunks
// that are sorted, apart and inside flash or EEPROM.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/sim/FirmwareFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quill::sim;
    try {
        const FirmwareImage image =
            parseIntelHex(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.hex");
        uint64_t end = 0;
        for (const MemoryChunk& c : image.flash) {
            if (c.bytes.empty() || c.address < end || c.end() > 0x800000) __builtin_trap();
            end = c.end();
        }
        if (image.flash.empty()) __builtin_trap();
    } catch (const FirmwareError&) {
    }
    return 0;
}
