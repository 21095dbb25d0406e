// The HD44780U driven through port pins, as a program drives it: the
// initialisation sequences, instructions with their status texts and trace
// lines, data writes, busy-flag/address and data reads presenting both
// nibbles in high- and low-nibble wiring, mismatched nibble pairs, the
// 8-bit resynchronisation, resets in the middle of a transfer, and a
// register watch that follows the configuration.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "components/lcd/LcdBus.h"
#include "tests/support/TestFiles.h"

using testfiles::ReadFile;

namespace {

// I/O register indices of ports A..D on the ATmega16.
struct PortIndex {
    int pin, ddr, port;
};
constexpr std::array<PortIndex, 4> kAtmega16Ports{
    {{0x19, 0x1A, 0x1B}, {0x16, 0x17, 0x18}, {0x13, 0x14, 0x15}, {0x10, 0x11, 0x12}}};
constexpr PortIndex A = kAtmega16Ports[0];
constexpr PortIndex B = kAtmega16Ports[1];

// A byte-register store with change notification and its port list.
class FakeRegisters : public LcdPorts {
public:
    std::array<GatedValue<uint8_t>, 64> regs;
    int portCount = 4;
    int refreshes = 0;

    PortSubjects registers(int position) override {
        if (position < 0 || position >= portCount) return {};
        const PortIndex p = kAtmega16Ports[position];
        return {&regs[p.pin], &regs[p.ddr], &regs[p.port]};
    }
    void refresh() override { ++refreshes; }
    uint8_t get(int i) const { return regs[i].get(); }
    void set(int i, uint8_t v) { regs[i].set(v); }
};

class RecordingPanel : public HD44780U::Panel {
public:
    std::vector<std::string> statuses;
    int redraws = 0;
    int blinkStarts = 0;
    void status(const char* text) override { statuses.emplace_back(text); }
    void redraw() override { ++redraws; }
    void startBlinkTimer() override { ++blinkStarts; }
    std::vector<std::pair<LcdProtocol::Kind, bool>> findings;  // kind, first
    int protocolResets = 0;
    void protocolFinding(LcdProtocol::Kind kind, bool first) override {
        findings.emplace_back(kind, first);
    }
    void protocolReset() override { ++protocolResets; }
    std::string last() const { return statuses.empty() ? "" : statuses.back(); }
};

// A program driving the LCD through one port, like a typical driver:
// data lines, RS, R/W and E are bits of `ctl` (all on one port here).
class Program {
public:
    // Control lines on `port`, data lines on `data` (the same port unless
    // given).
    Program(FakeRegisters& r, LcdConfig c, PortIndex port) : Program(r, c, port, port) {}
    Program(FakeRegisters& r, LcdConfig c, PortIndex port, PortIndex data)
        : r_(&r), c_(c), p_(port), d_(data) {}

    // One E pulse with the data lines outputs carrying `nibbleOrByte`.
    void write(bool rs, uint8_t value) {
        r_->set(p_.ddr, 0xFF);
        r_->set(d_.ddr, 0xFF);
        uint8_t lines;
        if (!c_.fourBitInterface) {
            lines = value;
        } else if (c_.highNibble) {
            lines = static_cast<uint8_t>((value & 0x0F) << 4);
        } else {
            lines = value & 0x0F;
        }
        if (d_.port == p_.port) {
            out(static_cast<uint8_t>(lines | (rs << c_.rsPin)));
        } else {
            r_->set(d_.port, lines);
            out(static_cast<uint8_t>(rs << c_.rsPin));
        }
        pulse();
    }
    void writeByte(bool rs, uint8_t byte) {
        write(rs, byte >> 4);
        write(rs, byte & 0x0F);
    }
    void command(uint8_t byte) { writeByte(false, byte); }
    void text(const char* s) {
        while (*s) writeByte(true, static_cast<uint8_t>(*s++));
    }
    void init4Bit() {
        for (int i = 0; i < 3; ++i) write(false, 0x3);
        write(false, 0x2);
    }

