#include "host/sim/FirmwareFile.h"

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/files.h"
#include "platform/text.h"

namespace quill::sim {

uint64_t FirmwareImage::flashBytes() const {
    uint64_t total = 0;
    for (const MemoryChunk& c : flash) total += c.bytes.size();
    return total;
}

namespace {

// Flash ends where the toolchain's data space begins.
constexpr uint64_t kDataBase = 0x800000;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// A piece of a file before the pieces are sorted and joined: where it came
// from ("line 7", "segment 2") for the message about an overlap.
struct Piece {
    uint64_t address;
    std::vector<uint8_t> bytes;
    std::string origin;
};

// Sorts the pieces, refuses overlaps and joins pieces that touch.
std::vector<MemoryChunk> joinPieces(std::vector<Piece> pieces, const std::string& where,
                                    const char* memory) {
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const Piece& a, const Piece& b) { return a.address < b.address; });
    std::vector<MemoryChunk> chunks;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        if (i > 0) {
            const Piece& before = pieces[i - 1];
            if (p.address < before.address + before.bytes.size()) {
                throw FirmwareError(where + p.origin + " overlaps " + before.origin + " (" +
                                    memory + " address " + hex(p.address) + ")");
            }
        }
        if (!chunks.empty() && chunks.back().end() == p.address) {
            chunks.back().bytes.insert(chunks.back().bytes.end(), p.bytes.begin(), p.bytes.end());
        } else {
            chunks.push_back({static_cast<uint32_t>(p.address), p.bytes});
        }
    }
    return chunks;
}

// Sorts a piece into flash or EEPROM by its address in the toolchain's
// address space; fuses, lock bits and the signature are not simulated and
// are dropped. Refuses anything elsewhere or straddling a boundary.
void placePiece(Piece piece, std::vector<Piece>& flash, std::vector<Piece>& eeprom,
                const std::string& where) {
    const uint64_t start = piece.address;
    const uint64_t stop = start + piece.bytes.size();
    if (stop <= kDataBase) {
        flash.push_back(std::move(piece));
    } else if (start >= kEepromBase && stop <= kFuseBase) {
        piece.address -= kEepromBase;
        eeprom.push_back(std::move(piece));
    } else if (start >= kFuseBase && stop <= kMetadataEnd) {
        // fuses, lock bits, signature: nothing to load
    } else {
        throw FirmwareError(where + piece.origin + " places data at " + hex(start) + ".." +
                            hex(stop - 1) + ", outside flash and EEPROM");
    }
}

}  // namespace

