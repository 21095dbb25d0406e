// A recording made by driving the window as a user does (menu items, mouse
// clicks, F5/Ctrl+F5/F11, "Add check" from a window's context menu) is
// replayed by quill-host headless as a separate process: it passes on the
// program it was recorded on and fails, naming the check, on another.
#include <gtest/gtest.h>

#include <fstream>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDockWidget>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

#include "contract/ResourceIds.h"
#include "host/workbench/ComponentDriver.h"
#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"
#include "host/workbench/SettingsReader.h"
#include "host/recorder/ui/RecorderController.h"
#include "platform/files.h"

namespace {

std::string built(const std::string& name) { return std::string(QUILL_BINARY_DIR) + "/" + name; }

struct RecordingWindow : ::testing::Test {
    std::unique_ptr<MainWindow> window;
    RecorderController* recorder = nullptr;
    QTemporaryDir dir;

    void SetUp() override {
        if (!std::filesystem::exists(built("bin/QuillComponents.so")) ||
            !std::filesystem::exists(built("bin/quill-host"))) {
            GTEST_SKIP() << "module or host not built";
        }
    }
    void load(const char* program) {
        HostOptions options;
        options.firmware = built(std::string("firmware/") + program);
        options.module = built("bin/QuillComponents.so");
        std::string error;
        HostEnvironment env = PrepareHost(options, &error);
        ASSERT_EQ(error, "");
        window = BuildWorkbench(env.config, env.factory);
        window->setPacing(false);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QString why;
        ASSERT_TRUE(AttachModule(*window, options, &why)) << why.toStdString();
        ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
        recorder = window->findChild<RecorderController*>("scenarioRecorder");
        ASSERT_TRUE(recorder);
    }
    void TearDown() override { window.reset(); }
    std::string readBack(const QString& file) {
        std::string text, why;
        EXPECT_TRUE(
            quill::files::readRegularFile(file.toStdString(), 1 << 20, "scenario", &text, &why));
        return text;
    }

