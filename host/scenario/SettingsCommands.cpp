// The parsing of `settings` lines: a component window's dialog, and the
// plug-in's Settings sheet (`settings electrical`, `settings general`).
#include <cctype>
#include <cstdio>
#include <set>

#include "host/scenario/Lexer.h"
#include "host/scenario/OpenWindows.h"
#include "host/scenario/Scenario.h"
#include "host/scenario/SettingKeys.h"
#include "host/scenario/Values.h"
#include "platform/text.h"

namespace quill::scenario {

namespace {

using text::Lower;

// key=value pairs after the first `from` tokens; each key once.
std::vector<std::pair<std::string, std::string>> keyValues(const Tokens& t, std::size_t from,
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

PinMode parseMode(const std::string& value) {
    const std::string m = Lower(value);
    if (m == "pin") return PinMode::Pin;
    if (m == "ddrport" || m == "ddr/port" || m == "ddr+port") return PinMode::DdrPort;
    throw LineError{"bad mode " + inQuotes(value) + " (use pin or ddrport)"};
}

// The Settings sheet's electrical page, in volts.
Command electrical(const Tokens& t) {
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
Command general(const Tokens& t) {
    GeneralCommand command;
    for (const auto& [key, value] : keyValues(t, 2, "warnings")) {
        if (key != "warnings")
            throw LineError{"unknown setting " + inQuotes(key) + " for general (keys: warnings)"};
        command.warnings = parseLevel(value, "warnings value");
    }
    return command;
}

// pin=3 (a bit of the port the port key names), or with a port of its own,
// pin=B5 / pin=D13 (a board's name for it), which sets the port as well.
void setPin(SettingsCommand& command, const std::string& value, bool hasPort,
            const boards::Board* board) {
    if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0]))) {
        command.pin = static_cast<int>(parseUnsigned(value, 7, "pin"));
        return;
    }
    if (!hasPort)
        throw LineError{"bad pin " + inQuotes(value) + " (use a bit number 0 to 7)"};
    const PortPin p = resolvePin(value, board, "pin");
    if (command.port && *command.port != p.port)
        throw LineError{"pin " + value + " is on port " + std::string(1, p.port) + ", not on port " +
                        std::string(1, *command.port)};
    command.port = p.port;
    command.pin = p.bit;
}

// port=C given with a pin=D13 that names its port: they must agree.
void setPort(SettingsCommand& command, const std::string& value, bool pinGavePort) {
    const char port = parsePortLetter(value, "port");
    if (pinGavePort && command.port && *command.port != port)
        throw LineError{"port=" + value + " contradicts the pin, which is on port " +
                        std::string(1, *command.port) + " (leave out port)"};
    command.port = port;
}