    // One E pulse with the data lines inputs; returns what the data lines
    // read while E is high (D7..D4 in the low bits, 4-bit wiring).
    uint8_t read(bool rs) {
        const uint8_t dataMask = dataLines();
        r_->set(p_.ddr, 0xFF);
        r_->set(d_.ddr, static_cast<uint8_t>(0xFF & ~dataMask));
        out(static_cast<uint8_t>((rs << c_.rsPin) | (1 << c_.rwPin)));
        r_->set(p_.port, static_cast<uint8_t>(r_->get(p_.port) | (1 << c_.enablePin)));
        const uint8_t pin = r_->get(d_.pin);
        r_->set(p_.port, static_cast<uint8_t>(r_->get(p_.port) & ~(1 << c_.enablePin)));
        if (!c_.fourBitInterface) return pin;
        return c_.highNibble ? pin >> 4 : pin & 0x0F;
    }
    uint8_t readByte(bool rs) {
        const uint8_t high = read(rs);
        return static_cast<uint8_t>((high << 4) | read(rs));
    }

    uint8_t dataLines() const {
        if (!c_.fourBitInterface) return 0xFF;
        return c_.highNibble ? 0xF0 : 0x0F;
    }

private:
    void out(uint8_t v) { r_->set(p_.port, v); }
    void pulse() {
        r_->set(p_.port, static_cast<uint8_t>(r_->get(p_.port) | (1 << c_.enablePin)));
        r_->set(p_.port, static_cast<uint8_t>(r_->get(p_.port) & ~(1 << c_.enablePin)));
    }

    FakeRegisters* r_;
    LcdConfig c_;
    PortIndex p_, d_;
};

// The third-party wiring: data on bits 3..0, RS 4, R/W 5, E 6.
LcdConfig LowNibbleWiring() {
    LcdConfig c;
    c.highNibble = false;
    c.rsPin = 4;
    c.rwPin = 5;
    c.enablePin = 6;
    return c;
}

class LcdBusTest : public ::testing::Test {
protected:
    void SetUp() override { bus.applyConfig(config); }
    void rewire(const LcdConfig& c) {
        config = c;
        bus.applyConfig(c);
        program = Program(regs, c, A);
    }
    // Eight data lines on port B, the control lines on port A.
    void rewireEightBitOnPortB() {
        LcdConfig eight;
        eight.fourBitInterface = false;
        eight.dataPort = 1;
        rewire(eight);
        program = Program(regs, eight, A, B);
    }
    std::string line(int row) const {
        std::string s;
        for (int c = 0; c < bus.ram().columns(); ++c)
            s += static_cast<char>(
                bus.ram().ddram[bus.ram().addressAt(row, c, bus.display().shift)]);
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }

    FakeRegisters regs;
    RecordingPanel panel;
    Value<uint8_t> updateRequest;
    LcdConfig config;
    LcdBus bus{&panel, &regs, &updateRequest};
    Program program{regs, config, A};
};

// The simulator's time: cycles at `mhz`, moved by the test.
class StepClock : public LcdClock {
public:
    uint32_t now = 0;
    double mhz = 1.0;
    uint32_t cycles() const override { return now; }
    double cyclesPerMicrosecond() const override { return mhz; }
    void pass(double us) { now += static_cast<uint32_t>(us * mhz); }
};

}  // namespace

TEST_F(LcdBusTest, InitialisationSequences) {
    program.init4Bit();
    EXPECT_EQ(panel.last(), "Initialization: OK");
    EXPECT_TRUE(bus.controller().initialised());
    EXPECT_FALSE(bus.controller().eightBit());

    // A broken sequence fails and starts over; the failing word is not
    // taken as the start of a new sequence.
    updateRequest.set(1);
    program.write(false, 0x3);
    program.write(false, 0x2);
    EXPECT_EQ(panel.last(), "Initialization: Failed.");
    EXPECT_EQ(bus.controller().initStep(), 0);
    program.write(true, 0x3);  // RS high: not a Function set
    EXPECT_EQ(bus.controller().initStep(), 0);
    program.init4Bit();
    EXPECT_EQ(panel.last(), "Initialization: OK");

    // 8-bit wiring: the fourth word's DL bit decides; data bits 3 and 2
    // are data, not RS and R/W.
    rewireEightBitOnPortB();
    updateRequest.set(2);
    // D3..D0 are don't-care in the sequence: drivers repeat their own
    // Function set (0x38, 0x3C); the fourth sets lines and font.
    program.write(false, 0x38);
    program.write(false, 0x3C);
    program.write(false, 0x30);
    program.write(false, 0x34);
    EXPECT_EQ(panel.last(), "Initialization: OK");
    EXPECT_TRUE(bus.controller().eightBit());
    EXPECT_TRUE(bus.display().fiveByTen && bus.display().tallFont());
    program.write(true, 0x4C);  // 'L': bits 3 and 2 set
    EXPECT_EQ(line(0), "L");
    updateRequest.set(3);
    for (int i = 0; i < 3; ++i) program.write(false, 0x30);
    program.write(false, 0x28);
    EXPECT_FALSE(bus.controller().eightBit());
}

