// The simulator's bounds: the slowest clock it can time (below it simavr's
// converter timing divided by zero), and program memory reached past the
// end of the part's flash (LPM, ELPM, SPM and the program counter), which
// wraps as on the chip instead of leaving simavr's buffer. Run under the
// sanitizer build, the reads and writes past the end are caught there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/sim/Clock.h"
#include "host/sim/SimTarget.h"
#include "tests/support/TestFiles.h"

extern "C" {
#include <sim_avr.h>
}

using quill::sim::kMinClockHz;
using quill::sim::RunState;
using quill::sim::SimError;
using quill::sim::SimTarget;

namespace {

constexpr unsigned PORTA = 0x1b, PORTB = 0x18;

// Instruction words from address 0, and data bytes from `dataAt`, as an
// Intel HEX file loaded into the target.
void load(SimTarget& target, const std::string& name, const std::vector<uint16_t>& words,
          uint16_t dataAt = 0, const std::vector<uint8_t>& data = {}) {
    std::string text = testfiles::HexProgram(words);
    text.erase(text.rfind(":00000001FF"));
    for (std::size_t i = 0; i < data.size(); i += 16) {
        const std::vector<uint8_t> chunk(data.begin() + static_cast<long>(i),
                                         data.begin() + static_cast<long>(std::min(i + 16, data.size())));
        text += testfiles::HexRecord(0, static_cast<uint16_t>(dataAt + i), chunk) + "\n";
    }
    const auto path = testfiles::ScratchFile("quill_simtarget_bounds", name);
    testfiles::WriteFile(path, text + ":00000001FF\n");
    target.loadFirmware(path.string());
}

}  // namespace

TEST(SimTargetBounds, TheSlowestClockTimesAConversionAtTheSlowestPrescaler) {
    try {
        SimTarget tooSlow("ATmega16", kMinClockHz - 1);
        ADD_FAILURE() << "a clock of 3199 Hz was taken";
    } catch (const SimError& e) {
        EXPECT_NE(std::string(e.what()).find("3199 Hz is below 3200 Hz"), std::string::npos)
            << e.what();
    }
    SimTarget target("ATmega16");
    EXPECT_THROW(target.setFrequency(0), SimError);
    EXPECT_EQ(target.frequency(), 1000000u);

    // ldi r16,0xC7 (ADEN, ADSC, prescaler 128); out ADCSRA,r16;
    // wait: sbic ADCSRA,ADSC; rjmp wait; ldi r17,0x55; out PORTA,r17; rjmp .-2
    SimTarget slow("ATmega16", kMinClockHz);
    load(slow, "slow_conversion.hex", {0xEC07, 0xB906, 0x9936, 0xCFFE, 0xE515, 0xBB1B, 0xCFFF});
    // The first conversion takes 25 converter clocks of 128 cycles.
    slow.runUntilCycle(3000);
    EXPECT_EQ(slow.io(PORTA), 0x00);
    slow.runUntilCycle(3300);
    EXPECT_EQ(slow.io(PORTA), 0x55);
    EXPECT_EQ(slow.state(), RunState::Running);
}

// The ATmega16 has 16 KiB of flash: Z = 0xFFFF reads its last byte, and
// ELPM (no instruction of this part; simavr warns and takes R0 for the
// missing RAMPZ) with R0:Z = 0xFF:C001 its second.
TEST(SimTargetBounds, ProgramMemoryReadsWrapWithinTheFlash) {
    SimTarget target("ATmega16");
    // ldi r30,0xFF; ldi r31,0xFF; lpm r16,Z; out PORTA,r16; mov r0,r31;
    // ldi r30,0x01; ldi r31,0xC0; elpm r17,Z; out PORTB,r17; rjmp .-2
    load(target, "lpm_wrap.hex",
         {0xEFEF, 0xEFFF, 0x9104, 0xBB0B, 0x2E0F, 0xE0E1, 0xECF0, 0x9116, 0xBB18, 0xCFFF}, 0x3FFF,
         {0xA7});
    target.run(10);
    EXPECT_EQ(target.io(PORTA), 0xA7);  // flash[0x3FFF]
    EXPECT_EQ(target.io(PORTB), 0xEF);  // flash[0x0001], the high byte of the first word

    // The same on the ATmega8's 8 KiB.
    SimTarget small("ATmega8");
    load(small, "lpm_wrap_atmega8.hex", {0xEFEF, 0xEFFF, 0x9104, 0xBB08 /* out PORTB,r16 */, 0xCFFF},
         0x1FFF, {0x3C});
    small.run(5);
    EXPECT_EQ(small.io(PORTB), 0x3C);
}

// A page erased through a Z above the flash is the page the address wraps
// to, and every address that reaches it sees the erase.
TEST(SimTargetBounds, AFlashPageWrittenThroughAHighAddressIsThePageItWrapsTo) {
    SimTarget target("ATmega16");
    // ldi r30,0x80; ldi r31,0xFF (Z = 0xFF80); ldi r16,0x03 (PGERS, SPMEN);
    // out SPMCR,r16; spm; rjmp .-2
    load(target, "spm_wrap.hex", {0xE8E0, 0xEFFF, 0xE003, 0xBF07, 0x95E8, 0xCFFF}, 0x3F80,
         std::vector<uint8_t>(128, 0x12));
    const uint8_t* flash = target.core()->flash;
    ASSERT_EQ(flash[0x3F80], 0x12);
    EXPECT_EQ(flash[0xFF80], 0x12);  // a mirror shows the loaded program
    target.run(6);
    for (uint32_t a = 0x3F80; a < 0x4000; ++a) ASSERT_EQ(flash[a], 0xFF) << std::hex << a;
    EXPECT_EQ(flash[0x7F80], 0xFF);
    EXPECT_EQ(flash[0x3F7F], 0xFF);  // erased before: the rest of flash
    EXPECT_EQ(flash[0], 0xE0);       // the program stays
}

// A program counter that reaches the end of the flash stops the program.
TEST(SimTargetBounds, AProgramRunningOffTheEndOfTheFlashStops) {
    SimTarget target("ATmega16");
    // jmp 0x3FFC, where two erased words (0xFFFF, no instruction simavr
    // runs as more than one word) lead to the end.
    load(target, "off_the_end.hex", {0x940C, 0x1FFE});
    target.run(1);
    EXPECT_EQ(target.programCounter(), 0x3FFCu);
    target.run(10);
    EXPECT_EQ(target.state(), RunState::Crashed);
}
