// Switch window: clicks write PINx and the whole I/O space, register modes,
// active low, settings.
#include "components/digital/frm_Switch.h"
#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class SwitchTest : public QuillUiTest {
protected:
    void configure(frm_Switch* sw, int portEntry, int pin, bool ddrMode, bool activeLow,
                   bool ok = true) {
        configurePorts(sw, {{ids::sw::kPortCombo, portEntry}}, pin, ddrMode, activeLow, ok);
    }
};

TEST_F(SwitchTest, ClicksToggleBit0OfPinAAndWriteOnlyPinA) {
    auto* sw = open<frm_Switch>(kCmdSwitch);
    ASSERT_NE(sw, nullptr);
    setIo("PORTC", 0x5A);  // an unrelated byte the write must carry along
    refresh();
    EXPECT_EQ(sw->picture()->bitmapId(), bitmap::kSwitchOff);
    const int writesBefore = ioWrites();

    leftClick(sw->picture());
    EXPECT_EQ(sw->picture()->bitmapId(), bitmap::kSwitchOn);
    EXPECT_EQ(io("PINA"), 0x01);
    EXPECT_EQ(io("PORTC"), 0x5A);
    EXPECT_EQ(ioWrites(), writesBefore + 1);
    const auto& last = host().target().writes.back();
    EXPECT_EQ(last.bytes.size(), 1u);  // the one register, not the I/O space

    leftClick(sw->picture());
    EXPECT_EQ(sw->picture()->bitmapId(), bitmap::kSwitchOff);
    EXPECT_EQ(io("PINA"), 0x00);
}

TEST_F(SwitchTest, StartsFromThePresentPinLevel) {
    auto* sw = open<frm_Switch>(kCmdSwitch);
    drive("PINA", 0x81);
    // The simulator's change does not move the lever.
    EXPECT_EQ(sw->picture()->bitmapId(), bitmap::kSwitchOff);
    leftClick(sw->picture());
    EXPECT_EQ(io("PINA"), 0x80);
    EXPECT_EQ(sw->picture()->bitmapId(), bitmap::kSwitchOff);
}

TEST_F(SwitchTest, ActiveLowShowsRedWhenTheBitIsSet) {
    auto* sw = open<frm_Switch>(kCmdSwitch);
    // Closing the dialog flips the pin once: 0 -> 1 with active low -> red.
    configure(sw, 0, 0, false, true);
    EXPECT_TRUE(sw->activeLow());
    EXPECT_EQ(io("PINA"), 0x01);
    EXPECT_EQ(sw->picture()->bitmapId(), bitmap::kSwitchOff);
    leftClick(sw->picture());
    EXPECT_EQ(io("PINA"), 0x00);
    EXPECT_EQ(sw->picture()->bitmapId(), bitmap::kSwitchOn);
}

TEST_F(SwitchTest, DdrModeWritesInputsOnly) {
    auto* sw = open<frm_Switch>(kCmdSwitch);
    drive("DDRB", 0x04);
    configure(sw, 1, 2, true, false);  // PINB pin 2, an output
    EXPECT_TRUE(sw->useDdrAndPort());
    const int writes = ioWrites();
    EXPECT_EQ(io("PINB"), 0x00);
    leftClick(sw->picture());
    EXPECT_EQ(io("PINB"), 0x00);
    EXPECT_EQ(ioWrites(), writes);
}

TEST_F(SwitchTest, CancelStillFlipsTheBoundPinOnce) {
    auto* sw = open<frm_Switch>(kCmdSwitch);
    configure(sw, 2, 6, false, false, /*ok=*/false);
    EXPECT_EQ(io("PINA"), 0x01);  // old binding: PINA pin 0
    EXPECT_EQ(io("PINC"), 0x00);
    EXPECT_EQ(sw->pin(), 0);
    configure(sw, 2, 6, false, false, /*ok=*/true);
    EXPECT_EQ(io("PINC"), 0x40);
    EXPECT_EQ(io("PINA"), 0x01);
}

}  // namespace
