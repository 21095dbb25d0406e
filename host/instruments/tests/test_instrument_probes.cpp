// The instruments on the simulated part running the demo programs: the
// serial line paced at the frame rate with overruns as on the chip, edges
// of timer outputs and of the serial lines, the waveform file as GTKWave's
// own converter reads it, and the terminal and analyser windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/instruments/AnalyserDock.h"
#include "host/instruments/Probes.h"
#include "host/instruments/TerminalDock.h"
#include "host/sim/SimTarget.h"
#include "tests/support/TestFiles.h"

using namespace quill::instruments;
using quill::sim::SimTarget;

namespace {

using testfiles::BuiltFirmware;

std::string firmware(const std::string& name) { return BuiltFirmware(name); }

std::filesystem::path scratch(const std::string& name) {
    return testfiles::ScratchFile("quill_instrument_tests", name);
}

// Runs until the USART sent `text` after `from`, at most `limit` cycles.
bool runUntilSent(SimTarget& target, UsartLink& link, const std::string& text, uint64_t from,
                  uint64_t limit = 400000) {
    const uint64_t end = target.cycles() + limit;
    while (target.cycles() < end) {
        target.runUntilCycle(target.cycles() + 1000);
        if (link.transmitted().find(text, from)) return true;
    }
    return false;
}

struct SerialDemo {
    SimTarget target{"ATmega16"};
    std::vector<std::unique_ptr<UsartLink>> links;
    UsartLink* link = nullptr;
    SerialDemo() {
        target.loadFirmware(firmware("serial_demo.elf"));
        links = connectUsarts(target);
        if (!links.empty()) link = links.front().get();
    }
};

}  // namespace

TEST(UsartLink, InputArrivesAtTheFrameRateAndOverrunsAsOnTheChip) {
    REQUIRE_FIRMWARE("serial_demo.elf");
    SerialDemo demo;
    ASSERT_EQ(demo.links.size(), 1u);
    UsartLink& link = *demo.link;
    ASSERT_TRUE(runUntilSent(demo.target, link, "ready> ", 0));
    EXPECT_NEAR(link.baud(), 9615.4, 0.1);
    EXPECT_EQ(link.format().frameCycles(), 1040u);  // 8N1 at 104 cycles a bit

    // The bytes reach the receiver one frame apart: the RX line shows the
    // start bits 1040 cycles apart.
    SignalRecorder recorder(demo.target, {&link});
    std::string why;
    ASSERT_TRUE(recorder.start(*parseSignalList("RX,TX", 16, nullptr), &why)) << why;
    const uint64_t mark = link.transmitted().end();
    link.send("add 2 3\r");
    EXPECT_EQ(link.pendingInput(), 8u);
    ASSERT_TRUE(runUntilSent(demo.target, link, "5\r\nready> ", mark));
    EXPECT_EQ(link.bytesLost(), 0u);
    const EdgeLog& rx = recorder.log(0);
    std::vector<uint64_t> starts;
    for (std::size_t i = 0; i < rx.size(); ++i) {
        // A fall after a stop bit (high for at least a bit) is a start bit.
        if (rx[i].level == 0 && (i == 0 || rx[i].cycle - rx[i - 1].cycle >= 104)) {
            if (starts.empty() || rx[i].cycle - starts.back() >= 1040) starts.push_back(rx[i].cycle);
        }
    }
    ASSERT_EQ(starts.size(), 8u);
    for (std::size_t i = 1; i < starts.size(); ++i) EXPECT_EQ(starts[i] - starts[i - 1], 1040u);
    EXPECT_GT(recorder.log(1).size(), 10u) << "the echo appears on TX";

    // Ten bytes while the program does not read: two stay buffered, one in
    // the shift register, the rest are lost and the program sees DOR.
    const uint64_t before = link.transmitted().end();
    link.send("busy\r");
    ASSERT_TRUE(runUntilSent(demo.target, link, "busy\r\n", before));
    link.send("0123456789");
    ASSERT_TRUE(runUntilSent(demo.target, link, "overrun: bytes were lost", before));
    EXPECT_EQ(link.bytesLost(), 7u);
}

