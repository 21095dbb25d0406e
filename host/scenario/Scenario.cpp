#include "host/scenario/Scenario.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace quill::scenario {

namespace {

constexpr std::size_t kMaxLineLength = 4096;
constexpr std::size_t kMaxTokenLength = 256;
constexpr std::size_t kMaxFileBytes = 4u << 20;
constexpr uint64_t kMaxCycles = 1000000000000ull;  // about 11 days at 1 MHz
constexpr double kMaxMilliseconds = 1e9;
constexpr uint32_t kMaxFrequency = 100000000;

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) { return lower(a) == lower(b); }

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A failed line: the message goes to the caller's diagnostics.
struct LineError {
    std::string message;
};

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits a line into words. Double quotes group words with spaces ("LED 2");
// inside them \" and \\ stand for " and \. A '#' at the start of a word
// begins a comment that runs to the end of the line.
std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < line.size()) {
        const char c = line[i];
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token token;
        if (c == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char d = line[i];
                if (d == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    token.text += line[i + 1];
                    i += 2;
                    continue;
                }
                if (static_cast<unsigned char>(d) < 0x20 && d != '\t')
                    throw LineError{"control character in quoted text"};
                token.text += d;
                ++i;
            }
            if (!closed) throw LineError{"quoted text is not closed (missing \")"};
            if (i < line.size() && !isSpace(line[i]) && line[i] != '#')
                throw LineError{"a space must follow quoted text"};
        } else {
            while (i < line.size() && !isSpace(line[i])) {
                const char d = line[i];
                if (d == '"') throw LineError{"a quote may only begin a word"};
                if (static_cast<unsigned char>(d) < 0x20) throw LineError{"control character"};
                token.text += d;
                ++i;
            }
        }
        if (token.text.size() > kMaxTokenLength)
            throw LineError{"word longer than " + std::to_string(kMaxTokenLength) + " characters"};
        tokens.push_back(std::move(token));
    }
    return tokens;
}

// The line without its comment and surrounding blanks.
std::string withoutComment(std::string_view line) {
    bool insideQuotes = false;
    bool wordStart = true;
    std::size_t end = line.size();
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (insideQuotes) {
            if (c == '\\' && i + 1 < line.size()) {
                ++i;
            } else if (c == '"') {
                insideQuotes = false;
            }
            continue;
        }
        if (c == '"') {
            insideQuotes = true;
        } else if (c == '#' && wordStart) {
            end = i;
            break;
        }
        wordStart = c == ' ' || c == '\t';
    }
    std::string_view kept = line.substr(0, end);
    while (!kept.empty() && std::isspace(static_cast<unsigned char>(kept.back())))
        kept.remove_suffix(1);
    while (!kept.empty() && std::isspace(static_cast<unsigned char>(kept.front())))
        kept.remove_prefix(1);
    return std::string(kept);
}

// Unsigned integer in decimal, 0x hexadecimal or 0b binary, at most max.
uint64_t parseUnsigned(const std::string& text, uint64_t max, const std::string& what) {
    std::string digits = lower(text);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && digits[1] == 'x') {
        base = 16;
        digits = digits.substr(2);
    } else if (digits.size() > 2 && digits[0] == '0' && digits[1] == 'b') {
        base = 2;
        digits = digits.substr(2);
    }
    if (digits.empty()) throw LineError{"bad number " + inQuotes(text) + " for " + what};
    uint64_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else {
            d = 99;
        }
        if (d >= base) throw LineError{"bad number " + inQuotes(text) + " for " + what};
        if (static_cast<uint64_t>(d) > max ||
            value > (max - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base))
            throw LineError{what + " " + text + " is too large (at most " + std::to_string(max) +
                            ")"};
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    return value;
}

