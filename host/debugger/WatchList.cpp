#include "host/debugger/WatchList.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "contract/HostProtocol.h"
#include "host/session/Debugger.h"

namespace quill::debugger {

namespace {

constexpr uint32_t kSpl = 0x3D, kSreg = 0x3F;  // I/O indices

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A register of the part's bank: the I/O space by I/O address, extended
// I/O (index 64 and up) by data address.
bool accessRegister(Machine& machine, const WatchEntry& e, uint8_t* bytes, bool write) {
    const bool io = e.address + e.size <= kIoRegisterCount;
    const LONG kind = io ? kMemoryIo : kMemoryData;
    const uint32_t address = io ? e.address : kRegisterBankBase + e.address;
    return write ? machine.writeMemory(kind, address, bytes, e.size)
                 : machine.readMemory(kind, address, bytes, e.size);
}

std::optional<uint32_t> read(Machine& machine, const WatchEntry& e) {
    uint8_t bytes[4] = {};
    bool ok = false;
    switch (e.kind) {
        case WatchEntry::Kind::Io:
        case WatchEntry::Kind::Sreg:
        case WatchEntry::Kind::StackPointer:
            ok = accessRegister(machine, e, bytes, false);
            break;
        case WatchEntry::Kind::Register:
            ok = machine.readMemory(kMemoryRegisters, e.address, bytes, 1);
            break;
        case WatchEntry::Kind::Variable:
            ok = machine.readMemory(kMemoryData, e.address, bytes, e.size);
            break;
        case WatchEntry::Kind::Pin:
            ok = accessRegister(machine, e, bytes, false);
            bytes[0] = static_cast<uint8_t>((bytes[0] >> e.bit) & 1);
            break;
    }
    if (!ok) return std::nullopt;
    uint32_t value = 0;
    for (uint32_t i = e.size; i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

// A typed value: 0x.., 0b.., decimal (also negative), or 'c'.
std::optional<int64_t> parse(const std::string& text) {
    if (text.size() == 3 && text.front() == '\'' && text.back() == '\'')
        return static_cast<unsigned char>(text[1]);
    std::string_view s = text;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative) s.remove_prefix(1);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'b' || s[1] == 'B')) base = 2;
    if (base != 10) s.remove_prefix(2);
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || magnitude > 0xFFFFFFFFull)
        return std::nullopt;
    return negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
}

}  // namespace

bool WatchList::add(const std::string& name, std::string* error) {
    std::optional<WatchEntry> entry = resolve(name, error);
    if (entry) entries_.push_back(*entry);
    return entry.has_value();
}

std::optional<WatchEntry> WatchList::resolve(const std::string& typed, std::string* error) const {
    std::string name = typed;
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    const std::string big = upper(name);
    auto entry = [](std::string n, WatchEntry::Kind kind, uint32_t address, uint32_t size) {
        WatchEntry e;
        e.name = std::move(n);
        e.kind = kind;
        e.address = address;
        e.size = size;
        return e;
    };
    WatchEntry e;
    int n = -1;
    // A pin: "PB5" (a row names it "PB5 (D13)"), or a board's name, "D13".
    auto isPortPin = [](const std::string& p) {
        return p.size() == 3 && p[0] == 'P' && p[1] >= 'A' && p[1] <= 'Z' && p[2] >= '0' &&
               p[2] <= '7';
    };
    std::string pin = big.substr(0, big.find(' '));
    for (char port = 'A'; pinNamer_ && !pin.empty() && !isPortPin(pin) && port <= 'Z'; ++port) {
        for (int bit = 0; bit < 8; ++bit) {
            if (upper(pinNamer_(port, bit)) == pin) {
                pin = std::string{'P', port, static_cast<char>('0' + bit)};
                break;
            }
        }
    }
    const int pinRegister = isPortPin(pin) && ioIndex_ ? ioIndex_("PIN" + pin.substr(1, 1)) : -1;
    if (big == "SP") {
        e = entry("SP", WatchEntry::Kind::StackPointer, kSpl, 2);
    } else if (big == "SREG") {
        e = entry("SREG", WatchEntry::Kind::Sreg, kSreg, 1);
        e.format = WatchFormat::Binary;
    } else if (big.size() >= 2 && big.size() <= 3 && big[0] == 'R' &&
               std::from_chars(big.data() + 1, big.data() + big.size(), n).ec == std::errc() &&
               n >= 0 && n <= 31 && std::to_string(n) == big.substr(1)) {
        e = entry(big, WatchEntry::Kind::Register, static_cast<uint32_t>(n), 1);
    } else if (pinRegister >= 0) {
        const std::string board = pinNamer_ ? pinNamer_(pin[1], pin[2] - '0') : std::string();
        e = entry(board.empty() ? pin : pin + " (" + board + ")", WatchEntry::Kind::Pin,
                  static_cast<uint32_t>(pinRegister), 1);
        e.bit = pin[2] - '0';
        e.format = WatchFormat::Decimal;
    } else if (int io = ioIndex_ ? ioIndex_(big) : -1; io >= 0) {
        e = entry(big, WatchEntry::Kind::Io, static_cast<uint32_t>(io), 1);
    } else if (const Symbol* s = program_ ? program_->variable(name) : nullptr) {
        if (s->size < 1 || s->size > 4) {
            *error = "\"" + name + "\" has " + std::to_string(s->size) +
                     " bytes: only variables of 1 to 4 bytes are watched";
            return std::nullopt;
        }
        e = entry(s->name, WatchEntry::Kind::Variable, s->address, s->size);
    } else {
        *error = "nothing is called \"" + name +
                 "\" (an I/O register, R0-R31, SP, SREG, a global variable or a pin such as PB5)";
        return std::nullopt;
    }
    return e;
}

