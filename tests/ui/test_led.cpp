// LED window: register modes, active low, settings OK versus Cancel.
#include <QApplication>
#include <QComboBox>
#include <QImage>

#include "components/digital/frm_LED.h"
#include "framework/DisplayRate.h"
#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class LedTest : public QuillUiTest {
protected:
    // OK in the settings dialog with the given port entry, pin and mode.
    void configure(frm_LED* led, int portEntry, int pin, bool ddrMode, bool activeLow) {
        configurePorts(led, {{ids::led::kPortCombo, portEntry}}, pin, ddrMode, activeLow);
    }
};

// Opened while the pin is already high, it shows it lit at once.
TEST_F(LedTest, DefaultWatchesPinA7ActiveHigh) {
    drive("PINA", 0x80);
    auto* led = open<frm_LED>(kCmdLed);
    ASSERT_NE(led, nullptr);
    EXPECT_TRUE(led->isLit());
    EXPECT_EQ(led->picture()->bitmapId(), bitmap::kLedLit);
    drive("PINA", 0x7F);
    EXPECT_FALSE(led->isLit());
    EXPECT_EQ(led->picture()->bitmapId(), bitmap::kLedDark);
    drive("PINA", 0x01);  // another pin of the port changes: stays dark
    EXPECT_FALSE(led->isLit());
    drive("PINB", 0x80);  // another port
    EXPECT_FALSE(led->isLit());
}

// During Run a light may change with nearly every refresh; the picture is
// repainted at the display's rate, and a grab before that repaint (a
// screenshot) still shows the latest state.
TEST_F(LedTest, AGrabShowsTheLatestLightBeforeTheFrameIsRepainted) {
    auto* led = open<frm_LED>(kCmdLed);
    QApplication::processEvents();
    const QImage dark = led->picture()->grab().toImage();
    for (int i = 0; i < 20; ++i) drive("PINA", i % 2 ? 0x80 : 0x00);
    ASSERT_TRUE(led->isLit());
    const QImage lit = led->picture()->grab().toImage();
    EXPECT_NE(lit, dark);
    DisplayRate::Flush();
    QApplication::processEvents();
    EXPECT_EQ(led->picture()->grab().toImage(), lit);
    drive("PINA", 0x00);
    EXPECT_EQ(led->picture()->grab().toImage(), dark);
}

// Showing the bitmap shown costs nothing, but a new pixmap under the same
// number (bitmaps loaded again for another screen) is shown.
TEST(PictureControlTest, ANewPixmapForTheSameNumberIsShown) {
    PictureControl picture(nullptr, 1);
    const QPixmap lit = LoadBitmap(bitmap::kLedLit);
    picture.setBitmap(bitmap::kLedLit, lit);
    const QImage before = picture.grab().toImage();
    picture.setBitmap(bitmap::kLedLit, QPixmap(lit));  // the same data
    EXPECT_EQ(picture.grab().toImage(), before);
    QPixmap other(lit.size());
    other.fill(Qt::red);
    picture.setBitmap(bitmap::kLedLit, other);
    EXPECT_NE(picture.grab().toImage(), before);
    EXPECT_EQ(picture.grab().toImage().pixelColor(0, 0), QColor(Qt::red));

    // Going back and forth between two pictures (as a light does) shows
    // each with its own size.
    QPixmap wide(lit.width() * 2, lit.height());
    wide.fill(Qt::blue);
    picture.setBitmap(bitmap::kLedLit, lit);
    picture.setBitmap(bitmap::kLedDark, wide);
    EXPECT_EQ(picture.size(), wide.size());
    picture.setBitmap(bitmap::kLedLit, lit);
    EXPECT_EQ(picture.size(), lit.size());
    EXPECT_EQ(picture.grab().toImage(), before);
    picture.setBitmap(bitmap::kLedDark, wide);
    EXPECT_EQ(picture.size(), wide.size());
    EXPECT_EQ(picture.grab().toImage().pixelColor(0, 0), QColor(Qt::blue));
}

// A picture changed many times in a frame waits once for its end, and
// once again in the next frame.
TEST(PictureControlTest, WaitsForTheEndOfTheFrameOncePerFrame) {
    PictureControl picture(nullptr, 1);
    const QPixmap lit = LoadBitmap(bitmap::kLedLit), dark = LoadBitmap(bitmap::kLedDark);
    DisplayRate::Flush();
    for (int i = 0; i < 5; ++i)
        picture.setBitmap(i % 2 ? bitmap::kLedDark : bitmap::kLedLit, i % 2 ? dark : lit);
    EXPECT_EQ(DisplayRate::Pending(), 1);
    DisplayRate::Flush();
    EXPECT_EQ(DisplayRate::Pending(), 0);
    picture.setBitmap(bitmap::kLedDark, dark);
    EXPECT_EQ(DisplayRate::Pending(), 1);
}

