// The Settings sheet: the electrical page's linked trackbars and rounding,
// the general page starting from the current settings, OK versus Cancel,
// and the logger's seam.
#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include "components/analog/frm_Settings.h"
#include "components/analog/pp_ElectricalCharacteristics.h"
#include "components/analog/pp_general_settings.h"
#include "tests/ui/UiTestSupport.h"

namespace {

using Page = pp_ElectricalCharacteristics;
using General = pp_general_settings;

QString textOf(QWidget* dialog, int id) { return findControlAs<QLabel>(dialog, id)->text(); }

class SettingsTest : public QuillUiTest {
protected:
    // Runs command 6 and hands the sheet to `answer`.
    void runSettings(const std::function<void(QDialog*)>& answer) {
        answerDialogs([answer](QDialog* d) { answer(d); });
        core()->ExecuteCommand(kCmdSettings);
    }
    void TearDown() override {
        SetLoggerSheetHooks({});
        QuillUiTest::TearDown();
    }
};

}  // namespace

TEST_F(SettingsTest, ElectricalDefaultsAndLinkedTrackbars) {
    runSettings([](QDialog* d) {
        EXPECT_EQ((QStringList{textOf(d, Page::kVccText), textOf(d, Page::kVrefText),
                               textOf(d, Page::kAvccText), textOf(d, Page::kArefText)}),
                  (QStringList{"5.00", "2.56", "5.00", "5.00"}));
        EXPECT_FALSE(findControl(d, Page::kAref)->isEnabled());

        // The linked limits are the model's; the page shows them at once.
        findControlAs<QSlider>(d, Page::kVcc)->setValue(330);
        EXPECT_EQ(textOf(d, Page::kAvccUpper), "3.60");
        findControlAs<QSlider>(d, Page::kAvcc)->setValue(350);
        EXPECT_EQ(textOf(d, Page::kVrefText), "2.56");  // Vcc and AVcc leave Vref
        EXPECT_EQ(textOf(d, Page::kVrefUpper), "3.50");
        clickControl(d, Page::kExternalAref);
        EXPECT_TRUE(findControl(d, Page::kAref)->isEnabled());
        clickControl(d, 1);
    });
    EXPECT_DOUBLE_EQ(core()->Vcc()->get(), 3.3);
    EXPECT_DOUBLE_EQ(core()->AVcc()->get(), 3.5);
    EXPECT_DOUBLE_EQ(core()->InternalReference()->get(), 2.56);
    EXPECT_EQ(core()->ExternalArefApplied()->get(), 1);
}

// Hundredths round: 4.02 V reopens as 4.02 (truncation showed 4.01). A
// Vref above AVcc is kept: opening and OK never move the internal reference.
TEST_F(SettingsTest, VoltagesRoundTripAndCancelStoresNothing) {
    core()->Vcc()->set(4.02);
    core()->AVcc()->set(4.02);
    core()->InternalReference()->set(5.10);
    runSettings([](QDialog* d) {
        EXPECT_EQ(textOf(d, Page::kVccText), "4.02");
        EXPECT_EQ(textOf(d, Page::kVrefText), "5.10");
        EXPECT_EQ(findControlAs<QSlider>(d, Page::kVref)->value(), 510);
        clickControl(d, 1);
    });
    EXPECT_DOUBLE_EQ(core()->Vcc()->get(), 4.02);
    EXPECT_DOUBLE_EQ(core()->InternalReference()->get(), 5.10);

    runSettings([](QDialog* d) {
        findControlAs<QSlider>(d, Page::kVcc)->setValue(300);
        clickControl(d, General::kDisableWarnings);
        clickControl(d, 2);
    });
    EXPECT_DOUBLE_EQ(core()->Vcc()->get(), 4.02);
    EXPECT_FALSE(core()->General().warningsDisabled);
}

// The sheet starts from the current settings: OK without a change never
// switches logging off or forgets the registers to log.
TEST_F(SettingsTest, GeneralPageStartsFromTheCurrentSettings) {
    LoggerChoice logging;
    logging.registers = {6};
    logging.enabled = true;
    core()->ApplyLoggerChoice(logging);
    core()->General().adcEnabled = false;
    runSettings([](QDialog* d) { clickControl(d, 1); });
    EXPECT_TRUE(core()->Logger().enabled());
    EXPECT_FALSE(core()->Logger().toFile());
    EXPECT_TRUE(core()->Logger().bankSelection().test(6));
    EXPECT_FALSE(core()->General().adcEnabled);
}

// The clock in use is shown as the controls choose it, beside the
// simulator's (4 MHz here); choosing another is reported in the output.
TEST_F(SettingsTest, PredefinedClockIsCheckedAndStored) {
    runSettings([](QDialog* d) {
        auto* clock = findControlAs<QComboBox>(d, General::kClockValue);
        EXPECT_EQ(clock->itemText(0), "  1.000000");
        EXPECT_EQ(clock->itemText(8), "32.000000");
        EXPECT_EQ(textOf(d, General::kClockInUse), "In use: 4.000000 MHz, the simulator's");
        clickControl(d, General::kClockPredefined);
        EXPECT_EQ(textOf(d, General::kClockInUse),
                  "In use: 4.000000 MHz, predefined (the simulator's as well)");
        clock->setCurrentText("fast");
        clickControl(d, 1);
        EXPECT_TRUE(d->isVisible()) << "a clock that is no number is refused";
        EXPECT_TRUE(findControl(d, General::kError)->isVisibleTo(d));
        clock->setCurrentText("16.000000");
        clickControl(d, 1);
    });
    EXPECT_TRUE(core()->General().clockPredefined);
    EXPECT_DOUBLE_EQ(core()->ClockMHz(), 16.0);
    EXPECT_TRUE(host().services().HasText(core()->Clock().differenceText()));
    runSettings([](QDialog* d) {
        EXPECT_EQ(textOf(d, General::kClockInUse),
                  "In use: 16.000000 MHz, predefined (the simulator runs at 4.000000 MHz)");
        clickControl(d, 2);
    });
}

// The register logger's sheet plugs in behind "Configure..." of the Logger
// group and replaces the registers to log on its OK; OK of the Settings
// sheet then hands the options to the logger.
TEST_F(SettingsTest, LoggerConfigureSeam) {
    SetLoggerSheetHooks({});
    runSettings([](QDialog* d) {
        EXPECT_FALSE(findControl(d, General::kLoggerConfigure)->isEnabled());
        clickControl(d, 2);
    });

    LoggerSheetHooks hooks;
    hooks.configure = [](QWidget*, CLEDView*, RegisterSet* registers) {
        registers->set(0x1B);
        return true;
    };
    SetLoggerSheetHooks(hooks);
    runSettings([](QDialog* d) {
        clickControl(d, General::kLoggerConfigure);
        clickControl(d, General::kEnableLogging);
        clickControl(d, 1);
    });
    EXPECT_TRUE(core()->Logger().enabled());
    EXPECT_TRUE(core()->Logger().bankSelection().test(0x1B));
}
