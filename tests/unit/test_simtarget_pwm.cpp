// Phase-correct PWM on the timers' output pins: tiny programs set a timer up
// and spin, and the pin is watched instruction by instruction for its
// period and duty, for the 8-bit timers and Timer1's 9-bit, 10-bit and
// ICR1-TOP modes, inverting and non-inverting, with OCR at BOTTOM and TOP.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "host/sim/SimTarget.h"
#include "tests/support/TestFiles.h"

using quill::sim::SimTarget;
using namespace testfiles;

namespace {

// I/O addresses shared by the ATmega8/16/32.
constexpr uint8_t PIND = 0x10, DDRD = 0x11, PINB = 0x16, DDRB = 0x17;
constexpr uint8_t OCR2 = 0x23, TCCR2 = 0x25, ICR1H = 0x27, ICR1L = 0x26;
constexpr uint8_t OCR1BL = 0x28, OCR1BH = 0x29, OCR1AL = 0x2A, OCR1AH = 0x2B;
constexpr uint8_t TCCR1B = 0x2E, TCCR1A = 0x2F, TCCR0 = 0x33, TIFR = 0x38, OCR0 = 0x3C;

// in Rd, A and out A, Rr.
uint16_t inWord(int d, uint8_t a) {
    return static_cast<uint16_t>(0xB000 | ((a & 0x30) << 5) | (d << 4) | (a & 0x0F));
}
uint16_t outWord(uint8_t a, int r) { return static_cast<uint16_t>(inWord(r, a) | 0x0800); }

// A program writing each (I/O address, value) in turn through r16, then
// looping over `loop` (by default a two-cycle loop doing nothing).
void loadWrites(SimTarget& target, const std::string& name,
                const std::vector<std::pair<uint8_t, uint8_t>>& writes,
                const std::vector<uint16_t>& loop = {}) {
    std::vector<uint16_t> words;
    for (auto [address, value] : writes) {
        words.push_back(static_cast<uint16_t>(0xE000 | ((value & 0xF0) << 4) | (value & 0x0F)));
        words.push_back(outWord(address, 16));
    }
    words.insert(words.end(), loop.begin(), loop.end());
    // rjmp back to the loop's start
    words.push_back(static_cast<uint16_t>(0xC000 | ((-1 - static_cast<int>(loop.size())) & 0xFFF)));
    const auto path = ScratchFile("quill_simtarget_pwm_tests", name + ".hex");
    WriteFile(path, HexProgram(words));
    target.loadFirmware(path.string());
}

struct Wave {
    int rises = 0;
    double periodCycles = 0;  // between the first and the last rise
    double duty = 0;          // high share of that span
    bool everHigh = false, everLow = false;
};

// Watches a pin for `cycles` after the set-up has run.
Wave watch(SimTarget& target, uint8_t pinRegister, int bit, uint64_t cycles) {
    target.runUntilCycle(100);
    Wave wave;
    bool last = (target.io(pinRegister) >> bit) & 1;
    uint64_t firstRise = 0, lastRise = 0, highAtFirstRise = 0, highAtLastRise = 0, high = 0;
    const uint64_t end = target.cycles() + cycles;
    while (target.cycles() < end) {
        const uint64_t before = target.cycles();
        target.step();
        if (last) high += target.cycles() - before;
        const bool level = (target.io(pinRegister) >> bit) & 1;
        (level ? wave.everHigh : wave.everLow) = true;
        if (level && !last) {
            if (wave.rises++ == 0) {
                firstRise = target.cycles();
                highAtFirstRise = high;
            }
            lastRise = target.cycles();
            highAtLastRise = high;
        }
        last = level;
    }
    // The simulator has nothing to complain of.
    for (const std::string& message : target.takeMessages()) ADD_FAILURE() << message;
    if (wave.rises >= 2) {
        const double span = static_cast<double>(lastRise - firstRise);
        wave.periodCycles = span / (wave.rises - 1);
        wave.duty = static_cast<double>(highAtLastRise - highAtFirstRise) / span;
    }
    return wave;
}

}  // namespace

