// The frame and rate a USART's registers set, on the parts where UBRRH and
// UCSRC share one address: small programs write the registers in every
// order (UBRRH first, UCSRC first, either alone, neither) through simavr's
// core, and the link's format, the program's reads of the shared address
// and the terminal's baud line follow the data sheet.
#include <gtest/gtest.h>

#include <QApplication>

#include "host/instruments/Probes.h"
#include "host/instruments/TerminalDock.h"
#include "host/sim/SimTarget.h"
#include "tests/support/TestFiles.h"

extern "C" {
#include <sim_avr.h>
}

using namespace quill::instruments;
using quill::sim::SimTarget;

namespace {

// I/O addresses (data address - 0x20) of the ATmega8/16/32's USART.
constexpr uint8_t kUbrrhUcsrc = 0x20, kUcsra = 0x0B, kUcsrb = 0x0A, kUbrrl = 0x09;
constexpr uint8_t kUrsel = 0x80, kU2x = 0x02, kTxen = 0x08;

uint16_t ldi(int reg, uint8_t k) {
    return static_cast<uint16_t>(0xE000 | ((k & 0xF0) << 4) | ((reg - 16) << 4) | (k & 0x0F));
}
uint16_t out(uint8_t io, int reg) {
    return static_cast<uint16_t>(0xB800 | ((io & 0x30) << 5) | (reg << 4) | (io & 0x0F));
}
uint16_t in(int reg, uint8_t io) {
    return static_cast<uint16_t>(0xB000 | ((io & 0x30) << 5) | (reg << 4) | (io & 0x0F));
}
constexpr uint16_t kNop = 0x0000, kStay = 0xCFFF;  // rjmp .-2

struct Write {
    uint8_t io, value;
};

// A program that makes the writes, then reads the shared address twice in
// a row (r17, r18) and once more after a pause (r19), and stays.
quill::sim::FirmwareImage program(const std::vector<Write>& writes) {
    std::vector<uint16_t> words;
    for (const Write& w : writes) {
        words.push_back(ldi(16, w.value));
        words.push_back(out(w.io, 16));
    }
    for (uint16_t word : {in(17, kUbrrhUcsrc), in(18, kUbrrhUcsrc), kNop, in(19, kUbrrhUcsrc), kStay})
        words.push_back(word);
    quill::sim::MemoryChunk chunk;
    for (uint16_t word : words) {
        chunk.bytes.push_back(static_cast<uint8_t>(word));
        chunk.bytes.push_back(static_cast<uint8_t>(word >> 8));
    }
    quill::sim::FirmwareImage image;
    image.flash.push_back(chunk);
    return image;
}

struct Program {
    SimTarget target;
    std::vector<std::unique_ptr<UsartLink>> links;
    Program(const char* part, const std::vector<Write>& writes) : target(part) {
        target.loadImage(program(writes), "writes.hex");
        links = connectUsarts(target);
        target.runUntilCycle(200);
    }
    UsartLink& link() { return *links.front(); }
    uint8_t reg(int n) { return target.core()->data[n]; }
};

struct Order {
    const char* name;
    std::vector<Write> writes;
    unsigned ubrr;
    bool doubleSpeed;
    int dataBits;
    bool parity;
    int stopBits;
    uint8_t ubrrh, ucsrc;  // as the program reads them
};

const std::vector<Order>& orders() {
    // 7 data bits, even parity, 2 stop bits: URSEL | UPM1 | USBS | UCSZ1.
    constexpr uint8_t k7E2 = kUrsel | 0x20 | 0x08 | 0x04;
    static const std::vector<Order> all = {
        // avr-libc's stdiodemo at 1 MHz: UBRRL and U2X only.
        {"neither", {{kUcsra, kU2x}, {kUbrrl, 12}}, 12, true, 8, false, 1, 0x00, 0x86},
        {"UBRRH first", {{kUbrrhUcsrc, 0x01}, {kUbrrl, 0xA0}, {kUbrrhUcsrc, k7E2}},
         0x1A0, false, 7, true, 2, 0x01, k7E2},
        {"UCSRC first", {{kUbrrhUcsrc, k7E2}, {kUbrrhUcsrc, 0x01}, {kUbrrl, 0xA0}},
         0x1A0, false, 7, true, 2, 0x01, k7E2},
        {"UBRRH alone", {{kUbrrhUcsrc, 0x02}, {kUbrrl, 0x07}}, 0x207, false, 8, false, 1, 0x02, 0x86},
        // UCSZ0 only: 6 data bits; UBRRH stays 0 whatever the byte's low bits.
        {"UCSRC alone", {{kUbrrhUcsrc, kUrsel | 0x02}, {kUbrrl, 25}}, 25, false, 6, false, 1, 0x00,
         kUrsel | 0x02},
    };
    return all;
}

}  // namespace

