// Firmware file checks: every fault a hostile or broken file carries is
// refused with the file (and for Intel HEX the line) named, and sound files
// give exactly the bytes to load.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/sim/FirmwareFile.h"
#include "tests/support/TestFiles.h"

using namespace quill::sim;
using namespace testfiles;

namespace {

const std::string kEnd = ":00000001FF";
const std::string kCode = HexRecord(0, 0, {0xff, 0xcf});  // rjmp .-2

// What `read` throws, or "(accepted)".
template <typename Read>
std::string refusal(Read read) {
    try {
        read();
    } catch (const FirmwareError& e) {
        return e.what();
    }
    return "(accepted)";
}
std::string hexError(const std::string& text) {
    return refusal([&] { parseIntelHex(text, "t.hex"); });
}
std::string elfError(const std::string& bytes) {
    return refusal([&] { parseElf(bytes, "t.elf"); });
}

std::string firmware(const std::string& name) {
    return std::string(QUILL_BINARY_DIR) + "/firmware/" + name;
}

}  // namespace

TEST(FirmwareFile, IntelHexFaultsAreRefusedWithTheirLine) {
    struct Case {
        std::string text, expected;
    };
    // Also refused end to end, with their lines, by corpus.firmware.hex-*:
    // a record after the end-of-file record, a data record without data,
    // overlapping records, data outside the memories, no end-of-file record.
    const std::vector<Case> cases = {
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

// Crafted ELF headers that crashed the simulator library's reader (section
// name table index 0 or past the table, symbol table entry size 0 or link
// past the table) load and run: corpus.firmware.elf-*. So do a truncated
// file, a segment outside the file and another machine refused there.
TEST(FirmwareFile, ThingsThatAreNoElfFileAreRefused) {
    EXPECT_NE(elfError("\x7f"
                       "ELF")
                  .find("truncated"),
              std::string::npos);
    EXPECT_NE(elfError("MZ not an elf").find("is not an ELF file"), std::string::npos);
}

// A FIFO or a directory given as firmware is corpus.firmware.fifo and
// corpus.firmware.directory.
TEST(FirmwareFile, AnEmptyFileIsRefused) {
    const auto empty = std::filesystem::temp_directory_path() / "quill_firmwarefile_empty.hex";
    std::ofstream(empty).close();
    EXPECT_NE(refusal([&] { readFirmwareFile(empty.string()); }).find("is empty"),
              std::string::npos);
    std::filesystem::remove(empty);
}
