// The LCD wired pin by pin: the tutorial's 4-bit wiring with R/W tied to
// ground (lines off any nibble, reversed, on two ports), an 8-bit display
// whose data lines are spread over three ports with busy-flag reads, and
// the configuration check for pins missing or used twice.
#include <gtest/gtest.h>

#include <array>

#include "components/lcd/LcdBus.h"

namespace {

// ATmega16 ports A..D: PIN, DDR, PORT register indices.
struct PortIndex {
    int pin, ddr, port;
};
constexpr std::array<PortIndex, 4> kPorts{
    {{0x19, 0x1A, 0x1B}, {0x16, 0x17, 0x18}, {0x13, 0x14, 0x15}, {0x10, 0x11, 0x12}}};

class Registers : public LcdPorts {
public:
    std::array<GatedValue<uint8_t>, 64> regs;
    PortSubjects registers(int position) override {
        if (position < 0 || position >= 4) return {};
        const PortIndex p = kPorts[static_cast<std::size_t>(position)];
        return {&regs[p.pin], &regs[p.ddr], &regs[p.port]};
    }
    // The program drives `bit` of port `position` as an output at `level`.
    void drive(LcdPin p, bool level) {
        const PortIndex r = kPorts[static_cast<std::size_t>(p.port)];
        regs[r.ddr].set(static_cast<uint8_t>(regs[r.ddr].get() | (1 << p.bit)));
        const uint8_t v = regs[r.port].get();
        regs[r.port].set(static_cast<uint8_t>(level ? v | (1 << p.bit) : v & ~(1 << p.bit)));
    }
    void release(LcdPin p) {
        const PortIndex r = kPorts[static_cast<std::size_t>(p.port)];
        regs[r.ddr].set(static_cast<uint8_t>(regs[r.ddr].get() & ~(1 << p.bit)));
    }
    bool read(LcdPin p) const {
        return (regs[kPorts[static_cast<std::size_t>(p.port)].pin].get() >> p.bit) & 1;
    }
};

class NoPanel : public HD44780U::Panel {
public:
    void status(const char*) override {}
    void redraw() override {}
    void startBlinkTimer() override {}
    void protocolFinding(LcdProtocol::Kind, bool) override {}
    void protocolReset() override {}
};

constexpr int A = 0, B = 1, C = 2, D = 3;

// A program that drives each line by its own pin, as digitalWrite does.
class PinProgram {
public:
    PinProgram(Registers& r, const LcdConfig& c) : r_(r), c_(c) {}
    LcdPin pinOf(int line) const { return c_.dataPins[static_cast<std::size_t>(line)]; }
    LcdPin e() const { return {c_.enablePort, c_.enablePin}; }
    LcdPin rs() const { return {c_.rsPort, c_.rsPin}; }
    LcdPin rw() const { return {c_.rwPort, c_.rwPin}; }
    int first() const { return c_.fourBitInterface ? 4 : 0; }

