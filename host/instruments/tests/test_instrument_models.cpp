// The instruments' toolkit-free models: edge logs and what is measured on
// them, the time span of a view, serial text, escapes, signal names, baud
// arithmetic and the VCD timescale.
#include <gtest/gtest.h>

#include "host/instruments/Serial.h"
#include "host/instruments/Signals.h"
#include "host/instruments/TerminalScreen.h"
#include "host/instruments/Vcd.h"
#include "host/instruments/Waveform.h"

using namespace quill::instruments;

namespace {

// A square wave: high for `high` cycles of every `period`, from cycle `from`.
EdgeLog squareWave(uint64_t from, uint64_t period, uint64_t high, int periods,
                   std::size_t capacity = 1024) {
    EdgeLog log(capacity);
    for (int k = 0; k < periods; ++k) {
        log.add(from + k * period, 1);
        log.add(from + k * period + high, 0);
    }
    return log;
}

}  // namespace

TEST(EdgeLog, KeepsTheNewestEdgesAndTheLevelBeforeThem) {
    EdgeLog log(4);
    log.add(10, 0);  // no edge: the level is already 0
    EXPECT_EQ(log.size(), 0u);
    for (uint64_t c : {10, 20, 30, 40, 50, 60}) log.add(c, static_cast<uint8_t>((c / 10) & 1));
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log.dropped(), 2u);
    EXPECT_EQ(log[0].cycle, 30u);
    // The dropped edge at 20 left the level 0 until 30.
    EXPECT_EQ(log.initialLevel(), 0);
    EXPECT_EQ(log.levelAt(25), 0);
    EXPECT_EQ(log.levelAt(30), 1);
    EXPECT_EQ(log.levelAt(45), 0);
    EXPECT_EQ(log.firstAfter(40), 2u);
    EXPECT_EQ(log.firstAfter(99), 4u);
}

TEST(MeasureWave, FrequencyAndDutyOverWholePeriodsOnly) {
    // 1 MHz clock, 2048-cycle period (488.28 Hz), high a quarter.
    const EdgeLog log = squareWave(1000, 2048, 512, 60);
    std::string why;
    // A stretch that starts and ends inside periods: the partial ones at
    // both ends do not count.
    auto m = measureWave(log, 1000 + 700, 1000 + 2048 * 50 + 100, 1e6, &why);
    ASSERT_TRUE(m) << why;
    EXPECT_EQ(m->periods, 49);
    EXPECT_NEAR(m->frequencyHz, 488.28, 0.01);
    EXPECT_NEAR(m->dutyPercent, 25.0, 1e-9);

    // Too short, and a level that never moves, say what they saw.
    EXPECT_FALSE(measureWave(log, 1000 + 100, 1000 + 2100, 1e6, &why));
    EXPECT_NE(why.find("fewer than one whole period"), std::string::npos) << why;
    EdgeLog flat(8);
    flat.setInitialLevel(1);
    EXPECT_FALSE(measureWave(flat, 0, 100000, 1e6, &why));
    EXPECT_EQ(why, "no edge: the level stayed high");
}

// A level kept all the stretch is a duty cycle of 0 % (low) or 100 %
// (high), not a failed measurement; edges before the stretch set the level.
TEST(MeasureWave, ADutyCycleOfALevelKeptIsNoneOrAll) {
    std::string why;
    EdgeLog low(8);
    auto m = measureDuty(low, 0, 100000, 1e6, &why);
    ASSERT_TRUE(m) << why;
    EXPECT_EQ(m->dutyPercent, 0.0);
    EXPECT_EQ(m->periods, 0);
    EdgeLog high(8);
    high.add(500, 1);
    m = measureDuty(high, 1000, 100000, 1e6, &why);
    ASSERT_TRUE(m) << why;
    EXPECT_EQ(m->dutyPercent, 100.0);
    m = measureDuty(high, 0, 100000, 1e6, &why);  // the rise lies in the stretch
    EXPECT_FALSE(m);
    EXPECT_NE(why.find("fewer than one whole period"), std::string::npos) << why;
    // A wave is measured as measureWave does.
    m = measureDuty(squareWave(1000, 2048, 512, 60), 1000 + 700, 1000 + 2048 * 50 + 100, 1e6, &why);
    ASSERT_TRUE(m) << why;
    EXPECT_NEAR(m->dutyPercent, 25.0, 1e-9);
}

TEST(TimeSpan, ZoomKeepsTheAnchorAndStaysInRange) {
    TimeSpan span{1000, 10, 400};
    const double anchor = span.cycleAt(100);
    span.zoom(2, 100);
    EXPECT_DOUBLE_EQ(span.cyclesPerPixel, 5);
    EXPECT_DOUBLE_EQ(span.cycleAt(100), anchor);
    for (int i = 0; i < 40; ++i) span.zoom(4, 0);
    EXPECT_DOUBLE_EQ(span.cyclesPerPixel, 1.0 / 64);
    span.pan(-1e9);
    EXPECT_EQ(span.start, 0);
    span.follow(100000);
    EXPECT_DOUBLE_EQ(span.end(), 100000);
}