// A plain decimal number such as 5, 0.25 or 3.6864 (no exponent, no sign).
double parseDecimal(const std::string& text, const std::string& what) {
    bool dot = false;
    bool digit = false;
    for (char c : text) {
        if (c == '.' && !dot) {
            dot = true;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            throw LineError{"bad number " + inQuotes(text) + " for " + what};
        }
    }
    if (!digit) throw LineError{"bad number " + inQuotes(text) + " for " + what};
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double value = 0;
    in >> value;
    if (!std::isfinite(value)) throw LineError{"bad number " + inQuotes(text) + " for " + what};
    return value;
}

bool parseLevel(const std::string& text, const std::string& what) {
    const std::string t = lower(text);
    if (t == "1" || t == "high" || t == "on" || t == "true" || t == "yes") return true;
    if (t == "0" || t == "low" || t == "off" || t == "false" || t == "no") return false;
    throw LineError{"bad " + what + " " + inQuotes(text) + " (use 1 or 0)"};
}

bool parseOnOff(const std::string& text) {
    const std::string t = lower(text);
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
    return upper(text);
}

PinCondition parsePinCondition(const std::string& reference, const std::string& level) {
    const std::size_t dot = reference.find('.');
    if (dot == std::string::npos || !isRegisterName(reference.substr(0, dot)) ||
        dot + 2 != reference.size() || reference[dot + 1] < '0' || reference[dot + 1] > '7') {
        throw LineError{"unknown register form " + inQuotes(reference) +
                        " (write register.bit such as PORTA.0, bit 0 to 7)"};
    }
    return PinCondition{upper(reference.substr(0, dot)), reference[dot + 1] - '0',
                        parseLevel(level, "pin level")};
}

char parsePortLetter(const std::string& text, const std::string& key) {
    std::string t = upper(text);
    for (const char* prefix : {"PORT", "PIN", "DDR"}) {
        const std::string p(prefix);
        if (t.size() == p.size() + 1 && t.compare(0, p.size(), p) == 0) t = t.substr(p.size());
    }
    if (t.size() != 1 || t[0] < 'A' || t[0] > 'Z')
        throw LineError{"bad " + key + " " + inQuotes(text) + " (use a port letter such as B)"};
    return t[0];
}

std::optional<char> parseKey(const Token& token) {
    const std::string t = lower(token.text);
    if (t.size() == 1 && ((t[0] >= '0' && t[0] <= '9') || t[0] == '*' || t[0] == '#')) return t[0];
    if (t == "star") return '*';
    if (t == "hash" || t == "pound") return '#';
    return std::nullopt;
}

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
};
const char* const kComingKinds[] = {
    "slider", "capacity measurement", "beerbasement", "hitachi lcd", "lcd", "autostep", "settings"};

const char* const kCommandNames =
    "part, firmware, frequency, open, settings, click, press, release, wait, reset, expect, "
    "screenshot";

class Parser {
public:
    Parser(const std::string& file, const ParseOptions& options) : file_(file), options_(options) {}

    void line(int number, std::string_view raw, ParseResult& result) {
        try {
            if (raw.size() > kMaxLineLength)
                throw LineError{"line longer than " + std::to_string(kMaxLineLength) +
                                " characters"};
            const std::vector<Token> tokens = tokenize(raw);
            if (tokens.empty()) return;
            Step step{number, withoutComment(raw), command(tokens)};
            result.script.steps.push_back(std::move(step));
        } catch (const LineError& error) {
            result.errors.push_back(Diagnostic{file_, number, error.message});
        }
    }

private:
    struct Window {
        std::string name;
        ComponentKind kind;
        std::set<char> heldKeys;
    };

    Command command(const std::vector<Token>& t) {
        const std::string verb = lower(t[0].text);
        if (verb == "part") return part(t);
        if (verb == "firmware") return firmware(t);
        if (verb == "frequency") return frequency(t);
        started_ = true;
        if (verb == "open") return open(t);
        if (verb == "settings") return settings(t);
        if (verb == "click") return click(t);
        if (verb == "press" || verb == "release") return key(t, verb == "press");
        if (verb == "wait") return wait(t);
        if (verb == "reset") {
            noMore(t, 1);
            return ResetCommand{};
        }
        if (verb == "expect") return expect(t);
        if (verb == "screenshot") {
            need(t, 1, "a folder for the pictures");
            noMore(t, 2);
            return ScreenshotCommand{t[1].text};
        }
        if (verb == "set") return set(t);
        throw LineError{"unknown command " + inQuotes(t[0].text) + " (known: " + kCommandNames +
                        ")"};
    }