TEST_F(LcdBusTest, InstructionsReportStatusAndTrace) {
    const std::string path = ::testing::TempDir() + "lcd_trace_result.txt";
    std::remove(path.c_str());
    LcdTrace trace(path);
    DisplayRam ram;
    HD44780U::DisplayState display;
    HD44780U::MPU_interface mpu(ram, display, &panel, &trace);
    using HD44780U::Transfer;

    // Off until asked for: nothing is written.
    mpu.executeCommand(0x28, Transfer::WriteInstruction);
    EXPECT_EQ(ReadFile(path), "");
    trace.setEnabled(true);

    const std::string fin = "--> Finished HD44780U::MPU_interface::executeCommand()\n";
    struct Case {
        uint8_t command;
        const char* status;
        std::string trace;
    } cases[] = {
        {0x28, "Command: Function set.",
         "\t\t\t+Character font: 5x8\n\t\t\t+Number of display lines: 2\n"
         "\t\t\t+Interface length: 4 bits\n" +
             fin},
        {0x0F, "Command: Display on/off control.",
         "\t\t\t+Blink character: true\n\t\t\t+Show cursor: true\n\t\t\t+Display: on\n" + fin},
        {0x06, "Command: Entry mode set.",
         "\t\t\t+Cursor move with display shift: false\n"
         "\t\t\t+Cursor move direction: right (inc.)\n" +
             fin},
        {0x1C, "Command: Cursor / Display shift.",
         "\t\t\t+Shift to the right\n\t\t\t+Display shift\n--> ShiftRight() : -1\n" + fin},
        {0x18, "Command: Cursor / Display shift.",
         "\t\t\t+Shift to the left\n\t\t\t+Display shift\n--> ShiftLeft() : 0\n" + fin},
        {0x14, "Command: Cursor / Display shift.",
         "\t\t\t+Shift to the right\n\t\t\t+Cursor move\n" + fin},
        {0x02, "Command: Return home.", fin},
        {0x01, "Command: Display clear.", fin},
        {0xC5, "Command: Set ddram address.", fin},
        {0x48, "Command: Set cgram address.", fin},
        {0x00, "Unknown command.", fin},
    };
    for (const Case& c : cases) {
        const auto before = ReadFile(path).size();
        mpu.executeCommand(c.command, Transfer::WriteInstruction);
        EXPECT_EQ(panel.last(), c.status) << int(c.command);
        EXPECT_EQ(ReadFile(path).substr(before), c.trace) << int(c.command);
    }
    EXPECT_EQ(ram.memorySelect, Memory::CGRAM);
    EXPECT_EQ(ram.addressCounter, 0x08);
    EXPECT_TRUE(display.cursorOn && display.blinkOn && display.displayOn);
    EXPECT_EQ(panel.blinkStarts, 1);
    mpu.executeCommand(0x0C, Transfer::WriteInstruction);  // blink off restarts the timer too
    EXPECT_EQ(panel.blinkStarts, 2);

    // The mismatch kind executes nothing and traces nothing.
    const auto before = ReadFile(path).size();
    mpu.executeCommand(0x01, Transfer::Mismatch);
    EXPECT_EQ(panel.last(), "Unknown command.");
    EXPECT_EQ(ReadFile(path).size(), before);
    EXPECT_EQ(ram.memorySelect, Memory::CGRAM);
    std::remove(path.c_str());
}