TEST(SerialBuffer, FindsTextAcrossTheRingAndKeepsPositionsAfterClear) {
    SerialBuffer buffer(8);
    for (char c : std::string("hello world")) buffer.append(static_cast<uint8_t>(c));
    EXPECT_EQ(buffer.begin(), 3u);  // "lo world" kept
    EXPECT_EQ(buffer.text(), "lo world");
    ASSERT_TRUE(buffer.find("o w", 0));
    EXPECT_EQ(*buffer.find("o w", 0), 4u);
    EXPECT_FALSE(buffer.find("o w", 5));
    EXPECT_FALSE(buffer.find("hello", 0));  // dropped
    buffer.clear();
    EXPECT_EQ(buffer.text(), "");
    buffer.append('!');
    EXPECT_EQ(*buffer.find("!", 0), 11u);
}

TEST(SerialText, EscapesHexAndPrintableText) {
    std::string why;
    EXPECT_EQ(*decodeEscapes(R"(a\n\r\t\\\"\x41\x0d)", &why), "a\n\r\t\\\"A\r");
    EXPECT_FALSE(decodeEscapes(R"(\q)", &why));
    EXPECT_NE(why.find("unknown escape \\q"), std::string::npos);
    EXPECT_FALSE(decodeEscapes(R"(\x4)", &why));
    EXPECT_FALSE(decodeEscapes("end\\", &why));
    EXPECT_EQ(hexBytes(std::string("He\n\xff", 4)), "48 65 0A FF");
    EXPECT_EQ(printableText(std::string("ok\r\nbell\x07\tx\r", 12)), "ok\nbell\\x07\tx\\x0D");
}

TEST(TimeSpan, FitsAStretchAndLabelsRoundTimes) {
    TimeSpan span;
    span.width = 500;
    span.fit(16000, 16000 + 32000);  // 2 ms at 16 MHz
    EXPECT_DOUBLE_EQ(span.cyclesPerPixel, 64.0);
    EXPECT_DOUBLE_EQ(span.end(), 48000.0);
    // 4 us a pixel, at least 80 pixels apart: a step of 0.5 ms, in ms.
    const auto ticks = timeAxis(span, 16e6);
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_EQ(ticks.front().label, "1 ms");
    EXPECT_DOUBLE_EQ(ticks.front().pixel, 0.0);
    EXPECT_EQ(ticks[1].label, "1.5 ms");
    EXPECT_DOUBLE_EQ(ticks[1].pixel, 125.0);
    EXPECT_EQ(ticks.back().label, "3 ms");
    // A span shorter than a cycle a pixel is shown at most 64 pixels a
    // cycle; nanoseconds get their unit.
    span.fit(0, 1);
    EXPECT_DOUBLE_EQ(span.cyclesPerPixel, 1.0 / 64);
    const auto fine = timeAxis(span, 16e6);
    ASSERT_GE(fine.size(), 2u);
    EXPECT_EQ(fine[1].label, "100 ns");
    EXPECT_TRUE(timeAxis(span, 0).empty());
}

TEST(TerminalScreen, CarriageReturnRewritesTheLineAsATerminalDoes) {
    TerminalScreen screen;
    // A CR LF split between two pieces is one line end, not a "\x0D".
    EXPECT_EQ(screen.feed("ready\r"), "ready");
    EXPECT_EQ(screen.feed("\nnext"), "ready\nnext");
    EXPECT_EQ(screen.currentLine(), "next");
    screen.clear();
    // A progress counter rewrites its line; a shorter text leaves the rest.
    EXPECT_EQ(screen.feed("50 %\r60 %\r7"), "70 %");
    EXPECT_EQ(screen.feed("\b\bX\n"), "X0 %\n");
    // Control bytes still show as escapes, and overwrite as cells.
    EXPECT_EQ(screen.feed(std::string("a\x07" "b\tc\xff", 6)), "a\\x07b\tc\\xFF");
    EXPECT_EQ(screen.feed("\rZ"), "Z\\x07b\tc\\xFF");
    EXPECT_EQ(screen.column(), 1u);
}

TEST(TerminalScreen, ALineWithoutEndWrapsAtItsLimit) {
    TerminalScreen screen;
    const std::string shown = screen.feed(std::string(TerminalScreen::kMaxColumns + 3, 'x'));
    EXPECT_EQ(shown, std::string(TerminalScreen::kMaxColumns, 'x') + "\nxxx");
    EXPECT_EQ(screen.currentLine(), "xxx");
}

