// The HD44780U behind its bus interface, driven by any sequence of what a
// program and the user can do: register writes, E pulses that write or
// read, initialisation sequences, whole bytes, rewiring through valid
// settings, resets of the part, instructions, display shifts.
//
// After every operation: the address counter stays in its memory, the
// display shift within the line, the visible text within the screen, the
// protocol checker's summary agrees with its findings, and the bus has
// written nothing into the program's registers but the data
// lines it drives, in the data port's PINx register.
//
// Input: a sequence of operations, each an operation byte followed by its
// argument bytes (missing bytes read as 0).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "components/lcd/LcdBus.h"
#include "components/lcd/LcdScreen.h"

namespace {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Four ports of three registers each (PINx, DDRx, PORTx); positions past
// the list have no registers, as on a part with fewer ports.
class Registers : public LcdPorts {
public:
    static constexpr int kPorts = 4;
    std::array<GatedValue<uint8_t>, kPorts * 3> regs;
    std::array<bool, kPorts * 3> touched{};  // written by the program in this operation

    PortSubjects registers(int position) override {
        if (position < 0 || position >= kPorts) return {};
        return {&regs[position * 3], &regs[position * 3 + 1], &regs[position * 3 + 2]};
    }
    static int pin(int port) { return port * 3; }
    static int ddr(int port) { return port * 3 + 1; }
    static int portReg(int port) { return port * 3 + 2; }
    uint8_t get(int i) const { return regs[i].get(); }
    // The program's write.
    void set(int i, uint8_t v) {
        touched[i] = true;
        regs[i].set(v);
    }
};

// The simulator's time for the protocol checker: each operation moves it.
class Clock : public LcdClock {
public:
    uint32_t now = 0;
    uint32_t cycles() const override { return now; }
    double cyclesPerMicrosecond() const override { return 1.0; }
};

class Panel : public HD44780U::Panel {
public:
    void status(const char* text) override {
        if (!text || !*text) __builtin_trap();
    }
    void redraw() override {}
    void startBlinkTimer() override {}
};

// The program's side of the wiring: drives a signal through PORTx and DDRx,
// and mirrors it into PINx, so that both ways of reading see it.
class Program {
public:
    Program(Registers& r, const LcdConfig& c) : r_(r), c_(c) {}

