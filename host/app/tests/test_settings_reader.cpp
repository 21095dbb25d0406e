// Reading a settings dialog gives the text of a `settings` line that, given
// to a fresh window, makes the same dialog: for every component with
// settings and both pages of the plug-in's Settings sheet.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QWindow>
#include <filesystem>
#include <map>

#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/ui/MainWindow.h"
#include "host/app/tests/ModuleHost.h"
#include "host/workbench/SettingsReader.h"
#include "contract/ResourceIds.h"

namespace {

namespace sc = quill::scenario;

struct SettingsReader : ::testing::Test {
    std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
    std::string firmware = std::string(QUILL_BINARY_DIR) + "/firmware/lcd_demo.elf";

    void SetUp() override {
        if (!std::filesystem::exists(module)) GTEST_SKIP() << "module not built";
    }

    // A host debugging the LCD demo on an ATmega16 (ports A to D) with one
    // window of every kind that has settings.
    std::unique_ptr<MainWindow> host() {
        auto window = ModuleHost(module, firmware);
        QString why;
        EXPECT_TRUE(window->startDebugging(&why)) << why.toStdString();
        for (const char* id : {"LD", "SW", "KN", "KP", "LCD", "AD", "CM", "BB"})
            EXPECT_TRUE(OpenComponent(*window, id, &why)) << id << ": " << why.toStdString();
        QApplication::processEvents();
        return window;
    }

    static std::string read(MainWindow& window, const QString& name) {
        QString why;
        std::optional<std::string> text = driver::readSettings(window, name, &why);
        EXPECT_TRUE(text) << name.toStdString() << ": " << why.toStdString();
        return text.value_or("");
    }
};

// Values other than every default, written as the reader writes them.
const std::map<QString, std::string> kOddSettings = {
    {"LED", "port=C pin=5 mode=ddrport activelow=1"},
    {"Switch", "port=D pin=6 mode=pin activelow=1"},
    {"Knightrider", "output=C input=A pin=7 mode=ddrport"},
    {"Keypad", "wiring=pins cols=PA0,PD1,PA2 rows=PC4,PB5,PC6,PC7"},
    {"Hitachi LCD",
     "size=20 lines=4 zoom=3 bits=8 pinreg=1 trace=0 data=C nibble=low e=PD5 rs=PB1 rw=PA6"},
    {"Slider", "channel=5 reference=internal"},
    {"Capacity Measurement", "port=B pin=6 capacitance=470"},
    {"Beerbasement", "heater=PC3 cooler=PC4 status=PD7 mode=pin channel=6"},
    {"electrical", "vcc=4.50 avcc=4.40 vref=2.20 aref=3.30 extaref=0"},
    {"general", "warnings=off"},
};

TEST_F(SettingsReader, ReadSettingsGiveTheSameDialogInAFreshWindow) {
    std::map<QString, std::string> first;
    {
        auto window = host();
        for (const auto& [name, text] : kOddSettings) {
            QString why;
            ASSERT_TRUE(driver::applySettings(*window, name, text, &why))
                << name.toStdString() << ": " << why.toStdString();
            first[name] = read(*window, name);
            // Every key comes back as it was set, and nothing else is lost.
            EXPECT_EQ(first[name], text) << name.toStdString();
        }
    }
    auto fresh = host();
    for (const auto& [name, text] : first) {
        EXPECT_NE(read(*fresh, name), text) << name.toStdString() << " starts with the odd values";
        QString why;
        ASSERT_TRUE(driver::applySettings(*fresh, name, text, &why))
            << name.toStdString() << ": " << why.toStdString();
        EXPECT_EQ(read(*fresh, name), text) << name.toStdString();
    }
}

// A Switch flips its pin whenever its dialog closes, Cancel too: reading
// flips it back; applying flips it as a user's OK does, unless asked not to.
TEST_F(SettingsReader, ReadingASwitchLeavesItsPinAsItWas) {
    auto window = host();
    QWidget* lever = driver::findControl(driver::findForm(*window, "Switch"), ids::sw::kPicture);
    ASSERT_TRUE(lever);
    EXPECT_EQ(driver::bitmapIdOf(lever), bitmap::kSwitchOff);
    read(*window, "Switch");
    EXPECT_EQ(driver::bitmapIdOf(lever), bitmap::kSwitchOff);
    QString why;
    ASSERT_TRUE(driver::applySettings(*window, "Switch", "pin=1", &why)) << why.toStdString();
    EXPECT_EQ(driver::bitmapIdOf(lever), bitmap::kSwitchOn);
    // The lever shows the pin it is bound to: PINA bit 2 still low, bit 1
    // still high.
    ASSERT_TRUE(driver::applySettings(*window, "Switch", "pin=2", &why, true)) << why.toStdString();
    EXPECT_EQ(driver::bitmapIdOf(lever), bitmap::kSwitchOff);
    ASSERT_TRUE(driver::applySettings(*window, "Switch", "pin=1", &why, true)) << why.toStdString();
    EXPECT_EQ(driver::bitmapIdOf(lever), bitmap::kSwitchOn);
}

TEST_F(SettingsReader, BadSettingsAreRefusedWithTheReasonAndChangeNothing) {
    auto window = host();
    const std::string before = read(*window, "LED");
    QString why;
    EXPECT_FALSE(driver::applySettings(*window, "LED", "port=C pin=9", &why));
    EXPECT_TRUE(why.contains("pin")) << why.toStdString();
    EXPECT_FALSE(driver::applySettings(*window, "LED", "colour=red", &why));
    EXPECT_TRUE(why.contains("unknown setting \"colour\"")) << why.toStdString();
    // A port this part does not have: the dialog does not offer it.
    EXPECT_FALSE(driver::applySettings(*window, "LED", "port=F", &why));
    EXPECT_TRUE(why.contains("not offered")) << why.toStdString();
    // Text smuggling a second command in is not one settings line.
    EXPECT_FALSE(driver::applySettings(*window, "LED", "pin=1\nreset", &why));
    EXPECT_EQ(read(*window, "LED"), before);

    // The keypad's pins: a port the part lacks, and one pin for two lines.
    EXPECT_FALSE(driver::applySettings(*window, "Keypad", "cols=F0,A1,A2", &why));
    EXPECT_TRUE(why.contains("PF0 is not offered")) << why.toStdString();
    EXPECT_FALSE(driver::applySettings(*window, "Keypad", "rows=PD7,B2,B1,B0", &why));
    EXPECT_TRUE(why.contains("PD7 is both column 0 and row 0")) << why.toStdString();
    EXPECT_EQ(read(*window, "Keypad"), "");  // the fixed wiring
    ASSERT_TRUE(OpenComponent(*window, "STV", &why)) << why.toStdString();
    EXPECT_FALSE(driver::readSettings(*window, "Stackview++", &why));
    EXPECT_TRUE(why.contains("has no settings")) << why.toStdString();
    EXPECT_FALSE(driver::readSettings(*window, "LED 7", &why));
    EXPECT_TRUE(why.contains("no window \"LED 7\"")) << why.toStdString();
}

}  // namespace

