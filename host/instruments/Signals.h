// How users write what the instruments take: the signals they record, by
// name (a port pin PA0 ... PD7, with a board also its names D13, A0, a USART's transmit or receive line: TX, RX
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

namespace quill::boards {
struct Board;
}

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
    std::string name;  // in capitals: "PB3", "TX", "RX1", "LCD.E"; a board's name as its port pin, "PB5"
    // The board's name of a pin written as a port pin ("D13" for PB5 on an
    // Uno); empty without a board or name.
    std::string board = {};

    // As lists show it: "PB5 (D13)", or the name alone.
    std::string shown() const { return board.empty() ? name : name + " (" + board + ")"; }
    // As a waveform file names it, one word: "PB5_D13", or the name alone.
    std::string wireName() const { return board.empty() ? name : name + "_" + board; }
};

// Gives every pin of `wanted` written as a port pin (or by a board's name)
// its name on `board` ("D13" for PB5 on an Uno); none without a board.
void nameByBoard(std::vector<Signal>& wanted, const boards::Board* board);

// One name; nothing (and *why) when it is none of the above. With `board`
// (the one the session runs as; nullptr: none) a board's name stands for
// its port pin, as in every scenario place that takes a pin
// (boards::portPinOfName): D13 is PB5 on an Uno and gets the name "PB5"
// with `board` "D13"; a name the board lacks, or any such name without a
// board, is refused saying so.
std::optional<Signal> parseSignal(std::string_view name, std::string* why,
                                  const boards::Board* board = nullptr);
// A comma-separated list ("PA0,PB3,TX", "D13,A0"), at most `limit` signals,
// none twice (D13 and PB5 on an Uno are one).
std::optional<std::vector<Signal>> parseSignalList(std::string_view list, std::size_t limit,
                                                   std::string* why,
                                                   const boards::Board* board = nullptr);

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
