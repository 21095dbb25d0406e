// A GDB target of plain bounded memory for the server's tests and fuzz
// target: 16 KiB of flash reading as the low byte of each address, the
// data space of an ATmega16, the program counter and the breakpoints set.
#pragma once

#include <array>
#include <cstring>
#include <set>

#include "host/gdb/GdbServer.h"

class MemoryTarget : public quill::gdb::GdbTarget {
public:
    std::array<uint8_t, 0x460> data{};
    uint32_t pc = 0x92;
    std::set<uint32_t> breakpoints;

    // The server's promise: a buffer, even for no bytes (trapped here, so
    // that the fuzz target finds a break of it too).
    bool readMemory(uint32_t address, uint8_t* out, uint32_t count) override {
        if (!out) __builtin_trap();
        if (address < 0x800000) {
            if (address > 0x4000 || count > 0x4000 - address) return false;
            for (uint32_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(address + i);
            return true;
        }
        const uint32_t a = address - 0x800000;
        if (a > data.size() || count > data.size() - a) return false;
        std::memcpy(out, data.data() + a, count);
        return true;
    }
    bool writeMemory(uint32_t address, const uint8_t* in, uint32_t count) override {
        if (!in) __builtin_trap();
        const uint32_t a = address - 0x800000;
        if (address < 0x800000 || a > data.size() || count > data.size() - a) return false;
        std::memcpy(data.data() + a, in, count);
        return true;
    }
    uint32_t programCounter() override { return pc; }
    void setProgramCounter(uint32_t value) override { pc = value; }
    void addBreakpoint(uint32_t address) override { breakpoints.insert(address); }
    void removeBreakpoint(uint32_t address) override { breakpoints.erase(address); }
};