TEST(SignalRecorder, ReplacesOnlyAWaveformAndOnlyWhenTheRecordingEnds) {
    REQUIRE_FIRMWARE("pwm_demo.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("pwm_demo.elf"));
    SignalRecorder recorder(target, {});
    std::string why;
    ASSERT_TRUE(recorder.start(*parseSignalList("PB3", 16, nullptr), &why)) << why;
    // A scenario in the waveform's place is refused and kept.
    const auto text = scratch("not-a-waveform.scn");
    testfiles::WriteFile(text, "part ATmega16\n");
    EXPECT_FALSE(recorder.startFile(text.string(), &why));
    EXPECT_NE(why.find("it holds something other than a waveform"), std::string::npos) << why;
    EXPECT_EQ(testfiles::ReadFile(text), "part ATmega16\n");
    // An earlier waveform stays whole while the new one is recorded.
    const auto path = scratch("replaced.vcd");
    const std::string old = "$comment an earlier recording $end\n";
    testfiles::WriteFile(path, old);
    ASSERT_TRUE(recorder.startFile(path.string(), &why)) << why;
    target.runUntilCycle(20000);
    recorder.flushFile();
    EXPECT_EQ(testfiles::ReadFile(path), old);
    why.clear();
    EXPECT_GT(recorder.stopFile(&why), 0u);
    EXPECT_TRUE(why.empty()) << why;
    EXPECT_EQ(testfiles::ReadFile(path).rfind("$comment recorded by quill-host", 0), 0u);
}

TEST(SignalRecorder, TimerEdgesInAFileThatGtkwaveReads) {
    REQUIRE_FIRMWARE("pwm_demo.elf");
    const QString vcd2fst = QStandardPaths::findExecutable("vcd2fst");
    const QString fst2vcd = QStandardPaths::findExecutable("fst2vcd");
    if (vcd2fst.isEmpty() || fst2vcd.isEmpty()) GTEST_SKIP() << "gtkwave's vcd2fst is not installed";
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("pwm_demo.elf"));
    auto links = connectUsarts(target);
    SignalRecorder recorder(target, {links.front().get()});
    std::string why;
    ASSERT_TRUE(recorder.start(*parseSignalList("PB3,PD5,PD7,TX", 16, nullptr), &why)) << why;
    // A folder or a FIFO is no waveform file: refused with the reason.
    EXPECT_FALSE(recorder.startFile(scratch("").string(), &why));
    EXPECT_NE(why.find("is a folder"), std::string::npos) << why;
    why.clear();
    const auto path = scratch("pwm.vcd");
    ASSERT_TRUE(recorder.startFile(path.string(), &why)) << why;
    target.runUntilCycle(30000);
    recorder.flushFile();
    target.runUntilCycle(50000);
    const uint64_t written = recorder.stopFile(&why);
    EXPECT_TRUE(why.empty()) << why;
    // PB3: 2 edges per 2048 cycles, PD5: one per 500, PD7: 2 per 2048.
    EXPECT_NEAR(static_cast<double>(written), 50000.0 / 1024 * 2 + 50000.0 / 500, 6);

    // GTKWave's converter takes the file, and its way back shows the edges
    // where they were: PB3 rises every 2048 us at 1 MHz.
    const auto fst = scratch("pwm.fst"), back = scratch("pwm-back.vcd");
    std::filesystem::remove(fst);
    ASSERT_EQ(QProcess::execute(vcd2fst, {QString::fromStdString(path.string()),
                                          QString::fromStdString(fst.string())}),
              0);
    QProcess toVcd;
    toVcd.start(fst2vcd, {QString::fromStdString(fst.string())});
    ASSERT_TRUE(toVcd.waitForFinished(30000));
    const std::string text = toVcd.readAllStandardOutput().toStdString();
    ASSERT_NE(text.find("$timescale"), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find("1us"), std::string::npos) << text.substr(0, 400);
    // The identifier of PB3, then every time it rose.
    std::istringstream lines(text);
    std::string line, id;
    uint64_t time = 0;
    std::vector<uint64_t> rises;
    while (std::getline(lines, line)) {
        if (line.rfind("$var", 0) == 0 && line.find(" PB3 ") != std::string::npos) {
            std::istringstream words(line);
            std::string w;
            words >> w >> w >> w >> id;
        } else if (!line.empty() && line[0] == '#') {
            time = std::stoull(line.substr(1));
        } else if (!id.empty() && line == "1" + id) {
            rises.push_back(time);
        }
    }
    ASSERT_GE(rises.size(), 20u);
    // simavr runs timer events between instructions: an edge may come a
    // cycle late.
    for (std::size_t i = 2; i < rises.size(); ++i)
        EXPECT_NEAR(static_cast<double>(rises[i] - rises[i - 1]), 2048, 2);
}

