// Knight Rider window: the bar follows a whole port, the switch writes PINy.
#include "components/digital/frm_Knightrider.h"
#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class KnightRiderTest : public QuillUiTest {
protected:
    // Which segments are lit, leftmost (bit 7) first.
    std::string litPattern(frm_Knightrider* kr) {
        std::string pattern;
        for (int id = ids::knightrider::kFirstSegment; id <= ids::knightrider::kFirstSegment + 7;
             ++id) {
            auto* segment = findControlAs<PictureControl>(kr, id);
            pattern += segment && segment->bitmapId() == bitmap::kSegmentLit ? '1' : '0';
        }
        return pattern;
    }
    void configure(frm_Knightrider* kr, int output, int input, int pin, bool ddrMode) {
        configurePorts(kr,
                       {{ids::knightrider::kOutputPortCombo, output},
                        {ids::knightrider::kInputPortCombo, input}},
                       pin, ddrMode, std::nullopt);
    }
};

TEST_F(KnightRiderTest, DefaultBarFollowsPortA) {
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    ASSERT_NE(kr, nullptr);
    EXPECT_TRUE(host().services().HasText("Start."));
    EXPECT_EQ(litPattern(kr), "00000000");
    drive("PORTA", 0x81);
    EXPECT_EQ(litPattern(kr), "10000001");
    drive("PORTA", 0x01);
    EXPECT_EQ(litPattern(kr), "00000001");
    EXPECT_EQ(kr->segment(0), findControl(kr, ids::knightrider::kFirstSegment + 7));
}

TEST_F(KnightRiderTest, DdrModeShowsDrivenOutputsOfTheChosenPort) {
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    setIo("PORTB", 0xFF);
    drive("DDRB", 0x0F);
    configure(kr, 1, 2, 1, true);  // bar on port B, switch on PINC pin 1
    EXPECT_EQ(kr->outputAddress(), address("PORTB"));
    EXPECT_EQ(kr->outputDdrAddress(), address("DDRB"));
    EXPECT_EQ(litPattern(kr), "00001111");
    drive("DDRB", 0xFF);
    EXPECT_EQ(litPattern(kr), "11111111");
    // The PORTA watcher of the former mode is gone.
    drive("PORTA", 0x00);
    EXPECT_EQ(litPattern(kr), "11111111");
}

TEST_F(KnightRiderTest, DdrModeSwitchOnAnOutputPinDoesNothing) {
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    drive("DDRC", 0x02);
    configure(kr, 0, 2, 1, true);
    const int writes = ioWrites();
    leftClick(kr->switchPicture());
    leftClick(kr->switchPicture());
    EXPECT_EQ(io("PINC"), 0x00);
    EXPECT_EQ(ioWrites(), writes);
    EXPECT_EQ(kr->switchPicture()->bitmapId(), bitmap::kSwitchOff);

    drive("DDRC", 0x00);
    leftClick(kr->switchPicture());
    EXPECT_EQ(io("PINC"), 0x02);
    EXPECT_EQ(kr->switchPicture()->bitmapId(), bitmap::kSwitchOn);
}

}  // namespace
