#include "host/instruments/Signals.h"

#include <algorithm>
#include <cctype>

#include "host/boards/Board.h"

namespace quill::instruments {

std::optional<Signal> parseSignal(std::string_view text, std::string* why,
                                  const boards::Board* board) {
    std::string name;
    for (char c : text) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    Signal s;
    s.name = name;
    // A board's name: its port pin, shown with the name ("PB5 (D13)").
    std::string notPin;
    if (const auto pin = boards::portPinOfName(std::string(text), board, "signal", "PB5", &notPin)) {
        s.kind = Signal::Kind::Pin;
        s.port = pin->port;
        s.bit = pin->bit;
        s.name = std::string{'P', pin->port, static_cast<char>('0' + pin->bit)};
        s.board = board->nameOf(pin->port, pin->bit);
        return s;
    }
    if (!notPin.empty()) {
        if (why) *why = notPin;
        return std::nullopt;
    }
    if (name.size() == 3 && name[0] == 'P' && name[1] >= 'A' && name[1] <= 'L' && name[2] >= '0' &&
        name[2] <= '7') {
        s.kind = Signal::Kind::Pin;
        s.port = name[1];
        s.bit = name[2] - '0';
        if (board) s.board = board->nameOf(s.port, s.bit);
        return s;
    }
    const bool tx = name.rfind("TX", 0) == 0, rx = name.rfind("RX", 0) == 0;
    if ((tx || rx) && (name.size() == 2 || (name.size() == 3 && name[2] >= '0' && name[2] <= '3'))) {
        s.kind = tx ? Signal::Kind::Tx : Signal::Kind::Rx;
        s.usart = name.size() == 3 ? name[2] - '0' : 0;
        return s;
    }
    // LCD.E, LCD2.RS: a line of the first (second ...) Hitachi LCD.
    const std::size_t dot = name.find('.');
    if (name.rfind("LCD", 0) == 0 && dot != std::string::npos) {
        const std::string number = name.substr(3, dot - 3);
        const std::string line = name.substr(dot + 1);
        const bool numbered = number.empty() || (number.size() <= 2 && number[0] != '0' &&
                                                 number.find_first_not_of("0123456789") ==
                                                     std::string::npos);
        if (numbered && (line == "E" || line == "RS" || line == "RW")) {
            s.kind = Signal::Kind::LcdLine;
            s.lcd = number.empty() ? 1 : std::stoi(number);
            for (char c : line) s.line += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        }
    }
    if (why)
        *why = "unknown signal \"" + std::string(text) +
               "\" (use a pin such as PB3, TX, RX, TX1, RX1 for a USART, or LCD.E, LCD.RS, "
               "LCD.RW for the Hitachi LCD's lines)";
    return std::nullopt;
}

bool resolveLines(std::vector<Signal>& wanted, const LineResolver& resolver, std::string* why) {
    for (Signal& s : wanted) {
        if (s.kind != Signal::Kind::LcdLine) continue;
        if (!resolver) {
            *why = "the LCD's lines cannot be recorded here (" + s.name + ")";
            return false;
        }
        if (!resolver(s, why)) return false;
        s.kind = Signal::Kind::Pin;
    }
    return true;
}

std::optional<std::vector<Signal>> parseSignalList(std::string_view list, std::size_t limit,
                                                   std::string* why, const boards::Board* board) {
    std::vector<Signal> signals;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view item = list.substr(start, comma - start);
        if (item.empty()) {
            if (why) *why = "empty name in the signal list \"" + std::string(list) + "\"";
            return std::nullopt;
        }
        auto signal = parseSignal(item, why, board);
        if (!signal) return std::nullopt;
        // TX and TX0 are the same line.
        auto same = [&](const Signal& s) {
            return s.kind == signal->kind && s.port == signal->port && s.bit == signal->bit &&
                   s.usart == signal->usart && s.lcd == signal->lcd && s.line == signal->line;
        };
        if (std::any_of(signals.begin(), signals.end(), same)) {
            if (why) *why = "signal " + signal->shown() + " is listed twice";
            return std::nullopt;
        }
        signals.push_back(*signal);
        if (signals.size() > limit) {
            if (why) *why = "more than " + std::to_string(limit) + " signals";
            return std::nullopt;
        }
        start = comma + 1;
    }
    return signals;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> decodeEscapes(std::string_view text, std::string* why) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) {
            if (why) *why = "the text ends in a lone backslash";
            return std::nullopt;
        }
        const char e = text[++i];
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '\\':
            case '"':
                out += e;
                break;
            case 'x': {
                const int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
                const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
                if (high < 0 || low < 0) {
                    if (why) *why = "\\x needs two hex digits (\\x0D)";
                    return std::nullopt;
                }
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                if (why)
                    *why = std::string("unknown escape \\") + e + " (use \\n \\r \\t \\\\ \\\" \\xHH)";
                return std::nullopt;
        }
    }
    return out;
}

void nameByBoard(std::vector<Signal>& wanted, const boards::Board* board) {
    for (Signal& s : wanted) {
        // An LCD line keeps its own name; the pin it resolves to is the LCD's.
        const bool portPin = s.kind == Signal::Kind::Pin && s.name.size() == 3 && s.name[0] == 'P';
        s.board = board && portPin ? board->nameOf(s.port, s.bit) : std::string();
    }
}

}  // namespace quill::instruments