    // Chooses the component's entry of the plug-in's menu.
    void open(const QString& text) {
        QAction* entry = nullptr;
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>()) {
            for (QAction* a : menu->actions())
                if (a->text() == text && !a->menu()) entry = a;
        }
        ASSERT_TRUE(entry) << text.toStdString();
        entry->trigger();
        QApplication::processEvents();
        QApplication::processEvents();
    }
    QWidget* control(const QString& window_, int id) {
        return driver::findControl(driver::findForm(*window, window_), id);
    }
    // Runs with F5 until `cycles` more have passed, then breaks with Ctrl+F5.
    void runFor(uint64_t cycles) {
        Machine* machine = window->debugger().machine();
        const uint64_t until = machine->cycles() + cycles;
        QTest::keyClick(window.get(), Qt::Key_F5);
        ASSERT_EQ(window->debugger().state(), Debugger::State::Running);
        for (int i = 0; i < 100000 && machine->cycles() < until; ++i) QApplication::processEvents();
        QTest::keyClick(window.get(), Qt::Key_F5, Qt::ControlModifier);
        ASSERT_EQ(window->debugger().state(), Debugger::State::Halted);
    }
    // Right-clicks the window and chooses "Add check" with the mouse.
    void addCheck(const QString& name) {
        QWidget* form = driver::findForm(*window, name);
        ASSERT_TRUE(form);
        const QPoint at = form->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form->mapToGlobal(at));
        QApplication::sendEvent(form, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == RecorderController::kAddCheckText) item = a;
        ASSERT_TRUE(item);
        ASSERT_TRUE(item->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        QApplication::processEvents();
        activate();
    }
    // After a menu or a dialog: the debugger's keys go to the window again.
    void activate() {
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    struct Replay {
        int exitCode;
        QString output;
    };
    Replay replay(const QString& scenario, const QStringList& extra = {}) {
        QProcess host;
        host.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{"--headless", "--scenario", scenario};
        host.start(QString::fromStdString(built("bin/quill-host")), args + extra);
        EXPECT_TRUE(host.waitForFinished(120000));
        return {host.exitCode(), QString::fromUtf8(host.readAll())};
    }
};

TEST_F(RecordingWindow, RecordingReplaysHeadlessAndFailsOnAnotherProgram) {
    ASSERT_NO_FATAL_FAILURE(load("keypad_scan.elf"));
    // Before the recording: recorded as opened at its start, with the
    // settings they have.
    open("Keypad");
    open("LED");
    QString error;
    ASSERT_TRUE(driver::applySettings(*window, "LED", "port=A pin=0 mode=ddrport", &error))
        << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(activate());
    const QString file = dir.filePath("lab.scn");
    ASSERT_TRUE(recorder->start(file, &error)) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(activate());                    // the LED's dialog was read
    EXPECT_EQ(window->debugger().machine()->cycles(), 0u);  // the program starts over
    EXPECT_TRUE(window->statusBar()->findChild<QWidget*>("recordingStatus")->isVisible());
    EXPECT_FALSE(recorder->recordAction()->isEnabled());
    open("Knight Rider");

    for (int i = 0; i < 5; ++i) QTest::keyClick(window.get(), Qt::Key_F11);
    ASSERT_NO_FATAL_FAILURE(runFor(1000));
    QTest::mouseClick(control("Keypad", ids::keypad::KeyControlOf('5')), Qt::LeftButton);
    ASSERT_NO_FATAL_FAILURE(runFor(20000));
    ASSERT_NO_FATAL_FAILURE(addCheck("Knightrider"));
    ASSERT_NO_FATAL_FAILURE(addCheck("LED"));
    ASSERT_TRUE(recorder->addRegisterCheck("porta", &error)) << error.toStdString();
    QTest::mouseClick(control("Knightrider", ids::knightrider::kSwitch), Qt::LeftButton);
    QTest::mouseClick(control("Keypad", ids::keypad::KeyControlOf('5')), Qt::LeftButton);
    ASSERT_NO_FATAL_FAILURE(runFor(20000));
    ASSERT_NO_FATAL_FAILURE(addCheck("Knightrider"));
    ASSERT_NO_FATAL_FAILURE(addCheck("LED"));
    recorder->stopAction()->trigger();  // Debug > "Stop recording"
    EXPECT_FALSE(recorder->recording());
    EXPECT_FALSE(window->statusBar()->findChild<QWidget*>("recordingStatus")->isVisible());

    const std::string text = readBack(file);
    const QString scn = QString::fromStdString(text);
    for (const char* line :
         {"open Keypad\nopen LED\nsettings LED port=A pin=0 mode=ddrport",
          "\nopen Knightrider\nwait cycles ", "press Keypad 5\nwait cycles ",
          "expect bar Knightrider 0x35\nexpect led LED on\nexpect register PORTA 0x35\n"
          "click Knightrider\nrelease Keypad 5\nwait cycles ",
          "expect bar Knightrider 0x00\nexpect led LED off\n"}) {
        EXPECT_TRUE(scn.contains(line)) << line << "\nin:\n" << text;
    }
    EXPECT_TRUE(scn.contains(QRegularExpression("wait cycles \\d+    # step x5, run, break\n")))
        << text;

    const Replay same = replay(file);
    EXPECT_EQ(same.exitCode, 0) << same.output.toStdString();
    EXPECT_TRUE(same.output.contains("5 of 5 checks passed, scenario passed"))
        << same.output.toStdString();
    // A teacher's check of another program: the same file, --firmware.
    const Replay other =
        replay(file, {"--firmware", QString::fromStdString(built("firmware/running_light.elf"))});
    EXPECT_EQ(other.exitCode, 1) << other.output.toStdString();
    EXPECT_TRUE(other.output.contains("--firmware runs " +
                                      QString::fromStdString(built("firmware/running_light.elf")) +
                                      " instead"))
        << other.output.toStdString();
    EXPECT_TRUE(other.output.contains(QRegularExpression("FAIL.*expect bar \"Knightrider\"")))
        << other.output.toStdString();
}

TEST_F(RecordingWindow, SettingsDialogsAndTrackbarsAreRecordedAndTheSessionEndEndsIt) {
    ASSERT_NO_FATAL_FAILURE(load("keypad_scan.elf"));
    open("Slider");
    open("Switch");  // read at the start without a flip of its pin
    QString error;
    EXPECT_FALSE(recorder->addCheck("Slider", &error));
    // Debug > "Record scenario...": the file is asked for, ".scn" added.
    ASSERT_TRUE(driver::runDialog([&] { recorder->recordAction()->trigger(); },
                                  [&](QDialog* d) {
                                      auto* files = qobject_cast<QFileDialog*>(d);
                                      ASSERT_TRUE(files);
                                      // Typed into the name box: selectFile()
                                      // leaves the box alone once it has the
                                      // focus, which a busy machine gives it
                                      // before this runs.
                                      auto* name = files->findChild<QLineEdit*>("fileNameEdit");
                                      ASSERT_TRUE(name);
                                      name->setText(dir.filePath("short"));
                                      d->accept();  // as the Save button
                                  },
                                  &error))
        << error.toStdString();
    const QString file = dir.filePath("short.scn");
    ASSERT_TRUE(recorder->recording());
    EXPECT_EQ(recorder->path(), file);
    open("Switch");
    ASSERT_TRUE(driver::applySettings(*window, "Switch 2", "port=B pin=6", &error))
        << error.toStdString();
    // Cancel closes a Switch's dialog with a flip of its pin: a click.
    ASSERT_TRUE(driver::runMenuDialog(
        driver::findForm(*window, "Switch 2"), menu::kSettingsCommand,
        [](QDialog* d) { d->reject(); }, &error));
    // The plug-in's Settings sheet: its pages as they were confirmed.
    ASSERT_TRUE(driver::applySettings(*window, "general", "warnings=off", &error))
        << error.toStdString();
    // The Slider's channel is written when the trackbar is let go.
    QWidget* trackbar = control("Slider", ids::slider::kTrackbar);
    QTest::mouseClick(trackbar, Qt::LeftButton, {}, QPoint(trackbar->width() / 2, 2));
    ASSERT_NO_FATAL_FAILURE(addCheck("Slider"));
    EXPECT_FALSE(recorder->addCheck("Nothing", &error));
    EXPECT_EQ(error, "no component window \"Nothing\" is open");
    // Stop Debugging ends the recording: the file is written.
    window->stopDebugging();
    EXPECT_FALSE(recorder->recording());
    const std::string text = readBack(file);
    const int percent = qobject_cast<QAbstractSlider*>(trackbar)->value();
    const QString expected = QString(
                                 "open Slider\nsettings Slider channel=0 reference=internal\n"
                                 "open Switch\nsettings Switch port=A pin=0 mode=pin activelow=0\n"
                                 "open Switch\nsettings \"Switch 2\" port=B pin=6 mode=pin "
                                 "activelow=0\nclick \"Switch 2\"\nsettings electrical vcc=5.00 "
                                 "avcc=5.00 vref=2.56 aref=5.00 extaref=0\nsettings general "
                                 "warnings=off\nset slider Slider %1\n"
                                 "expect channel Slider %1\n")
                                 .arg(percent);
    EXPECT_TRUE(QString::fromStdString(text).endsWith(expected)) << text;
    EXPECT_EQ(replay(file).exitCode, 0);
}

// The keypad wired pin by pin and then back on its fixed wiring: the fixed
// wiring reads back as no settings, so the recording writes the line that
// restores it; the replay decodes the key on the fixed wiring again.
TEST_F(RecordingWindow, TheKeypadBackOnItsFixedWiringIsRecordedAndReplays) {
    ASSERT_NO_FATAL_FAILURE(load("keypad_scan.elf"));
    open("Keypad");
    QString error;
    const QString file = dir.filePath("keypad.scn");
    ASSERT_TRUE(recorder->start(file, &error)) << error.toStdString();
    ASSERT_TRUE(driver::applySettings(*window, "Keypad", "cols=PC5,PC6,PC7 rows=PC1,PC2,PC3,PC4",
                                      &error))
        << error.toStdString();
    ASSERT_TRUE(driver::applySettings(*window, "Keypad", "wiring=fixed", &error))
        << error.toStdString();
    // OK again on the fixed wiring changes nothing: no second line.
    ASSERT_TRUE(driver::applySettings(*window, "Keypad", "wiring=fixed", &error))
        << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(activate());
    ASSERT_NO_FATAL_FAILURE(runFor(1000));
    QTest::mouseClick(control("Keypad", ids::keypad::KeyControlOf('5')), Qt::LeftButton);
    ASSERT_NO_FATAL_FAILURE(runFor(20000));
    ASSERT_TRUE(recorder->addRegisterCheck("porta", &error)) << error.toStdString();
    ASSERT_TRUE(recorder->stop(&error)) << error.toStdString();
    const std::string text = readBack(file);
    EXPECT_NE(text.find("open Keypad\nsettings Keypad wiring=pins cols=PC5,PC6,PC7 "
                        "rows=PC1,PC2,PC3,PC4\nsettings Keypad wiring=fixed\nwait cycles "),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("wiring=fixed"), text.rfind("wiring=fixed")) << text;
    EXPECT_NE(text.find("expect register PORTA 0x35"), std::string::npos) << text;
    const Replay same = replay(file);
    EXPECT_EQ(same.exitCode, 0) << same.output.toStdString();
}

TEST_F(RecordingWindow, LcdLinesWithTheProgramsOwnCharactersReplay) {
    ASSERT_NO_FATAL_FAILURE(load("lcd_glyphs.elf"));
    open("Hitachi LCD");
    QString error;
    ASSERT_TRUE(driver::applySettings(*window, "Hitachi LCD",
                                      "data=C bits=8 e=D6 rs=D4 rw=D5 size=16 lines=2", &error))
        << error.toStdString();
    const QString file = dir.filePath("lcd.scn");
    ASSERT_TRUE(recorder->start(file, &error)) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(activate());
    // The characters show for about 5000 cycles from about cycle 22000:
    // the program runs to just before them (exactly: a run in real time
    // overshot them on a busy machine), F11 steps on until they show.
    ASSERT_TRUE(window->debugger().runCycles(22000));
    QWidget* panel = control("Hitachi LCD", ids::lcd::kDisplay);
    auto firstLine = [&] { return panel->property("visibleLines").toStringList().value(0); };
    for (int i = 0; i < 30000 && !firstLine().endsWith("glyphs"); ++i)
        QTest::keyClick(window.get(), Qt::Key_F11);
    ASSERT_TRUE(firstLine().endsWith("glyphs")) << firstLine().toStdString();
    ASSERT_NO_FATAL_FAILURE(addCheck("Hitachi LCD"));
    // A look at the window while recording: the word in the status bar.
    window->grab().save(QString::fromStdString(built("recording-window.png")));
    // A file that cannot be written keeps the recording for another place.
    recorder->setPath(dir.filePath("no such folder/lcd.scn"));
    EXPECT_FALSE(recorder->stop(&error));
    EXPECT_TRUE(recorder->recording());
    recorder->setPath(file);
    ASSERT_TRUE(recorder->stop(&error)) << error.toStdString();
    const std::string text = readBack(file);
    // The custom characters (codes 0-3) are written as escapes.
    EXPECT_NE(text.find("expect lcd \"Hitachi LCD\" line 1 \"\\x00\\x01\\x02\\x03"),
              std::string::npos)
        << text;
    const Replay same = replay(file);
    EXPECT_EQ(same.exitCode, 0) << same.output.toStdString();

    // A recording replaces only a scenario recorded before: a scenario
    // written by hand is refused when the recording starts, and kept.
    const QString byHand = dir.filePath("by-hand.scn");
    { std::ofstream(byHand.toStdString()) << "part ATmega16\nwait cycles 10\n"; }
    EXPECT_FALSE(recorder->start(byHand, &error));
    EXPECT_TRUE(error.contains("by-hand.scn\": it holds something other than a recorded scenario"))
        << error.toStdString();
    EXPECT_FALSE(recorder->recording());
    EXPECT_EQ(readBack(byHand), "part ATmega16\nwait cycles 10\n");
    ASSERT_TRUE(recorder->start(file, &error)) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(activate());
    ASSERT_TRUE(recorder->stop(&error)) << error.toStdString();
    EXPECT_NE(readBack(file), text);
}

}  // namespace