TEST_F(LcdBusTest, DisplayShiftAsTheControllerDoesIt) {
    program.init4Bit();
    program.command(0x0C);
    program.text("ABC");
    program.command(0x18);  // shift left: the text moves left
    EXPECT_EQ(line(0), "BC");
    EXPECT_EQ(bus.display().shift, 1);
    program.command(0x1C);
    program.command(0x1C);  // shift right twice: one cell right of home
    EXPECT_EQ(line(0), " ABC");
    program.command(0x02);  // Return home undoes the shift
    EXPECT_EQ(bus.display().shift, 0);
    EXPECT_EQ(bus.ram().addressCounter, 0);
    program.command(0x18);
    program.command(0x04);  // decrement
    program.command(0x01);  // Clear undoes the shift and sets I/D to increment
    EXPECT_TRUE(bus.ram().increment);
    EXPECT_EQ(bus.display().shift, 0);

    // Entry mode with S: every DDRAM write shifts, left while incrementing;
    // CGRAM writes and reads shift nothing.
    program.command(0x07);
    program.text("12345");
    EXPECT_EQ(bus.display().shift, 5);
    EXPECT_EQ(line(0), "");
    program.command(0x40);
    program.text("xy");
    program.readByte(true);
    program.command(0x80);
    program.readByte(true);
    EXPECT_EQ(bus.display().shift, 5);
    program.command(0x05);  // decrementing: the text moves right
    program.text("z");
    EXPECT_EQ(bus.display().shift, 4);

    // Display shift is held within the 40-cell line.
    program.command(0x02);
    for (int i = 0; i < 41; ++i) program.command(0x18);
    EXPECT_EQ(bus.display().shift, 1);
    for (int i = 0; i < 43; ++i) program.command(0x1C);
    EXPECT_EQ(bus.display().shift, -2);

    // A shift made on the 80-cell line of a one-line display is held
    // within the 40-cell lines when the user rewires it as two lines.
    LcdConfig oneLine = config;
    oneLine.lines = 1;
    oneLine.screenSize = 16;
    rewire(oneLine);
    program.command(0x02);
    for (int i = 0; i < 50; ++i) program.command(0x18);
    EXPECT_EQ(bus.display().shift, 50);
    LcdConfig twoLines = oneLine;
    twoLines.lines = 2;
    rewire(twoLines);
    EXPECT_EQ(bus.display().shift, 10);
    program.command(0x1C);
    EXPECT_EQ(bus.display().shift, 9);
}

TEST_F(LcdBusTest, CursorMovesStayInRange) {
    program.init4Bit();
    // Cursor moves step like data accesses: never outside DDRAM.
    program.command(0x10);  // left from 0x00
    EXPECT_EQ(bus.ram().addressCounter, 0x67);
    program.command(0x14);  // right
    EXPECT_EQ(bus.ram().addressCounter, 0x00);
    program.command(0x80 | 0x27);
    program.command(0x14);
    EXPECT_EQ(bus.ram().addressCounter, 0x40);
    program.command(0x40 | 0x3F);  // CGRAM 63, then a cursor move selects DDRAM
    program.command(0x14);
    EXPECT_EQ(bus.ram().memorySelect, Memory::DDRAM);
    EXPECT_EQ(bus.ram().addressCounter, 0x40);
}

TEST_F(LcdBusTest, DataWritesLeaveTheProgramsRegistersAlone) {
    program.init4Bit();
    program.command(0x28);
    program.command(0x06);
    regs.set(A.pin, 0x5A);
    panel.statuses.clear();
    program.writeByte(true, 'H');
    EXPECT_EQ(panel.statuses,
              (std::vector<std::string>{"Writing data [1/2]", "Writing data [2/2]"}));
    program.text("ello");
    EXPECT_EQ(line(0), "Hello");
    EXPECT_EQ(bus.ram().addressCounter, 5);
    EXPECT_EQ(regs.get(A.pin), 0x5A);  // no write-back on writes
    program.command(0xC0);
    program.text("World");
    EXPECT_EQ(line(1), "World");
    EXPECT_EQ(regs.get(A.pin), 0x5A);
}

