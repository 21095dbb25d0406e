#include "host/debugger/ProgramInfo.h"

#include <dwarf.h>
#include <elfutils/libdw.h>
#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "host/debugger/Stabs.h"
#include "platform/files.h"

namespace quill::debugger {

namespace {

// An ELF file with debug information is larger than the program it holds;
// anything past this is no firmware.
constexpr std::size_t kMaxElfBytes = 64u << 20;
// avr-gcc places the data space at this offset in the ELF address space.
constexpr uint64_t kDataOffset = 0x800000;
constexpr uint64_t kDataEnd = 0x810000;  // EEPROM follows

// Closes what libelf or libdw opened, whatever way the reading ends.
struct Handles {
    Elf* elf = nullptr;
    Dwarf* dwarf = nullptr;
    ~Handles() {
        if (dwarf) dwarf_end(dwarf);
        if (elf) elf_end(elf);
    }
};

// The bytes of the section of that name; empty when there is none
// (*found false), or libelf cannot give its contents.
std::string_view section(Elf* elf, const char* wanted, bool* found = nullptr) {
    if (found) *found = false;
    std::size_t names;
    if (elf_getshdrstrndx(elf, &names) != 0) return {};
    for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn; scn = elf_nextscn(elf, scn)) {
        GElf_Shdr shdr;
        const char* name = gelf_getshdr(scn, &shdr) ? elf_strptr(elf, names, shdr.sh_name) : nullptr;
        if (!name || std::strcmp(name, wanted) != 0 || shdr.sh_type == SHT_NOBITS) continue;
        if (found) *found = true;
        Elf_Data* data = elf_getdata(scn, nullptr);
        if (!data || !data->d_buf) return {};
        return {static_cast<const char*>(data->d_buf), data->d_size};
    }
    return {};
}

void readSymbols(Elf* elf, std::vector<Symbol>& functions, std::vector<Symbol>& variables) {
    for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn; scn = elf_nextscn(elf, scn)) {
        GElf_Shdr shdr;
        if (!gelf_getshdr(scn, &shdr) || shdr.sh_type != SHT_SYMTAB || shdr.sh_entsize == 0)
            continue;
        Elf_Data* data = elf_getdata(scn, nullptr);
        if (!data) continue;
        const std::size_t count = shdr.sh_size / shdr.sh_entsize;
        for (std::size_t i = 0; i < count; ++i) {
            GElf_Sym sym;
            if (!gelf_getsym(data, static_cast<int>(i), &sym)) break;
            const char* name = elf_strptr(elf, shdr.sh_link, sym.st_name);
            if (!name || !*name) continue;
            const int type = GELF_ST_TYPE(sym.st_info);
            if (type == STT_FUNC && sym.st_value < kDataOffset) {
                functions.push_back({name, static_cast<uint32_t>(sym.st_value),
                                     static_cast<uint32_t>(sym.st_size)});
            } else if (type == STT_OBJECT && sym.st_value >= kDataOffset &&
                       sym.st_value < kDataEnd) {
                variables.push_back({name, static_cast<uint32_t>(sym.st_value - kDataOffset),
                                     static_cast<uint32_t>(sym.st_size)});
            }
        }
    }
    auto byAddress = [](const Symbol& a, const Symbol& b) { return a.address < b.address; };
    std::stable_sort(functions.begin(), functions.end(), byAddress);
}

}  // namespace

ProgramInfo ProgramInfo::load(const std::string& path) {
    std::string bytes, error;
    if (!files::readRegularFile(path, kMaxElfBytes, "firmware", &bytes, &error))
        throw std::runtime_error(error);
    return parse(std::move(bytes), path);
}

