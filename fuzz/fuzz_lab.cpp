// Lab files: any text read as a lab; a lab that is read writes out as a
// text that reads back to the same lab, which writes out the same again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/lab/LabFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace lab = quill::lab;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<lab::Lab> read = lab::parseLab(text, &error);
    if (!read) {
        if (error.empty()) __builtin_trap();  // a refusal says why
        return 0;
    }
    const std::string written = lab::formatLab(*read);
    const std::optional<lab::Lab> again = lab::parseLab(written, &error);
    if (!again) __builtin_trap();  // what was written must read back
    if (lab::formatLab(*again) != written) __builtin_trap();
    return 0;
}
