// Reading a part description file ("<install dir>/Partdescriptionfiles/
// <part>.xml") the one way both the host and the module do: the same limits
// before the XML parser sees the file, the same checks of its structure and
// the same reading of I/O register addresses.
//
//   AVRPART/MEMORY/IO_MEMORY/<REGISTER>/IO_ADDR   "$1B" or "0x1B"; "NA" when
//                                                 the register lies outside
//                                                 the I/O space
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

struct IoRegister {
    std::string name;  // upper case
    int address;       // 0x00..0x3F
    std::string text;  // the IO_ADDR text as written
};

// The I/O registers of a parsed part description, in file order.
struct IoRegisters {
    std::vector<IoRegister> registers;  // usable entries; a duplicate name only once
    std::vector<std::string> outside;   // registers marked "NA"
    // Faults in single entries (a bad address, a duplicate name); the
    // entries are left out but the rest is usable.
    std::vector<std::string> problems;
    // Addresses that more than one register name shares, as real parts do
    // ("UBRRH and UCSRC share $20"): reported, both names kept.
    std::vector<std::string> shared;
};

// Reads AVRPART/MEMORY/IO_MEMORY. Returns nothing and sets *error when the
// section is missing or holds no register in the I/O space.
std::optional<IoRegisters> readIoRegisters(const TiXmlDocument& doc, std::string* error);

}  // namespace quill::partfile
