// The scenario parser: one command per line, dispatched by its first word
// through the command table at the end of the Parser class.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "host/scenario/Lexer.h"
#include "host/scenario/Scenario.h"
#include "host/scenario/Values.h"
#include "host/sim/Clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace quill::scenario {

namespace {

using text::EqualsIgnoreCase;
using text::Lower;
using text::Upper;

constexpr std::size_t kMaxFileBytes = 4u << 20;
constexpr uint64_t kMaxCycles = kMaxWaitCycles;
constexpr double kMaxMilliseconds = 1e9;
constexpr uint32_t kMaxFrequency = 100000000;

class Parser {
public:
    Parser(const std::string& file, const ParseOptions& options) : file_(file), options_(options) {
        for (ComponentKind kind : options.openWindows) {
            const int count = ++opened_[kind];
            std::string window = baseName(kind);
            if (count > 1) window += " " + std::to_string(count);
            windows_.push_back(Window{window, kind, {}});
        }
    }

    void line(int number, std::string_view raw, ParseResult& result) {
        try {
            if (raw.size() > kMaxLineLength)
                throw LineError{"line longer than " + std::to_string(kMaxLineLength) +
                                " characters"};
            const Tokens tokens = tokenize(raw);
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

    Command command(const Tokens& t) {
        const std::string verb = Lower(t[0].text);
        for (const Verb& v : kVerbs) {
            if (verb != v.name) continue;
            if (!v.setUp) started_ = true;
            return (this->*v.parse)(t);
        }
        std::string known;
        for (const Verb& v : kVerbs) {
            if (v.listed) known += (known.empty() ? "" : ", ") + std::string(v.name);
        }
        throw LineError{"unknown command " + inQuotes(t[0].text) + " (known: " + known + ")"};
    }

    Command part(const Tokens& t) {
        need(t, 1, "a part name such as ATmega16");
        noMore(t, 2);
        if (started_) throw LineError{"part must come before the commands that use the target"};
        if (sawPart_) throw LineError{"the part is already chosen"};
        std::string name = t[1].text;
        if (!options_.knownParts.empty()) {
            auto known =
                std::find_if(options_.knownParts.begin(), options_.knownParts.end(),
                             [&](const std::string& p) { return EqualsIgnoreCase(p, name); });
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

    Command firmware(const Tokens& t) {
        need(t, 1, "the path of an ELF or Intel HEX file");
        noMore(t, 2);
        if (started_) throw LineError{"firmware must come before the commands that use the target"};
        if (sawFirmware_) throw LineError{"the firmware is already chosen"};
        sawFirmware_ = true;
        return FirmwareCommand{t[1].text};
    }

    Command frequency(const Tokens& t) {
        need(t, 1, "a clock frequency such as 1000000, 8 MHz or 500kHz");
        // The clock is the part's from the start: a later line would have
        // to change the time of the waits before it.
        if (started_)
            throw LineError{"frequency must come before the commands that use the target"};
        if (sawFrequency_) throw LineError{"the frequency is already chosen"};
        sawFrequency_ = true;
        // The unit may stand apart ("8 MHz"), be joined ("8MHz") or be left
        // out (Hz).
        std::size_t at = 1;
        const double given =
            parseQuantity(t, at, {{"Hz", 1.0}, {"kHz", 1e3}, {"MHz", 1e6}}, "frequency", "8 MHz",
                          "a clock frequency such as 1000000, 8 MHz or 500kHz", 1.0);
        noMore(t, at);
        // The range applies to the value as written: 0.5 Hz is below it,
        // not 1 Hz after rounding.
        const double hertz = std::round(given);
        if (given < quill::sim::kMinClockHz || given > kMaxFrequency)
            throw LineError{"frequency " + t[1].text + (t.size() > 2 ? " " + t[2].text : "") +
                            " is outside " + std::to_string(quill::sim::kMinClockHz) +
                            " Hz to 100 MHz (the simulator cannot time a slower clock)"};
        return FrequencyCommand{static_cast<uint32_t>(hertz)};
    }

    Command open(const Tokens& t) {
        need(t, 1,
             "a component: LED, Switch, \"Knight Rider\", Keypad, Stackview, \"Hitachi LCD\", "
             "Slider, \"Capacity Measurement\" or Beerbasement");
        std::string name = t[1].text;
        std::size_t used = 2;
        // open Knight Rider / Capacity Measurement, without quotes
        if (t.size() > 2 && !t[1].quoted && !t[2].quoted &&
            (EqualsIgnoreCase(name + " " + t[2].text, "knight rider") ||
             EqualsIgnoreCase(name + " " + t[2].text, "capacity measurement"))) {
            name += " " + t[2].text;
            used = 3;
        }
        noMore(t, used);
        const ComponentKind kind = parseComponentKind(name);
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
            if (EqualsIgnoreCase(w.name, token.text)) return w;
        std::string list;
        for (const Window& w : windows_) list += (list.empty() ? "" : ", ") + inQuotes(w.name);
        throw LineError{
            "no window named " + inQuotes(token.text) +
            (list.empty() ? std::string(" (no window is open)") : " (open windows: " + list + ")")};
    }

    // key=value pairs after the first `from` tokens; each key once.
    static std::vector<std::pair<std::string, std::string>> keyValues(const Tokens& t,
                                                                      std::size_t from,
                                                                      const std::string& allowed) {
        if (t.size() <= from)
            throw LineError{"missing argument: settings needs at least one key=value (" + allowed +
                            ")"};
        std::vector<std::pair<std::string, std::string>> pairs;
        std::set<std::string> seen;
        for (std::size_t i = from; i < t.size(); ++i) {
            const std::size_t eq = t[i].text.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == t[i].text.size())
                throw LineError{"setting " + inQuotes(t[i].text) +
                                " is not key=value (keys: " + allowed + ")"};
            const std::string key = Lower(t[i].text.substr(0, eq));
            if (!seen.insert(key).second) throw LineError{"setting " + key + " given twice"};
            pairs.emplace_back(key, t[i].text.substr(eq + 1));
        }
        return pairs;
    }

    static PinMode parseMode(const std::string& value) {
        const std::string m = Lower(value);
        if (m == "pin") return PinMode::Pin;
        if (m == "ddrport" || m == "ddr/port" || m == "ddr+port") return PinMode::DdrPort;
        throw LineError{"bad mode " + inQuotes(value) + " (use pin or ddrport)"};
    }

    // The Settings sheet's electrical page, in volts.
    static Command electrical(const Tokens& t) {
        const std::string allowed = "vcc, avcc, vref, aref, extaref";
        ElectricalCommand command;
        for (const auto& [key, value] : keyValues(t, 2, allowed)) {
            auto volts = [&key = key, &value = value](double lo, double hi) {
                const double v = parseDecimal(value, key);
                if (v < lo || v > hi) {
                    char range[64];
                    std::snprintf(range, sizeof range, " V is outside %.1f to %.1f V", lo, hi);
                    throw LineError{key + " " + value + range};
                }
                return v;
            };
            if (key == "vcc") {
                command.vcc = volts(2.7, 5.5);
            } else if (key == "avcc") {
                command.avcc = volts(2.4, 5.8);
            } else if (key == "vref") {
                command.vref = volts(2.0, 5.8);
            } else if (key == "aref") {
                command.aref = volts(2.0, 5.5);
            } else if (key == "extaref") {
                command.externalAref = parseLevel(value, "extaref value");
            } else {
                throw LineError{"unknown setting " + inQuotes(key) +
                                " for electrical (keys: " + allowed + ")"};
            }
        }
        // The ARef trackbar can be moved only with the AREF check box
        // ticked; the check box then ends as extaref says.
        if (command.aref && !command.externalAref)
            throw LineError{"aref needs extaref=1 or extaref=0 as well"};
        return command;
    }

    // The Settings sheet's "General" page.
    static Command general(const Tokens& t) {
        GeneralCommand command;
        for (const auto& [key, value] : keyValues(t, 2, "warnings")) {
            if (key != "warnings")
                throw LineError{"unknown setting " + inQuotes(key) + " for general (keys: warnings)"};
            command.warnings = parseLevel(value, "warnings value");
        }
        return command;
    }

    static Command analogSettings(const Tokens& t, const Window& w) {
        SettingsCommand command;
        command.window = w.name;
        command.kind = w.kind;
        const bool slider = w.kind == ComponentKind::Slider;
        const bool cellar = w.kind == ComponentKind::Beerbasement;
        const bool capacity = w.kind == ComponentKind::CapacityMeasurement;
        const std::string allowed = slider     ? "channel, reference"
                                    : capacity ? "port, pin, capacitance"
                                               : "channel, heater, cooler, status, mode";
        for (const auto& [key, value] : keyValues(t, 2, allowed)) {
            if ((slider || cellar) && key == "channel") {
                command.channel = static_cast<int>(parseUnsigned(value, 7, "channel"));
            } else if (slider && key == "reference") {
                const std::string r = Lower(value);
                if (r == "aref") {
                    command.reference = Reference::Aref;
                } else if (r == "avcc") {
                    command.reference = Reference::Avcc;
                } else if (r == "internal") {
                    command.reference = Reference::Internal;
                } else {
                    throw LineError{"bad reference " + inQuotes(value) +
                                    " (use aref, avcc or internal)"};
                }
            } else if (capacity && key == "port") {
                command.port = parsePortLetter(value, key);
            } else if (capacity && key == "pin") {
                command.pin = static_cast<int>(parseUnsigned(value, 7, "pin"));
            } else if (capacity && key == "capacitance") {
                command.capacitance = static_cast<int>(parseUnsigned(value, 1000, "capacitance"));
            } else if (cellar && key == "heater") {
                command.heater = parsePortPin(value, key);
            } else if (cellar && key == "cooler") {
                command.cooler = parsePortPin(value, key);
            } else if (cellar && key == "status") {
                command.status = parsePortPin(value, key);
            } else if (cellar && key == "mode") {
                command.mode = parseMode(value);
            } else {
                throw LineError{"unknown setting " + inQuotes(key) + " for " + inQuotes(w.name) +
                                " (keys: " + allowed + ")"};
            }
        }
        return command;
    }

    Command settings(const Tokens& t) {
        need(t, 1, "a window name (or electrical) and key=value settings");
        if (!t[1].quoted && Lower(t[1].text) == "electrical") return electrical(t);
        if (!t[1].quoted && Lower(t[1].text) == "general") return general(t);
        Window& w = window(t[1]);
        if (w.kind == ComponentKind::Slider || w.kind == ComponentKind::CapacityMeasurement ||
            w.kind == ComponentKind::Beerbasement)
            return analogSettings(t, w);
        SettingsCommand command;
        command.window = w.name;
        command.kind = w.kind;
        const bool bar = w.kind == ComponentKind::KnightRider;
        const bool lcd = w.kind == ComponentKind::Lcd;
        if (w.kind != ComponentKind::Led && w.kind != ComponentKind::Switch && !bar && !lcd)
            throw LineError{"window " + inQuotes(w.name) + " has no settings"};
        const std::string allowed = lcd   ? kLcdSettingKeys
                                    : bar ? "output, input, pin, mode"
                                          : "port, pin, mode, activelow";
        if (t.size() < 3)
            throw LineError{"missing argument: settings needs at least one key=value (" + allowed +
                            ")"};
        std::set<std::string> seen;
        for (std::size_t i = 2; i < t.size(); ++i) {
            const std::size_t eq = t[i].text.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == t[i].text.size())
                throw LineError{"setting " + inQuotes(t[i].text) +
                                " is not key=value (keys: " + allowed + ")"};
            const std::string key = Lower(t[i].text.substr(0, eq));
            const std::string value = t[i].text.substr(eq + 1);
            if (!seen.insert(key).second) throw LineError{"setting " + key + " given twice"};
            if (lcd) {
                if (!parseLcdSetting(key, value, command.lcd))
                    throw LineError{"unknown setting " + inQuotes(key) + " for " +
                                    inQuotes(w.name) + " (keys: " + allowed + ")"};
            } else if (key == "pin") {
                command.pin = static_cast<int>(parseUnsigned(value, 7, "pin"));
            } else if (key == "mode") {
                const std::string m = Lower(value);
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

    Command click(const Tokens& t) {
        need(t, 1, "the name of a Switch or Knight Rider window");
        noMore(t, 2);
        Window& w = window(t[1]);
        if (w.kind != ComponentKind::Switch && w.kind != ComponentKind::KnightRider)
            throw LineError{"window " + inQuotes(w.name) + " has no switch to click"};
        return ClickCommand{w.name, w.kind};
    }

    Command key(const Tokens& t, bool press) {
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

    Command wait(const Tokens& t) {
        need(t, 1, "cycles <count>, ms <time>, until <condition> or for debugger");
        const std::string unit = Lower(t[1].text);
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
        if (unit == "for") return parseWaitForDebugger(Tokens(t.begin() + 1, t.end()));
        if (unit == "until") {
            need(t, 2, "a condition: pin <REG.bit> <level> or register <REG> <value>");
            Tokens rest(t.begin() + 2, t.end());
            uint64_t timeout = Script::kDefaultWaitTimeout;
            if (rest.size() >= 2 && Lower(rest[rest.size() - 2].text) == "timeout") {
                timeout = parseUnsigned(rest.back().text, kMaxCycles, "timeout cycles");
                if (timeout == 0) throw LineError{"timeout needs at least 1 cycle"};
                rest.resize(rest.size() - 2);
            }
            if (auto instrument = parseInstrumentWait(rest, timeout)) return *instrument;
            if (auto exit = parseWaitExit(rest, timeout)) return *exit;
            return WaitUntilCommand{condition(rest, "wait until"), timeout};
        }
        throw LineError{"unknown wait " + inQuotes(t[1].text) +
                        " (use wait cycles <count>, wait ms <time> or wait until <condition>)"};
    }

    Command send(const Tokens& t) { return parseSendCommand(t); }
    Command record(const Tokens& t) { return parseRecordCommand(t); }
    Command stop(const Tokens& t) { return parseStopCommand(t); }

    Command expect(const Tokens& t) {
        need(t, 1,
             "what to check: pin, register, led, bar, lcd, output, autostep, file, channel, text, "
             "source or variable");
        const std::string what = Lower(t[1].text);
        if (auto instrument = parseInstrumentCheck(t)) return *instrument;
        if (auto exit = parseExpectExit(Tokens(t.begin() + 1, t.end()))) return *exit;
        if (what == "pin" || what == "register" || what == "lcd")
            return ExpectCommand{condition(Tokens(t.begin() + 1, t.end()), "expect")};
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
        if (what == "autostep") {
            need(t, 2, "on or off");
            noMore(t, 3);
            return ExpectAutostepCommand{parseOnOrOff(t[2].text, "autostep state")};
        }
        if (what == "file") {
            need(t, 2, "a file path, contains and a text in quotes");
            if (t.size() < 4 || Lower(t[3].text) != "contains")
                throw LineError{"expect file needs: expect file PATH contains \"TEXT\""};
            need(t, 4, "the text the file contains, in quotes");
            noMore(t, 5);
            if (t[2].text.empty() || t[4].text.empty())
                throw LineError{"expect file needs a path and a text that are not empty"};
            return ExpectFileCommand{t[2].text, t[4].text};
        }
        if (what == "channel") {
            need(t, 2, "a Slider or Beerbasement window, or a channel such as ADC3");
            ExpectChannelCommand c;
            const std::string name = Upper(t[2].text);
            if (!t[2].quoted && name.size() == 4 && name.compare(0, 3, "ADC") == 0 &&
                name[3] >= '0' && name[3] <= '7') {
                c.channel = name[3] - '0';
            } else {
                Window& w = window(t[2]);
                if (w.kind != ComponentKind::Slider && w.kind != ComponentKind::Beerbasement)
                    throw LineError{"window " + inQuotes(w.name) + " drives no channel"};
                c.window = w.name;
            }
            need(t, 3, "a value (percent of a Slider, millivolts of a Beerbasement) or N mV");
            c.millivolts = t.size() > 4 && Lower(t[4].text) == "mv";
            noMore(t, c.millivolts ? 5 : 4);
            c.value = parseDecimal(t[3].text, "the channel value");
            if (c.window.empty() && !c.millivolts)
                throw LineError{"expect channel " + t[2].text + " needs a value in mV"};
            return c;
        }
        if (what == "source") return parseExpectSource(Tokens(t.begin() + 1, t.end()));
        if (what == "variable") return parseExpectVariable(Tokens(t.begin() + 1, t.end()));
        if (what == "text") {
            need(t, 2, "a window name");
            Window& w = window(t[2]);
            need(t, 3, "a control number");
            need(t, 4, "the text, in quotes");
            noMore(t, 5);
            const int control = static_cast<int>(parseUnsigned(t[3].text, 65535, "control"));
            return ExpectTextCommand{w.name, control, t[4].text};
        }
        throw LineError{
            "unknown check " + inQuotes(t[1].text) +
            " (use pin, register, led, bar, lcd, output, autostep, file, channel, text, source, "
            "variable, serial, frequency, duty or exit)"};
    }

    // A register or pin condition (Values.h), or one about an LCD window:
    // "lcd <window> line <n> <text>", "lcd <window> cursor <line> <column>|none"
    // "lcd <window> protocol ok|warned" or "lcd <window> picture <file.png>".
    Condition condition(const Tokens& t, const std::string& what) {
        if (t.empty() || Lower(t[0].text) != "lcd") return parseCondition(t, what);
        auto missing = [&](const std::string& arg) {
            return LineError{"missing argument: " + what + " lcd needs " + arg};
        };
        if (t.size() < 2) throw missing("an LCD window name");
        Window& w = window(t[1]);
        if (w.kind != ComponentKind::Lcd)
            throw LineError{"window " + inQuotes(w.name) + " is not a Hitachi LCD"};
        if (t.size() < 3) throw missing("line <n> \"text\" or cursor <line> <column>");
        const std::string part = Lower(t[2].text);
        auto noMoreThan = [&](std::size_t count) {
            if (t.size() > count)
                throw LineError{"unexpected argument " + inQuotes(t[count].text) + " after " +
                                what + " lcd " + part};
        };
        if (part == "line") {
            if (t.size() < 4) throw missing("a line number, 1 to 4");
            const int line = static_cast<int>(parseUnsigned(t[3].text, 4, "line"));
            if (line < 1) throw LineError{"LCD lines count from 1"};
            if (t.size() < 5) throw missing("the text of the line, in quotes");
            noMoreThan(5);
            return LcdLineCondition{w.name, line, parseLcdText(t[4].text)};
        }
        if (part == "cursor") {
            if (t.size() < 4) throw missing("a line and a column, or none");
            if (Lower(t[3].text) == "none") {
                noMoreThan(4);
                return LcdCursorCondition{w.name, true, 0, 0};
            }
            if (t.size() < 5) throw missing("a column after the line");
            noMoreThan(5);
            const int line = static_cast<int>(parseUnsigned(t[3].text, 4, "line"));
            const int column = static_cast<int>(parseUnsigned(t[4].text, 80, "column"));
            if (line < 1 || column < 1) throw LineError{"LCD lines and columns count from 1"};
            return LcdCursorCondition{w.name, false, line, column};
        }
        if (part == "protocol") {
            if (t.size() < 4) throw missing("ok or warned");
            noMoreThan(4);
            const std::string verdict = Lower(t[3].text);
            if (verdict != "ok" && verdict != "warned")
                throw LineError{"bad protocol verdict " + inQuotes(t[3].text) +
                                " (use ok or warned)"};
            return LcdProtocolCondition{w.name, verdict == "warned"};
        }
        if (part == "picture") {
            if (t.size() < 4) throw missing("a PNG file");
            noMoreThan(4);
            return LcdPictureCondition{w.name, t[3].text};
        }
        throw LineError{"unknown LCD check " + inQuotes(t[2].text) +
                        " (use line, cursor, protocol or picture)"};
    }

    Command set(const Tokens& t) {
        need(t, 1, "what to set");
        const std::string what = Lower(t[1].text);
        if (what == "slider") {
            need(t, 2, "a Slider window name");
            Window& w = window(t[2]);
            if (w.kind != ComponentKind::Slider)
                throw LineError{"window " + inQuotes(w.name) + " is not a Slider"};
            need(t, 3, "a percentage (0 to 100) or millivolts (1200 mV)");
            const bool millivolts = t.size() > 4 && Lower(t[4].text) == "mv";
            noMore(t, millivolts ? 5 : 4);
            const double value = parseDecimal(t[3].text, millivolts ? "millivolts" : "percent");
            if (millivolts ? value > 9999 : value > 100)
                throw LineError{"slider value " + t[3].text +
                                (millivolts ? " mV is above 9999" : " % is above 100")};
            if (!millivolts && value != std::floor(value))
                throw LineError{"slider percent " + t[3].text + " is not a whole number"};
            return SetSliderCommand{w.name, value, millivolts};
        }
        if (what == "temperature") {
            need(t, 2, "a Beerbasement window name");
            Window& w = window(t[2]);
            if (w.kind != ComponentKind::Beerbasement)
                throw LineError{"window " + inQuotes(w.name) + " is not a Beerbasement"};
            need(t, 3, "whole degrees, -10 to 40");
            noMore(t, 4);
            std::string text = t[3].text;
            const bool negative = !text.empty() && text[0] == '-';
            if (negative) text = text.substr(1);
            const int degrees = static_cast<int>(parseUnsigned(text, 40, "temperature"));
            const int celsius = negative ? -degrees : degrees;
            if (celsius < -10) throw LineError{"temperature " + t[3].text + " is below -10"};
            return SetTemperatureCommand{w.name, celsius};
        }
        if (what == "variable") return parseSetVariable(Tokens(t.begin() + 1, t.end()));
        throw LineError{"unknown command \"set " + t[1].text +
                        "\" (use set slider, set temperature or set variable)"};
    }

    Command reset(const Tokens& t) {
        noMore(t, 1);
        return ResetCommand{};
    }

    Command screenshot(const Tokens& t) {
        need(t, 1, "a folder for the pictures");
        noMore(t, 2);
        return ScreenshotCommand{t[1].text};
    }

    Command autostep(const Tokens& t) { return parseAutostepCommand(t); }
    Command idle(const Tokens& t) { return parseIdleCommand(t); }
    Command event(const Tokens& t) { return parseEventCommand(t); }
    Command logger(const Tokens& t) { return parseLoggerCommand(t); }
    Command breakAt(const Tokens& t) { return parseBreak(t); }
    Command clear(const Tokens& t) { return parseClear(t); }
    Command runUntil(const Tokens& t) { return parseRun(t, kMaxCycles); }
    Command press(const Tokens& t) { return key(t, true); }
    Command release(const Tokens& t) { return key(t, false); }

    // ---- The command table.
    //
    // A new command: its struct in Scenario.h (and in the Command variant),
    // a method above that checks the words and builds the struct (throw
    // LineError with a message that says what is expected), a row below,
    // its text in describe() (Describe.cpp), its execution in the host
    // (host/app/HeadlessRunner.cpp) and a row in README.md. A new check
    // ("expect lcd ...") or setting ("set slider ...") is a branch in
    // expect() or set() instead. Values (numbers, pins, conditions) are
    // parsed by the functions of Values.h.
    struct Verb {
        const char* name;
        Command (Parser::*parse)(const Tokens&);
        bool setUp;   // allowed only before the first other command
        bool listed;  // named in the "unknown command" message
    };
    static constexpr Verb kVerbs[] = {
        {"part", &Parser::part, true, true},
        {"firmware", &Parser::firmware, true, true},
        {"frequency", &Parser::frequency, true, true},
        {"open", &Parser::open, false, true},
        {"settings", &Parser::settings, false, true},
        {"click", &Parser::click, false, true},
        {"press", &Parser::press, false, true},
        {"release", &Parser::release, false, true},
        {"wait", &Parser::wait, false, true},
        {"reset", &Parser::reset, false, true},
        {"expect", &Parser::expect, false, true},
        {"screenshot", &Parser::screenshot, false, true},
        {"autostep", &Parser::autostep, false, true},
        {"idle", &Parser::idle, false, true},
        {"event", &Parser::event, false, true},
        {"logger", &Parser::logger, false, true},
        {"set", &Parser::set, false, true},
        {"break", &Parser::breakAt, false, true},
        {"clear", &Parser::clear, false, true},
        {"run", &Parser::runUntil, false, true},
        {"send", &Parser::send, false, true},
        {"record", &Parser::record, false, true},
        {"stop", &Parser::stop, false, true},
    };

    std::string file_;
    const ParseOptions& options_;
    bool started_ = false;
    bool sawPart_ = false;
    bool sawFirmware_ = false;
    bool sawFrequency_ = false;
    std::map<ComponentKind, int> opened_;
    std::vector<Window> windows_;
};

}  // namespace

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
    std::string text, error;
    if (!files::readRegularFile(path, kMaxFileBytes, "scenario file", &text, &error)) {
        ParseResult result;
        result.errors.push_back(Diagnostic{path, 0, error});
        return result;
    }
    return parse(text, path, options);
}

}  // namespace quill::scenario
