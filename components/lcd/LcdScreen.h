// What the LCD shows: the characters of each visible line after the
// display shift, and where the cursor stands.
//
// Toolkit-free; the panel draws from it and scenarios read it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "components/lcd/DisplayRam.h"

struct ScreenText {
    static constexpr int kMaxColumns = 80;
    int lines = 0;
    int columns = 0;
    std::array<std::array<uint8_t, kMaxColumns>, DisplayRam::kMaxLines> cells{};
    // The first visible cell, in line then column order, whose DDRAM
    // address equals the address counter; -1, -1 when none does. The
    // counter is compared as a DDRAM address even while CGRAM is selected.
    int cursorLine = -1;
    int cursorColumn = -1;
};

// Fills `out` from the memory and the display shift; allocates nothing.
void VisibleText(const DisplayRam& ram, int shift, ScreenText* out);

// Line `line` (0-based) as text, trailing blanks removed; bytes outside
// printable ASCII stay as they are.
std::string LineText(const ScreenText& text, int line);