FirmwareImage parseIntelHex(std::string_view text, const std::string& name) {
    const std::string file = "Intel HEX file \"" + name + "\"";
    std::vector<Piece> flash, eeprom;
    uint64_t base = 0;
    std::optional<std::size_t> endLine;  // line of the end-of-file record
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // A line ends at LF, CR LF or a lone CR.
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
        ++lineNumber;
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty()) continue;
        const std::string where = file + ", line " + std::to_string(lineNumber) + ": ";
        if (endLine) {
            throw FirmwareError(where + "a record after the end-of-file record of line " +
                                std::to_string(*endLine));
        }
        if (line[0] != ':') throw FirmwareError(where + "a record must start with ':'");
        const std::string_view digits = line.substr(1);
        if (digits.size() % 2 != 0 || digits.size() < 10)
            throw FirmwareError(where + "record too short or of odd length");
        if (digits.size() > 2 * (255 + 5))
            throw FirmwareError(where + "record longer than the longest Intel HEX record");
        uint8_t bytes[260];
        unsigned sum = 0;
        const std::size_t count = digits.size() / 2;
        for (std::size_t i = 0; i < count; ++i) {
            const int hi = text::HexDigit(digits[2 * i]);
            const int lo = text::HexDigit(digits[2 * i + 1]);
            if (hi < 0 || lo < 0) throw FirmwareError(where + "not a hexadecimal digit");
            bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
            sum += bytes[i];
        }
        if (bytes[0] + 5u != count)
            throw FirmwareError(where + "byte count " + std::to_string(bytes[0]) +
                                " does not match the record length");
        if ((sum & 0xff) != 0) throw FirmwareError(where + "checksum mismatch");
        const uint32_t offset = static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
        const uint8_t length = bytes[0];
        switch (bytes[3]) {
            case 0: {
                if (length == 0) throw FirmwareError(where + "a data record without data");
                Piece piece{base + offset, std::vector<uint8_t>(bytes + 4, bytes + 4 + length),
                            "line " + std::to_string(lineNumber)};
                placePiece(std::move(piece), flash, eeprom, file + ", ");
                break;
            }
            case 1:
                if (length != 0) throw FirmwareError(where + "malformed end-of-file record");
                endLine = lineNumber;
                break;
            case 2:
                if (length != 2) throw FirmwareError(where + "malformed segment address record");
                base = (static_cast<uint64_t>(bytes[4]) << 8 | bytes[5]) << 4;
                break;
            case 4:
                if (length != 2) throw FirmwareError(where + "malformed linear address record");
                base = (static_cast<uint64_t>(bytes[4]) << 8 | bytes[5]) << 16;
                break;
            case 3:
            case 5:
                if (length != 4) throw FirmwareError(where + "malformed start address record");
                break;  // a start address means nothing to an AVR
            default:
                throw FirmwareError(where + "unknown record type " + std::to_string(bytes[3]));
        }
    }
    if (!endLine)
        throw FirmwareError(file + " has no end-of-file record (truncated or not Intel HEX)");
    FirmwareImage image;
    image.flash = joinPieces(std::move(flash), file + ", ", "flash");
    image.eeprom = joinPieces(std::move(eeprom), file + ", ", "EEPROM");
    if (image.flash.empty()) throw FirmwareError(file + " contains no program code");
    return image;
}

// ---- ELF -----------------------------------------------------------------

