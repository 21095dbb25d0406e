// Port and pin binding rules and the registered window message numbers.
#include <gtest/gtest.h>

#include "framework/PortBinding.h"
#include "platform/messages.h"

namespace {

std::vector<std::string> ports16() {
    // As the core returns them for a part with ports A to D: sorted.
    return {"DDRA", "DDRB", "DDRC",  "DDRD",  "PINA",  "PINB",
            "PINC", "PIND", "PORTA", "PORTB", "PORTC", "PORTD"};
}

int fakeAddress(const std::string& name) {
    // PINx/DDRx/PORTx of port A at 0x19/0x1A/0x1B, each further port 3 lower.
    const int port = name.back() - 'A';
    const int base = 0x19 - 3 * port;
    if (name.rfind("PIN", 0) == 0) return base;
    if (name.rfind("DDR", 0) == 0) return base + 1;
    return base + 2;
}

TEST(PortTables, ListsMatchingNamesInOrderAndMapsEveryName) {
    PortTables pin = BuildPortTables(ports16(), "PIN", fakeAddress);
    EXPECT_EQ(pin.list, (std::vector<std::string>{"PINA", "PINB", "PINC", "PIND"}));
    EXPECT_EQ(pin.map.size(), 12u);
    EXPECT_EQ(pin.map.lookup("PORTC"), 0x15);
    EXPECT_EQ(pin.map.lookup("DDRB"), 0x17);

    PortTables port = BuildPortTables(ports16(), "PORT", fakeAddress);
    EXPECT_EQ(port.list, (std::vector<std::string>{"PORTA", "PORTB", "PORTC", "PORTD"}));

    // Rebuilding from the same names gives each name once.
    PortTables again = BuildPortTables(ports16(), "PIN", fakeAddress);
    EXPECT_EQ(again.list, pin.list);
    EXPECT_EQ(again.map.entries(), pin.map.entries());
}

TEST(PortMap, UnknownNameBindsToRegisterZeroAndIsRemembered) {
    PortMap map;
    map.insert("PINB", 0x16);
    EXPECT_EQ(map.lookup("PINA"), 0);
    EXPECT_TRUE(map.contains("PINA"));
    EXPECT_EQ(map.lookup("PINB"), 0x16);
    map.insert("PINB", 0x10);  // an existing name keeps its first index
    EXPECT_EQ(map.lookup("PINB"), 0x16);
}

TEST(PortLetter, TakenFromTheListedNameNotFromThePosition) {
    // A part without port A lists PINB first: the first entry is port B.
    const std::vector<std::string> mega8{"PINB", "PINC", "PIND"};
    EXPECT_EQ(PortLetter(mega8, 0), 'B');
    EXPECT_EQ(PortLetter(mega8, 2), 'D');
    EXPECT_EQ(PortLetter({"PORTA", "PORTB"}, 1), 'B');
    // No list yet (no part known): 'A' + position; no selection counts as 0.
    EXPECT_EQ(PortLetter({}, 2), 'C');
    EXPECT_EQ(PortLetter({}, -1), 'A');
    EXPECT_EQ(PortLetter(mega8, 7), 'H');
    EXPECT_EQ(PortRegisterName("DDR", 'C'), "DDRC");
}

TEST(OutputLevel, PinModeReadsPinDdrModeNeedsDrivenOutput) {
    EXPECT_EQ(OutputLevel(UsePin, 0x5A, 0x00, 0xFF), 0x5A);
    // Output driven high on bit 3 only where DDR is set too.
    EXPECT_EQ(OutputLevel(UseDdrAndPort, 0xFF, 0x08, 0x08), 0x08);
    // Pull-up on an input counts as low.
    EXPECT_EQ(OutputLevel(UseDdrAndPort, 0xFF, 0x00, 0x08), 0x00);
    EXPECT_EQ(OutputLevel(UseDdrAndPort, 0x00, 0x0F, 0xFF), 0x0F);
}

TEST(PinLit, ActiveHighAndActiveLow) {
    EXPECT_TRUE(PinLit(0x80, 7, false));
    EXPECT_FALSE(PinLit(0x7F, 7, false));
    EXPECT_FALSE(PinLit(0x01, 7, false));
    EXPECT_TRUE(PinLit(0xFE, 0, true));
    EXPECT_FALSE(PinLit(0x01, 0, true));
    // Out-of-range pins are limited to 0..7 instead of shifting past the byte.
    EXPECT_TRUE(PinLit(0x80, 12, false));
    EXPECT_TRUE(PinLit(0x01, -3, false));
}

TEST(InputWrite, WritesInputsOnlyAndChangesOnlyTheBit) {
    EXPECT_EQ(InputWrite(UsePin, 0, true, 0x00, 0xFF), 0x01);  // DDR ignored in PIN mode
    EXPECT_EQ(InputWrite(UsePin, 7, false, 0xFF, 0x00), 0x7F);
    // DDR mode: an input pin (DDR bit 0) with pull-up is written.
    EXPECT_EQ(InputWrite(UseDdrAndPort, 3, true, 0x10, 0x00), 0x18);
    // An output pin is never written.
    EXPECT_FALSE(InputWrite(UseDdrAndPort, 3, true, 0x10, 0x08).has_value());
    EXPECT_EQ(InputWrite(UseDdrAndPort, 3, false, 0x18, 0xF7), 0x10);
}

TEST(RegisteredMessages, SameNameSameNumberFromC000) {
    const uint32_t blink = RegisterWindowMessage("BLINKCURSOR");
    const uint32_t status = RegisterWindowMessage("WM_CHANGESTATUSBAR");
    EXPECT_GE(blink, kFirstRegisteredMessage);
    EXPECT_GE(status, kFirstRegisteredMessage);
    EXPECT_NE(blink, status);
    EXPECT_EQ(RegisterWindowMessage("BLINKCURSOR"), blink);
    EXPECT_EQ(RegisterWindowMessage("WM_CHANGESTATUSBAR"), status);
    EXPECT_NE(RegisterWindowMessage("blinkcursor"), blink);  // names are case-sensitive
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
}

}  // namespace
