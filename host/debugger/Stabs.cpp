#include "host/debugger/Stabs.h"

#include <map>
#include <unordered_map>
#include <unordered_set>

namespace quill::debugger::stabs {

namespace {

constexpr std::size_t kEntryBytes = 12;
// Entry types (the n_type byte).
constexpr uint8_t kUnitHeader = 0x00;  // N_UNDF: a unit's string table follows
constexpr uint8_t kFunction = 0x24;    // N_FUN
constexpr uint8_t kLine = 0x44;        // N_SLINE
constexpr uint8_t kSource = 0x64;      // N_SO
constexpr uint8_t kSubSource = 0x84;   // N_SOL

// A name longer than this is none; more distinct files (or names of them)
// than this are no program. Both bound what damaged strings can cost: no
// name is searched or copied twice.
constexpr std::size_t kMaxName = 4096;
constexpr std::size_t kMaxFiles = 4096;
constexpr std::size_t kMaxNames = 65536;

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
                noFolder();
                file_ = -1;
                inFunction_ = false;
                break;
            case kSource:
                source(e);
                break;
            case kSubSource: {
                std::string_view name;
                uint64_t offset;
                if (string(e.strx, &name, &offset) && !name.empty()) file_ = fileIndex(offset, name);
                break;
            }
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
    // The string at `strx` of the current unit (at *offset in the table);
    // false when it lies outside the table or runs past kMaxName.
    bool string(uint32_t strx, std::string_view* out, uint64_t* offset = nullptr) const {
        const uint64_t at = base_ + strx;
        if (at >= strings_.size()) return false;
        const std::string_view rest =
            strings_.substr(static_cast<std::size_t>(at), kMaxName + 1);
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos) return false;
        *out = rest.substr(0, end);
        if (offset) *offset = at;
        return true;
    }

    // The file of the name at that offset in the current folder; negative
    // when there is none (too many).
    long fileIndex(uint64_t offset, std::string_view name) {
        const auto key = std::make_pair(dirOffset_, offset);
        if (auto known = byOffset_.find(key); known != byOffset_.end()) return known->second;
        if (byOffset_.size() >= kMaxNames) return -1;
        std::string path(name);
        if (name.front() != '/' && !dir_.empty())
            path = std::string(dir_) + (dir_.back() == '/' ? "" : "/") + path;
        long n = -1;
        if (auto it = index_.find(path); it != index_.end()) {
            n = it->second;
        } else if (table_.files.size() < kMaxFiles) {
            n = static_cast<long>(table_.files.size());
            index_.emplace(path, n);
            table_.files.push_back(std::move(path));
        }
        byOffset_.emplace(key, n);
        return n;
    }

    void noFolder() {
        dir_ = {};
        dirOffset_ = ~uint64_t{0};
    }

    void source(const Entry& e) {
        std::string_view name;
        uint64_t offset;
        if (!string(e.strx, &name, &offset)) return;
        inFunction_ = false;  // a unit's end, or a new unit, closes the function
        if (name.empty()) {  // the end of the unit
            noFolder();
            file_ = -1;
        } else if (name.back() == '/') {  // the compilation folder
            dir_ = name.size() > 1 ? name.substr(0, name.size() - 1) : name;
            dirOffset_ = offset;
            if (table_.dirs.size() < kMaxFiles && dirs_.size() < kMaxNames &&
                dirs_.insert(dir_).second)
                table_.dirs.emplace_back(dir_);
        } else {
            file_ = fileIndex(offset, name);
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
    std::string_view dir_;  // in strings_
    uint64_t dirOffset_ = ~uint64_t{0};
    std::unordered_set<std::string_view> dirs_;
    std::map<std::pair<uint64_t, uint64_t>, long> byOffset_;  // (folder, name) offsets
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
