#include "core/PartDescriptionFile.h"

#include <tinyxml.h>

#include <cctype>
#include <cstdio>
#include <set>

#include "contract/HostProtocol.h"
#include "platform/files.h"
#include "platform/text.h"

namespace quill::partfile {

namespace {

using text::HexDigit;

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

XmlShape scanXml(std::string_view text, int limit) {
    XmlShape shape;
    int depth = 0;
    std::size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // a UTF-8 byte order mark
    auto skipPast = [&](std::string_view end) {
        const std::size_t at = text.find(end, i);
        i = at == std::string_view::npos ? text.size() : at + end.size();
    };
    while (i < text.size()) {
        if (text[i] != '<') {
            if (depth == 0 && !std::isspace(static_cast<unsigned char>(text[i])))
                shape.strayText = true;
            ++i;
            continue;
        }
        const std::string_view rest = text.substr(i);
        if (rest.substr(0, 4) == "<!--") {
            i += 4;
            skipPast("-->");
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            i += 9;
            skipPast("]]>");
        } else if (rest.substr(0, 2) == "<?" || rest.substr(0, 2) == "<!") {
            i += 2;
            skipPast(">");
        } else if (rest.substr(0, 2) == "</") {
            if (depth > 0) --depth;
            i += 2;
            skipPast(">");
        } else {
            // A start tag: find its end outside quoted attribute values.
            ++i;
            char quote = 0;
            bool selfClosing = false;
            for (; i < text.size(); ++i) {
                const char c = text[i];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    selfClosing = text[i - 1] == '/';
                    ++i;
                    break;
                } else if (c == '<') {
                    break;  // malformed; the parser will say so
                }
            }
            if (!selfClosing && ++depth > shape.depth) {
                shape.depth = depth;
                if (depth > limit) return shape;
            }
        }
    }
    return shape;
}

std::string parse(std::string_view text, TiXmlDocument* doc) {
    if (isBlank(text)) return "is empty";
    if (text.find('\0') != std::string_view::npos) return "is not XML (it holds a NUL byte)";
    const XmlShape shape = scanXml(text, kMaxDepth);
    if (shape.depth > kMaxDepth)
        return "nests elements deeper than " + std::to_string(kMaxDepth) +
               " levels, far more than a part description has";
    if (shape.strayText) return "has text outside its root element";
    // NUL bytes beyond the end: the XML reader, given a UTF-8 sequence cut
    // short by the end of the text, steps over the terminating NUL by the
    // length the first byte claims (at most three) and reads on; it then
    // meets another NUL inside this buffer instead of whatever follows it.
    std::string copy(text);
    copy.append(4, '\0');
    doc->Parse(copy.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (doc->Error()) {
        return "is not well-formed XML (line " + std::to_string(doc->ErrorRow()) + ", column " +
               std::to_string(doc->ErrorCol()) + ": " +
               (doc->ErrorDesc() ? doc->ErrorDesc() : "error") + ")";
    }
    const TiXmlElement* root = nullptr;
    for (const TiXmlNode* node = doc->FirstChild(); node; node = node->NextSibling()) {
        if (const TiXmlElement* e = node->ToElement()) {
            if (root)
                return "has a second root element <" + e->ValueStr() + "> after <" +
                       root->ValueStr() + ">";
            root = e;
        } else if (node->ToText()) {
            return "has text outside its root element";
        }
    }
    if (!root) return "has no root element (truncated?)";
    if (root->ValueStr() != "AVRPART")
        return "has the root element <" + root->ValueStr() + ">, not <AVRPART>";
    return {};
}

std::string load(const std::string& path, TiXmlDocument* doc) {
    std::string text, error;
    if (!quill::files::readRegularFile(path, kMaxBytes, "part description", &text, &error))
        return error;
    const std::string why = parse(text, doc);
    return why.empty() ? why : "part description \"" + path + "\" " + why;
}

namespace {

// "$hh" or "0xhh": the value of the hexadecimal digits (leading zeros do
// not count; more than five significant digits read as 0xFFFFF), or nothing
// with *error saying why the text is no such address.
std::optional<int> parseHex(std::string_view text, const char* kinds, std::string* error) {
    std::string_view digits;
    if (!text.empty() && text[0] == '$') {
        digits = text.substr(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        digits = text.substr(2);
    } else {
        *error = "\"" + std::string(text) + "\" is not an address (" + kinds + ")";
        return std::nullopt;
    }
    if (digits.empty() || HexDigit(digits[0]) < 0) {
        *error = "\"" + std::string(text) + "\" has no hexadecimal digits";
        return std::nullopt;
    }
    std::size_t count = 0;
    while (count < digits.size() && HexDigit(digits[count]) >= 0) ++count;
    if (count < digits.size()) {
        *error = "\"" + std::string(text) + "\" has text after the address";
        return std::nullopt;
    }
    std::size_t first = 0;  // leading zeros do not make an address larger
    while (first + 1 < count && digits[first] == '0') ++first;
    if (count - first > 5) return 0xFFFFF;
    int value = 0;
    for (std::size_t i = first; i < count; ++i) value = value * 16 + HexDigit(digits[i]);
    return value;
}

std::string hexText(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "$%02X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::optional<int> parseIoAddress(std::string_view text, std::string* error) {
    error->clear();
    if (text.size() == 2 && (text[0] == 'N' || text[0] == 'n') &&
        (text[1] == 'A' || text[1] == 'a'))
        return std::nullopt;
    const std::optional<int> value = parseHex(text, "\"$hh\", \"0xhh\" or \"NA\"", error);
    if (!value) return std::nullopt;
    if (*value > 0x3F) {
        *error = "\"" + std::string(text) + "\" lies outside the I/O space (0x00-0x3F)";
        return std::nullopt;
    }
    return value;
}

std::optional<int> parseExtendedAddress(std::string_view text, int sramStart, std::string* error) {
    error->clear();
    const std::optional<int> value = parseHex(text, "\"$hh\" or \"0xhh\"", error);
    if (!value) return std::nullopt;
    if (*value < kExtendedIoStart) {
        *error = "\"" + std::string(text) + "\" lies in the I/O space; extended I/O starts at " +
                 hexText(kExtendedIoStart);
        return std::nullopt;
    }
    if (*value >= sramStart) {
        *error = "\"" + std::string(text) + "\" lies in SRAM, which starts at " + hexText(sramStart);
        return std::nullopt;
    }
    return value;
}

std::optional<Sram> readSram(const TiXmlDocument& doc, std::string* error) {
    const TiXmlElement* sram = nullptr;
    if (const TiXmlElement* part = doc.FirstChildElement("AVRPART")) {
        if (const TiXmlElement* memory = part->FirstChildElement("MEMORY"))
            sram = memory->FirstChildElement("INT_SRAM");
    }
    const Sram standard{kDataWindowStart, kDataWindowSize};
    if (!sram) return standard;
    auto textOf = [&](const char* name, const TiXmlElement** element) {
        *element = sram->FirstChildElement(name);
        const char* raw = *element ? (*element)->GetText() : nullptr;
        return std::string(raw ? raw : "");
    };
    const TiXmlElement* element = nullptr;
    const std::string startText = textOf("START_ADDR", &element);
    if (!element) {
        *error = "INT_SRAM has no START_ADDR";
        return std::nullopt;
    }
    std::string why;
    const std::optional<int> start = parseHex(startText, "\"$hh\" or \"0xhh\"", &why);
    constexpr int kHighestStart = kRegisterBankBase + kMaxRegisterBank;
    if (!start) {
        *error = "INT_SRAM START_ADDR " + why;
        return std::nullopt;
    }
    if (*start < kExtendedIoStart || *start > kHighestStart) {
        *error = "INT_SRAM START_ADDR \"" + startText + "\" lies outside " +
                 hexText(kExtendedIoStart) + "-" + hexText(kHighestStart);
        return std::nullopt;
    }
    const std::string sizeText = textOf("SIZE", &element);
    if (!element) {
        *error = "INT_SRAM has no SIZE";
        return std::nullopt;
    }
    long size = 0;
    bool digits = !sizeText.empty() && sizeText.size() <= 6;
    for (char c : sizeText) {
        if (c < '0' || c > '9') digits = false;
        if (digits) size = size * 10 + (c - '0');
    }
    if (!digits || size < 1 || *start + size > 0x10000) {
        *error = "INT_SRAM SIZE \"" + sizeText +
                 "\" is no decimal byte count that keeps SRAM inside the 64 KiB data space";
        return std::nullopt;
    }
    return Sram{*start, static_cast<int>(size)};
}

std::optional<IoRegisters> readIoRegisters(const TiXmlDocument& doc, std::string* error) {
    const TiXmlElement* io = nullptr;
    if (const TiXmlElement* part = doc.FirstChildElement("AVRPART")) {
        if (const TiXmlElement* memory = part->FirstChildElement("MEMORY"))
            io = memory->FirstChildElement("IO_MEMORY");
    }
    if (!io) {
        *error = "has no AVRPART/MEMORY/IO_MEMORY section";
        return std::nullopt;
    }
    IoRegisters out;
    std::string sramWhy;
    if (std::optional<Sram> sram = readSram(doc, &sramWhy)) {
        out.sram = *sram;
    } else {
        out.sram = Sram{kDataWindowStart, kDataWindowSize};
        out.problems.push_back("MEMORY/" + sramWhy + "; SRAM is taken to start at " +
                               hexText(kDataWindowStart) + " with " +
                               std::to_string(kDataWindowSize) + " bytes");
    }
    out.bankSize = out.sram.start - kRegisterBankBase;
    std::set<std::string> names;
    std::map<int, std::string> byAddress;
    for (const TiXmlElement* r = io->FirstChildElement(); r; r = r->NextSiblingElement()) {
        const std::string name = text::Upper(r->ValueStr());
        const TiXmlElement* addr = r->FirstChildElement("IO_ADDR");
        if (!addr) continue;  // not a register entry
        const char* raw = addr->GetText();
        const std::string text = raw ? raw : "";
        std::string why;
        std::optional<int> address = parseIoAddress(text, &why);
        std::string shown = text;
        bool extended = false;
        if (!address) {
            if (!why.empty()) {
                out.problems.push_back("register " + name + ": IO_ADDR " + why);
                continue;
            }
            // "NA": an extended register when its data address is given.
            const TiXmlElement* mem = r->FirstChildElement("MEM_ADDR");
            if (!mem) {
                out.outside.push_back(name);
                continue;
            }
            const char* memRaw = mem->GetText();
            shown = memRaw ? memRaw : "";
            const std::optional<int> data = parseExtendedAddress(shown, out.sram.start, &why);
            if (!data) {
                out.problems.push_back("register " + name + ": MEM_ADDR " + why);
                continue;
            }
            address = *data - kRegisterBankBase;
            extended = true;
        }
        if (!names.insert(name).second) {
            out.problems.push_back("register " + name + " appears twice (the first, " +
                                   [&] {
                                       for (const IoRegister& reg : out.registers)
                                           if (reg.name == name) return reg.text;
                                       return std::string();
                                   }() +
                                   ", is used; " + shown + " is not)");
            continue;
        }
        auto [it, fresh] = byAddress.emplace(*address, name);
        if (!fresh) out.shared.push_back(it->second + " and " + name + " share " + shown);
        out.registers.push_back({name, *address, shown, extended});
    }
    if (out.registers.empty()) {
        *error = "has no register in the I/O space in AVRPART/MEMORY/IO_MEMORY";
        return std::nullopt;
    }
    return out;
}

}  // namespace quill::partfile