    // Throws unless t has an argument at position index.
    static void need(const std::vector<Token>& t, std::size_t index, const std::string& what) {
        if (t.size() <= index)
            throw LineError{"missing argument: " + lower(t[0].text) + " needs " + what};
    }

    static void noMore(const std::vector<Token>& t, std::size_t count) {
        if (t.size() > count)
            throw LineError{"unexpected argument " + inQuotes(t[count].text) + " after " +
                            lower(t[0].text)};
    }

    Command part(const std::vector<Token>& t) {
        need(t, 1, "a part name such as ATmega16");
        noMore(t, 2);
        if (started_) throw LineError{"part must come before the commands that use the target"};
        if (sawPart_) throw LineError{"the part is already chosen"};
        std::string name = t[1].text;
        if (!options_.knownParts.empty()) {
            auto known =
                std::find_if(options_.knownParts.begin(), options_.knownParts.end(),
                             [&](const std::string& p) { return equalsIgnoreCase(p, name); });
            if (known == options_.knownParts.end()) {
                std::string list;
                for (const std::string& p : options_.knownParts)
                    list += (list.empty() ? "" : ", ") + p;
                throw LineError{"unknown part " + inQuotes(name) + " (known: " + list + ")"};
            }
            name = *known;
        }
        sawPart_ = true;
        return PartCommand{name};
    }

    Command firmware(const std::vector<Token>& t) {
        need(t, 1, "the path of an ELF or Intel HEX file");
        noMore(t, 2);
        if (started_) throw LineError{"firmware must come before the commands that use the target"};
        if (sawFirmware_) throw LineError{"the firmware is already chosen"};
        sawFirmware_ = true;
        return FirmwareCommand{t[1].text};
    }

    Command frequency(const std::vector<Token>& t) {
        need(t, 1, "a clock frequency such as 1000000, 8 MHz or 500kHz");
        // The unit may stand apart ("8 MHz") or be joined ("8MHz").
        std::string number = t[1].text;
        std::string unit;
        std::size_t split = 0;
        while (split < number.size() &&
               (std::isdigit(static_cast<unsigned char>(number[split])) || number[split] == '.'))
            ++split;
        unit = number.substr(split);
        number = number.substr(0, split);
        if (t.size() > 2) {
            if (!unit.empty()) noMore(t, 2);
            unit = t[2].text;
            noMore(t, 3);
        }
        double scale;
        const std::string u = lower(unit);
        if (u.empty() || u == "hz") {
            scale = 1;
        } else if (u == "khz") {
            scale = 1e3;
        } else if (u == "mhz") {
            scale = 1e6;
        } else {
            throw LineError{"unknown frequency unit " + inQuotes(unit) + " (use Hz, kHz or MHz)"};
        }
        const double hertz = std::round(parseDecimal(number, "the frequency") * scale);
        if (hertz < 1 || hertz > kMaxFrequency)
            throw LineError{"frequency " + t[1].text + (t.size() > 2 ? " " + t[2].text : "") +
                            " is outside 1 Hz to 100 MHz"};
        return FrequencyCommand{static_cast<uint32_t>(hertz)};
    }

