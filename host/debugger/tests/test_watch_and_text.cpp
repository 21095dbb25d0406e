// The watch list's formats, edits and change marks on a machine of plain
// memory, and the source view's texts: disassembly lines and where a
// source file is found.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "contract/HostProtocol.h"
#include "host/session/Debugger.h"
#include "host/debugger/SourceText.h"
#include "host/debugger/WatchList.h"

namespace qd = quill::debugger;

namespace {

class MemoryMachine : public Machine {
public:
    std::array<uint8_t, 0x460> data{};  // R0-R31, I/O from 0x20, RAM
    bool step() override { return true; }
    void reset() override {}
    uint64_t cycles() const override { return 0; }
    double frequencyHz() const override { return 1e6; }
    uint32_t programCounter() const override { return 0; }
    std::string fault() const override { return {}; }
    ITargetAccess* targetAccess() override { return nullptr; }
    bool readMemory(LONG kind, uint32_t address, uint8_t* out, uint32_t count) override {
        const uint32_t base = kind == kMemoryIo ? 0x20 : 0;
        if (kind == kMemoryIo && address + count > kIoRegisterCount) return false;
        if (base + address + count > data.size()) return false;
        std::memcpy(out, data.data() + base + address, count);
        return true;
    }
    bool writeMemory(LONG kind, uint32_t address, const uint8_t* in, uint32_t count) override {
        const uint32_t base = kind == kMemoryIo ? 0x20 : 0;
        if (kind == kMemoryIo && address + count > kIoRegisterCount) return false;
        if (base + address + count > data.size()) return false;
        std::memcpy(data.data() + base + address, in, count);
        return true;
    }
};

TEST(WatchList, FormatsEditsAndChangesSinceTheLastHalt) {
    MemoryMachine m;
    qd::WatchList list([](const std::string& n) { return n == "PORTA" ? 0x1B : -1; }, nullptr);
    std::string error;
    for (const char* name : {"porta", "r24", "SP", "SREG"}) EXPECT_TRUE(list.add(name, &error)) << name;
    for (const char* name : {"R32", "R024", "counter", ""}) EXPECT_FALSE(list.add(name, &error)) << name;
    ASSERT_EQ(list.entries().size(), 4u);
    EXPECT_EQ(list.entries()[0].name, "PORTA");
    m.data[0x3B] = 0x41;                         // PORTA
    m.data[24] = 0xFF;                           // R24
    m.data[0x5D] = 0x5F, m.data[0x5E] = 0x04;    // SP
    m.data[0x5F] = 0x83;                         // SREG: I, Z, C
    list.update(&m);
    list.halted();
    EXPECT_EQ(list.text(0), "0x41");
    EXPECT_EQ(list.text(2), "0x045F");
    EXPECT_EQ(list.text(3), "0b10000011  I-----ZC");
    list.setFormat(0, qd::WatchFormat::Char);
    EXPECT_EQ(list.text(0), "'A'");
    list.setFormat(1, qd::WatchFormat::Decimal);
    EXPECT_EQ(list.text(1), "255");
    EXPECT_EQ(qd::WatchList::format(0x0A, 1, qd::WatchFormat::Char), "\\x0A");

    // Edits in any format; a value that does not fit is refused.
    EXPECT_TRUE(list.write(&m, 1, "-1", &error));
    EXPECT_TRUE(list.write(&m, 0, "'B'", &error));
    EXPECT_TRUE(list.write(&m, 2, "0b10000000000", &error));
    EXPECT_EQ(m.data[0x5E], 0x04);
    EXPECT_EQ(m.data[0x5D], 0x00);
    EXPECT_FALSE(list.write(&m, 1, "256", &error));
    EXPECT_FALSE(list.write(&m, 1, "0xZZ", &error));

    // Changed: against the halt before while halted, against this halt
    // once the program runs again.
    EXPECT_EQ(list.update(&m), (std::vector<std::size_t>{0, 2}));
    list.halted();
    EXPECT_TRUE(list.entries()[0].changed());
    EXPECT_FALSE(list.entries()[1].changed());  // R24 was already 0xFF
    list.resumed();
    EXPECT_FALSE(list.entries()[0].changed());
    m.data[24] = 1;
    list.update(&m);
    EXPECT_TRUE(list.entries()[1].changed());
    list.update(nullptr);  // no target: no values
    EXPECT_EQ(list.text(0), "-");
}

// A register in extended I/O (an ATmega2560's PORTL, index 0xEB, data
// address 0x10B) is read and written at its data address.
TEST(WatchList, ExtendedRegistersByDataAddress) {
    MemoryMachine m;
    qd::WatchList list([](const std::string& n) { return n == "PORTL" ? 0xEB : -1; }, nullptr);
    std::string error;
    ASSERT_TRUE(list.add("PORTL", &error)) << error;
    m.data[0x10B] = 0x80;
    list.update(&m);
    EXPECT_EQ(list.text(0), "0x80");
    EXPECT_TRUE(list.write(&m, 0, "0x01", &error)) << error;
    EXPECT_EQ(m.data[0x10B], 0x01);
}

// A pin is watched by its port pin or, with a board, by the board's name,
// and shown with both; a new session's board names it anew.
TEST(WatchList, PinsWithTheBoardsNames) {
    MemoryMachine m;
    auto io = [](const std::string& n) { return n == "PINB" ? 0x03 : n == "PINC" ? 0x06 : -1; };
    qd::WatchList list(io, nullptr);
    list.setPinNamer([](char port, int bit) {
        return port == 'B' && bit == 5 ? std::string("D13") : std::string();
    });
    std::string error;
    ASSERT_TRUE(list.add("d13", &error)) << error;
    ASSERT_TRUE(list.add("PC2", &error)) << error;
    EXPECT_FALSE(list.add("D12", &error));  // no such name on this board
    EXPECT_FALSE(list.add("PD2", &error));  // no port D
    EXPECT_EQ(list.entries()[0].name, "PB5 (D13)");
    EXPECT_EQ(list.entries()[1].name, "PC2");
    m.data[0x23] = 0x20;
    list.update(&m);
    EXPECT_EQ(list.text(0), "1");
    EXPECT_EQ(list.text(1), "0");
    EXPECT_FALSE(list.write(&m, 0, "0", &error));
    EXPECT_EQ(error, "a pin is watched, not written: write its PORT or PIN register");
    list.setPinNamer({});
    list.rebind(io, nullptr);
    EXPECT_EQ(list.entries()[0].name, "PB5");
}

TEST(SourceText, DisassemblyLinesAndSourceFiles) {
    const std::string objdump =
        "\nfirmware.elf:     file format elf32-avr\n\nDisassembly of section .text:\n\n"
        "00000092 <tick>:\n  92:\t80 91 63 00 \tlds\tr24, 0x0063\t; 0x800063 <counter>\n"
        "  96:\t8f 5f       \tsubi\tr24, 0xFF\t; 255\n";
    const std::vector<qd::DisassemblyLine> lines = qd::parseDisassembly(objdump);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].address, 0xFFFFFFFFu);
    EXPECT_EQ(lines[0].text, "00000092 <tick>:");
    EXPECT_EQ(lines[1].address, 0x92u);
    EXPECT_EQ(lines[2].address, 0x96u);
    EXPECT_EQ(lines[2].text.rfind("96:", 0), 0u);

    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quill-source-" + std::to_string(getpid()));
    fs::create_directories(dir / "elsewhere");
    std::ofstream(dir / "demo.c") << "int main(void) {\r\n    return 0;\r\n}\n";
    std::ofstream(dir / "elsewhere" / "lib.c") << "x\n";
    const qd::ProgramInfo none;
    const std::string elf = (dir / "demo.elf").string();
    // Not where the table says: next to the ELF, else as the user said.
    EXPECT_EQ(qd::findSourceFile("/gone/demo.c", none, elf, {}), (dir / "demo.c").string());
    EXPECT_EQ(qd::findSourceFile("/gone/lib.c", none, elf, {}), "");
    EXPECT_EQ(qd::findSourceFile("/gone/lib.c", none, elf,
                                 {{"/gone/lib.c", (dir / "elsewhere" / "lib.c").string()}}),
              (dir / "elsewhere" / "lib.c").string());
    std::string error;
    EXPECT_EQ(qd::readLines((dir / "demo.c").string(), &error),
              (std::vector<std::string>{"int main(void) {", "    return 0;", "}"}));
    EXPECT_TRUE(qd::readLines(dir.string(), &error).empty());  // a directory
    EXPECT_FALSE(error.empty());
    fs::remove_all(dir);
}

}  // namespace