TEST_F(LcdBusTest, ReadsPresentBothNibblesHighNibbleWiring) {
    program.init4Bit();
    program.command(0x80 | 0x45);
    regs.set(A.pin, 0x0B);                // bits 3..0 belong to other signals
    EXPECT_EQ(program.read(false), 0x4);  // BF 0, AC6..4
    EXPECT_EQ(panel.last(), "Reading AC/BF [1/2]");
    EXPECT_EQ(regs.get(A.pin) & 0x0F, 0x0B);
    EXPECT_EQ(program.read(false), 0x5);  // AC3..0
    EXPECT_EQ(regs.get(A.pin) & 0x0F, 0x0B);
    EXPECT_EQ(bus.controller().nibblePhase(), 0);

    program.command(0x80 | 0x40);
    program.text("Qz");
    program.command(0x80 | 0x40);
    EXPECT_EQ(program.readByte(true), 'Q');
    EXPECT_EQ(program.readByte(true), 'z');
    EXPECT_EQ(bus.ram().addressCounter, 0x42);
    EXPECT_EQ(program.readByte(false), 0x42);
    EXPECT_EQ(regs.get(A.port) & 0xF0, 0x00);  // PORTA never written by the LCD
}

// A busy-polling driver in this wiring runs end to end as e2e.lcd_busy_low;
// here: reads write back only the data lines, not bit 7, another input.
TEST_F(LcdBusTest, BusyPollingDriverOnLowNibbleWiring) {
    rewire(LowNibbleWiring());
    regs.set(A.pin, 0x80);
    program.init4Bit();
    program.text("Ready");
    EXPECT_EQ(line(0), "Ready");
    EXPECT_EQ(program.readByte(false), 5);  // BF 0, AC 5
    program.command(0x80);
    EXPECT_EQ(program.readByte(true), 'R');
    EXPECT_EQ(regs.get(A.pin) & 0x80, 0x80);
}

TEST_F(LcdBusTest, MismatchedNibblesEndAsUnknownCommand) {
    program.init4Bit();
    program.write(true, 0x4);  // opens a data write
    program.read(false);       // second nibble of another kind
    EXPECT_EQ(bus.controller().nibblePhase(), 1);
    EXPECT_EQ(bus.controller().pendingOp(), HD44780U::Transfer::Mismatch);
    program.write(false, 0x1);  // an instruction nibble ends it
    EXPECT_EQ(panel.last(), "Unknown command.");
    EXPECT_EQ(bus.controller().nibblePhase(), 0);
    program.text("ok");
    EXPECT_EQ(line(0), "ok");
}

TEST_F(LcdBusTest, SecondInitialisationResynchronises) {
    program.init4Bit();
    program.text("A");
    program.write(false, 0x0);  // half a byte left over
    // The driver initialises again: 0x3 0x3 0x3 0x2 as on a real module.
    program.init4Bit();
    EXPECT_FALSE(bus.controller().eightBit());
    EXPECT_EQ(bus.controller().nibblePhase(), 0);
    program.command(0x80 | 0x01);
    program.text("B");
    EXPECT_EQ(line(0), "AB");
}

TEST_F(LcdBusTest, ResetMidTransferRealignsAndWritesNothing) {
    program.init4Bit();
    program.text("x");
    program.write(true, 0x4);  // first nibble of a data byte
    regs.set(A.pin, 0x3C);
    const uint8_t port = regs.get(A.port);
    updateRequest.set(1);
    EXPECT_FALSE(bus.controller().initialised());
    EXPECT_EQ(bus.controller().nibblePhase(), 0);
    EXPECT_EQ(regs.get(A.pin), 0x3C);
    EXPECT_EQ(regs.get(A.port), port);
    EXPECT_EQ(line(0), "");
    EXPECT_GE(regs.refreshes, 1);
    program.init4Bit();
    program.text("ok");
    EXPECT_EQ(line(0), "ok");
}

