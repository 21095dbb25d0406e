// The simavr target running the real demo firmware: program behaviour seen
// through the plug-in's raw memory access, the pin and converter semantics,
// and clear failures for bad parts and bad firmware.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/sim/SimTarget.h"
#include "tests/support/TestFiles.h"

extern "C" {
#include <sim_avr.h>
}

using quill::sim::RunState;
using quill::sim::SimError;
using quill::sim::SimTarget;

using namespace testfiles;

namespace {

// I/O register indices of the ATmega16 (data address - 0x20).
constexpr unsigned PIND = 0x10, DDRD = 0x11, PORTD = 0x12;
constexpr unsigned PINC = 0x13, PORTC = 0x15;
constexpr unsigned PINB = 0x16, PORTB = 0x18;
constexpr unsigned DDRA = 0x1a, PORTA = 0x1b;
constexpr unsigned ADCL = 0x04, ADCH = 0x05;

std::string firmware(const std::string& name) { return BuiltFirmware(name); }

std::filesystem::path scratch(const std::string& name) {
    return ScratchFile("quill_simtarget_tests", name);
}

// Loads a few hand-assembled instruction words as an Intel HEX file.
void loadProgram(SimTarget& target, const std::string& name, const std::vector<uint16_t>& words) {
    const auto path = scratch(name);
    WriteFile(path, HexProgram(words));
    target.loadFirmware(path.string());
}

// Runs until PORTA changes (or the cycle limit); returns the new value.
uint8_t nextPortA(SimTarget& target, uint64_t limitCycles = 5000) {
    const uint8_t start = target.io(PORTA);
    const uint64_t until = target.cycles() + limitCycles;
    while (target.io(PORTA) == start && target.cycles() < until) target.step();
    return target.io(PORTA);
}

// PB3 (OC0) an output with PORTB.3 at 0, Timer0 in CTC setting OC0 on its
// match, then the nops during which the match sets PB3.
std::vector<uint16_t> oc0SetOnMatch() {
    std::vector<uint16_t> program = {
        0xE008, 0xBB07,  // DDRB = 0x08
        0xE009, 0xBF0C,  // OCR0 = 9
        0xE309, 0xBF03,  // TCCR0 = CTC, set OC0 on compare match, clock / 1
    };
    program.insert(program.end(), 20, 0x0000);
    return program;
}

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SimError& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

TEST(SimTarget, WritingTheWholeIoSpaceBackAfterEveryStepChangesNothing) {
    // The plug-in reads all 64 I/O registers and writes them back after
    // every instruction; the program must run exactly as without it.
    REQUIRE_FIRMWARE("running_light.elf");
    SimTarget alone("ATmega16"), refreshed("ATmega16");
    alone.loadFirmware(firmware("running_light.elf"));
    refreshed.loadFirmware(firmware("running_light.elf"));
    uint8_t image[64];
    for (int i = 0; i < 6000; ++i) {
        alone.step();
        refreshed.step();
        ASSERT_TRUE(refreshed.read(kMemoryIo, 0, image, 64));
        ASSERT_TRUE(refreshed.write(kMemoryIo, 0, image, 64));
        ASSERT_EQ(alone.io(PORTA), refreshed.io(PORTA)) << "after instruction " << i;
        ASSERT_EQ(alone.programCounter(), refreshed.programCounter());
    }
    EXPECT_EQ(alone.cycles(), refreshed.cycles());
}

TEST(SimTarget, BlockAccessComputesAndDrivesPinRegistersInsideTheBlock) {
    // A block that starts past some pin registers and holds one in its
    // middle: PORTC, PINB, DDRB.
    REQUIRE_FIRMWARE("led_switch_echo.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("led_switch_echo.elf"));
    target.run(50);
    const uint8_t block[] = {0x00, 0x3c, 0x00};
    ASSERT_TRUE(target.write(kMemoryIo, PORTC, block, 3));
    EXPECT_EQ(target.io(PINB), 0x3c);  // driven from outside, as setIo does
    target.run(50);
    uint8_t seen[3] = {};
    ASSERT_TRUE(target.read(kMemoryIo, PORTC, seen, 3));
    EXPECT_EQ(seen[0], 0x3c);  // the program echoed PINB to PORTC
    EXPECT_EQ(seen[1], 0x3c);
    EXPECT_EQ(seen[2], target.io(PINB + 1));
}

TEST(SimTarget, PinLevelsInBothDirections) {
    REQUIRE_FIRMWARE("led_switch_echo.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("led_switch_echo.elf"));
    target.run(50);
    // Nothing drives port B yet: inputs without pull-up read 0.
    EXPECT_EQ(target.io(PINB), 0x00);
    EXPECT_EQ(target.io(PORTC), 0x00);

    // What the plug-in writes to PINx is what the program reads.
    target.setIo(PINB, 0xa5);
    target.run(50);
    EXPECT_EQ(target.io(PINB), 0xa5);
    EXPECT_EQ(target.io(PORTC), 0xa5);
    EXPECT_EQ(target.io(PORTD), 0xf5);

    // PINC of an output port shows the driven levels; a write to an output
    // pin's PIN bit changes nothing.
    EXPECT_EQ(target.io(PINC), 0xa5);
    target.setIo(PINC, 0x00);
    EXPECT_EQ(target.io(PINC), 0xa5);

    // Port D: PD0-3 outputs, PD4-7 inputs with pull-ups and nothing
    // driving them, which read high.
    EXPECT_EQ(target.io(DDRD), 0x0f);
    EXPECT_EQ(target.io(PIND), 0xf5);
    // Writing PIND back as read leaves the pull-ups in charge ...
    target.setIo(PIND, 0xf5);
    EXPECT_EQ(target.io(PIND), 0xf5);
    target.setIo(PORTD, 0x05);  // pull-ups off, as the program would
    EXPECT_EQ(target.io(PIND), 0x05);
    target.setIo(PORTD, 0xf5);
    // ... a changed bit drives that input from outside, over its pull-up.
    target.setIo(PIND, 0xe5);
    EXPECT_EQ(target.io(PIND), 0xe5);
    target.run(50);
    EXPECT_EQ(target.io(PIND), 0xe5);
}

TEST(SimTarget, ExternalLevelsSurviveAResetAndTheProgramStartsOver) {
    REQUIRE_FIRMWARE("running_light.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("running_light.elf"));
    target.runUntilCycle(3500);
    EXPECT_EQ(target.io(PORTA), 0x08);
    target.setIo(PINB, 0x80);

    target.reset();
    EXPECT_EQ(target.cycles(), 0u);
    EXPECT_EQ(target.io(PORTA), 0x00);
    EXPECT_EQ(target.io(DDRA), 0x00);
    EXPECT_EQ(target.io(PINB), 0x80);
    target.run(100);
    EXPECT_EQ(target.io(PORTA), 0x01);
    EXPECT_EQ(nextPortA(target), 0x80);  // the switch still reverses it
}

// The converter reader waits for its conversions three ways: ADSC polled,
// ISR(ADC_vect), and free running polled on ADIF, which it clears by
// writing 1 (it stops with PORTC = 0xEE if the flag survives that). The
// plug-in's part is only the result, written when a conversion starts: the
// program reads it, not a result of simavr's own, after the conversion ends.
TEST(SimTarget, ConverterTimingFlagsAndInterruptServeAllThreeProgramStyles) {
    REQUIRE_FIRMWARE("adc_reader.elf");
    constexpr unsigned ADCSRA = 0x06, PORTC = 0x15, PORTD = 0x12;
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("adc_reader.elf"));
    uint8_t lastAdsc = 0;
    int adifRises = 0;
    uint8_t lastFlag = 0;
    while (target.cycles() < 20000) {
        target.step();
        const uint8_t adcsra = target.io(ADCSRA);
        if ((adcsra & 0x40) && !lastAdsc) {
            target.setIo(ADCH, 0x5A);
            target.setIo(ADCL, 0xC0);
        }
        if ((adcsra & 0x10) && !lastFlag) ++adifRises;
        lastAdsc = adcsra & 0x40;
        lastFlag = adcsra & 0x10;
    }
    EXPECT_EQ(target.io(PORTB), 0x5A);  // single conversion, ADSC polled
    EXPECT_EQ(target.io(PORTD), 0x5A);  // ISR(ADC_vect)
    EXPECT_EQ(target.io(PORTC), 0x5A);  // free running, ADIF polled and cleared
    EXPECT_GT(adifRises, 20);

    // Writing 0 to ADIF leaves it set; writing 1 clears it.
    SimTarget bare("ATmega16");
    // ldi r16,0x80; out ADCSRA,r16; ldi r16,0x90; out ADCSRA,r16; rjmp .-2
    loadProgram(bare, "adif_write.hex", {0xE800, 0xB906, 0xE900, 0xB906, 0xCFFF});
    bare.core()->data[0x26] = 0x10;  // a raised flag
    bare.run(2);
    EXPECT_EQ(bare.io(ADCSRA), 0x90) << "writing 0 to ADIF keeps it";
    bare.run(2);
    EXPECT_EQ(bare.io(ADCSRA), 0x80) << "writing 1 to ADIF clears it";
}

TEST(SimTarget, SleepingDoesNotWaitInRealTime) {
    // ldi r16,0x40; out MCUCR,r16 (sleep enable); sei; sleep; rjmp sleep
    // simavr's own sleep callbacks pause the calling thread to keep
    // wall-clock pace; the target must not use them, whatever it loads.
    SimTarget target("ATmega16");
    loadProgram(target, "sleep.hex", {0xE400, 0xBF05, 0x9478, 0x9588, 0xCFFE});
    target.run(2000);
    EXPECT_EQ(target.state(), RunState::Sleeping);
    EXPECT_NE(target.core()->sleep, &avr_callback_sleep_raw);
    EXPECT_NE(target.core()->sleep, &avr_callback_sleep_gdb);
    EXPECT_NE(target.core()->sleep, nullptr);
}

TEST(SimTarget, AProgramThatStopsForGoodNoLongerSteps) {
    // ldi r16,0x40; out MCUCR,r16; cli; sleep: sleeping with interrupts off
    // never wakes up, so simavr ends the program; a reset revives it.
    SimTarget target("ATmega16");
    loadProgram(target, "stop.hex", {0xE400, 0xBF05, 0x94F8, 0x9588, 0xCFFF});
    EXPECT_EQ(target.run(100), 4u);
    EXPECT_EQ(target.state(), RunState::Done);
    const uint64_t cycles = target.cycles();
    EXPECT_FALSE(target.step());
    EXPECT_EQ(target.cycles(), cycles);
    target.reset();
    EXPECT_EQ(target.state(), RunState::Running);
    EXPECT_TRUE(target.step());
}

TEST(SimTarget, BadFirmwareIsRefusedAndTheLoadedProgramStays) {
    REQUIRE_FIRMWARE("running_light.elf");
    REQUIRE_FIRMWARE("led_switch_echo_atmega8.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("running_light.elf"));

    struct Case {
        std::string file, contents, expected;
    };
    // The file checks themselves are FirmwareFile's tests; here one of each
    // kind shows the target refusing the file by name.
    const std::vector<Case> cases = {
        {"text.elf", "just some text, not a program\n", "is not an ELF file"},
        {"length.hex", ":0400000C940000\n:00000001FF\n", "does not match the record length"},
        {"big.hex", HexProgram({0xCFFF}, 0x4000), "needs 16386 bytes of flash"},
    };
    for (const Case& c : cases) {
        const auto path = scratch(c.file);
        WriteFile(path, c.contents);
        const std::string message = errorOf([&] { target.loadFirmware(path.string()); });
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.file << ": " << message;
        EXPECT_NE(message.find(c.file), std::string::npos) << "names the file: " << message;
    }

    const std::string missing = errorOf([&] { target.loadFirmware(scratch("nope.elf").string()); });
    EXPECT_NE(missing.find("cannot read firmware"), std::string::npos) << missing;
    const std::string otherCore =
        errorOf([&] { target.loadFirmware(firmware("led_switch_echo_atmega8.elf")); });
    EXPECT_NE(otherCore.find("built for avr4"), std::string::npos) << otherCore;
    // Same architecture, another part: told by the part the file names.
    if (std::filesystem::exists(firmware("running_light_atmega32.elf"))) {
        const std::string otherPart =
            errorOf([&] { target.loadFirmware(firmware("running_light_atmega32.elf")); });
        EXPECT_NE(otherPart.find("is built for the atmega32, not the ATmega16"), std::string::npos)
            << otherPart;
    }

    // Every refusal left the running light in place.
    EXPECT_EQ(target.firmwarePath(), firmware("running_light.elf"));
    target.run(100);
    EXPECT_EQ(target.io(PORTA), 0x01);
}

// A timer's compare output drives its pin: PINx shows what the timer drives
// while PORTx stays 0, for fast PWM and CTC toggling, and the refresh filter
// of a pin register learns of every such edge.
TEST(SimTarget, TimerOutputsDriveTheirPins) {
    REQUIRE_FIRMWARE("pwm_demo.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("pwm_demo.elf"));
    struct Pin {
        unsigned reg;
        uint8_t mask;
        int rises = 0;
        uint64_t highSteps = 0;
        bool last = false;
    };
    Pin pins[] = {{PINB, 0x08}, {PIND, 0x20}, {PIND, 0x80}};
    target.runUntilCycle(2000);  // set-up done, timers running
    const unsigned char* external = nullptr;
    const uint8_t *ddr = nullptr, *port = nullptr;
    ASSERT_TRUE(target.pinDependencies(PINB, &ddr, &port, &external));
    uint8_t seenChanges = *external;
    int filterChanges = 0;
    uint64_t steps = 0;
    const uint64_t end = target.cycles() + 100000;  // 0.1 s at 1 MHz
    while (target.cycles() < end) {
        const uint64_t before = target.cycles();
        target.step();
        const uint64_t spent = target.cycles() - before;
        steps += spent;
        for (Pin& p : pins) {
            const bool high = (target.io(p.reg) & p.mask) != 0;
            if (high && !p.last) ++p.rises;
            if (high) p.highSteps += spent;
            p.last = high;
        }
        if (*external != seenChanges) {
            seenChanges = *external;
            ++filterChanges;
        }
    }
    EXPECT_EQ(target.io(PORTB) & 0x08, 0) << "the program never writes PB3";
    // 488 Hz: 48 or 49 periods in 0.1 s; 1000 Hz: 100.
    EXPECT_NEAR(pins[0].rises, 49, 1);
    EXPECT_NEAR(pins[1].rises, 100, 1);
    EXPECT_NEAR(pins[2].rises, 49, 1);
    EXPECT_NEAR(static_cast<double>(pins[0].highSteps) / steps, 0.25, 0.01);
    EXPECT_NEAR(static_cast<double>(pins[1].highSteps) / steps, 0.50, 0.01);
    EXPECT_NEAR(static_cast<double>(pins[2].highSteps) / steps, 0.75, 0.01);
    // Every edge of the three outputs changed the count the filter watches.
    EXPECT_GE(filterChanges, 2 * (48 + 99 + 48));

    // A reset disconnects the outputs: the pins read their PORTx bits again.
    target.reset();
    target.run(3);
    EXPECT_EQ(target.io(PINB) & 0x08, 0);
}

// A program that disconnects a compare output (COM bits back to 0) hands the
// pin back to PORTx: the pin, and the count the refresh filter watches,
// change at that write, without any edge of the timer.
TEST(SimTarget, DisconnectingACompareOutputHandsThePinBack) {
    SimTarget target("ATmega16");
    std::vector<uint16_t> program = oc0SetOnMatch();
    const uint32_t disconnect = static_cast<uint32_t>(program.size()) * 2;
    program.insert(program.end(), {0xE009, 0xBF03, 0xCFFF});  // TCCR0 = CTC, COM 0; loop
    loadProgram(target, "disconnect.hex", program);
    while (target.programCounter() != disconnect) ASSERT_TRUE(target.step());
    EXPECT_EQ(target.io(PINB) & 0x08, 0x08) << "the timer set PB3";
    const uint8_t *ddr = nullptr, *port = nullptr, *external = nullptr;
    ASSERT_TRUE(target.pinDependencies(PINB, &ddr, &port, &external));
    const uint8_t before = *external;
    target.run(2);
    EXPECT_EQ(target.io(PINB) & 0x08, 0) << "PORTB.3 is 0";
    EXPECT_NE(*external, before);
}

// The host writing a timer's control register (a debugger's memory write)
// moves the pin between the timer and PORTx as the program's write would,
// at once and without a step of the program.
TEST(SimTarget, AHostWriteOfTheCompareOutputBitsMovesThePin) {
    constexpr unsigned TCCR0 = 0x33;
    SimTarget target("ATmega16");
    std::vector<uint16_t> program = oc0SetOnMatch();
    const uint32_t spin = static_cast<uint32_t>(program.size()) * 2;
    program.push_back(0xCFFF);  // loop
    loadProgram(target, "host_control.hex", program);
    while (target.programCounter() != spin) ASSERT_TRUE(target.step());
    ASSERT_EQ(target.io(PINB) & 0x08, 0x08) << "the timer set PB3";

    target.setIo(TCCR0, 0x09);  // COM bits 0: PB3 is PORTB's again
    EXPECT_EQ(target.io(PINB) & 0x08, 0);
    const uint8_t connect = 0x39;  // COM bits back on, in a block write
    ASSERT_TRUE(target.write(kMemoryIo, TCCR0, &connect, 1));
    EXPECT_EQ(target.io(PINB) & 0x08, 0x08) << "the timer's last level";
}