TEST(UsartFormat, EveryWriteOrderOfTheSharedAddressGivesTheDataSheetsRegisters) {
    for (const char* part : {"ATmega16", "ATmega8", "ATmega32"}) {
        for (const Order& order : orders()) {
            SCOPED_TRACE(std::string(part) + ", " + order.name);
            Program run(part, order.writes);
            ASSERT_EQ(run.links.size(), 1u);
            const UsartFormat f = run.link().format();
            EXPECT_EQ(f.ubrr, order.ubrr);
            EXPECT_EQ(f.doubleSpeed, order.doubleSpeed);
            EXPECT_EQ(f.dataBits, order.dataBits);
            EXPECT_EQ(f.parity, order.parity);
            EXPECT_EQ(f.stopBits, order.stopBits);
            EXPECT_DOUBLE_EQ(run.link().baud(),
                             1e6 / ((order.doubleSpeed ? 8.0 : 16.0) * (order.ubrr + 1)));
            // A read gives UBRRH; one in the very next cycle UCSRC.
            EXPECT_EQ(run.reg(17), order.ubrrh);
            EXPECT_EQ(run.reg(18), order.ucsrc);
            EXPECT_EQ(run.reg(19), order.ubrrh);
        }
    }
}

TEST(UsartFormat, TheStdiodemosRateIs9600AtOneAndEightMegahertz) {
    // 1 MHz: UBRRL 12 with U2X; 8 MHz: UBRRL 51 without. Neither writes
    // UBRRH or UCSRC, so the shared byte's reset content must not count.
    Program slow("ATmega16", {{kUcsra, kU2x}, {kUbrrl, 12}, {kUcsrb, 0x18}});
    EXPECT_NEAR(slow.link().baud(), 9615.4, 0.1);
    EXPECT_EQ(slow.link().format().frameCycles(), 1040u);
    Program fast("ATmega8", {{kUbrrl, 51}, {kUcsrb, 0x18}});
    fast.target.setFrequency(8000000);
    EXPECT_NEAR(fast.link().baud(), 9615.4, 0.1);
    EXPECT_EQ(fast.link().format().frameCycles(), 8320u);
}

TEST(UsartFormat, AResetBringsBackTheResetValuesAndForgetsTheEnable) {
    Program run("ATmega16", {{kUbrrhUcsrc, 0x03}, {kUbrrhUcsrc, kUrsel | 0x30 | 0x06}, {kUcsrb, kTxen}});
    EXPECT_EQ(run.link().format().ubrr, 0x300u);
    EXPECT_TRUE(run.link().format().parity);
    EXPECT_TRUE(run.link().enabledByProgram());
    run.target.reset();
    const UsartFormat f = run.link().format();
    EXPECT_EQ(f.ubrr, 0u);
    EXPECT_EQ(f.dataBits, 8);
    EXPECT_FALSE(f.parity);
    EXPECT_FALSE(run.link().enabledByProgram()) << "simavr's own TXEN at reset does not count";
}

TEST(TerminalDock, WarnsOfTheRateOnlyOnceTheProgramEnabledTheUsart) {
    // The LCD demo never touches the USART: its reset rate is no fault.
    REQUIRE_FIRMWARE("lcd_demo.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(testfiles::BuiltFirmware("lcd_demo.elf"));
    auto links = connectUsarts(target);
    TerminalDock dock(0, nullptr);
    dock.attach(links.front().get());
    target.runUntilCycle(100000);
    dock.catchUp();
    EXPECT_FALSE(dock.baudWarning());
    EXPECT_TRUE(dock.baudText().startsWith("USART off")) << dock.baudText().toStdString();

    // UBRR 0 at 1 MHz is 62500 baud, 8.5 % from 57600: a warning once
    // the transmitter is on.
    Program run("ATmega16", {{kUcsrb, kTxen}});
    dock.attach(&run.link());
    EXPECT_TRUE(dock.baudWarning());
    EXPECT_TRUE(dock.baudText().startsWith("Warning: 62500 baud (UBRR 0)"))
        << dock.baudText().toStdString();
}