// Timer0 and Timer2 count 0..255..0: a period of 510 timer clocks, high for
// 2 * OCR of them (non-inverting) or the rest (inverting).
TEST(PhaseCorrectPwm, EightBitTimersPeriodAndDuty) {
    struct Case {
        const char* part;
        uint8_t ocrRegister, controlRegister, control, ocr;
        uint8_t ddr, pinRegister;
        int bit;
        double period, duty;
    };
    const Case cases[] = {
        // Timer0, OC0 = PB3, non-inverting, clock / 1: 1 MHz / 510.
        {"ATmega16", OCR0, TCCR0, 0x61, 64, DDRB, PINB, 3, 510, 128.0 / 510},
        // The same inverted.
        {"ATmega16", OCR0, TCCR0, 0x71, 64, DDRB, PINB, 3, 510, 1 - 128.0 / 510},
        // Timer2, OC2 = PD7, clock / 8.
        {"ATmega32", OCR2, TCCR2, 0x62, 200, DDRD, PIND, 7, 8 * 510, 400.0 / 510},
        // The ATmega8's Timer2: OC2 = PB3.
        {"ATmega8", OCR2, TCCR2, 0x61, 10, DDRB, PINB, 3, 510, 20.0 / 510},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.part) + " control " + std::to_string(c.control));
        SimTarget target(c.part);
        loadWrites(target, "eight_bit",
                   {{c.ddr, static_cast<uint8_t>(1u << c.bit)},
                    {c.ocrRegister, c.ocr},
                    {c.controlRegister, c.control}});
        const Wave wave = watch(target, c.pinRegister, c.bit, static_cast<uint64_t>(c.period * 20));
        EXPECT_NEAR(wave.rises, 20, 1);
        EXPECT_NEAR(wave.periodCycles, c.period, 1);
        EXPECT_NEAR(wave.duty, c.duty, 0.01);
    }
}

// OCR at BOTTOM keeps a non-inverting output low, at TOP high; inverting
// does the opposite. The overflow flag still rises once per period.
TEST(PhaseCorrectPwm, CompareAtBottomAndTopHoldsTheOutput) {
    struct Case {
        uint8_t control, ocr;
        bool high;
    };
    for (const Case& c : {Case{0x61, 0, false}, Case{0x61, 255, true}, Case{0x71, 0, true},
                          Case{0x71, 255, false}}) {
        SCOPED_TRACE("control " + std::to_string(c.control) + " OCR0 " + std::to_string(c.ocr));
        SimTarget target("ATmega16");
        loadWrites(target, "held", {{DDRB, 0x08}, {OCR0, c.ocr}, {TCCR0, c.control}});
        const Wave wave = watch(target, PINB, 3, 5 * 510);
        EXPECT_EQ(wave.everHigh, c.high);
        EXPECT_EQ(wave.everLow, !c.high);
        EXPECT_EQ(target.io(TIFR) & 0x01, 0x01) << "TOV0";
    }
}