    Command open(const std::vector<Token>& t) {
        need(t, 1, "a component: LED, Switch, \"Knight Rider\", Keypad or Stackview");
        std::string name = t[1].text;
        std::size_t used = 2;
        // open Knight Rider, without quotes
        if (t.size() > 2 && !t[1].quoted && !t[2].quoted &&
            equalsIgnoreCase(name + " " + t[2].text, "knight rider")) {
            name += " " + t[2].text;
            used = 3;
        }
        noMore(t, used);
        const std::string key = lower(name);
        const auto* known = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                         [&](const KindName& k) { return key == k.name; });
        if (known == std::end(kKindNames)) {
            for (const char* coming : kComingKinds)
                if (key == coming)
                    throw LineError{"component " + inQuotes(name) +
                                    " is not available yet in scenarios"};
            throw LineError{"unknown component " + inQuotes(name) +
                            " (known: LED, Switch, \"Knight Rider\", Keypad, Stackview)"};
        }
        const ComponentKind kind = known->kind;
        const int count = ++opened_[kind];
        if (kind == ComponentKind::StackView && count > 1)
            throw LineError{"the Stack view is already open (there is only one)"};
        std::string window = baseName(kind);
        if (count > 1) window += " " + std::to_string(count);
        windows_.push_back(Window{window, kind, {}});
        return OpenCommand{kind, window};
    }

    Window& window(const Token& token) {
        for (Window& w : windows_)
            if (equalsIgnoreCase(w.name, token.text)) return w;
        std::string list;
        for (const Window& w : windows_) list += (list.empty() ? "" : ", ") + inQuotes(w.name);
        throw LineError{
            "no window named " + inQuotes(token.text) +
            (list.empty() ? std::string(" (no window is open)") : " (open windows: " + list + ")")};
    }

    Command settings(const std::vector<Token>& t) {
        need(t, 1, "a window name and key=value settings");
        Window& w = window(t[1]);
        SettingsCommand command;
        command.window = w.name;
        command.kind = w.kind;
        const bool bar = w.kind == ComponentKind::KnightRider;
        if (w.kind != ComponentKind::Led && w.kind != ComponentKind::Switch && !bar)
            throw LineError{"window " + inQuotes(w.name) + " has no settings"};
        const std::string allowed = bar ? "output, input, pin, mode" : "port, pin, mode, activelow";
        if (t.size() < 3)
            throw LineError{"missing argument: settings needs at least one key=value (" + allowed +
                            ")"};
        std::set<std::string> seen;
        for (std::size_t i = 2; i < t.size(); ++i) {
            const std::size_t eq = t[i].text.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == t[i].text.size())
                throw LineError{"setting " + inQuotes(t[i].text) +
                                " is not key=value (keys: " + allowed + ")"};
            const std::string key = lower(t[i].text.substr(0, eq));
            const std::string value = t[i].text.substr(eq + 1);
            if (!seen.insert(key).second) throw LineError{"setting " + key + " given twice"};
            if (key == "pin") {
                command.pin = static_cast<int>(parseUnsigned(value, 7, "pin"));
            } else if (key == "mode") {
                const std::string m = lower(value);
                if (m == "pin") {
                    command.mode = PinMode::Pin;
                } else if (m == "ddrport" || m == "ddr/port" || m == "ddr+port") {
                    command.mode = PinMode::DdrPort;
                } else {
                    throw LineError{"bad mode " + inQuotes(value) + " (use pin or ddrport)"};
                }
            } else if (!bar && key == "port") {
                command.port = parsePortLetter(value, key);
            } else if (!bar && key == "activelow") {
                command.activeLow = parseLevel(value, "activelow value");
            } else if (bar && key == "output") {
                command.outputPort = parsePortLetter(value, key);
            } else if (bar && key == "input") {
                command.inputPort = parsePortLetter(value, key);
            } else {
                throw LineError{"unknown setting " + inQuotes(key) + " for " + inQuotes(w.name) +
                                " (keys: " + allowed + ")"};
            }
        }
        return command;
    }

    Command click(const std::vector<Token>& t) {
        need(t, 1, "the name of a Switch or Knight Rider window");
        noMore(t, 2);
        Window& w = window(t[1]);
        if (w.kind != ComponentKind::Switch && w.kind != ComponentKind::KnightRider)
            throw LineError{"window " + inQuotes(w.name) + " has no switch to click"};
        return ClickCommand{w.name, w.kind};
    }

    Command key(const std::vector<Token>& t, bool press) {
        need(t, 1, "a keypad window and a key");
        Window& w = window(t[1]);
        if (w.kind != ComponentKind::Keypad)
            throw LineError{"window " + inQuotes(w.name) + " is not a keypad"};
        need(t, 2, "a key: 0 to 9, \"*\" or \"#\" (quote the # or write hash)");
        noMore(t, 3);
        const std::optional<char> k = parseKey(t[2]);
        if (!k) throw LineError{"unknown key " + inQuotes(t[2].text) + " (use 0 to 9, * or \"#\")"};
        const std::string name(1, *k);
        if (press && !w.heldKeys.insert(*k).second)
            throw LineError{"key " + name + " of " + inQuotes(w.name) + " is already held"};
        if (!press && w.heldKeys.erase(*k) == 0)
            throw LineError{"key " + name + " of " + inQuotes(w.name) + " is not held"};
        return KeyCommand{w.name, *k, press};
    }

    Command wait(const std::vector<Token>& t) {
        need(t, 1, "cycles <count>, ms <time> or until <condition>");
        const std::string unit = lower(t[1].text);
        if (unit == "cycles" || unit == "cycle") {
            need(t, 2, "a number of cycles");
            noMore(t, 3);
            const uint64_t cycles = parseUnsigned(t[2].text, kMaxCycles, "cycles");
            if (cycles == 0) throw LineError{"wait cycles needs at least 1 cycle"};
            return WaitCyclesCommand{cycles};
        }
        if (unit == "ms" || unit == "us") {
            need(t, 2, "a time");
            noMore(t, 3);
            double ms = parseDecimal(t[2].text, "the time");
            if (unit == "us") ms /= 1000;
            if (ms <= 0 || ms > kMaxMilliseconds)
                throw LineError{"wait time " + t[2].text + " " + unit + " is out of range"};
            return WaitTimeCommand{ms};
        }
        if (unit == "until") {
            need(t, 2, "a condition: pin <REG.bit> <level> or register <REG> <value>");
            std::vector<Token> rest(t.begin() + 2, t.end());
            uint64_t timeout = Script::kDefaultWaitTimeout;
            if (rest.size() >= 2 && lower(rest[rest.size() - 2].text) == "timeout") {
                timeout = parseUnsigned(rest.back().text, kMaxCycles, "timeout cycles");
                if (timeout == 0) throw LineError{"timeout needs at least 1 cycle"};
                rest.resize(rest.size() - 2);
            }
            return WaitUntilCommand{condition(rest, "wait until"), timeout};
        }
        throw LineError{"unknown wait " + inQuotes(t[1].text) +
                        " (use wait cycles <count>, wait ms <time> or wait until <condition>)"};
    }

    // "pin PORTA.0 1" or "register PORTA 0x81 [mask 0x0F]".
    static Condition condition(const std::vector<Token>& t, const std::string& what) {
        if (t.empty()) throw LineError{"missing argument: " + what + " needs a condition"};
        const std::string kind = lower(t[0].text);
        auto missing = [&](const std::string& arg) {
            return LineError{"missing argument: " + what + " " + kind + " needs " + arg};
        };
        auto extra = [&](std::size_t at) {
            return LineError{"unexpected argument " + inQuotes(t[at].text) + " after " + what +
                             " " + kind};
        };
        if (kind == "pin") {
            if (t.size() < 2) throw missing("a pin such as PORTA.0");
            if (t.size() < 3) throw missing("a level, 1 or 0");
            if (t.size() > 3) throw extra(3);
            return parsePinCondition(t[1].text, t[2].text);
        }
        if (kind == "register") {
            if (t.size() < 2) throw missing("a register name such as PORTA");
            const std::string reg = parseRegisterName(t[1].text);
            if (t.size() < 3) throw missing("a value such as 0x81");
            RegisterCondition c{reg, static_cast<uint8_t>(parseUnsigned(t[2].text, 255, "value"))};
            if (t.size() > 3) {
                if (lower(t[3].text) != "mask") throw extra(3);
                if (t.size() < 5) throw missing("a mask after mask");
                if (t.size() > 5) throw extra(5);
                c.mask = static_cast<uint8_t>(parseUnsigned(t[4].text, 255, "mask"));
                c.value &= c.mask;
            }
            return c;
        }
        throw LineError{"unknown condition " + inQuotes(t[0].text) + " for " + what +
                        " (use pin or register)"};
    }

    Command expect(const std::vector<Token>& t) {
        need(t, 1, "what to check: pin, register, led, bar or output");
        const std::string what = lower(t[1].text);
        if (what == "pin" || what == "register")
            return ExpectCommand{condition(std::vector<Token>(t.begin() + 1, t.end()), "expect")};
        if (what == "led") {
            need(t, 2, "an LED window name");
            Window& w = window(t[2]);
            if (w.kind != ComponentKind::Led)
                throw LineError{"window " + inQuotes(w.name) + " is not an LED"};
            need(t, 3, "on or off");
            noMore(t, 4);
            return ExpectLedCommand{w.name, parseOnOff(t[3].text)};
        }
        if (what == "bar") {
            need(t, 2, "a Knight Rider window name");
            Window& w = window(t[2]);
            if (w.kind != ComponentKind::KnightRider)
                throw LineError{"window " + inQuotes(w.name) + " is not a Knight Rider"};
            need(t, 3, "the lit segments as a byte such as 0x81");
            noMore(t, 4);
            return ExpectBarCommand{
                w.name, static_cast<uint8_t>(parseUnsigned(t[3].text, 255, "segments"))};
        }
        if (what == "output") {
            need(t, 2, "the text of an output line, in quotes");
            noMore(t, 3);
            if (t[2].text.empty()) throw LineError{"expect output needs a text that is not empty"};
            return ExpectOutputCommand{t[2].text};
        }
        if (what == "lcd") throw LineError{"expect lcd is not available yet"};
        throw LineError{"unknown check " + inQuotes(t[1].text) +
                        " (use pin, register, led, bar or output)"};
    }

    Command set(const std::vector<Token>& t) {
        need(t, 1, "what to set");
        const std::string what = lower(t[1].text);
        if (what == "slider" || what == "temperature")
            throw LineError{"set " + what + " is not available yet"};
        throw LineError{"unknown command \"set " + t[1].text + "\""};
    }

    std::string file_;
    const ParseOptions& options_;
    bool started_ = false;
    bool sawPart_ = false;
    bool sawFirmware_ = false;
    std::map<ComponentKind, int> opened_;
    std::vector<Window> windows_;
};

