// The values a scenario command takes: numbers, levels, register names,
// pins, port letters, keypad keys, conditions and component kinds. Each
// parser throws LineError with a message that names the value and says what
// is expected. Numbers are read with std::from_chars: no locale, no sign,
// no exponent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/boards/Board.h"
#include "host/scenario/Lexer.h"
#include "host/scenario/Vocabulary.h"

namespace quill::scenario {

// Throws unless t has an argument at position index ("missing argument:
// wait needs ..."), and when it has more than count words ("unexpected
// argument ... after wait").
void need(const Tokens& t, std::size_t index, const std::string& what);
void noMore(const Tokens& t, std::size_t count);

// Unsigned integer in decimal, 0x hexadecimal or 0b binary, at most max.
// `what` names the value in messages ("cycles", "pin"), which say what is
// wrong: negative, not whole, too large or no number.
uint64_t parseUnsigned(const std::string& text, uint64_t max, const std::string& what);

// A plain decimal number such as 5, 0.25 or 3.6864 (no exponent, no sign);
// messages as parseUnsigned's.
double parseDecimal(const std::string& text, const std::string& what);

// A number and its unit at t[at], joined ("490Hz", "50%") or apart
// ("490 Hz"); moves `at` past them and returns the number times the
// unit's factor. Units are matched in any case and named as given in
// messages. `noun` names the value ("frequency"), `example` shows one
// ("490 Hz"); with no word at t[at] the message is "missing argument: " +
// `missing`. A number without a unit counts as `unitless` when that is
// given, and is refused otherwise.
struct Unit {
    std::string name;  // "kHz"
    double factor;     // 1e3
};
double parseQuantity(const Tokens& t, std::size_t& at, const std::vector<Unit>& units,
                     const std::string& noun, const std::string& example,
                     const std::string& missing, std::optional<double> unitless = std::nullopt);

// 1/0, high/low, on/off, true/false, yes/no.
bool parseLevel(const std::string& text, const std::string& what);
// The word on or off, nothing else; `what` names it in messages.
bool parseOnOrOff(const std::string& text, const std::string& what);
// An LED state: on/off or 1/0.
bool parseOnOff(const std::string& text);

// A register name such as PORTA (letters, digits, '_'; a letter first),
// returned in capitals.
bool isRegisterName(const std::string& name);
std::string parseRegisterName(const std::string& text);

// "PORTA.0" and a level.
// With `board` (nullptr: none chosen) a board's pin name ("D13") stands
// for the input register's bit of its port pin (PINB.5 on an Uno).
PinCondition parsePinCondition(const std::string& reference, const std::string& level,
                               const boards::Board* board = nullptr);

// A port letter given as "B", "PINB", "PORTB" or "DDRB"; `key` names the
// setting in messages.
char parsePortLetter(const std::string& text, const std::string& key);

// A signal's pin: a port letter and a bit, "A1".
PortPin parsePortPin(const std::string& text, const std::string& key);

// A pin as a scenario names it for `board` (nullptr: none chosen): the
// board's name for it ("D13", "A0": PB5 and PC0 on an Uno), or a port pin
// ("B5" or "PB5"). With a board its names come first (A0 on a Mega is PF0;
// write PA0 for port A's bit 0). A board name the board lacks, a pin of the
// converter only (the Nano's A6), or a D name past D7 without a board, is a
// LineError that says so; `key` names the setting.
PortPin resolvePin(const std::string& text, const boards::Board* board, const std::string& key);

// One key=value of the Hitachi LCD's settings (data, nibble, bits, pinreg,
// e, rs, rw, d0..d7, size, lines, zoom, trace) into `s`; false for another
// key. Pins as resolvePin takes them (a board's names with `board`); rw may
// be none (tied to ground).
bool parseLcdSetting(const std::string& key, const std::string& value, LcdSettings& s,
                     const boards::Board* board = nullptr);
// The whole line's wiring once every key is read: data lines given pin by
// pin are all the interface's lines (d4..d7, or d0..d7 with bits=8), not
// mixed with data= or nibble=, and no two lines given share a pin. Throws
// LineError saying which.
void checkLcdWiring(const LcdSettings& s);
// The highest converter channel of any part (ADC15 of the ATmega2560); a
// part with fewer does not list the rest, and the run says so.
inline constexpr int kLastConverterChannel = 15;

inline constexpr const char* kLcdSettingKeys =
    "data, nibble, bits, pinreg, e, rs, rw, d0..d7, size, lines, zoom, trace";

// The text an LCD line is expected to show: \xNN (two hex digits) stands
// for the character with that code (a CGRAM code such as \x00, or any
// other), returned as that code point in UTF-8; everything else is kept.
std::string parseLcdText(const std::string& text);
// `text` (UTF-8) with the control codes 0x00-0x1F written as \xNN, for
// reports.
std::string lcdTextForReport(const std::string& text);

// A keypad key: 0-9, * or star, # or hash/pound; nothing for other words.
std::optional<char> parseKey(const Token& token);

// "pin PORTA.0 1" or "register PORTA 0x81 [mask 0x0F]"; `what` is the
// command in messages ("expect", "wait until").
Condition parseCondition(const Tokens& t, const std::string& what,
                         const boards::Board* board = nullptr);

// The component a name opens ("LED", "knight rider", "Stackview++"); throws
// for unknown names and for components not yet available in scenarios.
ComponentKind parseComponentKind(const std::string& name);

}  // namespace quill::scenario
