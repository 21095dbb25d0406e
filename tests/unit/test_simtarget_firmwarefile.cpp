// Firmware file checks: every fault a hostile or broken file carries is
// refused with the file (and for Intel HEX the line) named, and sound files
// give exactly the bytes to load.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "host/sim/FirmwareFile.h"
#include "tests/support/TestFiles.h"

using namespace quill::sim;
using namespace testfiles;

namespace {

const std::string kEnd = ":00000001FF";
const std::string kCode = HexRecord(0, 0, {0xff, 0xcf});  // rjmp .-2

std::string hexError(const std::string& text) {
    try {
        parseIntelHex(text, "t.hex");
    } catch (const FirmwareError& e) {
        return e.what();
    }
    return "(accepted)";
}

std::string elfError(const std::string& bytes) {
    try {
        parseElf(bytes, "t.elf");
    } catch (const FirmwareError& e) {
        return e.what();
    }
    return "(accepted)";
}

std::string firmware(const std::string& name) {
    return std::string(QUILL_BINARY_DIR) + "/firmware/" + name;
}

void put32(std::string& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void put16(std::string& b, std::size_t at, uint16_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}
uint32_t get32(const std::string& b, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}
uint16_t get16(const std::string& b, std::size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

}  // namespace

TEST(FirmwareFile, IntelHexFaultsAreRefusedWithTheirLine) {
    struct Case {
        std::string text, expected;
    };
    const std::vector<Case> cases = {
        // An EEPROM record after the end: not skipped, refused.
        {kCode + "\n" + kEnd + "\n" + HexRecord(4, 0, {0x00, 0x82}) + "\n" + HexRecord(0, 0, {1}) +
             "\n",
         "line 3: a record after the end-of-file record of line 2"},
        {HexRecord(0, 0, {}) + "\n" + kCode + "\n" + kEnd + "\n",
         "line 1: a data record without data"},
        {kCode + "\n" + HexRecord(0, 1, {0x00}) + "\n" + kEnd + "\n", "line 2 overlaps line 1"},
        {HexRecord(4, 0, {0x00, 0x80}) + "\n" + HexRecord(0, 0x100, {1}) + "\n" + kCode + "\n" +
             kEnd,
         "outside flash and EEPROM"},
        {kCode + "\n", "no end-of-file record"},
        {HexRecord(0, 0, {1, 2}).substr(0, 9) + "\n" + kEnd, "line 1: record too short"},
        {HexRecord(15, 0, {0xff, 0xcf}) + "\n" + kEnd, "line 1: unknown record type 15"},
        {":020000001FFC31\n" + kEnd, "line 1: checksum mismatch"},
        {kEnd + "\n", "contains no program code"},
        {"x" + kCode + "\n" + kEnd, "line 1: a record must start with ':'"},
    };
    for (const Case& c : cases) {
        const std::string message = hexError(c.text);
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.text << "\n -> " << message;
        EXPECT_NE(message.find("t.hex"), std::string::npos) << message;
    }
}

TEST(FirmwareFile, IntelHexLineEndingsBlankLinesAndMemories) {
    // CR-only, CR LF and LF lines with blank lines between; EEPROM data at
    // 0x810000 goes to EEPROM offset 0; touching records join.
    const std::string text = kCode + "\r\r\n" + HexRecord(0, 2, {0x11, 0x22}) + "\n\n" +
                             HexRecord(4, 0, {0x00, 0x81}) + "\r" + HexRecord(0, 4, {0xAB}) +
                             "\r\n" + kEnd + "\n\n";
    const FirmwareImage image = parseIntelHex(text, "t.hex");
    ASSERT_EQ(image.flash.size(), 1u);
    EXPECT_EQ(image.flash[0].address, 0u);
    EXPECT_EQ(image.flash[0].bytes, (std::vector<uint8_t>{0xff, 0xcf, 0x11, 0x22}));
    ASSERT_EQ(image.eeprom.size(), 1u);
    EXPECT_EQ(image.eeprom[0].address, 4u);
    EXPECT_EQ(image.eepromEnd(), 5u);
    EXPECT_TRUE(image.device.empty());
    // The line count follows the line endings: the bad record is line 4.
    EXPECT_NE(hexError(kCode + "\r\r\n\njunk\r" + kEnd).find("line 4: a record must start"),
              std::string::npos);
}

TEST(FirmwareFile, BuiltElfGivesItsSegmentsArchitectureAndPart) {
    const std::string bytes = ReadFile(firmware("running_light.elf"));
    if (bytes.empty()) GTEST_SKIP() << "firmware not built";
    const FirmwareImage image = parseElf(bytes, "running_light.elf");
    EXPECT_EQ(image.device, "atmega16");
    EXPECT_EQ(image.elfArch, 5);
    ASSERT_FALSE(image.flash.empty());
    EXPECT_EQ(image.flash[0].address, 0u);
    // The same program as the HEX file avr-objcopy made of it.
    const FirmwareImage hex = parseIntelHex(ReadFile(firmware("running_light.hex")), "x");
    ASSERT_EQ(hex.flash.size(), 1u);
    ASSERT_EQ(image.flash.size(), 1u);
    EXPECT_EQ(image.flash[0].bytes, hex.flash[0].bytes);
}

// Crafted ELF files that crashed the simulator library's reader: a section
// name table index of 0 or past the table, a symbol table with entry size 0
// or a link past the section table. Only segments are read, through libelf,
// so these load or are refused but never crash; broken segments are refused.
TEST(FirmwareFile, CraftedElfHeadersAreSurvivedOrRefused) {
    const std::string good = ReadFile(firmware("running_light.elf"));
    if (good.empty()) GTEST_SKIP() << "firmware not built";
    const uint32_t shoff = get32(good, 32);
    const uint16_t shentsize = get16(good, 46), shnum = get16(good, 48);
    auto section = [&](int index) { return shoff + static_cast<std::size_t>(index) * shentsize; };
    int symtab = -1;
    for (int i = 0; i < shnum; ++i)
        if (get32(good, section(i) + 4) == 2 /* SHT_SYMTAB */) symtab = i;
    ASSERT_GE(symtab, 0);

    std::vector<std::pair<std::string, std::function<void(std::string&)>>> survivable = {
        {"names index 0", [](std::string& b) { put16(b, 50, 0); }},
        {"names index past the table", [](std::string& b) { put16(b, 50, 0x7fff); }},
        {"symbol entry size 0", [&](std::string& b) { put32(b, section(symtab) + 36, 0); }},
        {"symbol link past the table",
         [&](std::string& b) { put32(b, section(symtab) + 24, 999); }},
        {"every section name out of range",
         [&](std::string& b) {
             for (int i = 0; i < shnum; ++i) put32(b, section(i), 0x7fffffff);
         }},
    };
    for (auto& [what, damage] : survivable) {
        std::string bytes = good;
        damage(bytes);
        const std::string message = elfError(bytes);
        EXPECT_TRUE(message == "(accepted)" || message.find("t.elf") != std::string::npos)
            << what << ": " << message;
    }

    std::string truncated = good.substr(0, 0x80);
    EXPECT_NE(elfError(truncated).find("truncated or corrupt"), std::string::npos)
        << elfError(truncated);
    std::string segmentOutside = good;
    put32(segmentOutside, get32(good, 28) + 4, 0x7ffffff0);  // first segment's file offset
    EXPECT_NE(elfError(segmentOutside).find("outside the file"), std::string::npos);
    std::string otherMachine = good;
    put16(otherMachine, 18, 62);
    EXPECT_NE(elfError(otherMachine).find("another processor (ELF machine 62)"), std::string::npos);
    EXPECT_NE(elfError("\x7f"
                       "ELF")
                  .find("truncated"),
              std::string::npos);
    EXPECT_NE(elfError("MZ not an elf").find("is not an ELF file"), std::string::npos);
}

// Not a regular file: refused at once, a FIFO without waiting for a writer.
TEST(FirmwareFile, OnlyRegularFilesAreRead) {
    auto dir = std::filesystem::temp_directory_path() / "quill_firmwarefile_tests";
    std::filesystem::create_directories(dir);
    const auto fifo = dir / "fifo.elf";
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto errorOf = [](const std::string& path) {
        try {
            readFirmwareFile(path);
        } catch (const FirmwareError& e) {
            return std::string(e.what());
        }
        return std::string("(accepted)");
    };
    EXPECT_NE(errorOf(fifo.string()).find("is not a regular file (a FIFO)"), std::string::npos);
    EXPECT_NE(errorOf(dir.string()).find("is a directory"), std::string::npos);
    const auto empty = dir / "empty.hex";
    std::ofstream(empty).close();
    EXPECT_NE(errorOf(empty.string()).find("is empty"), std::string::npos);
    std::filesystem::remove_all(dir);
}