std::string conditionText(const Condition& condition) {
    if (const auto* pin = std::get_if<PinCondition>(&condition))
        return "pin " + pin->reg + "." + std::to_string(pin->bit) + " is " +
               (pin->level ? "1" : "0");
    const auto& reg = std::get<RegisterCondition>(condition);
    char text[64];
    if (reg.mask == 0xff) {
        std::snprintf(text, sizeof text, " is 0x%02X", reg.value);
    } else {
        std::snprintf(text, sizeof text, " is 0x%02X in mask 0x%02X", reg.value, reg.mask);
    }
    return "register " + reg.reg + text;
}

std::string hexByte(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

const char* baseName(ComponentKind kind) { return kCommands[commandOf(kind)].baseName; }

std::string Diagnostic::text() const {
    if (line <= 0) return file + ": " + message;
    return file + ":" + std::to_string(line) + ": " + message;
}

std::string Script::part() const {
    for (const Step& step : steps)
        if (const auto* p = std::get_if<PartCommand>(&step.command)) return p->name;
    return kDefaultPart;
}

const FirmwareCommand* Script::firmware() const {
    for (const Step& step : steps)
        if (const auto* f = std::get_if<FirmwareCommand>(&step.command)) return f;
    return nullptr;
}

std::string Script::resolvePath(const std::string& path,
                                const std::vector<std::string>& searchDirs) const {
    namespace fs = std::filesystem;
    const fs::path given(path);
    if (given.is_absolute()) return path;
    const fs::path local = directory.empty() ? given : fs::path(directory) / given;
    std::error_code error;
    if (fs::exists(local, error)) return local.string();
    for (const std::string& dir : searchDirs) {
        const fs::path candidate = fs::path(dir) / given;
        if (fs::exists(candidate, error)) return candidate.string();
    }
    return local.string();
}

ParseResult parse(std::string_view text, const std::string& fileName, const ParseOptions& options) {
    ParseResult result;
    result.script.file = fileName;
    const std::filesystem::path parent = std::filesystem::path(fileName).parent_path();
    result.script.directory = parent.string();
    Parser parser(fileName, options);
    int number = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        ++number;
        parser.line(number, text.substr(pos, end - pos), result);
        pos = end + 1;
    }
    return result;
}