    // One transfer of the data lines D(first)..D7 carrying `bits` (bit 0 =
    // the lowest line used).
    void write(bool rs, uint8_t bits) {
        r_.drive(this->rs(), rs);
        if (c_.rwWired) r_.drive(rw(), false);
        for (int line = first(); line < 8; ++line)
            r_.drive(pinOf(line), (bits >> (line - first())) & 1);
        r_.drive(e(), true);
        r_.drive(e(), false);
    }
    void writeByte(bool rs, uint8_t byte) {
        if (!c_.fourBitInterface) return write(rs, byte);
        write(rs, byte >> 4);
        write(rs, byte & 0x0F);
    }
    uint8_t readByte(bool rs) {
        r_.drive(this->rs(), rs);
        r_.drive(rw(), true);
        for (int line = 0; line < 8; ++line) r_.release(pinOf(line));
        r_.drive(e(), true);
        uint8_t byte = 0;
        for (int line = 0; line < 8; ++line)
            byte = static_cast<uint8_t>(byte | (r_.read(pinOf(line)) << line));
        r_.drive(e(), false);
        return byte;
    }

private:
    Registers& r_;
    LcdConfig c_;
};

// RS=PB4, E=PB3, R/W grounded, D4..D7 = PD5, PD4, PD3, PD2.
LcdConfig Tutorial() {
    LcdConfig c;
    c.pinByPin = true;
    c.rwWired = false;
    c.rsPort = B;
    c.rsPin = 4;
    c.enablePort = B;
    c.enablePin = 3;
    c.dataPins[4] = {D, 5};
    c.dataPins[5] = {D, 4};
    c.dataPins[6] = {D, 3};
    c.dataPins[7] = {D, 2};
    return c;
}

TEST(LcdPins, TutorialWiringWritesTextWithReadWriteGrounded) {
    Registers regs;
    NoPanel panel;
    LcdBus bus(&panel, &regs, nullptr);
    const LcdConfig c = Tutorial();
    ASSERT_TRUE(ValidLcdConfig(c));
    bus.applyConfig(c);
    PinProgram program(regs, c);
    for (int i = 0; i < 3; ++i) program.write(false, 0x3);
    program.write(false, 0x2);
    ASSERT_TRUE(bus.controller().initialised());
    program.writeByte(false, 0x28);
    program.writeByte(false, 0x01);
    for (const char ch : std::string("hi!")) program.writeByte(true, static_cast<uint8_t>(ch));
    EXPECT_EQ(bus.ram().ddram[0], 'h');
    EXPECT_EQ(bus.ram().ddram[1], 'i');
    EXPECT_EQ(bus.ram().ddram[2], '!');

    // With R/W grounded a read is a write: PB2 high reaches no R/W, and the
    // controller never drives the data pins; the pins keep what they hold.
    regs.drive({B, 2}, true);
    regs.regs[kPorts[D].pin].set(0xA5);
    program.writeByte(true, 'x');
    EXPECT_EQ(bus.ram().ddram[3], 'x');
    EXPECT_EQ(regs.regs[kPorts[D].pin].get(), 0xA5);
}

TEST(LcdPins, EightBitsOverThreePortsReadBusyFlagAndData) {
    Registers regs;
    NoPanel panel;
    LcdBus bus(&panel, &regs, nullptr);
    LcdConfig c;
    c.fourBitInterface = false;
    c.pinByPin = true;
    c.rsPort = C;
    c.rsPin = 7;
    c.rwPort = C;
    c.rwPin = 6;
    c.enablePort = A;
    c.enablePin = 0;
    // D0..D2 on port A, D3..D5 on port B (reversed), D6..D7 on port D.
    c.dataPins = {{{A, 5}, {A, 6}, {A, 7}, {B, 2}, {B, 1}, {B, 0}, {D, 7}, {D, 3}}};
    ASSERT_TRUE(ValidLcdConfig(c));
    bus.applyConfig(c);
    PinProgram program(regs, c);
    for (int i = 0; i < 3; ++i) program.write(false, 0x30);
    program.write(false, 0x38);
    ASSERT_TRUE(bus.controller().initialised());
    // Other pins of the data ports stay as the program left them.
    regs.drive({B, 5}, true);
    program.writeByte(false, 0x80 | 0x45);  // DDRAM address 0x45
    EXPECT_EQ(program.readByte(false) & 0x7F, 0x45);  // BF clear, AC 0x45
    program.writeByte(true, 'Z');
    program.writeByte(false, 0x80 | 0x45);
    EXPECT_EQ(program.readByte(true), 'Z');
    EXPECT_EQ(bus.ram().ddram[0x45], 'Z');
    EXPECT_TRUE(regs.regs[kPorts[B].port].get() & (1 << 5));
}

TEST(LcdPins, ConsecutiveWiringStillMeansTheDataPortsBits) {
    // The nibble form and its pin-by-pin equivalent read the same words.
    for (const bool high : {true, false}) {
        Registers regs;
        NoPanel panel;
        LcdBus bus(&panel, &regs, nullptr);
        LcdConfig nibble;
        nibble.highNibble = high;
        nibble.dataPort = C;
        bus.applyConfig(nibble);
        LcdConfig same = nibble;
        same.pinByPin = true;
        for (int line = 4; line < 8; ++line)
            same.dataPins[static_cast<std::size_t>(line)] = {C, high ? line : line - 4};
        PinProgram program(regs, same);
        for (int i = 0; i < 3; ++i) program.write(false, 0x3);
        program.write(false, 0x2);
        program.writeByte(true, 'q');
        EXPECT_EQ(bus.ram().ddram[0], 'q') << high;
    }
}

TEST(LcdPins, ConfigurationNamesMissingAndSharedPins) {
    const char* why = nullptr;
    LcdConfig missing = Tutorial();
    missing.dataPins[6] = {};
    EXPECT_FALSE(ValidLcdConfig(missing, &why));
    EXPECT_STREQ(why, "Wire every data line to a pin.");

    LcdConfig shared = Tutorial();
    shared.dataPins[7] = {B, 3};  // E's pin
    EXPECT_FALSE(ValidLcdConfig(shared, &why));
    EXPECT_STREQ(why, "A pin is used by two lines.");

    // R/W wired to a data line's pin is a pin used twice; grounded it uses none.
    LcdConfig rw = Tutorial();
    rw.rwPort = D;
    rw.rwPin = 5;
    EXPECT_TRUE(ValidLcdConfig(rw));
    rw.rwWired = true;
    EXPECT_FALSE(ValidLcdConfig(rw, &why));

    // D0..D3 do not matter in 4-bit wiring; the old defaults stay valid.
    EXPECT_TRUE(ValidLcdConfig(Tutorial()));
    EXPECT_TRUE(ValidLcdConfig(LcdConfig{}));
}

}  // namespace
