// The scenario commands of the host's instruments: serial lines, waveform
// files, frequency and duty checks.
#include <cctype>
#include <cmath>

#include "host/instruments/Signals.h"
#include "host/scenario/Lexer.h"
#include "host/scenario/Scenario.h"
#include "host/scenario/Values.h"
#include "platform/text.h"

namespace quill::scenario {

namespace {

using text::Lower;
using text::Upper;

constexpr double kMaxHertz = 1e9;

void noMore(const Tokens& t, std::size_t count, const std::string& what) {
    if (t.size() > count)
        throw LineError{"unexpected argument " + inQuotes(t[count].text) + " after " + what};
}

// "USART1" (0..3) at t[at], moving past it; -1 when the word is no USART.
int usartAt(const Tokens& t, std::size_t& at) {
    if (at >= t.size() || t[at].quoted) return -1;
    const std::string word = Upper(t[at].text);
    if (word.size() == 6 && word.compare(0, 5, "USART") == 0 && word[5] >= '0' && word[5] <= '3') {
        ++at;
        return word[5] - '0';
    }
    if (word.compare(0, 5, "USART") == 0)
        throw LineError{"unknown USART " + inQuotes(t[at].text) + " (use USART0 ... USART3)"};
    return -1;
}

// A quoted text with escapes at t[at].
std::string serialText(const Tokens& t, std::size_t at, const std::string& what) {
    if (at >= t.size() || !t[at].quoted)
        throw LineError{what + " needs the text in double quotes"};
    std::string why;
    auto bytes = quill::instruments::decodeEscapes(t[at].raw, &why);
    if (!bytes) throw LineError{what + ": " + why};
    return *bytes;
}

ExpectSerialCommand serialCheck(const Tokens& t, std::size_t at, const std::string& what) {
    ExpectSerialCommand c;
    c.usart = usartAt(t, at);
    c.text = serialText(t, at, what);
    if (c.text.empty()) throw LineError{what + " needs a text that is not empty"};
    c.written = t[at].raw;
    noMore(t, at + 1, what);
    return c;
}

// The signal's name as the run finds it: a board's name (D13) becomes its
// port pin (PB5).
std::string signalName(const Tokens& t, std::size_t at, const std::string& what,
                       const boards::Board* board) {
    if (at >= t.size()) throw LineError{"missing argument: " + what + " needs a signal such as PB3"};
    std::string why;
    auto signal = quill::instruments::parseSignal(t[at].text, &why, board);
    if (!signal) throw LineError{why};
    // The measured signals are recorded from the start of the run, before
    // any LCD window is open to say which pin its line is.
    if (signal->kind == quill::instruments::Signal::Kind::LcdLine)
        throw LineError{what + " measures a pin or a USART line, not " + signal->name +
                        " (record the LCD's lines with record waveform)"};
    return signal->name;
}

double tolerance(const Tokens& t, std::size_t at, const std::string& what) {
    if (at >= t.size()) return 2;
    if (Lower(t[at].text) != "tolerance")
        throw LineError{"unexpected argument " + inQuotes(t[at].text) + " after " + what +
                        " (only: tolerance 2%)"};
    ++at;
    const double percent =
        parseQuantity(t, at, {{"%", 1.0}}, "tolerance", "2%", what + " tolerance needs a percentage such as 2%");
    noMore(t, at, what);
    if (!(percent > 0) || percent > 100) throw LineError{"tolerance must be above 0% and at most 100%"};
    return percent;
}

}  // namespace

Command parseSendCommand(const Tokens& t) {
    if (t.size() < 2 || Lower(t[1].text) != "serial")
        throw LineError{"send needs: send serial [USART1] \"text\""};
    std::size_t at = 2;
    SendSerialCommand c;
    c.usart = usartAt(t, at);
    c.bytes = serialText(t, at, "send serial");
    if (c.bytes.empty()) throw LineError{"send serial needs a text that is not empty"};
    c.written = t[at].raw;
    noMore(t, at + 1, "send serial");
    return c;
}

std::optional<Command> parseOpenTerminal(const Tokens& t) {
    if (t.size() < 2 || t[1].quoted || Lower(t[1].text) != "terminal") return std::nullopt;
    std::size_t at = 2;
    OpenTerminalCommand c;
    c.usart = usartAt(t, at);
    noMore(t, at, "open terminal");
    return c;
}

Command parseRecordCommand(const Tokens& t, const boards::Board* board) {
    if (t.size() < 2 || Lower(t[1].text) != "waveform")
        throw LineError{"record needs: record waveform FILE signals PA0,PB1,TX"};
    if (t.size() < 5 || Lower(t[3].text) != "signals")
        throw LineError{"record waveform needs: record waveform FILE signals PA0,PB1,TX"};
    noMore(t, 5, "record waveform");
    if (t[2].text.empty()) throw LineError{"record waveform needs a file name"};
    std::string why;
    if (!quill::instruments::parseSignalList(t[4].text, 16, &why, board))
        throw LineError{"record waveform: " + why};
    return RecordWaveformCommand{t[2].text, t[4].text};
}

Command parseStopCommand(const Tokens& t) {
    if (t.size() < 2 || Lower(t[1].text) != "waveform") throw LineError{"stop needs: stop waveform"};
    noMore(t, 2, "stop waveform");
    return StopWaveformCommand{};
}

std::optional<Command> parseInstrumentCheck(const Tokens& t, const boards::Board* board) {
    const std::string what = t.size() > 1 ? Lower(t[1].text) : std::string();
    if (what == "serial") return serialCheck(t, 2, "expect serial");
    if (what == "frequency") {
        ExpectFrequencyCommand c;
        c.signal = signalName(t, 2, "expect frequency", board);
        std::size_t at = 3;
        c.hertz = parseQuantity(t, at, {{"Hz", 1.0}, {"kHz", 1e3}, {"MHz", 1e6}}, "frequency",
                                "490 Hz", "expect frequency needs a frequency such as 490 Hz");
        if (!(c.hertz > 0) || c.hertz > kMaxHertz)
            throw LineError{"the frequency must be above 0 Hz and at most 1 GHz"};
        c.tolerancePercent = tolerance(t, at, "expect frequency");
        return c;
    }
    if (what == "duty") {
        ExpectDutyCommand c;
        c.signal = signalName(t, 2, "expect duty", board);
        std::size_t at = 3;
        c.percent = parseQuantity(t, at, {{"%", 1.0}}, "duty cycle", "50%",
                                  "expect duty needs a duty cycle such as 50%");
        if (c.percent > 100) throw LineError{"a duty cycle is at most 100%"};
        c.tolerancePercent = tolerance(t, at, "expect duty");
        return c;
    }
    return std::nullopt;
}

std::optional<Command> parseInstrumentWait(const Tokens& t, uint64_t timeout) {
    // t: the words after "wait until", the timeout removed.
    if (t.empty() || Lower(t[0].text) != "serial") return std::nullopt;
    return WaitSerialCommand{serialCheck(t, 1, "wait until serial"), timeout};
}

}  // namespace quill::scenario