ParseResult parseFile(const std::string& path, const ParseOptions& options) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        ParseResult result;
        result.errors.push_back(Diagnostic{path, 0, "is a folder, not a scenario file"});
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ParseResult result;
        result.errors.push_back(Diagnostic{path, 0, "cannot open the scenario file"});
        return result;
    }
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFileBytes) {
            ParseResult result;
            result.errors.push_back(Diagnostic{path, 0, "is too large for a scenario file"});
            return result;
        }
    }
    return parse(text, path, options);
}

std::string describe(const Command& command) {
    struct Describe {
        std::string operator()(const PartCommand& c) const { return "part " + c.name; }
        std::string operator()(const FirmwareCommand& c) const { return "firmware " + c.path; }
        std::string operator()(const FrequencyCommand& c) const {
            return "frequency " + std::to_string(c.hertz) + " Hz";
        }
        std::string operator()(const OpenCommand& c) const { return "open " + inQuotes(c.window); }
        std::string operator()(const SettingsCommand& c) const {
            std::string text = "settings of " + inQuotes(c.window) + ":";
            if (c.port) text += std::string(" port=") + *c.port;
            if (c.outputPort) text += std::string(" output=") + *c.outputPort;
            if (c.inputPort) text += std::string(" input=") + *c.inputPort;
            if (c.pin) text += " pin=" + std::to_string(*c.pin);
            if (c.mode) text += *c.mode == PinMode::Pin ? " mode=pin" : " mode=ddrport";
            if (c.activeLow) text += *c.activeLow ? " activelow=1" : " activelow=0";
            return text;
        }
        std::string operator()(const ClickCommand& c) const {
            return "click the switch of " + inQuotes(c.window);
        }
        std::string operator()(const KeyCommand& c) const {
            return std::string(c.press ? "press" : "release") + " key " + c.key + " on " +
                   inQuotes(c.window);
        }
        std::string operator()(const WaitCyclesCommand& c) const {
            return "wait " + std::to_string(c.cycles) + " cycles";
        }
        std::string operator()(const WaitTimeCommand& c) const {
            char text[64];
            std::snprintf(text, sizeof text, "wait %g ms", c.milliseconds);
            return text;
        }
        std::string operator()(const WaitUntilCommand& c) const {
            return "wait until " + conditionText(c.condition) + " (at most " +
                   std::to_string(c.timeoutCycles) + " cycles)";
        }
        std::string operator()(const ResetCommand&) const { return "reset"; }
        std::string operator()(const ExpectCommand& c) const {
            return "expect " + conditionText(c.condition);
        }
        std::string operator()(const ExpectLedCommand& c) const {
            return "expect LED " + inQuotes(c.window) + (c.on ? " on" : " off");
        }
        std::string operator()(const ExpectBarCommand& c) const {
            return "expect bar " + inQuotes(c.window) + " shows " + hexByte(c.segments);
        }
        std::string operator()(const ExpectOutputCommand& c) const {
            return "expect output " + inQuotes(c.text);
        }
        std::string operator()(const ScreenshotCommand& c) const {
            return "screenshot into " + c.directory;
        }
    };
    return std::visit(Describe{}, command);
}

}  // namespace quill::scenario
