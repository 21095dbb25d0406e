#include "host/scenario/Values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "platform/text.h"

namespace quill::scenario {

namespace {

using text::Lower;
using text::Upper;

struct KindName {
    const char* name;
    ComponentKind kind;
};
const KindName kKindNames[] = {
    {"led", ComponentKind::Led},
    {"switch", ComponentKind::Switch},
    {"knight rider", ComponentKind::KnightRider},
    {"knightrider", ComponentKind::KnightRider},
    {"keypad", ComponentKind::Keypad},
    {"stackview", ComponentKind::StackView},
    {"stack view", ComponentKind::StackView},
    {"stackview++", ComponentKind::StackView},
    {"hitachi lcd", ComponentKind::Lcd},
    {"lcd", ComponentKind::Lcd},
    {"slider", ComponentKind::Slider},
    {"capacity measurement", ComponentKind::CapacityMeasurement},
    {"beerbasement", ComponentKind::Beerbasement},
};
const char* const kComingKinds[] = {"autostep", "settings"};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A minus sign before what would be a number.
bool negativeNumber(const std::string& text) {
    return text.size() > 1 && text[0] == '-' && (isDigit(text[1]) || text[1] == '.');
}

// A decimal number with an exponent ("1e6", "2.5E-3").
bool exponentNumber(const std::string& text) {
    const std::size_t e = text.find_first_of("eE");
    if (e == 0 || e == std::string::npos || e + 1 == text.size()) return false;
    const std::size_t digits = e + 1 + (text[e + 1] == '+' || text[e + 1] == '-');
    return digits < text.size() &&
           std::all_of(text.begin(), text.begin() + static_cast<long>(e),
                       [](char c) { return isDigit(c) || c == '.'; }) &&
           std::all_of(text.begin() + static_cast<long>(digits), text.end(), isDigit);
}

// Why `text` is no number, in the words of a message.
LineError notANumber(const std::string& text, const std::string& what) {
    if (negativeNumber(text)) return LineError{what + " " + text + " is negative"};
    if (exponentNumber(text))
        return LineError{"bad number " + inQuotes(text) + " for " + what +
                         " (write it without an exponent)"};
    return LineError{"bad number " + inQuotes(text) + " for " + what};
}

}  // namespace

void need(const Tokens& t, std::size_t index, const std::string& what) {
    if (t.size() <= index)
        throw LineError{"missing argument: " + text::Lower(t[0].text) + " needs " + what};
}

bool parseOnOrOff(const std::string& text, const std::string& what) {
    const std::string w = text::Lower(text);
    if (w == "on") return true;
    if (w == "off") return false;
    throw LineError{"bad " + what + " " + inQuotes(text) + " (use on or off)"};
}

void noMore(const Tokens& t, std::size_t count) {
    if (t.size() > count)
        throw LineError{"unexpected argument " + inQuotes(t[count].text) + " after " +
                        text::Lower(t[0].text)};
}

uint64_t parseUnsigned(const std::string& text, uint64_t max, const std::string& what) {
    std::string_view digits(text);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'b' || digits[1] == 'B')) {
        base = 2;
        digits.remove_prefix(2);
    }
    // from_chars would take a sign or a second prefix as the end of the
    // number; only digits are allowed.
    const bool onlyDigits =
        !digits.empty() && std::all_of(digits.begin(), digits.end(), [base](char c) {
            const int d = quill::text::HexDigit(c);
            return d >= 0 && d < base;
        });
    if (!onlyDigits) {
        if (base == 10 && text.find('.') != std::string::npos &&
            std::any_of(text.begin(), text.end(), isDigit) &&
            std::all_of(text.begin(), text.end(), [](char c) { return isDigit(c) || c == '.'; }))
            throw LineError{what + " " + text + " is no whole number"};
        throw notANumber(text, what);
    }
    uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error == std::errc::result_out_of_range || (error == std::errc{} && value > max))
        throw LineError{what + " " + text + " is too large (at most " + std::to_string(max) + ")"};
    if (error != std::errc{} || end != digits.data() + digits.size())
        throw LineError{"bad number " + inQuotes(text) + " for " + what};
    return value;
}

double parseDecimal(const std::string& text, const std::string& what) {
    bool dot = false;
    bool digit = false;
    for (char c : text) {
        if (c == '.' && !dot) {
            dot = true;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            throw notANumber(text, what);
        }
    }
    if (!digit) throw notANumber(text, what);
    double value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, std::chars_format::fixed);
    if (error != std::errc{} || end != last || !std::isfinite(value))
        throw LineError{"bad number " + inQuotes(text) + " for " + what};
    return value;
}