// An input pin records the level it has, whoever sets it: a component
// driving it from outside (a switch writes PINx through the plug-in), and
// the program's pull-up where nothing drives the pin.
TEST(SignalRecorder, InputPinsRecordWhatComponentsDriveIn) {
    SimTarget target("ATmega16");
    std::vector<uint16_t> program(8, 0x0000);  // nop: time for the switch
    program.insert(program.end(), {0xE003, 0xBB08, 0xCFFF});  // PORTB = 0x03 (pull-ups); loop
    const auto hex = scratch("inputs.hex");
    testfiles::WriteFile(hex, testfiles::HexProgram(program));
    target.loadFirmware(hex.string());
    SignalRecorder recorder(target, {});
    std::string why;
    ASSERT_TRUE(recorder.start(*parseSignalList("PB0,PB1", 16, nullptr), &why)) << why;
    constexpr unsigned PINB = 0x16;
    target.run(2);
    target.setIo(PINB, 0x01);  // the switch pulls PB0 high...
    const uint64_t pressed = recorder.now();
    target.run(2);
    target.setIo(PINB, 0x00);  // ...and low again, and keeps driving it
    const uint64_t released = recorder.now();
    target.run(10);
    // PB0: the switch's two edges; the pull-up does not lift a driven pin.
    const EdgeLog& pb0 = recorder.log(0);
    ASSERT_EQ(pb0.size(), 2u);
    EXPECT_EQ(pb0[0].cycle, pressed);
    EXPECT_EQ(pb0[0].level, 1);
    EXPECT_EQ(pb0[1].cycle, released);
    EXPECT_EQ(pb0[1].level, 0);
    // PB1, driven by nothing, follows its pull-up.
    ASSERT_EQ(recorder.log(1).size(), 1u);
    EXPECT_EQ(recorder.log(1)[0].level, 1);
    EXPECT_EQ(target.io(PINB) & 0x03, 0x02);
}

