// The line table, symbols and breakpoints of the debugger's demo program
// (built with DWARF, with STABS, and stripped), checked against the source
// text itself: the lines are found by their contents, not by number.
#include <gtest/gtest.h>

#include "host/debugger/tests/DemoSource.h"

#include <memory>
#include <string>

#include "host/debugger/Breakpoints.h"
#include "host/debugger/ProgramInfo.h"

namespace qd = quill::debugger;

namespace {

using demo::kElf;
using demo::kSource;

using demo::lineOf;

// The DWARF and the STABS build give the same lines.
struct ProgramInfoTest : ::testing::TestWithParam<std::string> {
    void SetUp() override {
        stored = std::make_unique<qd::ProgramInfo>(qd::ProgramInfo::load(GetParam()));
        info = stored.get();
    }
    std::unique_ptr<qd::ProgramInfo> stored;
    qd::ProgramInfo* info = nullptr;
};
INSTANTIATE_TEST_SUITE_P(Builds, ProgramInfoTest, ::testing::Values(kElf, demo::kStabsElf),
                         [](const auto& p) { return p.param == kElf ? "Dwarf" : "Stabs"; });

TEST_P(ProgramInfoTest, LinesFilesAndFunctions) {
    ASSERT_TRUE(info->hasLineInfo());
    const std::string file = info->findFile("debug_demo.c");
    EXPECT_EQ(file, kSource);
    EXPECT_EQ(info->findFile("firmware/debug_demo.c"), kSource);
    EXPECT_EQ(info->findFile("emo.c"), "");  // a file name, not any tail
    EXPECT_EQ(info->findFile("other.c"), "");

    // tick() starts with its first statement (no frame to set up).
    const qd::Symbol* tick = info->function("tick");
    ASSERT_NE(tick, nullptr);
    EXPECT_EQ(info->functionBreakAddress(*tick), tick->address);
    EXPECT_EQ(info->locate(tick->address), (qd::SourceLocation{file, lineOf("counter++")}));
    EXPECT_EQ(info->functionAt(tick->address + 2), tick);

    // Every statement of a line, and a line without code moves on.
    const std::vector<uint32_t> copy = info->lineAddresses(file, lineOf("PORTA = pattern"));
    ASSERT_EQ(copy.size(), 1u);
    EXPECT_EQ(info->locate(copy[0])->line, lineOf("PORTA = pattern"));
    EXPECT_EQ(info->locate(copy[0] + 2)->line, lineOf("PORTA = pattern"));
    EXPECT_TRUE(info->lineAddresses(file, lineOf("for (;;)")).empty());
    EXPECT_EQ(info->nextLineWithCode(file, lineOf("for (;;)")), lineOf("tick();"));
    EXPECT_FALSE(info->locate(0xFFFE));
    EXPECT_EQ(info->missingLineInfo(), "");
    // main() starts in its header line's code or past it, never in tick().
    const qd::Symbol* main = info->function("main");
    ASSERT_NE(main, nullptr);
    EXPECT_GE(info->locate(info->functionBreakAddress(*main))->line, lineOf("int main"));
}

// Variables and functions come from the symbol table, with debug
// information or without.
TEST(ProgramSymbols, VariablesAndFunctionsOfEveryBuild) {
    for (const std::string& elf : {kElf, demo::kStabsElf, demo::kStrippedElf}) {
        SCOPED_TRACE(elf);
        const qd::ProgramInfo info = qd::ProgramInfo::load(elf);
        const qd::Symbol* total = info.variable("total");
        ASSERT_NE(total, nullptr);
        EXPECT_EQ(total->size, 2u);
        EXPECT_GE(total->address, 0x60u);  // data space, past the I/O registers
        const qd::Symbol* passes = info.variable("passes");  // static
        ASSERT_NE(passes, nullptr);
        EXPECT_EQ(passes->size, 1u);
        EXPECT_EQ(info.variable("main"), nullptr);  // a function
        EXPECT_NE(info.function("tick"), nullptr);
    }
}

// Stripped of its debug information the program still has breakpoints on
// functions; one on a line says what is missing.
TEST(ProgramSymbols, StrippedProgramBreaksByFunctionOnly) {
    const qd::ProgramInfo info = qd::ProgramInfo::load(demo::kStrippedElf);
    EXPECT_FALSE(info.hasLineInfo());
    EXPECT_FALSE(info.hasStabs());
    EXPECT_EQ(info.missingLineInfo(), "built without -g: breakpoints by function only");
    qd::Breakpoints breakpoints(&info);
    std::string error;
    const qd::Breakpoint* tick = breakpoints.add("tick", &error);
    ASSERT_NE(tick, nullptr) << error;
    EXPECT_EQ(tick->addresses, std::vector<uint32_t>{info.function("tick")->address});
    EXPECT_EQ(tick->source.line, 0);
    EXPECT_EQ(breakpoints.add("debug_demo.c:" + std::to_string(lineOf("passes++")), &error),
              nullptr);
    EXPECT_EQ(error, info.missingLineInfo());
    EXPECT_FALSE(breakpoints.toggleLine(kSource, lineOf("passes++"), &error));
    EXPECT_EQ(error, info.missingLineInfo());
}

// Real avr-gcc -g output beyond the demo, and the demo's STABS damaged:
// every file loads; what is sound is read.
TEST(ProgramStabs, CorpusOfAvrGccOutput) {
    const std::string dir = std::string(QUILL_SOURCE_DIR) + "/tests/corpus/stabs/";
    auto load = [&](const char* name) { return qd::ProgramInfo::load(dir + name); };

    // Two units; the inline function of a header shows its own file.
    const qd::ProgramInfo two = load("stabs-two-units-inline.elf");
    ASSERT_TRUE(two.hasLineInfo());
    const std::string header = two.findFile("h.h");
    ASSERT_FALSE(header.empty());
    const std::vector<uint32_t> bump = two.lineAddresses(header, 2);
    ASSERT_FALSE(bump.empty());
    EXPECT_EQ(two.functionAt(bump[0]), two.function("main"));  // inlined there
    EXPECT_FALSE(two.findFile("b.c").empty());
    EXPECT_EQ(two.locate(two.function("other")->address)->file, two.findFile("b.c"));

    // An assembler unit's lines carry their own addresses (no N_FUN).
    const qd::ProgramInfo asmdemo = load("stabs-asmdemo-attiny13.elf");
    const auto isr = asmdemo.locate(0x5a);
    ASSERT_TRUE(isr);
    EXPECT_EQ(isr->file, asmdemo.findFile("isrs.S"));  // N_SOL: the source before preprocessing
    EXPECT_EQ(asmdemo.locate(asmdemo.function("main")->address)->file, asmdemo.findFile("asmdemo.c"));

    const qd::ProgramInfo stdiodemo = load("stabs-stdiodemo-atmega16.elf");
    for (const char* file : {"stdiodemo.c", "lcd.c", "uart.c", "hd44780.c"})
        EXPECT_FALSE(stdiodemo.findFile(file).empty()) << file;

    // No name can be read: STABS without a line table, and the symbols.
    const qd::ProgramInfo names = load("stab-strx-out-of-range.elf");
    EXPECT_FALSE(names.hasLineInfo());
    EXPECT_TRUE(names.hasStabs());
    EXPECT_NE(names.missingLineInfo().find("STABS"), std::string::npos);
    EXPECT_NE(names.function("tick"), nullptr);
    EXPECT_FALSE(load("stab-unit-header-past-strings.elf").hasLineInfo());
    const qd::ProgramInfo past = load("stab-size-past-file.elf");
    EXPECT_TRUE(past.hasStabs());
    EXPECT_FALSE(past.hasLineInfo());
    // A cut entry at the end, a last name without its NUL: the rest reads.
    for (const char* sound : {"stab-size-cuts-entry.elf", "stabstr-no-final-nul.elf"}) {
        const qd::ProgramInfo info = load(sound);
        EXPECT_EQ(info.locate(info.function("tick")->address)->line, lineOf("counter++")) << sound;
    }
    // Addresses past the program are dropped, not wrapped into it.
    const qd::ProgramInfo wrapped = load("stab-addresses-wrap.elf");
    EXPECT_FALSE(wrapped.locate(wrapped.function("tick")->address));
}

TEST_P(ProgramInfoTest, BreakpointsOnLinesAndFunctions) {
    qd::Breakpoints breakpoints(info);
    std::string error;
    const qd::Breakpoint* b = breakpoints.add("debug_demo.c:" + std::to_string(lineOf("for (;;)")), &error);
    ASSERT_NE(b, nullptr) << error;
    EXPECT_EQ(b->source.line, lineOf("tick();"));
    const uint32_t call = b->addresses.at(0);
    EXPECT_TRUE(breakpoints.addresses().contains(call));
    ASSERT_NE(breakpoints.add("tick", &error), nullptr);
    EXPECT_EQ(breakpoints.list().size(), 2u);
    ASSERT_NE(breakpoints.add("debug_demo.c:" + std::to_string(lineOf("tick();")), &error), nullptr);
    EXPECT_EQ(breakpoints.list().size(), 2u);  // the same place again

    // The margin's toggle removes what is there and adds what is not.
    EXPECT_TRUE(breakpoints.hasLine(kSource, lineOf("tick();")));
    EXPECT_TRUE(breakpoints.toggleLine(kSource, lineOf("tick();"), &error));
    EXPECT_FALSE(breakpoints.hasLine(kSource, lineOf("tick();")));
    EXPECT_FALSE(breakpoints.addresses().contains(call));
    EXPECT_TRUE(breakpoints.toggleLine(kSource, lineOf("tick();"), &error));
    EXPECT_TRUE(breakpoints.addresses().contains(call));

    for (const char* bad : {"nosuch", "debug_demo.c:9999", "other.c:3", "debug_demo.c:x"}) {
        error.clear();
        EXPECT_EQ(breakpoints.add(bad, &error), nullptr) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    breakpoints.clear();
    EXPECT_TRUE(breakpoints.addresses().empty());
    EXPECT_FALSE(breakpoints.addresses().contains(call));
}

// Two byte addresses of one word share its bit: removing one keeps the bit
// while the other is set.
TEST(BreakpointSet, CountsUsesOfEachAddress) {
    qd::BreakpointSet set;
    set.add(0x100);
    set.add(0x100);
    set.add(0x3FFE);
    set.remove(0x100);
    EXPECT_TRUE(set.contains(0x100));
    set.remove(0x100);
    EXPECT_FALSE(set.contains(0x100));
    EXPECT_TRUE(set.contains(0x3FFE));
    EXPECT_FALSE(set.contains(0x10000));  // past the map
    set.remove(0x2000);                   // not set: nothing happens
    EXPECT_EQ(set.size(), 1u);
}

TEST(ProgramInfo, RefusesWhatIsNoElfFile) {
    const std::string hex = std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo.hex";
    EXPECT_THROW(qd::ProgramInfo::load(hex), std::runtime_error);
    EXPECT_THROW(qd::ProgramInfo::load(std::string(QUILL_BINARY_DIR)), std::runtime_error);
    qd::Breakpoints none(nullptr);
    std::string error;
    EXPECT_EQ(none.add("main", &error), nullptr);
    EXPECT_NE(error.find("no symbols"), std::string::npos);
}

}  // namespace
