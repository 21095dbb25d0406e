// Files for tests: whole-file reads and writes, and Intel HEX text built
// from bytes or instruction words, with correct checksums.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testfiles {

// The whole file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file with `bytes`.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// One Intel HEX record (no line end).
inline std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                  type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string text = ":";
    char buf[4];
    for (uint8_t b : bytes) {
        sum += b;
        std::snprintf(buf, sizeof buf, "%02X", b);
        text += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xff)) & 0xff);
    return text + buf;
}

// A whole Intel HEX file holding a program given as 16-bit instruction
// words from a byte address, eight words per record, with the end record.
inline std::string HexProgram(const std::vector<uint16_t>& words, uint16_t address = 0) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); i += 8) {
        std::vector<uint8_t> data;
        for (std::size_t k = i; k < words.size() && k < i + 8; ++k) {
            data.push_back(static_cast<uint8_t>(words[k]));
            data.push_back(static_cast<uint8_t>(words[k] >> 8));
        }
        text += HexRecord(0, static_cast<uint16_t>(address + i * 2), data) + "\n";
    }
    return text + ":00000001FF\n";
}

#ifdef QUILL_BINARY_DIR
// A demo program of the build's firmware folder.
inline std::string BuiltFirmware(const std::string& name) {
    return std::string(QUILL_BINARY_DIR) + "/firmware/" + name;
}
// Skips the test when the build made no firmware (no avr-gcc).
#define REQUIRE_FIRMWARE(name)                                          \
    if (!std::filesystem::exists(testfiles::BuiltFirmware(name)))       \
    GTEST_SKIP() << "firmware not built: " << testfiles::BuiltFirmware(name)
#endif

#ifdef QUILL_SOURCE_DIR
// The text of a part description shipped in host/Partdescriptionfiles
// ("ATmega16"); empty when there is none.
inline std::string ShippedPartText(const std::string& part) {
    return ReadFile(std::string(QUILL_SOURCE_DIR) + "/host/Partdescriptionfiles/" + part + ".xml");
}
#endif

// A file in a scratch folder of the temporary directory, created on use.
inline std::filesystem::path ScratchFile(const std::string& folder, const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / folder;
    std::filesystem::create_directories(dir);
    return dir / name;
}

}  // namespace testfiles
