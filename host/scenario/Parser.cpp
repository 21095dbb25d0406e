// The scenario parser: one command per line, dispatched by its first word
// through the command table at the end of the Parser class.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "host/scenario/Lexer.h"
#include "host/scenario/OpenWindows.h"
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
        for (ComponentKind kind : options.openWindows) windows_.add(kind);
        if (!options.board.empty()) windows_.board = boards::findBoard(options.boards, options.board);
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
        if (sawBoard_) throw LineError{"the board already chooses the part"};
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

    Command board(const Tokens& t) {
        need(t, 1, "a board name such as Uno");
        noMore(t, 2);
        if (started_) throw LineError{"board must come before the commands that use the target"};
        if (sawBoard_) throw LineError{"the board is already chosen"};
        if (sawPart_) throw LineError{"board chooses the part: leave out the part line"};
        if (sawFrequency_)
            throw LineError{"board chooses the clock: leave out the frequency line"};
        const boards::Board* b = boards::findBoard(options_.boards, t[1].text);
        if (!b)
            throw LineError{"unknown board " + inQuotes(t[1].text) + " (known: " +
                            (options_.boards.empty() ? std::string("none, no board tables found")
                                                     : boards::boardNames(options_.boards)) +
                            ")"};
        sawBoard_ = true;
        windows_.board = b;
        return BoardCommand{b->name, b->part, b->hertz};
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
        if (sawBoard_) throw LineError{"the board already chooses the clock"};
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
        if (auto terminal = parseOpenTerminal(t)) return *terminal;
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
        return OpenCommand{kind, windows_.open(kind)};
    }

    Command click(const Tokens& t) {
        need(t, 1, "the name of a Switch or Knight Rider window");
        noMore(t, 2);
        OpenWindows::Window& w = windows_.named(t[1]);
        if (w.kind != ComponentKind::Switch && w.kind != ComponentKind::KnightRider)
            throw LineError{"window " + inQuotes(w.name) + " has no switch to click"};
        return ClickCommand{w.name, w.kind};
    }

    Command key(const Tokens& t, bool press) {
        need(t, 1, "a keypad window and a key");
        OpenWindows::Window& w = windows_.named(t[1], ComponentKind::Keypad, "a keypad");
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
            return WaitUntilCommand{parseAnyCondition(rest, "wait until", windows_), timeout};
        }
        throw LineError{"unknown wait " + inQuotes(t[1].text) +
                        " (use wait cycles <count>, wait ms <time> or wait until <condition>)"};
    }

    Command settings(const Tokens& t) { return parseSettingsCommand(t, windows_); }
    Command expect(const Tokens& t) { return parseExpectCommand(t, windows_); }
    Command send(const Tokens& t) { return parseSendCommand(t); }
    Command record(const Tokens& t) { return parseRecordCommand(t, windows_.board); }
    Command stop(const Tokens& t) { return parseStopCommand(t); }

    Command set(const Tokens& t) {
        need(t, 1, "what to set");
        const std::string what = Lower(t[1].text);
        if (what == "slider") {
            need(t, 2, "a Slider window name");
            OpenWindows::Window& w = windows_.named(t[2], ComponentKind::Slider, "a Slider");
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
            OpenWindows::Window& w =
                windows_.named(t[2], ComponentKind::Beerbasement, "a Beerbasement");
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
    // its text in describe() (Describe.cpp) and a row in README.md; in the
    // host a `run` for it in one of the step sets and its line in the
    // recorder (README.md, "Code layout and adding a command"). A new check
    // ("expect lcd ...") or setting ("set slider ...") is a branch in
    // parseExpectCommand() (CheckCommands.cpp) or set() instead. Values
    // (numbers, pins, conditions) are parsed by the functions of Values.h.
    struct Verb {
        const char* name;
        Command (Parser::*parse)(const Tokens&);
        bool setUp;   // allowed only before the first other command
        bool listed;  // named in the "unknown command" message
    };
    static constexpr Verb kVerbs[] = {
        {"part", &Parser::part, true, true},
        {"board", &Parser::board, true, true},
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
    bool sawBoard_ = false;
    OpenWindows windows_;
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
