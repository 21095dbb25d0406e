// How users write what the instruments take: the signals they record, by
// name (a port pin PA0 ... PD7, a USART's transmit or receive line: TX, RX
// for the part's first USART, TX1, RX1 ... for the others, or a Hitachi
// LCD's control line: LCD.E, LCD.RS, LCD.RW for the first LCD window,
// LCD2.E ... for the others), and text to send with escapes. Toolkit-free;
// the scenario parser uses it too.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::instruments {

struct Signal {
    // LcdLine: a pin the LCD's settings choose; resolveLines() makes it the
    // Pin it is before anything records it.
    enum class Kind { Pin, Tx, Rx, LcdLine };
    Kind kind = Kind::Pin;
    char port = 0;  // 'A'.. for a pin
    int bit = 0;    // 0..7 for a pin
    int usart = 0;  // 0.. for TX/RX
    int lcd = 1;    // which LCD window (1: the first opened) for an LCD line
    std::string line;  // the LCD setting naming the pin: "e", "rs" or "rw"
    std::string name;  // as written in capitals: "PB3", "TX", "RX1", "LCD.E"
    // The board's name of a pin written as a port pin ("D13" for PB5 on an
    // Uno); empty without a board or name.
    std::string board = {};

    // As lists show it: "PB5 (D13)", or the name alone.
    std::string shown() const { return board.empty() ? name : name + " (" + board + ")"; }
    // As a waveform file names it, one word: "PB5_D13", or the name alone.
    std::string wireName() const { return board.empty() ? name : name + "_" + board; }
};

// The board's name of a port pin ("D13"), empty for a pin it does not
// name; an empty function: no board.
using PinNamer = std::function<std::string(char port, int bit)>;
// Gives every pin of `wanted` written as a port pin its board name.
void nameByBoard(std::vector<Signal>& wanted, const PinNamer& namer);

// One name; nothing (and *why) when it is none of the above.
std::optional<Signal> parseSignal(std::string_view name, std::string* why);
// A comma-separated list ("PA0,PB3,TX"), at most `limit` signals, none twice.
std::optional<std::vector<Signal>> parseSignalList(std::string_view list, std::size_t limit,
                                                   std::string* why);

// Finds the pin of an LCD line (sets port and bit); false with *why when
// it cannot (no such LCD window open, say).
using LineResolver = std::function<bool(Signal& signal, std::string* why)>;
// Turns every LCD line of `wanted` into the pin it is now (kind Pin, name
// kept). False with *why when one cannot be resolved or there is no
// resolver.
bool resolveLines(std::vector<Signal>& wanted, const LineResolver& resolver, std::string* why);

// Text with the escapes \n \r \t \\ \" and \xHH (two hex digits) turned
// into their bytes. Nothing, with *why set, for an unknown or cut-off
// escape.
std::optional<std::string> decodeEscapes(std::string_view text, std::string* why);

}  // namespace quill::instruments
