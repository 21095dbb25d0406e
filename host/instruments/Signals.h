// How users write what the instruments take: the signals they record, by
// name (a port pin PA0 ... PD7, or a USART's transmit or receive line: TX,
// RX for the part's first USART, TX1, RX1 ... for the others), and text to
// send with escapes. Toolkit-free; the scenario parser uses it too.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::instruments {

struct Signal {
    enum class Kind { Pin, Tx, Rx };
    Kind kind = Kind::Pin;
    char port = 0;  // 'A'.. for a pin
    int bit = 0;    // 0..7 for a pin
    int usart = 0;  // 0.. for TX/RX
    std::string name;  // as written in capitals: "PB3", "TX", "RX1"
};

// One name; nothing (and *why) when it is none of the above.
std::optional<Signal> parseSignal(std::string_view name, std::string* why);
// A comma-separated list ("PA0,PB3,TX"), at most `limit` signals, none twice.
std::optional<std::vector<Signal>> parseSignalList(std::string_view list, std::size_t limit,
                                                   std::string* why);

// Text with the escapes \n \r \t \\ \" and \xHH (two hex digits) turned
// into their bytes. Nothing, with *why set, for an unknown or cut-off
// escape.
std::optional<std::string> decodeEscapes(std::string_view text, std::string* why);

}  // namespace quill::instruments