    void drive(int port, uint8_t mask, uint8_t value) {
        if (port < 0 || port >= Registers::kPorts) return;
        const uint8_t out =
            static_cast<uint8_t>((r_.get(Registers::portReg(port)) & ~mask) | (value & mask));
        r_.set(Registers::ddr(port), static_cast<uint8_t>(r_.get(Registers::ddr(port)) | mask));
        r_.set(Registers::portReg(port), out);
        r_.set(Registers::pin(port),
               static_cast<uint8_t>((r_.get(Registers::pin(port)) & ~mask) | (value & mask)));
    }
    void release(int port, uint8_t mask) {
        if (port < 0 || port >= Registers::kPorts) return;
        r_.set(Registers::ddr(port), static_cast<uint8_t>(r_.get(Registers::ddr(port)) & ~mask));
        r_.set(Registers::portReg(port),
               static_cast<uint8_t>(r_.get(Registers::portReg(port)) & ~mask));
    }
    uint8_t dataMask() const {
        if (!c_.fourBitInterface) return 0xFF;
        return c_.highNibble ? 0xF0 : 0x0F;
    }
    uint8_t lines(uint8_t value) const {
        if (!c_.fourBitInterface) return value;
        return c_.highNibble ? static_cast<uint8_t>(value << 4) : (value & 0x0F);
    }
    void signal(int port, int pin, bool high) {
        drive(port, static_cast<uint8_t>(1 << pin), high ? 0xFF : 0);
    }
    // One transfer: RS, R/W and the data lines set, then E high and low.
    void cycle(bool rs, bool read, uint8_t value) {
        signal(c_.rsPort, c_.rsPin, rs);
        signal(c_.rwPort, c_.rwPin, read);
        if (read) {
            release(c_.dataPort, dataMask());
        } else {
            drive(c_.dataPort, dataMask(), lines(value));
        }
        signal(c_.enablePort, c_.enablePin, true);
        signal(c_.enablePort, c_.enablePin, false);
    }
    void writeByte(bool rs, uint8_t byte) {
        if (c_.fourBitInterface) {
            cycle(rs, false, byte >> 4);
            cycle(rs, false, byte & 0x0F);
        } else {
            cycle(rs, false, byte);
        }
    }
    void initialise(bool eightBit) {
        const uint8_t set = c_.fourBitInterface ? 0x3 : 0x30;
        for (int i = 0; i < 3; ++i) cycle(false, false, set);
        cycle(false, false,
              c_.fourBitInterface ? (eightBit ? 0x3 : 0x2) : (eightBit ? 0x38 : 0x28));
    }

private:
    Registers& r_;
    const LcdConfig& c_;
};

// A valid wiring and layout from four bytes.
LcdConfig configFrom(Bytes& in) {
    LcdConfig c;
    const uint8_t flags = in.next();
    c.fourBitInterface = flags & 1;
    c.highNibble = flags & 2;
    c.usePinRegister = flags & 4;
    static constexpr int kLines[] = {1, 2, 4};
    c.lines = kLines[(flags >> 3) % 3];
    c.screenSize = 1 + in.next() % DisplayRam::MaxColumns(c.lines);
    const uint8_t ports = in.next();
    c.dataPort = ports & 3;
    c.enablePort = (ports >> 2) & 3;
    c.rsPort = (ports >> 4) & 3;
    c.rwPort = (ports >> 6) & 3;
    if (flags & 0x80) c.dataPort += Registers::kPorts;  // a port the part lacks
    const uint8_t pins = in.next();
    c.enablePin = pins & 7;
    c.rsPin = (pins >> 3) & 7;
    c.rwPin = (pins >> 5) & 7;
    c.zoom = 1 + (flags >> 5) % 16;
    if (!ValidLcdConfig(c)) __builtin_trap();
    return c;
}

void check(const LcdBus& bus, const Registers& regs,
           const std::array<uint8_t, Registers::kPorts * 3>& before) {
    const DisplayRam& ram = bus.ram();
    const int size =
        ram.memorySelect == Memory::DDRAM ? DisplayRam::kDdramSize : DisplayRam::kCgramSize;
    if (ram.addressCounter < 0 || ram.addressCounter >= size) __builtin_trap();
    if (std::abs(bus.display().shift) >= ram.lineLength()) __builtin_trap();
    ScreenText text;
    VisibleText(ram, bus.display().shift, &text);
    if (text.lines != bus.config().lines || text.columns != bus.config().screenSize)
        __builtin_trap();
    if (text.cursorLine >= text.lines || text.cursorColumn >= text.columns) __builtin_trap();
    if ((text.cursorLine < 0) != (text.cursorColumn < 0)) __builtin_trap();

    // The checker's summary names exactly what it found.
    const LcdProtocol& protocol = bus.controller().protocol();
    if (protocol.warned() == protocol.summary().empty()) __builtin_trap();

    // What the bus may have written: the driven data lines of PINx.
    const LcdConfig& c = bus.config();
    uint8_t dataLines = 0xFF;
    if (c.fourBitInterface) dataLines = c.highNibble ? 0xF0 : 0x0F;
    for (int i = 0; i < Registers::kPorts * 3; ++i) {
        if (regs.touched[i]) continue;
        const uint8_t changed = static_cast<uint8_t>(regs.get(i) ^ before[i]);
        if (!changed) continue;
        const bool dataPin = c.dataPort < Registers::kPorts && i == Registers::pin(c.dataPort);
        if (!dataPin || (changed & ~dataLines)) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    Registers regs;
    Panel panel;
    Value<uint8_t> updateRequest;
    LcdBus bus(&panel, &regs, &updateRequest);
    Clock clock;
    bus.setClock(&clock);
    LcdConfig config = bus.config();
    Program program(regs, config);
    uint8_t resets = 0;

    for (int operations = 0; !in.empty() && operations < 4096; ++operations) {
        std::array<uint8_t, Registers::kPorts * 3> before{};
        for (int i = 0; i < Registers::kPorts * 3; ++i) before[i] = regs.get(i);
        regs.touched.fill(false);

        const uint8_t op = in.next();
        clock.now += static_cast<uint32_t>(op >> 4) * 8u;  // up to 120 us
        switch (op % 10) {
            case 0: {  // any register, any value
                const int reg = in.next() % (Registers::kPorts * 3);
                regs.set(reg, in.next());
                break;
            }
            case 1: {
                const uint8_t a = in.next();
                program.cycle(a & 1, false, in.next());
                break;
            }
            case 2:
                program.cycle(in.next() & 1, true, 0);
                break;
            case 3:
                program.initialise(in.next() & 1);
                break;
            case 4: {
                const uint8_t a = in.next();
                program.writeByte(a & 1, in.next());
                break;
            }
            case 5:
                config = configFrom(in);
                bus.applyConfig(config);
                break;
            case 6:  // a reset of the part
                updateRequest.set(++resets);
                break;
            case 7: {
                const uint8_t command = in.next();
                bus.controller().executeCommand(command,
                                                static_cast<HD44780U::Transfer>(in.next() % 5));
                break;
            }
            case 8:
                if (in.next() & 1) {
                    bus.controller().shiftLeft();
                } else {
                    bus.controller().shiftRight();
                }
                break;
            case 9:  // a byte read back, as a driver polls the busy flag
                program.cycle(in.next() & 1, true, 0);
                if (config.fourBitInterface) program.cycle(false, true, 0);
                break;
        }
        check(bus, regs, before);
    }
    return 0;
}