TEST(TerminalDock, ShowsTheProgramsTextAndSendsTheInputLine) {
    REQUIRE_FIRMWARE("serial_demo.elf");
    SerialDemo demo;
    TerminalDock dock(0, nullptr);
    dock.resize(560, 300);
    dock.show();
    dock.attach(demo.link);
    ASSERT_TRUE(runUntilSent(demo.target, *demo.link, "ready> ", 0));
    dock.catchUp();
    EXPECT_EQ(dock.shownText(), "Quill serial demo\nready> ");
    EXPECT_FALSE(dock.baudWarning());
    EXPECT_TRUE(dock.baudText().contains("9615 baud (UBRR 12, U2X), +0.2 % from 9600"))
        << dock.baudText().toStdString();

    // Typed with the line ending CR (the default), sent with Enter.
    auto* input = dock.findChild<QLineEdit*>("terminalInput");
    ASSERT_TRUE(input);
    QTest::keyClicks(input, "add 20 22");
    QTest::keyClick(input, Qt::Key_Return);
    EXPECT_TRUE(input->text().isEmpty());
    const uint64_t mark = demo.link->transmitted().end();
    ASSERT_TRUE(runUntilSent(demo.target, *demo.link, "42\r\nready> ", mark));
    dock.catchUp();
    EXPECT_TRUE(dock.shownText().endsWith("ready> add 20 22\n42\nready> ")) << dock.shownText().toStdString();
    dock.grab().save(QString::fromStdString(scratch("terminal.png").string()));

    // Hex shows the same bytes; a terminal set to 4800 baud warns.
    dock.findChild<QComboBox*>("terminalMode")->setCurrentIndex(1);
    EXPECT_TRUE(dock.shownText().startsWith("51 75 69 6C 6C 20")) << dock.shownText().toStdString();
    auto* rate = dock.findChild<QComboBox*>("terminalRate");
    rate->setCurrentIndex(rate->findData(4800));
    EXPECT_TRUE(dock.baudWarning());
    EXPECT_TRUE(dock.baudText().startsWith("Warning: 9615 baud")) << dock.baudText().toStdString();
    // Back in text mode, local echo shows what is sent after what came.
    dock.findChild<QComboBox*>("terminalMode")->setCurrentIndex(0);
    dock.setLocalEcho(true);
    QTest::keyClicks(input, "add 1 2");
    QTest::keyClick(input, Qt::Key_Return);
    EXPECT_TRUE(dock.shownText().endsWith("ready> add 1 2")) << dock.shownText().toStdString();
    const auto saved = scratch("serial.txt");
    std::filesystem::remove(saved);
    QString error;
    ASSERT_TRUE(dock.saveTo(QString::fromStdString(saved.string()), &error)) << error.toStdString();
    const std::string bytes = testfiles::ReadFile(saved);
    EXPECT_EQ(bytes.rfind("Quill serial demo\r\nready> add 20 22\r\n42\r\n", 0), 0u);
    // Saved serial output carries no mark: a second save is refused rather
    // than guessed to replace a file of the user's.
    EXPECT_FALSE(dock.saveTo(QString::fromStdString(saved.string()), &error));
    EXPECT_TRUE(error.contains("it is not empty")) << error.toStdString();
    EXPECT_EQ(testfiles::ReadFile(saved), bytes);
    dock.clear();
    EXPECT_TRUE(dock.shownText().isEmpty());
}

