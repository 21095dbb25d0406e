// A program's own verdict: avr-libc's exit(n) (or a return from main)
// stops the program with interrupts off at __stop_program, n in r24:r25.
// The target recognises the stop by the ELF symbol, or without one (Intel
// HEX) by a cli followed by a jump to itself; the scenario words that use
// it parse as documented.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/scenario/Scenario.h"
#include "host/sim/FirmwareFile.h"
#include "host/sim/SimTarget.h"
#include "tests/support/TestFiles.h"

using quill::sim::RunState;
using quill::sim::SimTarget;

namespace {

// Runs until the program stops, at most `limit` cycles.
RunState runToStop(SimTarget& target, uint64_t limit = 2000000) {
    while (target.cycles() < limit) {
        target.run(4096);
        if (target.state() != RunState::Running && target.state() != RunState::Sleeping) break;
    }
    return target.state();
}

quill::sim::FirmwareImage words(uint32_t address, const std::vector<uint16_t>& program) {
    quill::sim::MemoryChunk chunk;
    chunk.address = address;
    for (uint16_t w : program) {
        chunk.bytes.push_back(static_cast<uint8_t>(w));
        chunk.bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    quill::sim::FirmwareImage image;
    image.flash.push_back(chunk);
    return image;
}

}  // namespace

TEST(ProgramExit, ExitCodesFromTheElfSymbolAndFromHexWithoutOne) {
    struct Case {
        const char* file;
        int code;
    };
    for (const Case c : {Case{"exit_status_0.elf", 0}, Case{"exit_status_3.elf", 3},
                         Case{"exit_status_3.hex", 3}}) {
        SCOPED_TRACE(c.file);
        if (!std::filesystem::exists(testfiles::BuiltFirmware(c.file))) GTEST_SKIP() << "not built";
        const auto image = quill::sim::readFirmwareFile(testfiles::BuiltFirmware(c.file));
        EXPECT_EQ(image.stopProgram.has_value(), std::string(c.file).ends_with(".elf"));
        SimTarget target("ATmega16");
        target.loadImage(image, c.file);
        ASSERT_EQ(target.exitStops().size(), 1u);
        if (image.stopProgram) {
            EXPECT_EQ(target.exitStops()[0], *image.stopProgram);
        }
        EXPECT_EQ(runToStop(target), RunState::Exited);
        ASSERT_TRUE(target.exitCode());
        EXPECT_EQ(*target.exitCode(), c.code);
        EXPECT_EQ(target.programCounter(), target.exitStops()[0]);
        EXPECT_FALSE(target.step()) << "an exited program goes no further";
        // A reset starts it over; it exits again.
        target.reset();
        EXPECT_FALSE(target.exitCode());
        EXPECT_EQ(target.state(), RunState::Running);
        EXPECT_EQ(runToStop(target), RunState::Exited);
    }
}

TEST(ProgramExit, OnlyACliThenAJumpToItselfWithInterruptsOffIsAnExit) {
    constexpr uint16_t kCli = 0x94F8, kSei = 0x9478, kRjmpSelf = 0xCFFF, kNop = 0x0000;
    const auto ldi = [](int reg, uint8_t k) {
        return static_cast<uint16_t>(0xE000 | ((k & 0xF0) << 4) | ((reg - 16) << 4) | (k & 0x0F));
    };
    // r24:r25 = 0xFFFF (exit(-1)), cli, jmp to itself (the long form).
    {
        SimTarget target("ATmega16");
        target.loadImage(words(0, {ldi(24, 0xFF), ldi(25, 0xFF), kCli, 0x940C, 0x0003}), "jmp.hex");
        EXPECT_EQ(target.exitStops(), std::vector<uint32_t>{6});
        EXPECT_EQ(runToStop(target), RunState::Exited);
        EXPECT_EQ(*target.exitCode(), -1);
    }
    // A loop to itself with interrupts on is a program waiting for them,
    // not one that exited; nor is a cli followed by anything else.
    {
        SimTarget target("ATmega16");
        target.loadImage(words(0, {kCli, kNop, kSei, kRjmpSelf}), "wait.hex");
        EXPECT_TRUE(target.exitStops().empty());
        EXPECT_EQ(runToStop(target, 5000), RunState::Running);
        EXPECT_FALSE(target.exitCode());
    }
    // A stop reached with interrupts on does not count until they are off.
    {
        SimTarget target("ATmega16");
        // 0: sei; 2: rjmp +1 (to 6); 4: cli; 6: rjmp .-2 (the stop, at 6).
        target.loadImage(words(0, {kSei, 0xC001, kCli, kRjmpSelf}), "sei.hex");
        EXPECT_EQ(target.exitStops(), std::vector<uint32_t>{6});
        EXPECT_EQ(runToStop(target, 5000), RunState::Running);
    }
}

TEST(ProgramExit, ScenarioWordsAsDocumented) {
    using namespace quill::scenario;
    auto one = [](const std::string& line) {
        const ParseResult r = parse(line + "\n", "exit.scn");
        EXPECT_TRUE(r.ok()) << line << ": " << (r.ok() ? "" : r.errors[0].text());
        return r.ok() ? r.script.steps.at(0).command : quill::scenario::Command{ResetCommand{}};
    };
    auto refusal = [](const std::string& line) {
        const ParseResult r = parse(line + "\n", "exit.scn");
        return r.ok() ? std::string() : r.errors[0].message;
    };
    EXPECT_EQ(std::get<WaitExitCommand>(one("wait until exit")).timeoutCycles, 1000000u);
    EXPECT_EQ(std::get<WaitExitCommand>(one("wait until exit timeout 5000")).timeoutCycles, 5000u);
    EXPECT_EQ(std::get<ExpectExitCommand>(one("expect exit 0")).code, 0);
    EXPECT_EQ(std::get<ExpectExitCommand>(one("EXPECT EXIT 0x3")).code, 3);
    EXPECT_EQ(std::get<ExpectExitCommand>(one("expect exit -1")).code, -1);
    EXPECT_EQ(describe(one("wait until exit timeout 5000")),
              "wait until the program exits (at most 5000 cycles)");
    EXPECT_EQ(describe(one("expect exit 3")), "expect the program exited with 3");
    EXPECT_NE(refusal("expect exit").find("needs the exit code"), std::string::npos);
    EXPECT_NE(refusal("expect exit 65536").find("exit code"), std::string::npos);
    EXPECT_NE(refusal("expect exit 1 2").find("unexpected argument"), std::string::npos);
    EXPECT_NE(refusal("wait until exit now").find("unexpected argument"), std::string::npos);
    // "exit" in quotes is no keyword: a condition the parser refuses.
    EXPECT_FALSE(refusal("wait until \"exit\"").empty());
}