void WatchList::rebind(std::function<int(const std::string&)> ioIndex,
                       const ProgramInfo* program) {
    ioIndex_ = std::move(ioIndex);
    program_ = program;
    std::vector<WatchEntry> old;
    old.swap(entries_);
    std::string ignored;
    for (const WatchEntry& e : old) {
        if (std::optional<WatchEntry> again = resolve(e.name, &ignored)) {
            again->format = e.format;
            entries_.push_back(*again);
        }
    }
}

void WatchList::remove(std::size_t row) {
    if (row < entries_.size()) entries_.erase(entries_.begin() + static_cast<long>(row));
}

void WatchList::setFormat(std::size_t row, WatchFormat format) {
    if (row < entries_.size()) entries_[row].format = format;
}

std::vector<std::size_t> WatchList::update(Machine* machine) {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        WatchEntry& e = entries_[i];
        const std::optional<uint32_t> now = machine ? read(*machine, e) : std::nullopt;
        if (now != e.value) rows.push_back(i);
        e.value = now;
    }
    return rows;
}

void WatchList::halted() {
    for (WatchEntry& e : entries_) {
        e.base = e.lastHalt ? e.lastHalt : e.value;  // a new row starts unchanged
        e.lastHalt = e.value;
    }
}

void WatchList::resumed() {
    for (WatchEntry& e : entries_) e.base = e.lastHalt ? e.lastHalt : e.value;
}

std::string WatchList::format(uint32_t value, uint32_t size, WatchFormat format) {
    const uint32_t bits = 8 * size;
    switch (format) {
        case WatchFormat::Hex: {
            char text[16];
            std::snprintf(text, sizeof text, "0x%0*X", static_cast<int>(2 * size), value);
            return text;
        }
        case WatchFormat::Decimal:
            return std::to_string(value);
        case WatchFormat::Binary: {
            std::string text = "0b";
            for (uint32_t b = bits; b-- > 0;) text += ((value >> b) & 1) ? '1' : '0';
            return text;
        }
        case WatchFormat::Char: {
            std::string text;
            for (uint32_t i = 0; i < size; ++i) {
                const unsigned char c = static_cast<unsigned char>(value >> (8 * i));
                if (std::isprint(c)) {
                    text += std::string("'") + static_cast<char>(c) + "'";
                } else {
                    char code[8];
                    std::snprintf(code, sizeof code, "\\x%02X", c);
                    text += code;
                }
            }
            return text;
        }
    }
    return {};
}

std::string WatchList::text(std::size_t row) const {
    if (row >= entries_.size()) return {};
    const WatchEntry& e = entries_[row];
    if (!e.value) return "-";
    std::string text = format(*e.value, e.size, e.format);
    if (e.kind == WatchEntry::Kind::Sreg) {
        static const char kFlags[] = "CZNVSHTI";  // bit 0 .. bit 7
        std::string set;
        for (int b = 7; b >= 0; --b) set += ((*e.value >> b) & 1) ? kFlags[b] : '-';
        text += "  " + set;
    }
    return text;
}

bool WatchList::write(Machine* machine, std::size_t row, const std::string& text,
                      std::string* error) {
    if (row >= entries_.size() || !machine) {
        *error = "nothing to write";
        return false;
    }
    WatchEntry& e = entries_[row];
    if (e.kind == WatchEntry::Kind::Pin) {
        *error = "a pin is watched, not written: write its PORT or PIN register";
        return false;
    }
    const std::optional<int64_t> value = parse(text);
    const int64_t bits = 8 * static_cast<int64_t>(e.size);
    if (!value || *value >= (int64_t{1} << bits) || *value < -(int64_t{1} << (bits - 1))) {
        *error = "\"" + text + "\" is no value of " + std::to_string(e.size) + " byte(s)";
        return false;
    }
    const auto raw = static_cast<uint32_t>(static_cast<uint64_t>(*value));
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(raw >> (8 * i));
    bool ok = false;
    switch (e.kind) {
        case WatchEntry::Kind::Register:
            ok = machine->writeMemory(kMemoryRegisters, e.address, bytes, 1);
            break;
        case WatchEntry::Kind::Variable:
            ok = machine->writeMemory(kMemoryData, e.address, bytes, e.size);
            break;
        default:
            ok = accessRegister(*machine, e, bytes, true);
    }
    if (!ok) *error = "the target refused the write";
    return ok;
}

}  // namespace quill::debugger
