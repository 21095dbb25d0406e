// The debugger tests find the lines of the demo program by their text, so
// that an edit of debug_demo.c does not silently shift what they check.
#pragma once

#include <fstream>
#include <string>

namespace demo {

inline const std::string kSource = std::string(QUILL_SOURCE_DIR) + "/firmware/debug_demo.c";
// The same program built three ways: with DWARF (-gdwarf-4 -Og), the usual
// way (-g -Os: STABS), and with its debug information stripped.
inline const std::string kElf = std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo.elf";
inline const std::string kStabsElf =
    std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo_stabs.elf";
inline const std::string kStrippedElf =
    std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo_stripped.elf";

// The 1-based line of the demo's source that contains `text`, 0 if none.
inline int lineOf(const std::string& text) {
    std::ifstream in(kSource);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find(text) != std::string::npos) return n;
    return 0;
}

}  // namespace demo
