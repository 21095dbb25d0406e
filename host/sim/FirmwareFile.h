// Firmware files as they come from a user: an Intel HEX text or an AVR ELF
// file, checked completely and turned into the bytes to place in flash and
// EEPROM. Nothing here trusts the file: every record, header, table and
// offset is checked before it is used, and a fault is reported with the
// file's name (and, for Intel HEX, the line). No simulator is involved, so
// the checks run (and are fuzzed) on their own.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quill::sim {

class FirmwareError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A run of bytes at one address.
struct MemoryChunk {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    uint64_t end() const { return uint64_t{address} + bytes.size(); }
};

// What a firmware file puts where. Chunks are sorted by address, never
// overlap (a file whose pieces overlap is refused) and are never empty.
struct FirmwareImage {
    std::vector<MemoryChunk> flash;
    std::vector<MemoryChunk> eeprom;  // addresses from the start of EEPROM
    // The part the file was built for as its toolchain named it
    // ("atmega32"), empty when the file does not say.
    std::string device;
    // The AVR architecture from an ELF header (avr5 = 5); 0 when unknown.
    int elfArch = 0;
    // Where avr-libc's exit() leaves the program (its symbol
    // __stop_program: a jump to itself after a cli), a byte address in
    // flash, when an ELF file's symbol table has it.
    std::optional<uint32_t> stopProgram;

    uint64_t flashEnd() const { return flash.empty() ? 0 : flash.back().end(); }
    uint64_t eepromEnd() const { return eeprom.empty() ? 0 : eeprom.back().end(); }
    uint64_t flashBytes() const;
};

// Where the AVR toolchain places the memories in one address space.
constexpr uint32_t kEepromBase = 0x810000;
constexpr uint32_t kFuseBase = 0x820000;     // fuses, lock bits, signature
constexpr uint32_t kMetadataEnd = 0x850000;  // end of the signature area
constexpr std::size_t kMaxFirmwareFileBytes = 16u << 20;

// Checks and reads an Intel HEX text. `name` names the file in messages.
// Refuses a bad record (start, digits, length, checksum, type), a data
// record without data, a record after the end-of-file record, overlapping
// records, data outside flash and EEPROM, a missing end-of-file record and
// a file without program code. Lines may end in LF, CR LF or CR; blank lines
// are allowed.
FirmwareImage parseIntelHex(std::string_view text, const std::string& name);

// Checks and reads an AVR ELF file: header, program segments inside the
// file, segments placed in flash or EEPROM and not overlapping, and the part
// named in the toolchain's device note or a ".mmcu" section. Only the
// loadable segments are used, and of the symbols __stop_program; debug
// data is not read.
FirmwareImage parseElf(std::string_view bytes, const std::string& name);

// Reads the firmware file at path: only a regular file (a FIFO or a
// directory is refused at once), at most kMaxFirmwareFileBytes. A ".hex" or
// ".ihex" name, or contents starting with ':', mean Intel HEX, anything else
// ELF.
FirmwareImage readFirmwareFile(const std::string& path);

// A readable name for an ELF AVR architecture number ("avr5").
std::string avrArchName(int arch);

}  // namespace quill::sim