// The keypad's wiring: cols=D7,D6,C0 rows=B3,B2,B1,B0 (each line on one
// pin, a board's names too), or wiring=fixed (or pins).
Command keypadSettings(const Tokens& t, const OpenWindows::Window& w, const boards::Board* board) {
    SettingsCommand command;
    command.window = w.name;
    command.kind = w.kind;
    const std::string allowed = "cols, rows, wiring";
    std::vector<std::pair<std::string, PortPin>> used;  // for pins given twice
    auto pins = [&](const std::string& key, const std::string& value, std::size_t count,
                    const char* lines) {
        std::vector<PortPin> out;
        std::size_t from = 0;
        while (true) {
            const std::size_t comma = value.find(',', from);
            const std::string item = value.substr(from, comma == std::string::npos ? comma : comma - from);
            if (item.empty())
                throw LineError{key + "=" + value + " has an empty pin (" + key + " takes " +
                                std::to_string(count) + " pins, " + lines + ")"};
            const PortPin p = resolvePin(item, board, key);
            for (const auto& [other, q] : used) {
                if (q.port == p.port && q.bit == p.bit)
                    throw LineError{"pin P" + std::string(1, p.port) + std::to_string(p.bit) +
                                    " (" + item + ") is given twice, in " + other + " and " + key};
            }
            used.emplace_back(key, p);
            out.push_back(p);
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
        if (out.size() != count)
            throw LineError{key + " takes " + std::to_string(count) + " pins, " + lines + ", not " +
                            std::to_string(out.size())};
        return out;
    };
    for (const auto& [key, value] : keyValues(t, 2, allowed)) {
        if (key == "cols") {
            command.keypadColumns = pins(key, value, 3, "columns 0 to 2 (cols=D7,D6,C0)");
        } else if (key == "rows") {
            command.keypadRows = pins(key, value, 4, "rows 0 to 3 (rows=B3,B2,B1,B0)");
        } else if (key == "wiring") {
            const std::string v = Lower(value);
            if (v != "pins" && v != "fixed")
                throw LineError{"bad wiring " + inQuotes(value) + " (use pins or fixed)"};
            command.keypadByPins = v == "pins";
        } else {
            throw LineError{"unknown setting " + inQuotes(key) + " for " + inQuotes(w.name) +
                            " (keys: " + allowed + ")"};
        }
    }
    const bool pinsGiven = command.keypadColumns || command.keypadRows;
    if (command.keypadByPins == false && pinsGiven)
        throw LineError{"wiring=fixed takes no cols or rows"};
    if (pinsGiven) command.keypadByPins = true;
    return command;
}

Command analogSettings(const Tokens& t, const OpenWindows::Window& w, const boards::Board* board) {
    SettingsCommand command;
    command.window = w.name;
    command.kind = w.kind;
    const bool slider = w.kind == ComponentKind::Slider;
    const bool cellar = w.kind == ComponentKind::Beerbasement;
    const bool capacity = w.kind == ComponentKind::CapacityMeasurement;
    const std::string allowed = slider     ? "channel, reference"
                                : capacity ? "port, pin, capacitance"
                                           : "channel, heater, cooler, status, mode";
    bool seenPinPort = false;  // a pin such as D13 gave the port
    for (const auto& [key, value] : keyValues(t, 2, allowed)) {
        if ((slider || cellar) && key == "channel") {
            // The part's sheet lists its own channels (16 on an ATmega2560).
            command.channel =
                static_cast<int>(parseUnsigned(value, kLastConverterChannel, "channel"));
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
            setPort(command, value, seenPinPort);
        } else if (capacity && key == "pin") {
            setPin(command, value, true, board);
            seenPinPort = command.port.has_value();
        } else if (capacity && key == "capacitance") {
            command.capacitance = static_cast<int>(parseUnsigned(value, 1000, "capacitance"));
        } else if (cellar && key == "heater") {
            command.heater = resolvePin(value, board, key);
        } else if (cellar && key == "cooler") {
            command.cooler = resolvePin(value, board, key);
        } else if (cellar && key == "status") {
            command.status = resolvePin(value, board, key);
        } else if (cellar && key == "mode") {
            command.mode = parseMode(value);
        } else {
            throw LineError{"unknown setting " + inQuotes(key) + " for " + inQuotes(w.name) +
                            " (keys: " + allowed + ")"};
        }
    }
    return command;
}

}  // namespace

Command parseSettingsCommand(const Tokens& t, OpenWindows& windows) {
    need(t, 1, "a window name (or electrical) and key=value settings");
    if (!t[1].quoted && Lower(t[1].text) == "electrical") return electrical(t);
    if (!t[1].quoted && Lower(t[1].text) == "general") return general(t);
    OpenWindows::Window& w = windows.named(t[1]);
    if (w.kind == ComponentKind::Slider || w.kind == ComponentKind::CapacityMeasurement ||
        w.kind == ComponentKind::Beerbasement)
        return analogSettings(t, w, windows.board);
    if (w.kind == ComponentKind::Keypad) return keypadSettings(t, w, windows.board);
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
    bool seenPinPort = false;  // a pin such as D13 gave the port
    for (std::size_t i = 2; i < t.size(); ++i) {
        const std::size_t eq = t[i].text.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == t[i].text.size())
            throw LineError{"setting " + inQuotes(t[i].text) +
                            " is not key=value (keys: " + allowed + ")"};
        const std::string key = Lower(t[i].text.substr(0, eq));
        const std::string value = t[i].text.substr(eq + 1);
        if (!seen.insert(key).second) throw LineError{"setting " + key + " given twice"};
        if (lcd) {
            if (!parseLcdSetting(key, value, command.lcd, windows.board))
                throw LineError{"unknown setting " + inQuotes(key) + " for " + inQuotes(w.name) +
                                " (keys: " + allowed + ")"};
        } else if (key == "pin") {
            setPin(command, value, !bar, windows.board);
            seenPinPort = command.port.has_value();
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
            setPort(command, value, seenPinPort);
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
    if (lcd) checkLcdWiring(command.lcd);
    return command;
}

}  // namespace quill::scenario