// Widgets wait once per frame each, however their requests interleave, and
// one gone before the frame ends is left out.
TEST(DisplayRateTest, WidgetsWaitOncePerFrameEach) {
    QWidget a;
    auto* b = new QWidget;
    DisplayRate::Waiting aWaits, bWaits;
    DisplayRate::Repaint(&a, aWaits);  // opens a frame if none is open
    DisplayRate::Flush();
    DisplayRate::Repaint(b, bWaits);
    DisplayRate::Repaint(b, bWaits);
    DisplayRate::Repaint(&a, aWaits);
    DisplayRate::Repaint(&a, aWaits);
    EXPECT_EQ(DisplayRate::Pending(), 2);
    EXPECT_TRUE(aWaits.waiting());
    DisplayRate::Flush();
    EXPECT_FALSE(aWaits.waiting());
    DisplayRate::Repaint(b, bWaits);
    delete b;
    DisplayRate::Flush();
    EXPECT_EQ(DisplayRate::Pending(), 0);
}

// The LED follows only its own pin; OK moves it to the new pin and shows
// that pin's state at once, also when it makes the LED active low.
TEST_F(LedTest, OkFollowsTheNewPinAtOnceAndThenItsChanges) {
    auto* led = open<frm_LED>(kCmdLed);
    drive("PINA", 0x01);
    EXPECT_FALSE(led->isLit());
    configure(led, 0, 0, false, false);
    EXPECT_TRUE(led->isLit());
    drive("PINA", 0x80);
    EXPECT_FALSE(led->isLit());
    drive("PINA", 0x81);
    EXPECT_TRUE(led->isLit());
    configure(led, 0, 0, false, true);  // active low: dark at once
    EXPECT_TRUE(led->activeLow());
    EXPECT_FALSE(led->isLit());
    EXPECT_EQ(led->picture()->bitmapId(), bitmap::kLedDark);
    drive("PINA", 0xFE);
    EXPECT_TRUE(led->isLit());
}

TEST_F(LedTest, DdrAndPortModeNeedsADrivenOutput) {
    auto* led = open<frm_LED>(kCmdLed);
    configure(led, 1, 3, true, false);  // entry 1 = PINB -> DDRB/PORTB
    EXPECT_TRUE(led->useDdrAndPort());
    EXPECT_EQ(led->pinAddress(), address("PORTB"));
    EXPECT_EQ(led->ddrAddress(), address("DDRB"));

    setIo("DDRB", 0x08);
    drive("PORTB", 0x08);
    EXPECT_TRUE(led->isLit());
    drive("DDRB", 0x00);  // pull-up on an input: dark
    EXPECT_FALSE(led->isLit());
    drive("DDRB", 0x08);  // either register updates the picture
    EXPECT_TRUE(led->isLit());
    drive("PORTB", 0x00);
    EXPECT_FALSE(led->isLit());

    // The PIN-mode observer is gone: PINA no longer reaches the LED.
    drive("PORTB", 0x08);
    drive("PINA", 0x00);
    drive("PINA", 0x80);
    EXPECT_TRUE(led->isLit());
    drive("PINA", 0x00);
    EXPECT_TRUE(led->isLit());

    // The dialog reopens on the chosen port and pin.
    QString shown;
    answerDialogs([&](QDialog* d) {
        shown = findControlAs<QComboBox>(d, ids::led::kPortCombo)->currentText();
        EXPECT_TRUE(findControlAs<QAbstractButton>(d, ids::port_settings::kPin0 + 3)->isChecked());
        clickControl(d, 2);
    });
    triggerMenu(led, menu::kSettingsCommand);
    EXPECT_EQ(shown, "PINB");
}

TEST_F(LedTest, CancelKeepsBindingAndDialogFields) {
    auto* led = open<frm_LED>(kCmdLed);
    int seenPin = -1;
    answerDialogs([&](QDialog* d) {
        // The dialog opens on "Pin 7" and the first port.
        seenPin =
            findControlAs<QAbstractButton>(d, ids::port_settings::kPin0 + 7)->isChecked() ? 7 : -1;
        EXPECT_EQ(findControlAs<QComboBox>(d, ids::led::kPortCombo)->currentText(), "PINA");
        selectComboIndex(d, ids::led::kPortCombo, 2);
        clickControl(d, ids::port_settings::kPin0);
        clickControl(d, ids::port_settings::kActiveLow);
        clickControl(d, 2);
    });
    triggerMenu(led, menu::kSettingsCommand);
    EXPECT_EQ(seenPin, 7);
    EXPECT_EQ(led->pin(), 7);
    EXPECT_FALSE(led->activeLow());
    EXPECT_EQ(led->pinAddress(), address("PINA"));
    EXPECT_EQ(led->settings()->port, 0);
    EXPECT_EQ(led->settings()->pin, 7);
    EXPECT_FALSE(led->settings()->activeLow);
    drive("PINA", 0x80);
    EXPECT_TRUE(led->isLit());
}

}  // namespace
