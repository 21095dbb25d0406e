// The demo labs of examples/ open as `quill-host examples/<lab>.quill`
// opens them: the part and clock, the program beside the lab, the windows
// with their settings, and the instruments the lab's layout shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QFile>
#include <filesystem>

#include "contract/ResourceIds.h"
#include "host/lab/ui/LabSession.h"
#include "host/ui/MainWindow.h"
#include "host/workbench/ComponentDriver.h"
#include "host/workbench/DockClient.h"
#include "host/workbench/SettingsReader.h"
#include "host/app/tests/ModuleHost.h"
#include "host/instruments/InstrumentHub.h"
#include "host/instruments/TerminalDock.h"

namespace {

TEST(DemoLab, TheUnoLcdLabOpensWithTheTutorialCircuit) {
    const std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
    const QString lab = QUILL_BINARY_DIR "/examples/uno_lcd.quill";
    if (!std::filesystem::exists(module) || !QFile::exists(lab))
        GTEST_SKIP() << "module or demo lab not built";
    auto window = ModuleHost(module);
    QString why;
    ASSERT_TRUE(OpenLabFile(*window, lab, &why)) << why.toStdString();
    QApplication::processEvents();
    EXPECT_EQ(window->config().part, "ATmega328P");
    EXPECT_EQ(window->config().frequencyMHz, 16.0);
    QStringList titles;
    for (QDockWidget* dock : window->componentDocks())
        if (!dock->isHidden()) titles << DockClient::nameOf(dock);
    EXPECT_EQ(titles, QStringList({"Hitachi LCD", "Slider"}));
    // The LiquidCrystal tutorial's wiring, R/W grounded; the Slider on A0.
    EXPECT_EQ(driver::readSettings(*window, "Hitachi LCD", &why).value_or(why.toStdString()),
              "size=16 lines=2 zoom=2 bits=4 pinreg=0 trace=0 e=PB3 rs=PB4 rw=none d4=PD5 "
              "d5=PD4 d6=PD3 d7=PD2");
    // The lab is an Uno's: the channel list names A0, and reads back as
    // channel 0 all the same.
    EXPECT_EQ(window->config().board, "Uno");
    EXPECT_EQ(driver::readSettings(*window, "Slider", &why).value_or(why.toStdString()),
              "channel=0 reference=avcc");
    QString channel;
    ASSERT_TRUE(driver::runMenuDialog(
        driver::findForm(*window, "Slider"), menu::kSettingsCommand,
        [&](QDialog* d) {
            if (auto* list = qobject_cast<QComboBox*>(driver::findControl(d, ids::slider::kChannelList)))
                channel = list->currentText();
            d->reject();
        },
        &why))
        << why.toStdString();
    EXPECT_EQ(channel, "ADC0 (A0)");
    // The serial terminal shows what the program sends.
    const auto* terminal = window->instruments().terminal(0);
    ASSERT_NE(terminal, nullptr);
    EXPECT_TRUE(terminal->isVisible());
}

}  // namespace