namespace {

// Notes each dialog shown and whether its window ever reached the screen.
class ShownDialogs : public QObject {
public:
    ShownDialogs() { qApp->installEventFilter(this); }
    ~ShownDialogs() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (event->type() == QEvent::Show && dialog && dialog->isWindow() &&
            dialog->windowHandle()) {
            ++shown;
            connect(dialog->windowHandle(), &QWindow::visibleChanged, this,
                    [this](bool visible) { onScreen += visible; });
        }
        return false;
    }
    int shown = 0;
    int onScreen = 0;
};

}  // namespace

// Saving a lab or starting a recording reads every window's dialog, and
// opening a lab applies them: none of those dialogs reaches the screen. A
// user's own Settings... still opens on the screen afterwards.
TEST_F(SettingsReader, DialogsOpenedToReadOrApplyStayOffTheScreen) {
    auto window = host();
    {
        ShownDialogs dialogs;
        for (const auto& [name, text] : kOddSettings) {
            read(*window, name);
            QString why;
            EXPECT_TRUE(driver::applySettings(*window, name, text, &why)) << why.toStdString();
        }
        EXPECT_EQ(dialogs.shown, 2 * static_cast<int>(kOddSettings.size()));
        EXPECT_EQ(dialogs.onScreen, 0);
    }
    ShownDialogs dialogs;
    QString why;
    ASSERT_TRUE(driver::runMenuDialog(driver::findForm(*window, "LED"), menu::kSettingsCommand,
                                      [](QDialog* d) { d->reject(); }, &why))
        << why.toStdString();
    EXPECT_EQ(dialogs.shown, 1);
    EXPECT_EQ(dialogs.onScreen, 1);
}
