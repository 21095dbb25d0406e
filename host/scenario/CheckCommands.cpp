// The parsing of `expect` lines and of the conditions that `expect` and
// `wait until` share.
#include <algorithm>

#include "host/scenario/DebugCommands.h"
#include "host/scenario/ExitCommands.h"
#include "host/scenario/Lexer.h"
#include "host/scenario/OpenWindows.h"
#include "host/scenario/Scenario.h"
#include "host/scenario/Values.h"
#include "platform/text.h"

namespace quill::scenario {

using text::Lower;
using text::Upper;

Command parseExpectCommand(const Tokens& t, OpenWindows& windows) {
    need(t, 1,
         "what to check: pin, register, memory, led, bar, lcd, output, autostep, file, channel, "
         "text, source or variable");
    const std::string what = Lower(t[1].text);
    if (auto instrument = parseInstrumentCheck(t, windows.board)) return *instrument;
    if (auto exit = parseExpectExit(Tokens(t.begin() + 1, t.end()))) return *exit;
    if (what == "pin" || what == "register" || what == "lcd")
        return ExpectCommand{parseAnyCondition(Tokens(t.begin() + 1, t.end()), "expect", windows)};
    if (what == "led") {
        need(t, 2, "an LED window name");
        OpenWindows::Window& w = windows.named(t[2], ComponentKind::Led, "an LED");
        need(t, 3, "on or off");
        noMore(t, 4);
        return ExpectLedCommand{w.name, parseOnOff(t[3].text)};
    }
    if (what == "bar") {
        need(t, 2, "a Knight Rider window name");
        OpenWindows::Window& w = windows.named(t[2], ComponentKind::KnightRider, "a Knight Rider");
        need(t, 3, "the lit segments as a byte such as 0x81");
        noMore(t, 4);
        return ExpectBarCommand{w.name,
                                static_cast<uint8_t>(parseUnsigned(t[3].text, 255, "segments"))};
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
        const bool digits = name.size() > 3 && name.size() <= 5 &&
                            std::all_of(name.begin() + 3, name.end(),
                                        [](char d) { return d >= '0' && d <= '9'; });
        if (!t[2].quoted && name.compare(0, 3, "ADC") == 0 && digits &&
            std::stoi(name.substr(3)) <= kLastConverterChannel) {
            c.channel = std::stoi(name.substr(3));
        } else {
            OpenWindows::Window& w = windows.named(t[2]);
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
    if (what == "memory") {
        // expect memory ADDRESS VALUE [mask M]: the host knows the part's
        // data memory and refuses an address outside it.
        need(t, 2, "a data address such as 0x0100");
        need(t, 3, "the expected byte such as 0xFE");
        ExpectMemoryCommand c{
            static_cast<uint16_t>(parseUnsigned(t[2].text, 0xFFFF, "data address")),
            static_cast<uint8_t>(parseUnsigned(t[3].text, 255, "value"))};
        if (t.size() > 4) {
            if (Lower(t[4].text) != "mask")
                throw LineError{"unexpected argument " + inQuotes(t[4].text) +
                                " after expect memory (expect memory ADDRESS VALUE [mask M])"};
            need(t, 5, "a mask after mask");
            noMore(t, 6);
            c.mask = static_cast<uint8_t>(parseUnsigned(t[5].text, 255, "mask"));
            if (c.mask == 0)
                throw LineError{"mask 0 compares no bits: the check would always hold"};
            c.value &= c.mask;
        }
        return c;
    }
    if (what == "text") {
        need(t, 2, "a window name");
        OpenWindows::Window& w = windows.named(t[2]);
        need(t, 3, "a control number");
        need(t, 4, "the text, in quotes");
        noMore(t, 5);
        const int control = static_cast<int>(parseUnsigned(t[3].text, 65535, "control"));
        return ExpectTextCommand{w.name, control, t[4].text};
    }
    throw LineError{
        "unknown check " + inQuotes(t[1].text) +
        " (use pin, register, memory, led, bar, lcd, output, autostep, file, channel, text, "
        "source, variable, serial, frequency, duty or exit)"};
}

// A register or pin condition (Values.h), or one about an LCD window:
// "lcd <window> line <n> <text>", "lcd <window> cursor <line> <column>|none"
// "lcd <window> protocol ok|warned" or "lcd <window> picture <file.png>".
Condition parseAnyCondition(const Tokens& t, const std::string& what, OpenWindows& windows) {
    if (t.empty() || Lower(t[0].text) != "lcd") return parseCondition(t, what, windows.board);
    auto missing = [&](const std::string& arg) {
        return LineError{"missing argument: " + what + " lcd needs " + arg};
    };
    if (t.size() < 2) throw missing("an LCD window name");
    OpenWindows::Window& w = windows.named(t[1], ComponentKind::Lcd, "a Hitachi LCD");
    if (t.size() < 3) throw missing("line <n> \"text\" or cursor <line> <column>");
    const std::string part = Lower(t[2].text);
    auto noMoreThan = [&](std::size_t count) {
        if (t.size() > count)
            throw LineError{"unexpected argument " + inQuotes(t[count].text) + " after " + what +
                            " lcd " + part};
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
            throw LineError{"bad protocol verdict " + inQuotes(t[3].text) + " (use ok or warned)"};
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

}  // namespace quill::scenario