ProgramInfo ProgramInfo::parse(std::string bytes, const std::string& path) {
    static std::once_flag once;
    std::call_once(once, [] { elf_version(EV_CURRENT); });
    Handles h;
    h.elf = elf_memory(bytes.data(), bytes.size());
    GElf_Ehdr ehdr;
    if (!h.elf || elf_kind(h.elf) != ELF_K_ELF || !gelf_getehdr(h.elf, &ehdr))
        throw std::runtime_error("\"" + path + "\" is no ELF file: it has no debug information");

    ProgramInfo info;
    readSymbols(h.elf, info.functions_, info.variables_);
    std::unordered_map<std::string, uint32_t> fileIndex;
    info.readDwarf(h.elf, fileIndex);
    // avr-gcc's -g: STABS for the program's own units (beside it there may
    // be DWARF from the C library's start-up files).
    const std::string_view stab = section(h.elf, ".stab", &info.stabs_);
    if (!stab.empty()) info.readStabs(stab, section(h.elf, ".stabstr"), fileIndex);
    // Sequences come per unit; an end of sequence sorts before a row that
    // starts at the same address.
    std::stable_sort(info.rows_.begin(), info.rows_.end(), [](const Row& a, const Row& b) {
        return a.address != b.address ? a.address < b.address : a.endSequence > b.endSequence;
    });
    return info;
}

void ProgramInfo::readStabs(std::string_view stab, std::string_view stabstr,
                            std::unordered_map<std::string, uint32_t>& fileIndex) {
    const stabs::Table table = stabs::read(stab, stabstr);
    for (const std::string& dir : table.dirs)
        if (std::find(compDirs_.begin(), compDirs_.end(), dir) == compDirs_.end())
            compDirs_.push_back(dir);
    std::vector<uint32_t> index;  // the table's file numbers to ours
    for (const std::string& file : table.files) {
        auto [it, added] = fileIndex.emplace(file, static_cast<uint32_t>(files_.size()));
        if (added) files_.push_back(file);
        index.push_back(it->second);
    }
    for (const stabs::Line& line : table.lines)
        if (line.address < kDataOffset)
            rows_.push_back({line.address, index[line.file], line.line, true, line.endSequence});
    headerLines_.insert(headerLines_.end(), table.functions.begin(), table.functions.end());
}

void ProgramInfo::readDwarf(Elf* elf, std::unordered_map<std::string, uint32_t>& fileIndex) {
    // Without .debug_info libdw has nothing to read.
    Handles h;
    h.dwarf = dwarf_begin_elf(elf, DWARF_C_READ, nullptr);
    if (!h.dwarf) return;
    Dwarf_Off offset = 0, next = 0;
    std::size_t headerSize = 0;
    while (dwarf_nextcu(h.dwarf, offset, &next, &headerSize, nullptr, nullptr, nullptr) == 0) {
        Dwarf_Die cu;
        const Dwarf_Off dieOffset = offset + headerSize;
        offset = next;
        if (!dwarf_offdie(h.dwarf, dieOffset, &cu)) continue;
        Dwarf_Attribute attr;
        if (const char* dir = dwarf_formstring(dwarf_attr(&cu, DW_AT_comp_dir, &attr))) {
            if (std::find(compDirs_.begin(), compDirs_.end(), dir) ==
                compDirs_.end())
                compDirs_.push_back(dir);
        }
        // The header line of each function, for breakpoints past the frame
        // set-up.
        Dwarf_Die child;
        if (dwarf_child(&cu, &child) == 0) {
            do {
                Dwarf_Addr low;
                int line;
                if (dwarf_tag(&child) == DW_TAG_subprogram && dwarf_lowpc(&child, &low) == 0 &&
                    dwarf_decl_line(&child, &line) == 0)
                    headerLines_.emplace_back(static_cast<uint32_t>(low), line);
            } while (dwarf_siblingof(&child, &child) == 0);
        }
        Dwarf_Lines* lines = nullptr;
        std::size_t count = 0;
        if (dwarf_getsrclines(&cu, &lines, &count) != 0) continue;
        for (std::size_t i = 0; i < count; ++i) {
            Dwarf_Line* line = dwarf_onesrcline(lines, i);
            Dwarf_Addr address;
            int number;
            bool statement = false, end = false;
            const char* file = dwarf_linesrc(line, nullptr, nullptr);
            if (!line || !file || dwarf_lineaddr(line, &address) != 0 ||
                dwarf_lineno(line, &number) != 0 || address >= kDataOffset)
                continue;
            dwarf_linebeginstatement(line, &statement);
            dwarf_lineendsequence(line, &end);
            auto [it, added] =
                fileIndex.emplace(file, static_cast<uint32_t>(files_.size()));
            if (added) files_.push_back(file);
            rows_.push_back(
                {static_cast<uint32_t>(address), it->second, number, statement, end});
        }
    }
}

