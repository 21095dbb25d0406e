// The words scenario commands share: the component kinds, the pins and
// conditions they check, the LCD's settings and the bounds of a wait. Used
// by the commands (Scenario.h) and the value parsers (Values.h) alike.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "contract/Commands.h"

namespace quill::scenario {

// The longest wait of any kind, in clock cycles (about 11 days at 1 MHz):
// `wait cycles`, a `wait until` timeout, and `wait ms`/`wait us` once the
// host has turned the time into cycles at the part's clock.
constexpr uint64_t kMaxWaitCycles = 1000000000000ull;
// A `wait until` (and the debugger's waits) without a timeout, in cycles.
constexpr uint64_t kDefaultWaitCycles = 1000000;

// The component windows a scenario can open; each kind is the plug-in
// command that opens it.
enum class ComponentKind : int {
    Led = kCmdLed,
    Switch = kCmdSwitch,
    KnightRider = kCmdKnightRider,
    Keypad = kCmdKeypad,
    StackView = kCmdStackView,
    Lcd = kCmdLcd,
    Slider = kCmdSlider,
    CapacityMeasurement = kCmdCapacityMeasurement,
    Beerbasement = kCmdBeerbasement,
};
constexpr Command commandOf(ComponentKind kind) { return static_cast<Command>(kind); }

// A signal on a port pin: port letter and bit, "A1".
struct PortPin {
    char port;
    int bit;
};
// The Hitachi LCD's dialog "Configure Hitachi LCD...".
struct LcdSettings {
    std::optional<char> data;               // data=A
    std::optional<bool> highNibble;         // nibble=high|low
    std::optional<bool> fourBits;           // bits=4|8
    std::optional<bool> pinRegister;        // pinreg=0|1
    std::optional<PortPin> enable, rs, rw;  // e=A1 rs=A3 rw=A2 (or a board's pin name, D12)
    bool rwNone = false;                    // rw=none: R/W tied to ground
    // d0=.. d7=: each data line on a pin of its own (pin by pin).
    std::array<std::optional<PortPin>, 8> dataPins{};
    std::optional<int> size;                // size=16 (columns)
    std::optional<int> lines;               // lines=1|2|4
    std::optional<int> zoom;                // zoom=2
    std::optional<bool> trace;              // trace=0|1: result.txt
};

// ---- Conditions, checked between instructions
struct PinCondition {
    std::string reg;  // register name in capitals, "PORTA"
    int bit;          // 0..7
    bool level;
};
struct RegisterCondition {
    std::string reg;
    uint8_t value;
    uint8_t mask = 0xff;  // compared bits
};
// The visible text of an LCD line (1-based), trailing blanks removed; the
// text in UTF-8, a character code n as the code point n.
struct LcdLineCondition {
    std::string window;
    int line;
    std::string text;
};
// The LCD's cursor cell (1-based line and column); none: no cursor shown.
struct LcdCursorCondition {
    std::string window;
    bool none = false;
    int line = 0;
    int column = 0;
};
// The LCD's protocol checker: no warning since the last reset (warned
// false), or some.
struct LcdProtocolCondition {
    std::string window;
    bool warned = false;
};
// The LCD's panel, unzoomed, equals the picture in a PNG file (a path as
// written; see Script::resolvePath).
struct LcdPictureCondition {
    std::string window;
    std::string path;
};
using Condition = std::variant<PinCondition, RegisterCondition, LcdLineCondition,
                               LcdCursorCondition, LcdProtocolCondition, LcdPictureCondition>;

}  // namespace quill::scenario