TEST(AnalyserDock, PaintsAKnownSquareWaveAtTwoZooms) {
    REQUIRE_FIRMWARE("pwm_demo.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("pwm_demo.elf"));
    auto links = connectUsarts(target);
    AnalyserDock dock(nullptr);
    dock.resize(720, 220);
    dock.show();
    QApplication::processEvents();
    dock.attach(&target, {links.front().get()});
    QString why;
    ASSERT_TRUE(dock.record("PB3,PD5,PD7", &why)) << why.toStdString();
    target.runUntilCycle(20000);
    dock.setPaused(true);
    AnalyserView* view = dock.view();
    const int width = view->span().width;
    // 8192 cycles across: PB3 shows four periods of 2048.
    view->span().cyclesPerPixel = 8192.0 / width;
    view->span().start = 10000;
    dock.setCursors(10000 + 2048 * 0.5, 10000 + 2048 * 2.5);
    EXPECT_EQ(dock.cursorText(), "A-B: 4.096 ms (4096 cycles)");
    dock.refresh();
    const QImage wide = view->grab().toImage();
    // Zoomed in four times about the middle: one period across.
    view->span().zoom(4, width / 2.0);
    dock.refresh();
    const QImage narrow = view->grab().toImage();
    const QString dir = QString::fromStdString(scratch("").string());
    wide.save(dir + "/analyser-wide.png");
    narrow.save(dir + "/analyser-narrow.png");

    // Count PB3's rising edges along its row: the high level's row (y 5)
    // turns green where the wave rises.
    // The wave's colour within a pixel of a row.
    auto lit = [](const QImage& image, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            if (qGreen(image.pixel(x, y + dy)) > 200 && qRed(image.pixel(x, y + dy)) < 150)
                return true;
        return false;
    };
    auto rises = [&](const QImage& image) {
        const int high = 5, low = AnalyserView::kRowHeight - 5;
        int count = 0;
        bool wasHigh = true;  // a wave that starts high is no rise
        for (int x = AnalyserView::kLabelWidth + 1; x < image.width(); ++x) {
            const bool isHigh = lit(image, x, high);
            const bool isLow = lit(image, x, low);
            // Columns with only one of the levels lit (an edge lights both).
            if (isHigh == isLow) continue;
            if (isHigh && !wasHigh) ++count;
            wasHigh = isHigh;
        }
        return count;
    };
    EXPECT_EQ(rises(wide), 4);
    EXPECT_LE(rises(narrow), 1);
    // PB3 high a quarter of the time: in the wide picture about a quarter of
    // its row's high line is lit.
    int high = 0;
    for (int x = AnalyserView::kLabelWidth; x < wide.width(); ++x) high += lit(wide, x, 5);
    EXPECT_NEAR(static_cast<double>(high) / width, 0.25, 0.03);
    // The measurement of the chosen channel (PB3) over the span shown.
    view->span().zoom(0.25, width / 2.0);
    dock.refresh();
    EXPECT_TRUE(dock.measureText().startsWith("PB3: 488.3 Hz, duty 25.0 %")) << dock.measureText().toStdString();
}

TEST(AnalyserDock, OpensFittedToTheRecordingWithATimeAxisAndPickedChannels) {
    REQUIRE_FIRMWARE("pwm_demo.elf");
    SimTarget target("ATmega16");
    target.loadFirmware(firmware("pwm_demo.elf"));
    auto links = connectUsarts(target);
    AnalyserDock dock(nullptr);
    dock.resize(520, 260);
    dock.show();
    QApplication::processEvents();
    dock.attach(&target, {links.front().get()});
    // The channel field is wide enough to read a list, even in a narrow dock.
    auto* field = dock.findChild<QLineEdit*>("analyserChannels");
    ASSERT_TRUE(field);
    EXPECT_GE(field->width(), field->fontMetrics().horizontalAdvance("PB3,PD5,PD7,TX,RX"));
    // Channels picked from the menu go into the field; unpicked ones leave it.
    field->setText("PB3");
    QMenu* menu = dock.pickMenu();
    emit menu->aboutToShow();
    auto pickAction = [&](const QString& name) -> QAction* {
        for (QAction* group : menu->actions())
            if (group->menu())
                for (QAction* a : group->menu()->actions())
                    if (a->text() == name) return a;
        return nullptr;
    };
    ASSERT_TRUE(pickAction("PB3"));
    EXPECT_TRUE(pickAction("PB3")->isChecked());
    ASSERT_TRUE(pickAction("PD5"));
    pickAction("PD5")->trigger();
    ASSERT_TRUE(pickAction("TX"));
    pickAction("TX")->trigger();
    pickAction("PB3")->trigger();
    EXPECT_EQ(dock.channelText(), "PD5,TX");
    field->setText("PB3,PD5");

    QString why;
    ASSERT_TRUE(dock.record(dock.channelText(), &why)) << why.toStdString();
    EXPECT_TRUE(dock.fitted());
    target.runUntilCycle(40000);
    dock.refresh();
    // Everything recorded is in view, so PB3's wave is measured at once
    // (it used to need eight zooms out from a 2 ms view).
    const TimeSpan& span = dock.view()->span();
    EXPECT_LE(span.start, static_cast<double>(dock.recorder()->startCycle()));
    EXPECT_GE(span.end(), static_cast<double>(dock.recorder()->now()) - span.cyclesPerPixel);
    EXPECT_TRUE(dock.measureText().startsWith("PB3: 488.3 Hz")) << dock.measureText().toStdString();
    dock.grab().save(QString::fromStdString(scratch("analyser-fitted.png").string()));
    // The axis is painted under the rows: its labels light pixels there.
    const QImage image = dock.view()->grab().toImage();
    int labelled = 0;
    for (int y = image.height() - AnalyserView::kAxisHeight + 5; y < image.height(); ++y)
        for (int x = AnalyserView::kLabelWidth; x < image.width(); ++x)
            labelled += qRed(image.pixel(x, y)) > 120;
    EXPECT_GT(labelled, 20);
    // A zoom ends the fit; Fit brings it back.
    QTest::keyClick(dock.view(), Qt::Key_Plus);
    EXPECT_FALSE(dock.fitted());
    dock.findChild<QPushButton*>("analyserFit")->click();
    EXPECT_TRUE(dock.fitted());
}
