// The components' binding to ports through the core: defaults on a part
// without port A, unknown names, refills on UpdateRequest and on a change
// of part.
#include <algorithm>

#include "framework/PinBinding.h"
#include "tests/unit/test_core_fixture.h"

namespace {

std::string PortsBCD() {
    return Reg("TWBR", "$00") + Reg("PIND", "$10") + Reg("DDRD", "$11") + Reg("PORTD", "$12") +
           Reg("PINC", "$13") + Reg("DDRC", "$14") + Reg("PORTC", "$15") + Reg("PINB", "$16") +
           Reg("DDRB", "$17") + Reg("PORTB", "$18");
}
// Like an ATmega16: ports A to D.
std::string Mega16() {
    return PartXml(PortsBCD() + Reg("PINA", "$19") + Reg("DDRA", "$1A") + Reg("PORTA", "$1B"));
}
// Like an ATmega8: ports B to D, and TWBR at register 0.
std::string Mega8() { return PartXml(PortsBCD()); }

class PinBindingTest : public CoreTest {
protected:
    uint8_t io(int index) { return view->IORegister(index)->get(); }
    bool logged(const std::string& text) {
        return std::any_of(services().messages.begin(), services().messages.end(),
                           [&](const auto& m) { return m.text.find(text) != std::string::npos; });
    }
};

TEST_F(PinBindingTest, DefaultsTakeTheFirstListedPortWhenThePartHasNoPortA) {
    Session("ATmega8", Mega8());
    Refresh();  // registers notify from the first refresh on
    PortRegisters pins(view, "PIN", "frm_Test");
    pins.refresh();
    EXPECT_EQ(pins.list(), (std::vector<std::string>{"PINB", "PINC", "PIND"}));
    EXPECT_EQ(pins.letterAt(0), 'B');
    EXPECT_EQ(pins.defaultLetter('A'), 'B');
    EXPECT_EQ(pins.defaultLetter('C'), 'C');

    int changes = 0;
    OutputPort led([&] { ++changes; });
    ASSERT_TRUE(led.bindDefault(pins, 'A', UsePin));
    EXPECT_EQ(led.choice().letter, 'B');
    EXPECT_EQ(led.levelIndex(), 0x16);
    view->IORegister(0x16)->set(0x80);
    EXPECT_EQ(led.level(), 0x80);
    EXPECT_GE(changes, 2);  // once on binding, once on the change

    InputPin lever;
    ASSERT_TRUE(lever.bindDefault(pins, 'A', UsePin));
    auto flipped = lever.toggle(0);
    ASSERT_TRUE(flipped);
    EXPECT_TRUE(flipped->level);
    EXPECT_TRUE(flipped->written);
    EXPECT_EQ(io(0x16), 0x81);
    EXPECT_EQ(io(0), 0x00);  // TWBR never touched
}

TEST_F(PinBindingTest, ARegisterThePartLacksIsNeverRegisterZero) {
    Session("ATmega8", Mega8());
    PortRegisters pins(view, "PIN", "frm_Test");
    pins.refresh();
    EXPECT_EQ(pins.index("PINA"), -1);
    EXPECT_EQ(pins.subject("PIN", 'A'), nullptr);
    EXPECT_TRUE(logged("The selected part has no PINA; not connected."));

    OutputPort led([] {});
    EXPECT_FALSE(led.bind(pins, 'A', UsePin));
    EXPECT_FALSE(led.bound());
    EXPECT_EQ(led.level(), 0);
    EXPECT_EQ(led.levelIndex(), -1);

    InputPin lever;
    EXPECT_FALSE(lever.bind(pins, 'A', UsePin));
    EXPECT_FALSE(lever.toggle(0));
    EXPECT_FALSE(lever.write(0, true));
    EXPECT_EQ(io(0), 0x00);
}

TEST_F(PinBindingTest, DdrAndPortModeWatchesBothAndWritesInputsOnly) {
    Session("ATmega16", Mega16());
    Refresh();
    PortRegisters pins(view, "PIN", "frm_Test");
    pins.refresh();
    int changes = 0;
    OutputPort led([&] { ++changes; });
    ASSERT_TRUE(led.bind(pins, 'B', UseDdrAndPort));
    EXPECT_EQ(led.levelIndex(), 0x18);
    EXPECT_EQ(led.ddrIndex(), 0x17);
    changes = 0;
    view->IORegister(0x18)->set(0x08);  // pull-up on an input: low
    EXPECT_EQ(led.level(), 0x00);
    view->IORegister(0x17)->set(0x08);  // now an output driven high
    EXPECT_EQ(led.level(), 0x08);
    EXPECT_EQ(changes, 2);

    InputPin lever;
    ASSERT_TRUE(lever.bind(pins, 'B', UseDdrAndPort));
    auto flipped = lever.toggle(3);  // an output: nothing written
    ASSERT_TRUE(flipped);
    EXPECT_FALSE(flipped->written);
    EXPECT_EQ(io(0x16), 0x00);
    EXPECT_TRUE(lever.write(2, true));  // an input
    EXPECT_EQ(io(0x16), 0x04);
}

// An LED shows one pin of a busy port: only a change of its own bit, in
// either register of UseDdrAndPort, calls it; binding anew (another pin)
// still shows the present state at once.
TEST_F(PinBindingTest, OnlyChangesOfTheBitsOfInterestCallTheComponent) {
    Session("ATmega16", Mega16());
    Refresh();
    PortRegisters pins(view, "PIN", "frm_Test");
    pins.refresh();
    int changes = 0;
    OutputPort led([&] { ++changes; });
    led.setInterest(0x08);
    ASSERT_TRUE(led.bind(pins, 'B', UseDdrAndPort));
    EXPECT_EQ(changes, 1);
    view->IORegister(0x18)->set(0xF7);  // PORTB: every other bit
    view->IORegister(0x17)->set(0x01);  // DDRB: another bit
    EXPECT_EQ(changes, 1);
    view->IORegister(0x17)->set(0x09);  // DDRB bit 3
    EXPECT_EQ(changes, 2);
    view->IORegister(0x18)->set(0xFF);  // PORTB bit 3
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(led.level(), 0x09);

    led.setInterest(0x01);
    ASSERT_TRUE(led.bind(pins, 'B', UseDdrAndPort));
    EXPECT_EQ(changes, 4);
    view->IORegister(0x18)->set(0xF7);  // bit 3 is no longer of interest
    EXPECT_EQ(changes, 4);
    view->IORegister(0x18)->set(0xF6);
    EXPECT_EQ(changes, 5);
}

TEST_F(PinBindingTest, RefillsOnUpdateRequestAndFollowsAChangeOfPart) {
    Session("ATmega16", Mega16());
    PortRegisters pins(view, "PIN", "frm_Test");
    OutputPort defaulted([] {});
    OutputPort chosen([] {});
    int refills = 0;
    pins.follow([&] {
        ++refills;
        defaulted.rebind(pins);
        chosen.rebind(pins);
    });
    EXPECT_EQ(refills, 1);
    ASSERT_TRUE(defaulted.bindDefault(pins, 'A', UsePin));
    ASSERT_TRUE(chosen.bind(pins, 'C', UsePin));
    EXPECT_EQ(defaulted.levelIndex(), 0x19);

    // A reset (event 18) refills the list once; names stay unique.
    view->HandleEvent(kEventPartReset, nullptr);
    EXPECT_EQ(refills, 2);
    EXPECT_EQ(pins.list().size(), 4u);

    // The host starts debugging an ATmega8 (PINC moved in this made-up
    // description): the core asks the components to follow; the default
    // binding takes the first port of the new part, the chosen one keeps
    // its port at the new address.
    WritePart("ATmega8", PartXml(Reg("PINB", "$16") + Reg("DDRB", "$17") + Reg("PORTB", "$18") +
                                 Reg("PINC", "$03") + Reg("DDRC", "$04") + Reg("PORTC", "$05")));
    view->HandleEvent(kEventSessionEnded, nullptr);
    StartDebugging("ATmega8");
    EXPECT_EQ(refills, 3);
    EXPECT_EQ(pins.list(), (std::vector<std::string>{"PINB", "PINC"}));
    EXPECT_EQ(defaulted.choice().letter, 'B');
    EXPECT_EQ(defaulted.levelIndex(), 0x16);
    EXPECT_EQ(chosen.choice().letter, 'C');
    EXPECT_EQ(chosen.levelIndex(), 0x03);
}

}  // namespace