namespace {

constexpr unsigned kElfMachineAvr = 83;
constexpr unsigned kAvrNoteDeviceInfo = 1;

void initLibelf() {
    static std::once_flag once;
    std::call_once(once, [] { elf_version(EV_CURRENT); });
}

struct ElfHandle {
    Elf* elf = nullptr;
    ~ElfHandle() {
        if (elf) elf_end(elf);
    }
};

uint32_t le32(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The device name in the toolchain's note: seven words (flash start and
// size, RAM start and size, EEPROM start and size, a table length), the
// offset of the name in the string table, then the string table.
std::string deviceFromNote(const uint8_t* desc, std::size_t size) {
    constexpr std::size_t strings = 8 * 4;
    if (size <= strings) return {};
    const uint32_t offset = le32(desc + 28);
    if (offset >= size - strings) return {};
    const char* name = reinterpret_cast<const char*>(desc + strings + offset);
    const std::size_t room = size - strings - offset;
    return std::string(name, strnlen(name, room));
}

// The name in simavr's ".mmcu" section: tag, length, value... until tag 0.
std::string deviceFromMmcu(const uint8_t* data, std::size_t size) {
    constexpr uint8_t kTagName = 1;
    std::size_t at = 0;
    while (at + 2 <= size && data[at] != 0) {
        const uint8_t tag = data[at];
        const std::size_t length = data[at + 1];
        if (length > size - at - 2) break;
        if (tag == kTagName) {
            const char* name = reinterpret_cast<const char*>(data + at + 2);
            return std::string(name, strnlen(name, length));
        }
        at += 2 + length;
    }
    return {};
}

bool plausibleDeviceName(const std::string& name) {
    return !name.empty() && name.size() < 32 && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// Looks through the sections for the part the file names. Sections are only
// read through libelf, which checks their extent against the file.
std::string findDevice(Elf* elf) {
    std::size_t namesIndex = 0;
    const bool haveNames = elf_getshdrstrndx(elf, &namesIndex) == 0;
    std::string fromNote, fromMmcu;
    for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn; scn = elf_nextscn(elf, scn)) {
        GElf_Shdr shdr;
        if (!gelf_getshdr(scn, &shdr)) continue;
        if (shdr.sh_type == SHT_NOBITS) continue;
        const char* name = haveNames ? elf_strptr(elf, namesIndex, shdr.sh_name) : nullptr;
        const bool isMmcu = name && std::strcmp(name, ".mmcu") == 0;
        if (shdr.sh_type != SHT_NOTE && !isMmcu) continue;
        Elf_Data* data = elf_getdata(scn, nullptr);
        if (!data || !data->d_buf || data->d_size == 0) continue;
        const auto* bytes = static_cast<const uint8_t*>(data->d_buf);
        if (isMmcu) {
            fromMmcu = deviceFromMmcu(bytes, data->d_size);
            continue;
        }
        GElf_Nhdr note;
        std::size_t nameOffset = 0, descOffset = 0;
        for (std::size_t offset = 0;
             offset < data->d_size &&
             (offset = gelf_getnote(data, offset, &note, &nameOffset, &descOffset)) > 0;) {
            if (note.n_type != kAvrNoteDeviceInfo || note.n_namesz != 4 ||
                std::memcmp(bytes + nameOffset, "AVR", 4) != 0)
                continue;
            fromNote = deviceFromNote(bytes + descOffset, note.n_descsz);
        }
    }
    std::string device = !fromNote.empty() ? fromNote : fromMmcu;
    for (char& c : device) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return plausibleDeviceName(device) ? device : std::string();
}

// The value of a function or plain symbol called `wanted` in the symbol
// table (the text's byte address), nothing when the file has no symbol
// table or no such symbol. Read through libelf, which checks the table's
// extent; a name is compared only where the string table holds it.
std::optional<uint32_t> findSymbol(Elf* elf, const char* wanted) {
    for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn; scn = elf_nextscn(elf, scn)) {
        GElf_Shdr shdr;
        if (!gelf_getshdr(scn, &shdr) || shdr.sh_type != SHT_SYMTAB || shdr.sh_entsize == 0)
            continue;
        Elf_Data* data = elf_getdata(scn, nullptr);
        if (!data || !data->d_buf) continue;
        const std::size_t count = data->d_size / shdr.sh_entsize;
        for (std::size_t i = 0; i < count; ++i) {
            GElf_Sym sym;
            if (!gelf_getsym(data, static_cast<int>(i), &sym)) break;
            const int type = GELF_ST_TYPE(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (type != STT_FUNC && type != STT_NOTYPE)) continue;
            const char* name = elf_strptr(elf, shdr.sh_link, sym.st_name);
            if (name && std::strcmp(name, wanted) == 0 && sym.st_value <= 0xFFFFFF)
                return static_cast<uint32_t>(sym.st_value);
        }
    }
    return std::nullopt;
}

}  // namespace