TEST_F(LcdBusTest, RegisterWatchFollowsTheConfiguration) {
    LcdConfig onB = config;
    onB.enablePort = 1;
    onB.enablePin = 0;
    rewire(onB);
    EXPECT_EQ(bus.watchedRegister(), &regs.regs[B.port]);
    regs.set(B.ddr, 0x01);
    auto strobe = [&](uint8_t nibble) {
        regs.set(A.ddr, 0xFF);
        regs.set(A.port, static_cast<uint8_t>(nibble << 4));
        regs.set(B.port, 1);
        regs.set(B.port, 0);
    };
    for (uint8_t n : {0x3, 0x3, 0x3, 0x2}) strobe(n);
    EXPECT_EQ(panel.last(), "Initialization: OK");

    // E held high is one cycle; E made an output while high is an edge.
    const int before = static_cast<int>(panel.statuses.size());
    regs.set(A.port, 0x40 | 0x08);  // 'H' high nibble with RS (bit 3)
    regs.set(B.port, 1);
    regs.set(B.port, 1);
    EXPECT_EQ(static_cast<int>(panel.statuses.size()), before + 1);
    regs.set(B.port, 0);
    regs.set(B.ddr, 0x00);
    regs.set(A.port, 0x80 | 0x08);
    regs.set(B.port, 1);    // input: no edge
    regs.set(B.ddr, 0x01);  // now driven high: the edge
    EXPECT_EQ(line(0), "H");

    // PINx mode watches PINB instead.
    onB.usePinRegister = true;
    rewire(onB);
    EXPECT_EQ(bus.watchedRegister(), &regs.regs[B.pin]);
}

TEST_F(LcdBusTest, PinRegisterModeAndMissingPorts) {
    LcdConfig c = LowNibbleWiring();
    c.usePinRegister = true;
    rewire(c);
    auto strobe = [&](uint8_t v) {
        regs.set(A.pin, v);
        regs.set(A.pin, static_cast<uint8_t>(v | 0x40));
        regs.set(A.pin, v);
    };
    for (uint8_t n : {0x3, 0x3, 0x3, 0x2}) strobe(n);
    EXPECT_EQ(panel.last(), "Initialization: OK");
    strobe(0x10 | 0x4);
    strobe(0x10 | 0x1);
    EXPECT_EQ(line(0), "A");

    // A port the part does not have resolves to nothing: no register is
    // read or written in its place.
    regs.portCount = 2;
    c.dataPort = 3;
    rewire(c);
    strobe(0x10 | 0x4);
    strobe(0x10 | 0x2);
    EXPECT_EQ(bus.ram().ddram[1], 0x00);  // the missing data port reads 0
    for (int i = 0; i < 64; ++i) {
        if (i != A.pin) {
            EXPECT_EQ(regs.get(i), 0) << i;
        }
    }
}

// The program moves the other lines of E's port on nearly every refresh;
// only a rise of E's own bit is a cycle, also after E moved to another bit
// of the port, and taking a configuration while E is high is none.
TEST_F(LcdBusTest, OnlyARiseOfEsOwnBitIsACycle) {
    program.init4Bit();
    ASSERT_EQ(panel.last(), "Initialization: OK");
    const size_t before = panel.statuses.size();
    // A scenario waiting for the panel looks again only when the state
    // count moved: it follows every cycle, configuration and reset, and
    // nothing else.
    uint64_t changes = bus.stateChanges();
    for (int v = 0; v < 256; ++v) regs.set(A.port, static_cast<uint8_t>(v & ~0x02));
    EXPECT_EQ(panel.statuses.size(), before);
    EXPECT_EQ(bus.stateChanges(), changes);

    LcdConfig moved = config;
    moved.enablePin = 0;
    regs.set(A.port, 0x09);  // RS (bit 3) and the new E high
    rewire(moved);
    EXPECT_GT(bus.stateChanges(), changes);
    changes = bus.stateChanges();
    regs.set(A.port, 0x0B);  // the former E bit rises
    regs.set(A.port, 0x0A);
    EXPECT_EQ(panel.statuses.size(), before);
    EXPECT_EQ(bus.stateChanges(), changes);
    regs.set(A.port, 0x0B);  // E rises, the former E bit held high
    EXPECT_EQ(panel.statuses.size(), before + 1);
    EXPECT_EQ(panel.last(), "Writing data [1/2]");
    EXPECT_EQ(bus.stateChanges(), changes + 1);
    updateRequest.set(7);  // the part was reset
    EXPECT_GT(bus.stateChanges(), changes + 1);
}