double parseQuantity(const Tokens& t, std::size_t& at, const std::vector<Unit>& units,
                     const std::string& noun, const std::string& example,
                     const std::string& missing, std::optional<double> unitless) {
    if (at >= t.size()) throw LineError{"missing argument: " + missing};
    const std::string written = t[at].text;
    // The number: digits and points, and an exponent, which parseDecimal
    // refuses by name (a unit begins with no digit).
    std::size_t split = !written.empty() && written[0] == '-' ? 1 : 0;
    while (split < written.size() && (isDigit(written[split]) || written[split] == '.')) ++split;
    if (split + 1 < written.size() && (written[split] == 'e' || written[split] == 'E') &&
        (isDigit(written[split + 1]) || written[split + 1] == '-' || written[split + 1] == '+')) {
        split += 2;
        while (split < written.size() && isDigit(written[split])) ++split;
    }
    const std::string number = written.substr(0, split);
    std::string unit = written.substr(split);
    if (number.empty() || number == "-")
        throw LineError{"bad " + noun + " " + inQuotes(written) + " (write a number and a unit such as " +
                        example + ")"};
    ++at;
    std::string names;
    for (const Unit& u : units) names += (names.empty() ? "" : ", ") + u.name;
    const auto known = [&](const std::string& word) -> const Unit* {
        for (const Unit& u : units)
            if (Lower(word) == Lower(u.name)) return &u;
        return nullptr;
    };
    if (unit.empty() && at < t.size() && known(t[at].text)) unit = t[at++].text;
    const std::string shown = written + (unit.empty() || written.ends_with(unit) ? "" : " " + unit);
    if (negativeNumber(number))
        throw LineError{"the " + noun + " " + shown + " is negative (write one such as " + example +
                        ")"};
    const double value = parseDecimal(number, "the " + noun);
    if (unit.empty()) {
        if (unitless) return value * *unitless;
        throw LineError{"the " + noun + " " + number + " needs a unit (" + names + ")"};
    }
    const Unit* u = known(unit);
    if (!u)
        throw LineError{"unknown unit " + inQuotes(unit) + " for the " + noun + " (use " + names +
                        ")"};
    return value * u->factor;
}

bool parseLevel(const std::string& text, const std::string& what) {
    const std::string t = Lower(text);
    if (t == "1" || t == "high" || t == "on" || t == "true" || t == "yes") return true;
    if (t == "0" || t == "low" || t == "off" || t == "false" || t == "no") return false;
    throw LineError{"bad " + what + " " + inQuotes(text) + " (use 1 or 0)"};
}

bool parseOnOff(const std::string& text) {
    const std::string t = Lower(text);
    if (t == "on" || t == "1") return true;
    if (t == "off" || t == "0") return false;
    throw LineError{"bad LED state " + inQuotes(text) + " (use on or off)"};
}

bool isRegisterName(const std::string& name) {
    if (name.empty() || name.size() > 16 || !std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::string parseRegisterName(const std::string& text) {
    if (!isRegisterName(text))
        throw LineError{"unknown register form " + inQuotes(text) +
                        " (write a register name such as PORTA)"};
    return Upper(text);
}

PinCondition parsePinCondition(const std::string& reference, const std::string& level,
                               const boards::Board* board) {
    // A board's name: the level of its port pin, PINB.5 for D13 on an Uno.
    std::string why;
    if (const auto pin = boards::portPinOfName(reference, board, "pin", "PINB.5", &why))
        return PinCondition{std::string("PIN") + pin->port, pin->bit, parseLevel(level, "pin level")};
    if (!why.empty()) throw LineError{why};
    const std::size_t dot = reference.find('.');
    if (dot == std::string::npos || !isRegisterName(reference.substr(0, dot)) ||
        dot + 2 != reference.size() || reference[dot + 1] < '0' || reference[dot + 1] > '7') {
        throw LineError{"unknown register form " + inQuotes(reference) +
                        " (write register.bit such as PORTA.0, bit 0 to 7)"};
    }
    return PinCondition{Upper(reference.substr(0, dot)), reference[dot + 1] - '0',
                        parseLevel(level, "pin level")};
}

char parsePortLetter(const std::string& text, const std::string& key) {
    std::string t = Upper(text);
    for (const char* prefix : {"PORT", "PIN", "DDR"}) {
        const std::string p(prefix);
        if (t.size() == p.size() + 1 && t.compare(0, p.size(), p) == 0) t = t.substr(p.size());
    }
    if (t.size() != 1 || t[0] < 'A' || t[0] > 'Z')
        throw LineError{"bad " + key + " " + inQuotes(text) + " (use a port letter such as B)"};
    return t[0];
}

std::string parseLcdText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size() || text[i + 1] != 'x') {
            out += text[i];
            continue;
        }
        unsigned code = 0;
        const char* first = text.data() + i + 2;
        const char* last = text.data() + std::min(text.size(), i + 4);
        const auto [end, error] = std::from_chars(first, last, code, 16);
        if (error != std::errc() || end != first + 2)
            throw LineError{"bad character escape in " + inQuotes(text) +
                            " (use \\x and two hex digits, such as \\x00)"};
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        i += 3;
    }
    return out;
}

