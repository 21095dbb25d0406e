// The STABS line-table reader on sections made entry by entry: the layout
// avr-gcc and ld write, and damaged sections, which give what can be read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/debugger/Stabs.h"

namespace st = quill::debugger::stabs;

namespace {

constexpr uint8_t kUndf = 0x00, kFun = 0x24, kSline = 0x44, kSo = 0x64, kSol = 0x84, kGsym = 0x20;

// A .stab section and its .stabstr, with the string table's own offsets.
struct Sections {
    std::string stab;
    std::string strings = std::string(1, '\0');  // offset 0: the empty name

    uint32_t string(const std::string& text) {
        const auto at = static_cast<uint32_t>(strings.size());
        strings += text;
        strings += '\0';
        return at;
    }
    void raw(uint32_t strx, uint8_t type, uint16_t desc, uint32_t value) {
        const uint8_t bytes[12] = {uint8_t(strx), uint8_t(strx >> 8), uint8_t(strx >> 16),
                                   uint8_t(strx >> 24), type, 0, uint8_t(desc),
                                   uint8_t(desc >> 8), uint8_t(value), uint8_t(value >> 8),
                                   uint8_t(value >> 16), uint8_t(value >> 24)};
        stab.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    void add(uint8_t type, const std::string& name, uint16_t desc, uint32_t value) {
        raw(name.empty() ? 0 : string(name), type, desc, value);
    }
    st::Table read() const { return st::read(stab, strings); }
};

// What avr-gcc -g and ld write for a unit with an inline function from a
// header: the folder and file, each function with its header line, lines
// relative to the function, N_SOL around the header's code.
TEST(Stabs, LinesOfFunctionsAndIncludedFiles) {
    Sections s;
    s.add(kUndf, "", 40, 0);  // the header: one string table
    s.add(kSo, "/home/me/src/", 2, 0x7c);
    s.add(kSo, "main.c", 2, 0x7c);
    s.add(kFun, "main:F(0,1)", 5, 0xa4);
    s.add(kSline, "", 5, 0);  // the header line and the first statement share 0xa4
    s.add(kSline, "", 6, 0);
    s.add(kSol, "inc/h.h", 0, 0xa8);
    s.add(kSline, "", 2, 4);
    s.add(kSol, "main.c", 0, 0xaa);
    s.add(kSline, "", 8, 6);
    s.add(kFun, "", 0, 0x1c);  // main's size
    s.add(kGsym, "ticks:G(0,50)", 3, 0);
    s.add(kFun, "helper:f(0,1)", 12, 0xc0);
    s.add(kSline, "", 13, 0);
    s.add(kSo, "", 0, 0xd0);
    s.add(kSline, "", 99, 0x200);  // after the unit's end: no file, no line
    const st::Table t = s.read();

    ASSERT_EQ(t.files, (std::vector<std::string>{"/home/me/src/main.c", "/home/me/src/inc/h.h"}));
    EXPECT_EQ(t.dirs, std::vector<std::string>{"/home/me/src"});
    EXPECT_EQ(t.lines, (std::vector<st::Line>{{0xa4, 0, 6, false},
                                              {0xa8, 1, 2, false},
                                              {0xaa, 0, 8, false},
                                              {0xc0, 0, 0, true},
                                              {0xc0, 0, 13, false}}));
    EXPECT_EQ(t.functions, (std::vector<std::pair<uint32_t, int>>{{0xa4, 5}, {0xc0, 12}}));
}

// Units whose string tables were not merged: each N_UNDF header starts the
// next unit's strings after the previous unit's. Lines outside a function
// (an assembler source) carry their address.
TEST(Stabs, StringTablesPerUnitAndAssemblerLines) {
    Sections s;
    // Unit 1's strings, then unit 2's, each starting with the empty name.
    const std::string first = std::string("\0a.S\0", 5), second = std::string("\0/abs/b.c\0", 10);
    s.strings = first + second;
    s.raw(0, kUndf, 2, static_cast<uint32_t>(first.size()));
    s.raw(1, kSo, 0, 0);
    s.raw(0, kSline, 3, 0x40);
    s.raw(0, kUndf, 2, static_cast<uint32_t>(second.size()));
    s.raw(1, kSo, 0, 0);  // "/abs/b.c" in the second table
    s.raw(0, kSline, 9, 0x50);
    const st::Table t = s.read();
    EXPECT_EQ(t.files, (std::vector<std::string>{"a.S", "/abs/b.c"}));
    EXPECT_EQ(t.lines, (std::vector<st::Line>{{0x40, 0, 3, false}, {0x50, 1, 9, false}}));
}

// A damaged section never reads outside its bytes: offsets past the
// string table, a string without its end, a header whose size overflows,
// a cut entry, lines before any file. What is sound is still read.
TEST(Stabs, DamagedSectionsGiveWhatCanBeRead) {
    Sections s;
    s.add(kSline, "", 1, 0x10);  // no file yet
    s.add(kSo, "/src/", 0, 0);
    s.add(kSo, "ok.c", 0, 0);
    s.raw(0xFFFFFFF0, kSol, 0, 0);    // past the strings: the file stays
    s.raw(0xFFFFFFF0, kFun, 7, 0x80);  // no name: no function
    s.add(kFun, "f:F(0,1)", 4, 0x20);
    s.add(kSline, "", 5, 2);
    s.add(kFun, "data:V(0,1)", 0, 0x30);  // no code: the function stays open
    s.add(kSline, "", 6, 4);
    s.add(kFun, "f:", 0, 0x99);  // a description cut short
    s.add(kSline, "", 0xFFFF, 0xFFFFFFFF);  // wraps past the address space: kept as read
    s.stab += std::string("\x01\x02\x03", 3);  // a cut entry at the end
    st::Table t = s.read();
    EXPECT_EQ(t.files, std::vector<std::string>{"/src/ok.c"});
    EXPECT_EQ(t.functions, (std::vector<std::pair<uint32_t, int>>{{0x20, 4}}));
    ASSERT_EQ(t.lines.size(), 3u);
    EXPECT_EQ(t.lines[0], (st::Line{0x22, 0, 5, false}));
    EXPECT_EQ(t.lines[1], (st::Line{0x24, 0, 6, false}));
    EXPECT_EQ(t.lines[2].address, 0x1Fu);

    // A string that runs to the end of the table without its NUL, and a
    // header that moves the next unit's strings past every offset.
    Sections cut;
    cut.strings = std::string("\0name-without-end", 17);
    cut.raw(1, kSo, 0, 0);
    cut.raw(0, kUndf, 0, 0xFFFFFFFF);
    cut.raw(0, kUndf, 0, 0xFFFFFFFF);
    cut.raw(1, kSo, 0, 0);
    const st::Table none = cut.read();
    EXPECT_TRUE(none.files.empty());
    EXPECT_TRUE(none.lines.empty());

    // A name longer than 4096 bytes is none; the folder "/" joins without
    // a double slash.
    Sections longName;
    longName.add(kSo, "/", 0, 0);
    longName.add(kSo, std::string(5000, 'x') + ".c", 0, 0);
    longName.add(kSol, "short.c", 0, 0);
    EXPECT_EQ(longName.read().files, std::vector<std::string>{"/short.c"});
    EXPECT_TRUE(st::read({}, {}).files.empty());
}

}  // namespace
