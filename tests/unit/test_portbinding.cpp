// Port and pin binding rules.
#include <gtest/gtest.h>

#include "framework/PortBinding.h"

namespace {

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

}  // namespace
