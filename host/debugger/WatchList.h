// The debugger's watch: what the user chose to watch (an I/O register by
// name, R0-R31, SP, SREG, a global or static variable by name, or one pin:
// PB5, or with a board its name, D13) with its
// value, shown in hex, decimal, binary or as a character; values that
// differ from those at the last halt are marked changed. Toolkit-free;
// the watch dock is a table view over it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/debugger/ProgramInfo.h"

class Machine;

namespace quill::debugger {

enum class WatchFormat { Hex, Decimal, Binary, Char };

struct WatchEntry {
    enum class Kind { Io, Register, StackPointer, Sreg, Variable, Pin };
    // as shown: "PORTA", "R24", "SP", "SREG", "counter", a pin "PB5" (with a
    // board's name for it "PB5 (D13)")
    std::string name;
    Kind kind = Kind::Io;
    uint32_t address = 0;  // I/O index (a pin's PINx), register number, or data address
    int bit = 0;           // a pin's bit of PINx; its value is 0 or 1
    uint32_t size = 1;     // bytes, little-endian
    WatchFormat format = WatchFormat::Hex;
    std::optional<uint32_t> value;     // none while it cannot be read
    std::optional<uint32_t> lastHalt;  // at the last halt
    std::optional<uint32_t> base;      // what `value` is compared with
    bool changed() const { return value && base && *value != *base; }
};

class WatchList {
public:
    // ioIndex answers the I/O index of a register name (-1: unknown);
    // program may be null (no symbols).
    WatchList(std::function<int(const std::string&)> ioIndex, const ProgramInfo* program)
        : ioIndex_(std::move(ioIndex)), program_(program) {}
    // A new session: names are looked up anew (a variable may have moved);
    // rows whose name no longer resolves are dropped, formats are kept.
    void rebind(std::function<int(const std::string&)> ioIndex, const ProgramInfo* program);
    // The board's name of a port pin ("D13"; empty for none), for pins
    // watched by port pin ("PB5") or by the board's name ("D13"); an empty
    // function: no board. Takes effect with the next rebind or add.
    void setPinNamer(std::function<std::string(char port, int bit)> namer) {
        pinNamer_ = std::move(namer);
    }

    // Adds a watch by name; false with *error when nothing has that name.
    bool add(const std::string& name, std::string* error);
    // The watch a name stands for, without adding it; then append it.
    std::optional<WatchEntry> resolve(const std::string& name, std::string* error) const;
    void append(const WatchEntry& entry) { entries_.push_back(entry); }
    void remove(std::size_t row);
    const std::vector<WatchEntry>& entries() const { return entries_; }
    void setFormat(std::size_t row, WatchFormat format);

    // Reads every value from the machine (null: none can be read); the
    // rows whose value changed since the previous read are returned.
    std::vector<std::size_t> update(Machine* machine);
    // The program halted (after update()): the values are compared with
    // those at the halt before, until it runs again (resumed()); then with
    // those at this halt.
    void halted();
    void resumed();

    // The value as the row's format shows it ("0x1F", "31", "0b00011111",
    // "'A'"); SREG in binary also names its flags ("ITHSVNZC" letters of
    // the set bits).
    static std::string format(uint32_t value, uint32_t size, WatchFormat format);
    std::string text(std::size_t row) const;
    // Writes a value typed in any of the formats (0x.., 0b.., decimal,
    // 'c', negative as two's complement) to the target; false with *error
    // when the text is no value that fits, or the target refuses.
    bool write(Machine* machine, std::size_t row, const std::string& text, std::string* error);

private:
    std::function<int(const std::string&)> ioIndex_;
    std::function<std::string(char, int)> pinNamer_;
    const ProgramInfo* program_;
    std::vector<WatchEntry> entries_;
};

}  // namespace quill::debugger