TEST_F(LcdBusTest, ProtocolCheckerFollowsTheDataSheetTimes) {
    StepClock clock;
    clock.mhz = 16;
    clock.now = 0xFFFFF000u;  // the count wraps during the run
    bus.setClock(&clock);
    const LcdProtocol& protocol = bus.controller().protocol();
    using Kind = LcdProtocol::Kind;

    // A correct 4-bit driver waiting fixed times (the initialisation
    // sequence's waits, then 37 us, 1.52 ms after Clear and Return home) and
    // one polling the busy flag both pass.
    clock.pass(15000);
    program.write(false, 0x3);
    clock.pass(4100);
    program.write(false, 0x3);
    clock.pass(100);
    program.write(false, 0x3);
    clock.pass(37);
    program.write(false, 0x2);
    uint8_t previous = 0x20;
    for (uint8_t c : {0x28, 0x08, 0x01, 0x06, 0x0C, 0x02}) {
        clock.pass(previous == 0x01 || previous == 0x02 ? 1520 : 37);
        program.command(c);
        previous = c;
    }
    clock.pass(1520);
    program.text("o");
    clock.pass(37);
    program.text("k");
    for (int c : {0x01, 0x80, int{'o'}, int{'k'}}) {
        program.readByte(false);  // busy flag read right after the last transfer
        program.writeByte(c >= 'a', static_cast<uint8_t>(c));
    }
    EXPECT_FALSE(protocol.warned());
    EXPECT_TRUE(panel.findings.empty());

    // Too early: the first finding is reported once with its cycle count;
    // later ones only count.
    program.readByte(false);
    program.command(0x01);
    clock.pass(1000);
    const uint32_t firstAt = clock.now;
    program.text("x");  // 1 ms after Clear display
    clock.pass(10);
    program.command(0x0C);  // 10 us after a data write
    EXPECT_EQ(protocol.finding(Kind::TooEarly).count, 2u);
    EXPECT_EQ(protocol.finding(Kind::TooEarly).firstCycle, firstAt);
    EXPECT_EQ(panel.findings, (std::vector<std::pair<Kind, bool>>{{Kind::TooEarly, true},
                                                                  {Kind::TooEarly, false}}));
    EXPECT_EQ(protocol.summary(), "Protocol: 2 too early from cycle " + std::to_string(firstAt));

    // A reset clears the findings. Each word of the sequence takes 37 us;
    // anything else before it is a transfer before initialisation (the
    // busy flag cannot be read then either).
    updateRequest.set(1);
    EXPECT_EQ(panel.protocolResets, 1);
    EXPECT_FALSE(protocol.warned());
    const uint32_t strayAt = clock.now;
    program.text("A");
    program.readByte(false);
    program.write(false, 0x3);
    program.write(false, 0x3);  // at once
    EXPECT_EQ(protocol.finding(Kind::BeforeInitialisation).count, 4u);
    EXPECT_EQ(protocol.finding(Kind::BeforeInitialisation).firstCycle, strayAt);
    EXPECT_EQ(protocol.finding(Kind::TooEarly).count, 1u);
    EXPECT_EQ(protocol.summary(), "Protocol: 1 too early from cycle " + std::to_string(clock.now) +
                                      "; 4 before initialisation from cycle " +
                                      std::to_string(strayAt));

    // An 8-bit driver that sends its Function set (0x38) four times, 37 us
    // apart, passes.
    rewireEightBitOnPortB();
    updateRequest.set(2);
    for (int i = 0; i < 4; ++i) {
        program.write(false, 0x38);
        clock.pass(37);
    }
    program.write(false, 0x01);
    clock.pass(1520);
    program.write(true, 'A');
    clock.pass(37);
    program.write(false, 0x02);
    EXPECT_TRUE(bus.controller().eightBit());
    EXPECT_FALSE(protocol.warned()) << protocol.summary();
}
