// The Hitachi LCD's control lines as recorded signals: LCD.E, LCD.RS and
// LCD.RW are the pins the LCD window's settings give them when recording
// starts, and naming an LCD that is not open is a clear error.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <filesystem>

#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/ui/MainWindow.h"
#include "host/app/tests/ModuleHost.h"
#include "host/workbench/SettingsReader.h"
#include "host/instruments/AnalyserDock.h"
#include "host/instruments/InstrumentHub.h"
#include "host/sim/SimTargetAccess.h"

namespace {

TEST(LcdLines, RecordTheLcdsPinsAsItsSettingsGiveThem) {
    const std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
    if (!std::filesystem::exists(module)) GTEST_SKIP() << "module not built";
    auto host = ModuleHost(module, std::string(QUILL_BINARY_DIR) + "/firmware/lcd_demo.elf");
    MainWindow& window = *host;
    QString why;
    ASSERT_TRUE(window.startDebugging(&why)) << why.toStdString();
    auto& analyser = *window.instruments().analyser();

    // Before the LCD is open its lines have no pins.
    EXPECT_FALSE(analyser.record("PA1,LCD.E", &why));
    EXPECT_TRUE(why.contains("LCD.E: ") && why.contains("no window \"Hitachi LCD\""))
        << why.toStdString();

    ASSERT_TRUE(OpenComponent(window, "LCD", &why)) << why.toStdString();
    QApplication::processEvents();
    EXPECT_FALSE(analyser.record("LCD2.RS", &why));
    EXPECT_TRUE(why.contains("no window \"Hitachi LCD 2\"")) << why.toStdString();

    // The demo drives the LCD on its default wiring: E on PA1, RS on PA3,
    // R/W on PA2. Each line records exactly what its pin does.
    ASSERT_TRUE(analyser.record("LCD.E,LCD.RS,LCD.RW,PA1,PA3,PA2", &why)) << why.toStdString();
    const auto& recorder = *analyser.recorder();
    const char expected[][2] = {{'A', 1}, {'A', 3}, {'A', 2}};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(recorder.channelSignals()[c].port, expected[c][0]);
        EXPECT_EQ(recorder.channelSignals()[c].bit, expected[c][1]);
    }
    auto* access = dynamic_cast<quill::sim::SimTargetAccess*>(window.debugger().target());
    ASSERT_NE(access, nullptr);
    access->simulator()->runUntilCycle(200000);
    for (int c = 0; c < 3; ++c) {
        const auto& line = recorder.log(c);
        const auto& pin = recorder.log(c + 3);
        EXPECT_GT(line.size(), 10u) << recorder.channelSignals()[c].name;
        ASSERT_EQ(line.size(), pin.size()) << recorder.channelSignals()[c].name;
        for (std::size_t i = 0; i < line.size(); ++i) EXPECT_EQ(line[i].cycle, pin[i].cycle);
    }
    // The picture (the README's): the demo's bus halfway through its
    // text, characters written (RS high, two E pulses for the nibbles)
    // between reads of the busy flag (R/W high).
    analyser.show();
    analyser.resize(720, 250);
    analyser.setPaused(true);
    QApplication::processEvents();
    auto* view = analyser.view();
    const auto& rs = recorder.log(1);
    ASSERT_FALSE(rs.size() == 0);
    view->span().start = static_cast<double>(rs[rs.size() / 2].cycle) - 600;
    view->span().cyclesPerPixel = 1600.0 / view->span().width;
    analyser.refresh();
    const QImage picture = view->grab().toImage();
    EXPECT_FALSE(picture.isNull());
    picture.save(QString::fromStdString(
        (std::filesystem::temp_directory_path() / "analyser-lcd-lines.png").string()));
    analyser.stopRecording();

    // Rewired, E is another pin: nothing is assumed of the default.
    ASSERT_TRUE(driver::applySettings(window, "Hitachi LCD", "e=C5", &why)) << why.toStdString();
    ASSERT_TRUE(analyser.record("LCD.E", &why)) << why.toStdString();
    EXPECT_EQ(analyser.recorder()->channelSignals()[0].port, 'C');
    EXPECT_EQ(analyser.recorder()->channelSignals()[0].bit, 5);
    EXPECT_EQ(analyser.recorder()->channelSignals()[0].name, "LCD.E");
    analyser.stopRecording();

    // Wired pin by pin as the LiquidCrystal tutorial is, R/W grounded: E and
    // RS are their pins, and R/W has none to record.
    ASSERT_TRUE(driver::applySettings(window, "Hitachi LCD",
                                      "rs=B4 e=B3 rw=none d4=D5 d5=D4 d6=D3 d7=D2", &why))
        << why.toStdString();
    ASSERT_TRUE(analyser.record("LCD.E,LCD.RS", &why)) << why.toStdString();
    const auto& wired = analyser.recorder()->channelSignals();
    EXPECT_EQ(std::string{wired[0].port} + char('0' + wired[0].bit), "B3");
    EXPECT_EQ(std::string{wired[1].port} + char('0' + wired[1].bit), "B4");
    analyser.stopRecording();
    EXPECT_FALSE(analyser.record("LCD.RW", &why));
    EXPECT_TRUE(why.contains("LCD.RW: R/W of \"Hitachi LCD\" is tied to ground")) << why.toStdString();
}

}  // namespace
