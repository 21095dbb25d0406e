// Part description files: the limits, the parse, the register table and the
// address parser on any text.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/PartDescriptionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace pf = quill::partfile;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    (void)pf::parseIoAddress(text.substr(0, 16), &error);
    TiXmlDocument doc;
    if (!pf::parse(text, &doc).empty()) return 0;
    if (auto io = pf::readIoRegisters(doc, &error)) {
        for (const pf::IoRegister& r : io->registers) {
            // An index of the part's bank: the I/O space, or extended I/O
            // below the start of SRAM.
            if (r.address < 0 || r.address >= io->bankSize) __builtin_trap();
            if (!r.extended && r.address > 0x3F) __builtin_trap();
        }
        if (io->bankSize < 64 || io->bankSize > kMaxRegisterBank) __builtin_trap();
    }
    return 0;
}
