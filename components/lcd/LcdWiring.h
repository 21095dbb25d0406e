// The LCD's lines (E, RS, R/W, D0..D7) and the port pins a configuration
// puts them on, for the bus, the settings dialog and its wiring table.
// Toolkit-free.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "components/lcd/LcdConfig.h"

namespace lcdwire {

// Line numbers: E, RS, R/W, then D0..D7 (kD0 + n).
constexpr int kE = 0;
constexpr int kRS = 1;
constexpr int kRW = 2;
constexpr int kD0 = 3;
constexpr int kLineCount = 11;

// "E", "RS", "R/W", "D0" .. "D7".
const char* LineName(int line);

// Whether `line` takes part in the bus under `config`: R/W only when
// wired, D0..D3 only in 8-bit wiring.
bool LineUsed(const LcdConfig& config, int line);

// The pin of `line`: its own pin wired pin by pin, the consecutive bit of
// the data port otherwise (D0..D7 on bits 0..7; in 4-bit wiring D4..D7 on
// bits 4..7 with the high nibble, on bits 0..3 without). Port -1 for a line
// that is not used.
LcdPin LinePin(const LcdConfig& config, int line);

// Gives `line` the pin `pin` (a data line: pin by pin).
void SetLinePin(LcdConfig& config, int line, LcdPin pin);

// The wiring by port: for each port position a used line is on (in port
// order), the names of the lines on each bit (bit 0 first; "" where none,
// "E+D7" where two lines share a pin).
struct PortRow {
    int port = -1;
    std::array<std::string, 8> lines{};
};
std::vector<PortRow> PortRows(const LcdConfig& config);

// The first two used lines that share a pin, in line order; false when
// every line has a pin of its own.
bool SharedPin(const LcdConfig& config, int* first, int* second);

}  // namespace lcdwire
