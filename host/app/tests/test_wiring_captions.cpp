// Each component window says what it is wired to in its caption, kept
// current when its settings change, on the real module: the caption is the
// window's name and its wiring, while the name the host finds, saves and
// records the window by stays the name.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <filesystem>

#include "contract/Commands.h"
#include "host/workbench/DockClient.h"
#include "host/ui/MainWindow.h"
#include "host/workbench/SettingsReader.h"
#include "host/app/tests/ModuleHost.h"
#include "host/scenario/Scenario.h"

namespace {

namespace sc = quill::scenario;

TEST(WiringCaptions, ShowThePinsAndFollowTheSettings) {
    const std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
    if (!std::filesystem::exists(module)) GTEST_SKIP() << "module not built";
    auto host = ModuleHost(module, std::string(QUILL_BINARY_DIR) + "/firmware/lcd_demo.elf");
    MainWindow& window = *host;
    QString why;
    ASSERT_TRUE(window.startDebugging(&why)) << why.toStdString();
    for (sc::ComponentKind kind : {sc::ComponentKind::Led, sc::ComponentKind::Led,
                                   sc::ComponentKind::Switch, sc::ComponentKind::Slider,
                                   sc::ComponentKind::Lcd, sc::ComponentKind::KnightRider})
        ASSERT_TRUE(window.executeCommand(sc::commandOf(kind)));
    QApplication::processEvents();
    auto titles = [&] {
        QStringList t;
        for (QDockWidget* dock : window.componentDocks()) t << dock->windowTitle();
        return t;
    };
    EXPECT_EQ(titles(), QStringList({"LED - PA7", "LED 2 - PA7", "Switch - PA0", "Slider - ADC0",
                                     "Hitachi LCD - data PA7-4, RS PA3, E PA1, RW PA2",
                                     "Knightrider - port A, switch PB7"}));

    // New settings show at once; the names stay what the host knows.
    ASSERT_TRUE(driver::applySettings(window, "LED 2", "port=B pin=3 activelow=1", &why))
        << why.toStdString();
    ASSERT_TRUE(driver::applySettings(window, "Switch", "port=D pin=6", &why)) << why.toStdString();
    ASSERT_TRUE(driver::applySettings(window, "Slider", "channel=5", &why)) << why.toStdString();
    ASSERT_TRUE(driver::applySettings(window, "Hitachi LCD", "data=C nibble=low e=D7 rs=D5 rw=B1",
                                      &why))
        << why.toStdString();
    const std::vector<QDockWidget*>& docks = window.componentDocks();
    EXPECT_EQ(docks[1]->windowTitle(), "LED 2 - PB3, active low");
    EXPECT_EQ(docks[2]->windowTitle(), "Switch - PD6");
    EXPECT_EQ(docks[3]->windowTitle(), "Slider - ADC5");
    EXPECT_EQ(docks[4]->windowTitle(), "Hitachi LCD - data PC3-0, RS PD5, E PD7, RW PB1");
    EXPECT_EQ(docks[4]->toolTip(), docks[4]->windowTitle());
    QStringList names;
    for (QDockWidget* dock : docks) names << DockClient::nameOf(dock);
    EXPECT_EQ(names, QStringList({"LED", "LED 2", "Switch", "Slider", "Hitachi LCD", "Knightrider"}));
    // The name alone is enough to find a window again.
    EXPECT_TRUE(driver::readSettings(window, "LED 2", &why).value_or("").find("port=B") !=
                std::string::npos)
        << why.toStdString();
    window.stopDebugging();
}

}  // namespace