TEST(Signals, NamesListsAndTheirRefusals) {
    std::string why;
    auto list = parseSignalList("pa0,PB3,TX,rx1", 16, &why);
    ASSERT_TRUE(list) << why;
    ASSERT_EQ(list->size(), 4u);
    EXPECT_EQ((*list)[1].port, 'B');
    EXPECT_EQ((*list)[1].bit, 3);
    EXPECT_EQ((*list)[2].kind, Signal::Kind::Tx);
    EXPECT_EQ((*list)[3].usart, 1);
    EXPECT_FALSE(parseSignalList("TX,TX0", 16, &why));
    EXPECT_EQ(why, "signal TX0 is listed twice");
    EXPECT_FALSE(parseSignalList("PB3,,PB4", 16, &why));
    EXPECT_FALSE(parseSignalList("PB8", 16, &why));
    EXPECT_NE(why.find("unknown signal \"PB8\""), std::string::npos);
    EXPECT_FALSE(parseSignalList("PA0,PA1,PA2", 2, &why));
    EXPECT_EQ(why, "more than 2 signals");

    // An LCD's lines are named, not numbered: they become pins only
    // through the resolver, and without one they are refused.
    auto lines = parseSignalList("lcd.e,LCD2.RS,PA1", 16, &why);
    ASSERT_TRUE(lines) << why;
    EXPECT_EQ((*lines)[0].kind, Signal::Kind::LcdLine);
    EXPECT_EQ((*lines)[0].line, "e");
    EXPECT_EQ((*lines)[1].lcd, 2);
    EXPECT_EQ((*lines)[1].name, "LCD2.RS");
    for (const char* bad : {"LCD.X", "LCD0.E", "LCD.", "LCDE"}) EXPECT_FALSE(parseSignal(bad, &why)) << bad;
    EXPECT_FALSE(resolveLines(*lines, nullptr, &why));
    EXPECT_EQ(why, "the LCD's lines cannot be recorded here (LCD.E)");
    const LineResolver resolver = [](Signal& s, std::string* reason) {
        if (s.lcd != 1) {
            *reason = "no such LCD";
            return false;
        }
        s.port = 'C';
        s.bit = 5;
        return true;
    };
    EXPECT_FALSE(resolveLines(*lines, resolver, &why));
    EXPECT_EQ(why, "no such LCD");
    lines->erase(lines->begin() + 1);
    ASSERT_TRUE(resolveLines(*lines, resolver, &why));
    EXPECT_EQ((*lines)[0].kind, Signal::Kind::Pin);
    EXPECT_EQ((*lines)[0].port, 'C');
    EXPECT_EQ((*lines)[0].name, "LCD.E");
}

TEST(Baud, RateFromTheRegistersAndDistanceToStandardRates) {
    // 1 MHz: UBRR 12 with U2X is 9615 baud, 0.16 % fast; UBRR 6 without it
    // is 8929 baud, 7 % slow -- a receiver at 9600 garbles that.
    const double fast = usartBaud(1e6, 12, true);
    EXPECT_NEAR(fast, 9615.4, 0.1);
    EXPECT_EQ(nearestStandardBaud(fast), 9600u);
    EXPECT_LT(baudErrorPercent(fast, 9600), kBaudTolerancePercent);
    const double slow = usartBaud(1e6, 6, false);
    EXPECT_EQ(nearestStandardBaud(slow), 9600u);
    EXPECT_NEAR(baudErrorPercent(slow, 9600), -6.99, 0.01);
    EXPECT_EQ(nearestStandardBaud(usartBaud(16e6, 8, false)), 115200u);
}

TEST(VcdText, TimescaleFollowsTheClock) {
    VcdText one({"PB3"}, {1}, 1000000, 500);
    EXPECT_EQ(one.timescale(), "1us");
    EXPECT_EQ(one.timeOf(2548), 2048u);  // cycles from the start
    EXPECT_NE(one.header().find("1!\n"), std::string::npos);
    VcdText sixteen({"A", "B"}, {0, 0}, 16000000, 0);
    EXPECT_EQ(sixteen.timescale(), "100ps");
    EXPECT_EQ(sixteen.timeOf(16), 10000u);  // 1 us
    VcdText odd({"TX"}, {1}, 3686400, 0);
    EXPECT_EQ(odd.timescale(), "1ps");
    EXPECT_EQ(odd.timeOf(3686400), 1000000000000u);
    // Changes at one time share its time line.
    std::string text;
    sixteen.change(0, 16, 1, &text);
    sixteen.change(1, 16, 1, &text);
    sixteen.change(0, 32, 0, &text);
    EXPECT_EQ(text, "#10000\n1!\n1\"\n#20000\n0!\n");
}
