// Reading a part description file ("<install dir>/Partdescriptionfiles/
// <part>.xml") the one way both the host and the module do: the same limits
// before the XML parser sees the file, the same checks of its structure and
// the same reading of I/O register addresses.
//
//   AVRPART/MEMORY/IO_MEMORY/<REGISTER>/IO_ADDR   "$1B" or "0x1B"; "NA" when
//                                                 the register lies outside
//                                                 the I/O space
//   AVRPART/MEMORY/IO_MEMORY/<REGISTER>/MEM_ADDR  its data address; read for
//                                                 an "NA" register ("$C6")
//   AVRPART/MEMORY/INT_SRAM/START_ADDR, SIZE      "$100", "2048": where SRAM
//                                                 starts and how large it is
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contract/HostProtocol.h"

class TiXmlDocument;

namespace quill::partfile {

// A part description is a few kilobytes nested a few levels deep; anything
// far larger or deeper is refused before parsing (the XML parser recurses
// once per level and would run out of stack).
constexpr std::size_t kMaxBytes = 4u << 20;
constexpr int kMaxDepth = 64;

// What a scan of an XML text finds without parsing it (comments, CDATA,
// declarations and quoted attribute values skipped).
struct XmlShape {
    int depth = 0;           // deepest element nesting; limit + 1 when past it
    bool strayText = false;  // text outside every element (the parser ignores it)
};
XmlShape scanXml(std::string_view text, int limit);

// Parses a part description text into *doc. Returns why it is unusable
// ("is empty", "is not XML: ...", "nests elements deeper than 64 levels",
// "has a second root element <X>", "has no AVRPART root element"), empty
// when it is usable as a document.
std::string parse(std::string_view text, TiXmlDocument* doc);

// Reads the regular file at path (a FIFO or directory is refused without
// blocking) and parses it as above. Returns an error text naming the file,
// empty on success.
std::string load(const std::string& path, TiXmlDocument* doc);

// An IO_ADDR text: "$hh" or "0xhh" (one or more hexadecimal digits, any
// case) naming I/O address 0x00..0x3F. "NA" (any case) means outside the I/O
// space: no address and no error. Anything else (no prefix, no digits, a
// character after the digits, an address past 0x3F) gives no address and
// sets *error to the reason.
std::optional<int> parseIoAddress(std::string_view text, std::string* error);

// A MEM_ADDR text of an extended register: "$hh" or "0xhh" naming a data
// address from kExtendedIoStart up to (not including) `sramStart`.
// Otherwise no address and *error says why.
std::optional<int> parseExtendedAddress(std::string_view text, int sramStart, std::string* error);

struct IoRegister {
    std::string name;  // upper case
    // Register index: the I/O address (0x00..0x3F), or for an extended
    // register its data address - 0x20 (0x40 up to the SRAM start - 0x21).
    int address;
    std::string text;       // the IO_ADDR text as written, or MEM_ADDR when extended
    bool extended = false;  // "NA" with a MEM_ADDR: mapped beyond the I/O space
};

// The part's internal SRAM: the first data address and the size in bytes.
// A description without INT_SRAM has it at 0x60 with 1024 bytes.
struct Sram {
    int start = kDataWindowStart;
    int size = kDataWindowSize;
};

// The I/O registers of a parsed part description, in file order.
struct IoRegisters {
    std::vector<IoRegister> registers;  // usable entries; a duplicate name only once
    std::vector<std::string> outside;   // registers marked "NA" without MEM_ADDR
    Sram sram;                          // INT_SRAM, or the default
    // The number of register indices: every data address from 0x20 up to
    // the start of SRAM (64 when SRAM starts at 0x60).
    int bankSize = kIoRegisterCount;
    // Faults in single entries (a bad address, a duplicate name); the
    // entries are left out but the rest is usable.
    std::vector<std::string> problems;
    // Addresses that more than one register name shares, as real parts do
    // ("UBRRH and UCSRC share $20"): reported, both names kept.
    std::vector<std::string> shared;
};

// Reads AVRPART/MEMORY/INT_SRAM: the default when the element is absent;
// nothing, with *error saying why, when it is present but START_ADDR is no
// hexadecimal address from 0x60 up to the largest register bank's end, or
// SIZE is no decimal count that keeps SRAM inside the 64 KiB data space.
std::optional<Sram> readSram(const TiXmlDocument& doc, std::string* error);

// Reads AVRPART/MEMORY/IO_MEMORY (and INT_SRAM, which bounds the extended
// registers; a bad one is reported in `problems` and the default used).
// Returns nothing and sets *error when the section is missing or holds no
// register in the I/O space.
std::optional<IoRegisters> readIoRegisters(const TiXmlDocument& doc, std::string* error);

}  // namespace quill::partfile