std::string lcdTextForReport(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x20) {
            out += c;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", code);
        out += escape;
    }
    return out;
}

std::optional<char> parseKey(const Token& token) {
    const std::string t = Lower(token.text);
    if (t.size() == 1 && ((t[0] >= '0' && t[0] <= '9') || t[0] == '*' || t[0] == '#')) return t[0];
    if (t == "star") return '*';
    if (t == "hash" || t == "pound") return '#';
    return std::nullopt;
}

Condition parseCondition(const Tokens& t, const std::string& what, const boards::Board* board) {
    if (t.empty()) throw LineError{"missing argument: " + what + " needs a condition"};
    const std::string kind = Lower(t[0].text);
    auto missing = [&](const std::string& arg) {
        return LineError{"missing argument: " + what + " " + kind + " needs " + arg};
    };
    auto extra = [&](std::size_t at) {
        return LineError{"unexpected argument " + inQuotes(t[at].text) + " after " + what + " " +
                         kind};
    };
    if (kind == "pin") {
        if (t.size() < 2) throw missing("a pin such as PORTA.0");
        if (t.size() < 3) throw missing("a level, 1 or 0");
        if (t.size() > 3) throw extra(3);
        return parsePinCondition(t[1].text, t[2].text, board);
    }
    if (kind == "register") {
        if (t.size() < 2) throw missing("a register name such as PORTA");
        const std::string reg = parseRegisterName(t[1].text);
        if (t.size() < 3) throw missing("a value such as 0x81");
        RegisterCondition c{reg, static_cast<uint8_t>(parseUnsigned(t[2].text, 255, "value"))};
        if (t.size() > 3) {
            if (Lower(t[3].text) != "mask") throw extra(3);
            if (t.size() < 5) throw missing("a mask after mask");
            if (t.size() > 5) throw extra(5);
            c.mask = static_cast<uint8_t>(parseUnsigned(t[4].text, 255, "mask"));
            // A check of no bits would always hold.
            if (c.mask == 0)
                throw LineError{"mask 0 compares no bits: the check would always hold"};
            c.value &= c.mask;
        }
        return c;
    }
    throw LineError{"unknown condition " + inQuotes(t[0].text) + " for " + what +
                    " (use pin, register or lcd)"};
}

PortPin parsePortPin(const std::string& text, const std::string& key) {
    if (text.size() != 2 || !std::isalpha(static_cast<unsigned char>(text[0])) || text[1] < '0' ||
        text[1] > '7')
        throw LineError{"bad " + key + " " + inQuotes(text) +
                        " (use a port letter and a bit such as A1)"};
    return PortPin{static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))),
                   text[1] - '0'};
}

PortPin resolvePin(const std::string& text, const boards::Board* board, const std::string& key) {
    // The board's names first (A0 on a Mega is PF0); then a port pin, but
    // with a board "D5" is always the board's D5, never port D.
    std::string why;
    if (const auto named = boards::portPinOfName(text, board, key, "B5", &why))
        return PortPin{named->port, named->bit};
    const bool boardName = boards::looksLikePinName(text);
    if (!why.empty() && (board || text.size() != 2)) throw LineError{why};
    std::string pin = text;
    if (pin.size() == 3 && (pin[0] == 'P' || pin[0] == 'p')) pin = pin.substr(1);
    if (pin.size() == 2 && std::isalpha(static_cast<unsigned char>(pin[0])) && pin[1] >= '0' &&
        pin[1] <= '7' && !(board && boardName))
        return parsePortPin(pin, key);
    if (!why.empty()) throw LineError{why};
    throw LineError{"bad " + key + " " + inQuotes(text) +
                    " (use a port letter and a bit such as A1" +
                    (board ? " or a pin name of the " + board->name + " such as D13" : "") + ")"};
}