// Timer1 on both outputs at once: OC1A non-inverting, OC1B inverting, in
// the 9-bit and 10-bit modes and with TOP in ICR1.
TEST(PhaseCorrectPwm, Timer1ModesOnBothOutputs) {
    struct Case {
        const char* what;
        uint8_t tccr1a, tccr1b;
        uint16_t icr1, ocr1a, ocr1b;
        double top;
    };
    const Case cases[] = {
        {"9-bit, clock / 8", 0xB2, 0x02, 0, 128, 384, 511},
        {"10-bit", 0xB3, 0x01, 0, 100, 1000, 1023},
        {"TOP in ICR1", 0xB2, 0x11, 300, 30, 150, 300},
        {"8-bit, OCR1B above TOP", 0xB1, 0x01, 0, 255, 300, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double divider = (c.tccr1b & 0x07) == 2 ? 8 : 1;
        for (int bit : {5, 4}) {  // OC1A = PD5, OC1B = PD4
            SimTarget target("ATmega16");
            loadWrites(target, "timer1",
                       {{DDRD, 0x30},
                        {ICR1H, static_cast<uint8_t>(c.icr1 >> 8)},
                        {ICR1L, static_cast<uint8_t>(c.icr1)},
                        {OCR1AH, static_cast<uint8_t>(c.ocr1a >> 8)},
                        {OCR1AL, static_cast<uint8_t>(c.ocr1a)},
                        {OCR1BH, static_cast<uint8_t>(c.ocr1b >> 8)},
                        {OCR1BL, static_cast<uint8_t>(c.ocr1b)},
                        {TCCR1A, c.tccr1a},
                        {TCCR1B, c.tccr1b}});
            const double period = 2 * c.top * divider;
            const double ocr = std::min<double>(bit == 5 ? c.ocr1a : c.ocr1b, c.top);
            const double nonInverting = 2 * ocr / (2 * c.top);
            const double duty = bit == 5 ? nonInverting : 1 - nonInverting;
            const Wave wave = watch(target, PIND, bit, static_cast<uint64_t>(period * 10));
            if (duty == 0 || duty == 1) {
                EXPECT_EQ(wave.rises, 0);
                EXPECT_EQ(wave.everHigh, duty == 1);
                continue;
            }
            EXPECT_NEAR(wave.rises, 10, 1) << "OC1" << (bit == 5 ? 'A' : 'B');
            EXPECT_NEAR(wave.periodCycles, period, 1);
            EXPECT_NEAR(wave.duty, duty, 0.01);
        }
    }
}

// The program reads the count going up to TOP and back down to BOTTOM.
TEST(PhaseCorrectPwm, CountReadsUpAndDown) {
    constexpr uint8_t TCNT0 = 0x32, PORTA = 0x1B, DDRA = 0x1A;
    SimTarget target("ATmega16");
    loadWrites(target, "count", {{DDRA, 0xFF}, {TCCR0, 0x41}},  // no output, clock / 1
               {inWord(17, TCNT0), outWord(PORTA, 17)});
    target.runUntilCycle(20);
    int rising = 0, falling = 0, highest = 0, lowest = 255;
    uint8_t last = target.io(PORTA);
    while (target.cycles() < 20 + 2 * 510) {
        target.step();
        const uint8_t now = target.io(PORTA);
        rising += now > last;
        falling += now < last;
        highest = std::max<int>(highest, now);
        lowest = std::min<int>(lowest, now);
        last = now;
    }
    EXPECT_GE(highest, 250);
    EXPECT_LE(lowest, 5);
    // Two periods, read every four or five cycles: about 100 reads each way.
    EXPECT_GT(rising, 80);
    EXPECT_GT(falling, 80);
}

// A new OCR value takes over at the next TOP: the duty follows it.
TEST(PhaseCorrectPwm, NewCompareValueChangesTheDuty) {
    SimTarget target("ATmega16");
    loadWrites(target, "update", {{DDRB, 0x08}, {OCR0, 64}, {TCCR0, 0x61}});
    EXPECT_NEAR(watch(target, PINB, 3, 10 * 510).duty, 128.0 / 510, 0.01);
    target.setIo(OCR0, 192);
    EXPECT_NEAR(watch(target, PINB, 3, 10 * 510).duty, 384.0 / 510, 0.01);
}

// A TCNT write moves the count, going on the way it went, and the output
// keeps its level until its next match: TCNT0 = 200 written two cycles into
// the first period (counting up, output high below OCR0 = 64) runs up to
// TOP, down through 64 (a set: still high), to BOTTOM and up to 64, where
// the output first falls: 55 + 191 + 64 + 64 = 374 ticks after the write.
// Then the period is the usual 510 again. The program reads the count it
// wrote.
TEST(PhaseCorrectPwm, CountWriteMovesTheCountAndOutputsWaitForAMatch) {
    constexpr uint8_t TCNT0 = 0x32, PORTA = 0x1B, DDRA = 0x1A;
    SimTarget target("ATmega16");
    loadWrites(target, "count_write",
               {{DDRA, 0xFF}, {DDRB, 0x08}, {OCR0, 64}, {TCCR0, 0x61}, {TCNT0, 200}},
               {inWord(17, TCNT0), outWord(PORTA, 17)});
    uint64_t firstFall = 0;
    int firstRead = -1;
    bool last = false;  // the pin is an input, low, until the set-up
    while (target.cycles() < 2000 && !firstFall) {
        target.step();
        if (firstRead < 0 && target.io(PORTA) != 0) firstRead = target.io(PORTA);
        const bool level = (target.io(PINB) >> 3) & 1;
        if (!level && last) firstFall = target.cycles();
        last = level;
    }
    // The write is the tenth instruction (cycle 10); the count read right
    // after it is near 200, still going up.
    EXPECT_NEAR(firstRead, 202, 3);
    EXPECT_NEAR(static_cast<double>(firstFall), 10 + 374, 3);
    const Wave wave = watch(target, PINB, 3, 10 * 510);
    EXPECT_NEAR(wave.periodCycles, 510, 1);
    EXPECT_NEAR(wave.duty, 128.0 / 510, 0.01);

    // Timer1, 9-bit, OCR1A = 128: TCNT1 = 256 (high byte first) written at
    // cycle 14, counting up: 255 + 383 + 128 + 128 ticks to the first fall.
    // (This write used to crash the simulator: simavr's own TCNT handler
    // ran for a mode it does not know.)
    constexpr uint8_t TCNT1L = 0x2C, TCNT1H = 0x2D;
    SimTarget timer1("ATmega16");
    loadWrites(timer1, "count_write_16",
               {{DDRD, 0x20}, {OCR1AH, 0}, {OCR1AL, 128}, {TCCR1A, 0x82}, {TCCR1B, 0x01},
                {TCNT1H, 1}, {TCNT1L, 0}});
    last = false;
    firstFall = 0;
    while (timer1.cycles() < 3000 && !firstFall) {
        timer1.step();
        const bool level = (timer1.io(PIND) >> 5) & 1;
        if (!level && last) firstFall = timer1.cycles();
        last = level;
    }
    EXPECT_NEAR(static_cast<double>(firstFall), 14 + 894, 3);
}

// Programs that write any value to the timers' registers, in any order,
// run on: no mode, clock or count a program picks stops the simulator. A
// fixed seed makes the same programs every time.
TEST(PhaseCorrectPwm, AnyTimerRegisterWritesRunOn) {
    constexpr uint8_t TCNT0 = 0x32, TCNT1L = 0x2C, TCNT1H = 0x2D, TCNT2 = 0x24, ASSR = 0x22;
    const uint8_t registers[] = {TCCR0, TCNT0,  OCR0,   TCCR1A, TCCR1B, TCNT1H, TCNT1L, OCR1AH,
                                 OCR1AL, OCR1BH, OCR1BL, ICR1H,  ICR1L,  TCCR2,  TCNT2,  OCR2,
                                 ASSR,  DDRB,   DDRD};
    uint32_t seed = 20261207u;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    for (const char* part : {"ATmega16", "ATmega8"}) {
        for (int program = 0; program < 60; ++program) {
            SCOPED_TRACE(std::string(part) + " program " + std::to_string(program));
            std::vector<std::pair<uint8_t, uint8_t>> writes;
            for (int i = 0; i < 12; ++i)
                writes.emplace_back(registers[next() % std::size(registers)],
                                    static_cast<uint8_t>(next()));
            SimTarget target(part);
            loadWrites(target, "any_writes", writes);
            target.runUntilCycle(5000);
            EXPECT_GE(target.cycles(), 5000u);
            target.takeMessages();
        }
    }
}

// The ATtiny85's Timer1, counted on the host: TOP = OCR1C in PWM mode, the
// prescaler CS13:0 up to CK/16384, set at 0 and cleared at the match
// (clocks of at least CK/4, so that the two-cycle loop samples the pin finely).
namespace {
constexpr uint8_t T85_PINB = 0x16, T85_DDRB = 0x17, T85_GPIOR0 = 0x11, T85_OCR1B = 0x2B;
constexpr uint8_t T85_GTCCR = 0x2C, T85_OCR1C = 0x2D, T85_OCR1A = 0x2E, T85_TCNT1 = 0x2F;
constexpr uint8_t T85_TCCR1 = 0x30, T85_TIFR = 0x38;
}  // namespace

TEST(OcrTopTimer, PrescalerAndTopSetPeriodAndDuty) {
    struct Case {
        uint8_t tccr1, gtccr, ocr1c, ocr, bit;
        double period, duty;
    };
    const Case cases[] = {
        // PWM1A, COM1A = 10, CK/4: OC1A (PB1) high 3 of 10 counts.
        {0x63, 0x00, 9, 3, 1, 40, 0.3},
        // COM1A = 11 inverts it.
        {0x73, 0x00, 9, 3, 1, 40, 0.7},
        // COM1A = 01 drives /OC1A (PB0) opposite.
        {0x53, 0x00, 9, 3, 0, 40, 0.7},
        // OC1B (PB4), PWM1B and COM1B = 10 in GTCCR, CK/16.
        {0x05, 0x60, 4, 1, 4, 80, 0.2},
        // CK/16384, the slowest clock, on OC1A.
        {0x6F, 0x00, 3, 2, 1, 4 * 16384, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("TCCR1 " + std::to_string(c.tccr1) + " GTCCR " + std::to_string(c.gtccr));
        SimTarget target("ATtiny85");
        loadWrites(target, "tiny_timer1",
                   {{T85_DDRB, 0x13},
                    {T85_OCR1C, c.ocr1c},
                    {T85_OCR1A, c.ocr},
                    {T85_OCR1B, c.ocr},
                    {T85_GTCCR, c.gtccr},
                    {T85_TCCR1, c.tccr1}});
        const Wave wave = watch(target, T85_PINB, c.bit, static_cast<uint64_t>(c.period * 4));
        EXPECT_NEAR(wave.rises, 4, 1);
        EXPECT_NEAR(wave.periodCycles, c.period, 1);
        EXPECT_NEAR(wave.duty, c.duty, 0.02);
    }
}

// OCR1A = 0 keeps OC1A low and OCR1A = OCR1C high; the overflow and
// compare flags still rise.
TEST(OcrTopTimer, CompareAtZeroAndTopHoldsTheOutput) {
    for (const uint8_t ocr : {uint8_t{0}, uint8_t{9}}) {
        SCOPED_TRACE("OCR1A " + std::to_string(ocr));
        SimTarget target("ATtiny85");
        loadWrites(target, "tiny_timer1_hold",
                   {{T85_DDRB, 0x02}, {T85_OCR1C, 9}, {T85_OCR1A, ocr}, {T85_TCCR1, 0x61}});
        const Wave wave = watch(target, T85_PINB, 1, 200);
        EXPECT_EQ(wave.rises, 0);
        EXPECT_EQ(wave.everHigh, ocr != 0);
        EXPECT_EQ(wave.everLow, ocr == 0);
        EXPECT_EQ(target.io(T85_TIFR) & 0x44, 0x44);  // OCF1A and TOV1
    }
}

// In CTC1 the count the program reads runs 0..OCR1C.
TEST(OcrTopTimer, CountClearsAtOcr1cInCtc) {
    SimTarget target("ATtiny85");
    loadWrites(target, "tiny_timer1_count", {{T85_OCR1C, 20}, {T85_TCCR1, 0x81}},
               {inWord(17, T85_TCNT1), outWord(T85_GPIOR0, 17)});
    target.runUntilCycle(100);
    int highest = 0, lowest = 255;
    for (int k = 0; k < 300; ++k) {
        target.step();
        highest = std::max<int>(highest, target.io(T85_GPIOR0));
        lowest = std::min<int>(lowest, target.io(T85_GPIOR0));
    }
    EXPECT_EQ(highest, 20);
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(target.io(T85_TIFR) & 0x04, 0);  // no overflow below 0xFF
}
