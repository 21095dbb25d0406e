#include "host/debugger/Stabs.h"

#include <cstring>
#include <unordered_map>

namespace quill::debugger::stabs {

namespace {

constexpr std::size_t kEntryBytes = 12;
// Entry types (the n_type byte).
constexpr uint8_t kUnitHeader = 0x00;  // N_UNDF: a unit's string table follows
constexpr uint8_t kFunction = 0x24;    // N_FUN
constexpr uint8_t kLine = 0x44;        // N_SLINE
constexpr uint8_t kSource = 0x64;      // N_SO
constexpr uint8_t kSubSource = 0x84;   // N_SOL

// A file name longer than this is no file name; more distinct files than
// this are no program (both bound what damaged strings can cost).
constexpr std::size_t kMaxName = 4096;
constexpr std::size_t kMaxFiles = 4096;

struct Entry {
    uint32_t strx;
    uint8_t type;
    uint16_t desc;
    uint32_t value;
};

uint32_t le32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

class Reader {
public:
    Reader(std::string_view stabstr, Table& table) : strings_(stabstr), table_(table) {}

    void entry(const Entry& e) {
        switch (e.type) {
            case kUnitHeader:
                // In a file that was not linked into one string table, each
                // unit's strings follow those of the unit before.
                base_ = nextBase_;
                nextBase_ = base_ + e.value;
                dir_.clear();
                file_ = -1;
                inFunction_ = false;
                break;
            case kSource:
                source(e);
                break;
            case kSubSource:
                if (std::string_view name; string(e.strx, &name) && !name.empty())
                    file_ = fileIndex(name);
                break;
            case kFunction:
                function(e);
                break;
            case kLine:
                line(e);
                break;
            default:
                break;
        }
    }

private:
    // The string at `strx` of the current unit; false when it lies outside
    // the table or runs past kMaxName.
    bool string(uint32_t strx, std::string_view* out) const {
        const uint64_t at = base_ + strx;
        if (at >= strings_.size()) return false;
        const std::string_view rest = strings_.substr(static_cast<std::size_t>(at));
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos || end > kMaxName) return false;
        *out = rest.substr(0, end);
        return true;
    }

    // A negative index: no file (too many, or the name was unreadable).
    long fileIndex(std::string_view name) {
        std::string path(name);
        if (name.front() != '/' && !dir_.empty()) path = dir_ + "/" + path;
        auto it = index_.find(path);
        if (it != index_.end()) return it->second;
        if (table_.files.size() >= kMaxFiles) return -1;
        const auto n = static_cast<long>(table_.files.size());
        index_.emplace(path, n);
        table_.files.push_back(std::move(path));
        return n;
    }

    void source(const Entry& e) {
        std::string_view name;
        if (!string(e.strx, &name)) return;
        inFunction_ = false;  // a unit's end, or a new unit, closes the function
        if (name.empty()) {  // the end of the unit
            dir_.clear();
            file_ = -1;
        } else if (name.back() == '/') {  // the compilation folder
            dir_.assign(name.substr(0, name.size() > 1 ? name.size() - 1 : 1));
            bool known = false;
            for (const std::string& d : table_.dirs) known = known || d == dir_;
            if (!known && table_.dirs.size() < kMaxFiles) table_.dirs.push_back(dir_);
        } else {
            file_ = fileIndex(name);
        }
    }

    void function(const Entry& e) {
        std::string_view name;
        if (!string(e.strx, &name)) return;
        if (name.empty()) {  // the end: the value is the function's size
            if (inFunction_ && file_ >= 0)
                push({entry_ + e.value, static_cast<uint32_t>(file_), 0, true});
            inFunction_ = false;
            return;
        }
        // "tick:F(0,49)" (global) or "helper:f(0,1)" (static); other
        // descriptions in N_FUN are no code.
        const std::size_t colon = name.find(':');
        if (colon == std::string_view::npos || colon + 1 >= name.size() ||
            (name[colon + 1] != 'F' && name[colon + 1] != 'f'))
            return;
        inFunction_ = true;
        entry_ = e.value;
        table_.functions.emplace_back(e.value, e.desc);
    }

    void line(const Entry& e) {
        if (file_ < 0) return;
        // Inside a function the value is relative to its entry (ELF
        // STABS); outside (assembler sources) it is the address itself.
        const uint32_t address = inFunction_ ? entry_ + e.value : e.value;
        push({address, static_cast<uint32_t>(file_), e.desc, false});
    }

    void push(const Line& line) {
        std::vector<Line>& lines = table_.lines;
        if (!line.endSequence && !lines.empty() && !lines.back().endSequence &&
            lines.back().address == line.address) {
            lines.back() = line;  // the earlier line has no code of its own
            return;
        }
        lines.push_back(line);
    }

    std::string_view strings_;
    Table& table_;
    uint64_t base_ = 0, nextBase_ = 0;
    std::string dir_;
    long file_ = -1;
    bool inFunction_ = false;
    uint32_t entry_ = 0;
    std::unordered_map<std::string, long> index_;
};

}  // namespace

Table read(std::string_view stab, std::string_view stabstr) {
    Table table;
    Reader reader(stabstr, table);
    const auto* bytes = reinterpret_cast<const unsigned char*>(stab.data());
    for (std::size_t at = 0; at + kEntryBytes <= stab.size(); at += kEntryBytes) {
        const unsigned char* p = bytes + at;
        reader.entry({le32(p), p[4], static_cast<uint16_t>(p[6] | p[7] << 8), le32(p + 8)});
    }
    return table;
}

}  // namespace quill::debugger::stabs