FirmwareImage parseElf(std::string_view bytes, const std::string& name) {
    const std::string file = "firmware \"" + name + "\"";
    if (bytes.size() < 4 || bytes.substr(0, 4) != std::string_view("\x7f"
                                                                   "ELF",
                                                                   4))
        throw FirmwareError(file + " is not an ELF file");
    if (bytes.size() < 52) throw FirmwareError(file + " is truncated (incomplete ELF header)");
    if (bytes[EI_CLASS] != ELFCLASS32 || bytes[EI_DATA] != ELFDATA2LSB)
        throw FirmwareError(file + " is not a 32-bit little-endian ELF file, so not AVR firmware");

    initLibelf();
    // libelf reads from a private copy it may convert in place.
    std::vector<char> copy(bytes.begin(), bytes.end());
    ElfHandle handle;
    handle.elf = elf_memory(copy.data(), copy.size());
    Elf* elf = handle.elf;
    GElf_Ehdr ehdr;
    if (!elf || elf_kind(elf) != ELF_K_ELF || !gelf_getehdr(elf, &ehdr))
        throw FirmwareError(file + " is truncated or corrupt (" + elf_errmsg(-1) + ")");
    if (ehdr.e_machine != kElfMachineAvr)
        throw FirmwareError(file + " is built for another processor (ELF machine " +
                            std::to_string(ehdr.e_machine) + "), not for the AVR");
    if (ehdr.e_type != ET_EXEC)
        throw FirmwareError(file + " is not a linked program (an object file or library?)");

    // The tables must lie inside the file in the sizes a 32-bit ELF file
    // has: a file cut short (or a header pointing elsewhere) is refused
    // even where its segments happen to survive.
    auto tableFits = [&](uint64_t offset, uint64_t entrySize, uint64_t count) {
        return offset <= bytes.size() && entrySize * count <= bytes.size() - offset;
    };
    std::size_t sections = 0;
    if (ehdr.e_phentsize != sizeof(Elf32_Phdr) ||
        !tableFits(ehdr.e_phoff, ehdr.e_phentsize, ehdr.e_phnum))
        throw FirmwareError(file +
                            " is truncated or corrupt (program header table outside the file)");
    if (elf_getshdrnum(elf, &sections) != 0 ||
        (ehdr.e_shnum != 0 && (ehdr.e_shentsize != sizeof(Elf32_Shdr) ||
                               !tableFits(ehdr.e_shoff, ehdr.e_shentsize, sections))))
        throw FirmwareError(file + " is truncated or corrupt (section table outside the file)");

    std::size_t segments = 0;
    if (elf_getphdrnum(elf, &segments) != 0)
        throw FirmwareError(file + " is truncated or corrupt (" + elf_errmsg(-1) + ")");
    if (segments == 0)
        throw FirmwareError(file + " has no program segments (truncated or corrupt)");
    std::vector<Piece> flash, eeprom;
    for (std::size_t i = 0; i < segments; ++i) {
        GElf_Phdr phdr;
        if (!gelf_getphdr(elf, static_cast<int>(i), &phdr))
            throw FirmwareError(file + " is truncated or corrupt (program header " +
                                std::to_string(i) + ": " + elf_errmsg(-1) + ")");
        if (phdr.p_type != PT_LOAD || phdr.p_filesz == 0) continue;
        if (phdr.p_offset > bytes.size() || phdr.p_filesz > bytes.size() - phdr.p_offset)
            throw FirmwareError(file + " is truncated or corrupt (segment " + std::to_string(i) +
                                " lies outside the file)");
        // The load address (not the run address: initialised data runs in
        // RAM but is stored in flash after the code).
        const auto* start = reinterpret_cast<const uint8_t*>(bytes.data()) + phdr.p_offset;
        Piece piece{phdr.p_paddr, std::vector<uint8_t>(start, start + phdr.p_filesz),
                    "segment " + std::to_string(i)};
        placePiece(std::move(piece), flash, eeprom, file + ": ");
    }
    FirmwareImage image;
    image.flash = joinPieces(std::move(flash), file + ": ", "flash");
    image.eeprom = joinPieces(std::move(eeprom), file + ": ", "EEPROM");
    if (image.flash.empty())
        throw FirmwareError(file + " contains no program code (corrupt or truncated ELF file?)");
    image.elfArch = static_cast<int>(ehdr.e_flags & 0x7f);
    image.device = findDevice(elf);
    image.stopProgram = findSymbol(elf, "__stop_program");
    return image;
}

FirmwareImage readFirmwareFile(const std::string& path) {
    std::string bytes, error;
    if (!quill::files::readRegularFile(path, kMaxFirmwareFileBytes, "firmware", &bytes, &error))
        throw FirmwareError(error);
    auto endsWith = [&](std::string_view suffix) {
        if (path.size() < suffix.size()) return false;
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(path[path.size() - suffix.size() + i])) !=
                suffix[i])
                return false;
        }
        return true;
    };
    if (bytes.empty()) throw FirmwareError("firmware \"" + path + "\" is empty");
    if (endsWith(".hex") || endsWith(".ihex") || bytes[0] == ':') return parseIntelHex(bytes, path);
    return parseElf(bytes, path);
}

std::string avrArchName(int arch) {
    switch (arch) {
        case 4:
            return "avr4 (e.g. ATmega8)";
        case 5:
            return "avr5 (e.g. ATmega16, ATmega32)";
        case 100:
            return "avrtiny";
        case 1:
        case 2:
        case 25:
        case 3:
        case 31:
        case 35:
        case 51:
        case 6:
            return "avr" + std::to_string(arch);
        default:
            return "an AVR architecture this target does not know";
    }
}

}  // namespace quill::sim