bool parseLcdSetting(const std::string& key, const std::string& value, LcdSettings& s,
                     const boards::Board* board) {
    if (key == "data") {
        s.data = parsePortLetter(value, key);
    } else if (key == "nibble") {
        const std::string v = Lower(value);
        if (v != "high" && v != "low")
            throw LineError{"bad nibble " + inQuotes(value) + " (use high or low)"};
        s.highNibble = v == "high";
    } else if (key == "bits") {
        if (value != "4" && value != "8")
            throw LineError{"bad bits " + inQuotes(value) + " (use 4 or 8)"};
        s.fourBits = value == "4";
    } else if (key == "pinreg") {
        s.pinRegister = parseLevel(value, "pinreg value");
    } else if (key == "trace") {
        s.trace = parseLevel(value, "trace value");
    } else if (key == "e") {
        s.enable = resolvePin(value, board, key);
    } else if (key == "rs") {
        s.rs = resolvePin(value, board, key);
    } else if (key == "rw") {
        // none: tied to ground, every transfer a write.
        if (Lower(value) == "none") {
            s.rwNone = true;
        } else {
            s.rw = resolvePin(value, board, key);
        }
    } else if (key.size() == 2 && key[0] == 'd' && key[1] >= '0' && key[1] <= '7') {
        s.dataPins[static_cast<std::size_t>(key[1] - '0')] = resolvePin(value, board, key);
    } else if (key == "size") {
        // The dialog judges the range and says why it refuses a value.
        s.size = static_cast<int>(parseUnsigned(value, 999, "size"));
    } else if (key == "lines") {
        if (value != "1" && value != "2" && value != "4")
            throw LineError{"bad lines " + inQuotes(value) + " (use 1, 2 or 4)"};
        s.lines = value[0] - '0';
    } else if (key == "zoom") {
        s.zoom = static_cast<int>(parseUnsigned(value, 999, "zoom"));
    } else {
        return false;
    }
    return true;
}

void checkLcdWiring(const LcdSettings& s) {
    bool pinByPin = false;
    for (const auto& pin : s.dataPins) pinByPin = pinByPin || pin.has_value();
    if (!pinByPin) return;
    if (s.data || s.highNibble)
        throw LineError{"data= and nibble= put the data lines on consecutive pins of one port; "
                        "with d0= ... d7= each line has its own pin: give one or the other"};
    bool eightBits = s.fourBits && !*s.fourBits;
    for (int d = 0; d < 4 && !eightBits; ++d) {
        if (s.dataPins[static_cast<std::size_t>(d)])
            throw LineError{"d" + std::to_string(d) +
                            " is a line of the 8-bit interface: give bits=8 (a 4-bit interface "
                            "uses d4 to d7)"};
    }
    // Every line of the interface, each on a pin of its own.
    std::string missing;
    for (int d = eightBits ? 0 : 4; d < 8; ++d)
        if (!s.dataPins[static_cast<std::size_t>(d)])
            missing += (missing.empty() ? "d" : ", d") + std::to_string(d);
    if (!missing.empty())
        throw LineError{"the data lines are wired pin by pin, but " + missing +
                        (missing.size() > 2 ? " are" : " is") + " missing (bits=" +
                        (eightBits ? "8 needs d0 to d7)" : "4 needs d4 to d7)")};
    std::vector<std::pair<std::string, PortPin>> used;
    if (s.enable) used.emplace_back("e", *s.enable);
    if (s.rs) used.emplace_back("rs", *s.rs);
    if (s.rw) used.emplace_back("rw", *s.rw);
    for (int d = 0; d < 8; ++d)
        if (const auto& pin = s.dataPins[static_cast<std::size_t>(d)])
            used.emplace_back("d" + std::to_string(d), *pin);
    for (std::size_t i = 0; i < used.size(); ++i)
        for (std::size_t j = i + 1; j < used.size(); ++j)
            if (used[i].second.port == used[j].second.port &&
                used[i].second.bit == used[j].second.bit)
                throw LineError{used[i].first + " and " + used[j].first + " are both on pin P" +
                                std::string(1, used[i].second.port) +
                                std::to_string(used[i].second.bit) +
                                ": each line needs a pin of its own"};
}

ComponentKind parseComponentKind(const std::string& name) {
    const std::string key = Lower(name);
    const auto* known = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                     [&](const KindName& k) { return key == k.name; });
    if (known != std::end(kKindNames)) return known->kind;
    for (const char* coming : kComingKinds)
        if (key == coming)
            throw LineError{"component " + inQuotes(name) + " is not available yet in scenarios"};
    throw LineError{"unknown component " + inQuotes(name) +
                    " (known: LED, Switch, \"Knight Rider\", Keypad, Stackview, \"Hitachi LCD\", "
                    "Slider, \"Capacity Measurement\", Beerbasement)"};
}

}  // namespace quill::scenario