std::optional<SourceLocation> ProgramInfo::locate(uint32_t pc) const {
    // The last row at or before pc, unless a sequence ended there.
    auto after = std::upper_bound(rows_.begin(), rows_.end(), pc,
                                  [](uint32_t a, const Row& r) { return a < r.address; });
    if (after == rows_.begin()) return std::nullopt;
    const Row& row = *std::prev(after);
    if (row.endSequence) return std::nullopt;
    return SourceLocation{files_[row.file], row.line};
}

std::string ProgramInfo::findFile(std::string_view name) const {
    if (name.empty()) return {};
    std::string found;
    for (const std::string& file : files_) {
        if (file == name) return file;
        const bool tail = file.size() > name.size() &&
                          file.compare(file.size() - name.size(), name.size(), name) == 0 &&
                          file[file.size() - name.size() - 1] == '/';
        if (!tail) continue;
        if (!found.empty()) return {};  // more than one fits
        found = file;
    }
    return found;
}

std::vector<uint32_t> ProgramInfo::lineAddresses(const std::string& file, int line) const {
    std::vector<uint32_t> out;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& r = rows_[i];
        if (r.endSequence || !r.statement || r.line != line || files_[r.file] != file) continue;
        // A row that merely continues the same line from the row before is
        // no new statement start.
        if (i > 0 && !rows_[i - 1].endSequence && rows_[i - 1].line == line &&
            rows_[i - 1].file == r.file)
            continue;
        if (out.empty() || out.back() != r.address) out.push_back(r.address);
    }
    return out;
}

int ProgramInfo::nextLineWithCode(const std::string& file, int line) const {
    int best = 0;
    for (const Row& r : rows_) {
        if (r.endSequence || r.line < line || files_[r.file] != file) continue;
        if (best == 0 || r.line < best) best = r.line;
    }
    return best;
}

std::string ProgramInfo::missingLineInfo() const {
    if (hasLineInfo()) return {};
    return stabs_ ? "the program's STABS debug information has no line table: breakpoints by "
                    "function only"
                  : "built without -g: breakpoints by function only";
}

const Symbol* ProgramInfo::function(std::string_view name) const {
    for (const Symbol& s : functions_)
        if (s.name == name) return &s;
    return nullptr;
}

const Symbol* ProgramInfo::functionAt(uint32_t pc) const {
    for (const Symbol& s : functions_)
        if (pc >= s.address && pc < s.address + std::max<uint32_t>(s.size, 1)) return &s;
    return nullptr;
}

uint32_t ProgramInfo::functionBreakAddress(const Symbol& function) const {
    int header = 0;
    for (const auto& [address, line] : headerLines_)
        if (address == function.address) header = line;
    const std::optional<SourceLocation> entry = locate(function.address);
    if (header == 0 || !entry || entry->line != header) return function.address;
    // The first row of another line inside the function ends the set-up.
    const uint32_t end = function.address + function.size;
    for (const Row& r : rows_) {
        if (r.address <= function.address || r.address >= end || r.endSequence) continue;
        if (r.line != header) return r.address;
    }
    return function.address;
}

const Symbol* ProgramInfo::variable(std::string_view name) const {
    for (const Symbol& s : variables_)
        if (s.name == name) return &s;
    return nullptr;
}

}  // namespace quill::debugger
