#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QScrollBar>
#include <QTest>

#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"
#include "host/automation/ScenarioExecutor.h"
#include "host/app/tests/FakeParts.h"
#include "platform/keyboard.h"
#include "platform/server.h"
#include "platform/window.h"

namespace {

struct MainWindowTest : ::testing::Test {
    RecordingPlugin plugin;
    CountingMachine* machine = nullptr;
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        SessionConfig config;
        config.installDirectory = std::string(QUILL_SOURCE_DIR) + "/host";
        config.firmware = "program.elf";
        window = BuildWorkbench(config, [this](const SessionConfig&, std::string*) {
            auto m = std::make_unique<CountingMachine>();
            machine = m.get();
            return std::unique_ptr<Machine>(std::move(m));
        });
        window->show();
        QString error;
        ASSERT_EQ(window->attachPlugin(&plugin, &error), S_OK) << error.toStdString();
    }
    void TearDown() override { window.reset(); }
};

TEST_F(MainWindowTest, CommandStatesGateTheCommands) {
    ASSERT_TRUE(plugin.works);
    EXPECT_TRUE(window->executeCommand(2));
    plugin.works->SetCommandState(kCmdLed, kCommandDisabled);
    EXPECT_FALSE(window->commandEnabled(2));
    EXPECT_FALSE(window->executeCommand(2));
    plugin.works->SetCommandState(kCmdLed, kCommandEnabled);
    EXPECT_TRUE(window->executeCommand(2));
    EXPECT_FALSE(window->executeCommand(6));   // no menu entry, no button
    EXPECT_FALSE(window->executeCommand(12));  // not in the command list
    EXPECT_EQ(plugin.commands, (std::vector<LONG>{2, 2}));
}

// A command that is off says why in its tooltip and status tip, and gets
// its own tooltip back when it is on again; the status line says what to
// do before a session and names the run state in one.
TEST_F(MainWindowTest, DisabledCommandsAndTheStatusLineSayWhy) {
    std::vector<QAction*> led;
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->objectName() == "menu_LD" || action->objectName() == "button_LD")
            led.push_back(action);
    }
    ASSERT_FALSE(led.empty());
    const QString own = led.front()->toolTip();
    auto* status = window->findChild<QLabel*>("sessionStatus");
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->text().contains("Not debugging")) << status->text().toStdString();

    plugin.works->SetCommandState(kCmdLed, kCommandDisabled);
    for (QAction* action : led) {
        EXPECT_TRUE(action->toolTip().contains("Start debugging first"))
            << action->toolTip().toStdString();
        EXPECT_EQ(action->statusTip(), action->toolTip());
    }
    QString error;
    ASSERT_TRUE(window->startDebugging(&error)) << error.toStdString();
    EXPECT_TRUE(status->text().contains("Halted")) << status->text().toStdString();
    plugin.works->SetCommandState(kCmdLed, kCommandDisabled);
    EXPECT_TRUE(led.front()->toolTip().contains("Not available now"));
    plugin.works->SetCommandState(kCmdLed, kCommandEnabled);
    EXPECT_EQ(led.front()->toolTip(), own);
    window->run();
    EXPECT_TRUE(status->text().contains("Running")) << status->text().toStdString();
    window->breakRun();
}

// The clock box offers no clock the simulator cannot time (below 3200 Hz
// a conversion divided by zero): a slower one typed is not taken.
TEST_F(MainWindowTest, TheClockBoxKeepsToClocksTheSimulatorCanTime) {
    auto* clock = window->findChild<QDoubleSpinBox*>("frequency");
    ASSERT_TRUE(clock);
    auto* text = clock->findChild<QLineEdit*>();
    ASSERT_TRUE(text);
    const auto type = [&](const QString& value) {
        clock->setFocus();
        text->selectAll();
        QTest::keyClick(text, Qt::Key_Delete);
        QTest::keyClicks(text, value);
        QTest::keyClick(text, Qt::Key_Return);
    };
    type("0.0032");
    EXPECT_DOUBLE_EQ(window->config().frequencyMHz, 0.0032);
    type("0.001");
    EXPECT_GE(window->config().frequencyMHz, 0.0032);
    EXPECT_DOUBLE_EQ(clock->minimum(), 0.0032);
    type("8");
    EXPECT_DOUBLE_EQ(window->config().frequencyMHz, 8);
}

TEST_F(MainWindowTest, DockedWindowClientIsTheDialogParent) {
    HWND handle = nullptr;
    CComBSTR name("LED 2");
    ASSERT_EQ(plugin.works->CreateDockedWindow(name.get(), 0, 0, 1, 216, nullptr, &handle), S_OK);
    auto* client = reinterpret_cast<QWidget*>(handle);
    auto* dock = qobject_cast<QDockWidget*>(client->parentWidget());
    ASSERT_TRUE(dock);
    EXPECT_EQ(dock->windowTitle(), "LED 2");
    EXPECT_EQ(dock->widget(), client);
    // The dock's layout and size: DockClientTest.*.
}

TEST_F(MainWindowTest, OutputPaneKeepsCategories) {
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_HostServices, nullptr, CLSCTX_INPROC_SERVER, IID_IHostServices,
                               &object),
              S_OK);
    auto* services = static_cast<IHostServices*>(object);
    CComBSTR source("QuillComponents"), prefix("CLEDView::X() -->"), text("hello");
    services->CreateCategory(source.get(), kCategoryKind);
    services->WriteMessage(kMessageKind, source.get(), prefix.get(), text.get());
    services->Release();
    EXPECT_TRUE(window->outputLines().contains("[QuillComponents] CLEDView::X() --> hello"));
}

// Past 20,000 lines the pane drops its oldest lines, and Clear drops them
// all; `expect output` keeps counting lines written, so a check after the
// trim or the clear still finds the lines written after the previous
// match, and not those before it.
TEST_F(MainWindowTest, OutputChecksSurviveTheTrimmingAndClearingOfThePane) {
    ScenarioExecutor run(*window, {});
    const long long before = window->outputLines().size();
    window->hostMessage("first marker");
    EXPECT_EQ(run.expectOutput("first marker").outcome, ScenarioExecutor::Outcome::Ok);
    for (int i = 0; i < 19990; ++i) window->hostMessage("filler");
    window->hostMessage("second marker");
    for (int i = 0; i < 100; ++i) window->hostMessage("filler");
    ASSERT_EQ(window->outputLines().size(), 20000);
    ASSERT_EQ(window->outputLinesDropped(), before + 20092 - 20000);
    const ScenarioExecutor::Result found = run.expectOutput("second marker");
    EXPECT_EQ(found.outcome, ScenarioExecutor::Outcome::Ok) << found.message.toStdString();
    EXPECT_TRUE(found.message.startsWith(QString("output line %1:").arg(before + 19992)))
        << found.message.toStdString();
    // Already matched: not found a second time.
    EXPECT_EQ(run.expectOutput("second marker").outcome, ScenarioExecutor::Outcome::Failed);

    window->hostMessage("third marker");
    window->outputPane().clear();
    EXPECT_TRUE(window->outputLines().isEmpty());
    EXPECT_EQ(run.expectOutput("third marker").outcome, ScenarioExecutor::Outcome::Failed);
    window->hostMessage("third marker");
    const ScenarioExecutor::Result again = run.expectOutput("third marker");
    EXPECT_TRUE(again.message.startsWith(QString("output line %1:").arg(before + 20094)))
        << again.message.toStdString();
}

// The text view follows the log at the display's rate; what it shows after
// a flush is the filtered log, and Save writes the kept lines.
TEST_F(MainWindowTest, OutputPaneShowsFiltersAndSavesTheLines) {
    OutputPane& pane = window->outputPane();
    window->writeMessage(0, "QuillComponents", "LED:", "lit");
    window->hostMessage("halted");
    pane.flush();
    auto* view = pane.findChild<QPlainTextEdit*>("outputView");
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->toPlainText().endsWith("[QuillComponents] LED: lit\n[Debugger] halted"))
        << view->toPlainText().toStdString();
    auto* filter = pane.findChild<QComboBox*>("outputCategory");
    ASSERT_TRUE(filter);
    filter->setCurrentText("QuillComponents");
    EXPECT_EQ(view->toPlainText(), "LED: lit");

    const QString path = QDir::temp().filePath("quill-output-pane-test.txt");
    QString error;
    ASSERT_TRUE(pane.saveTo(path, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(saved.endsWith("[QuillComponents] LED: lit\n[Debugger] halted\n"))
        << saved.toStdString();
    file.close();
    QFile::remove(path);
    EXPECT_FALSE(pane.saveTo(QDir::temp().filePath("no-such-folder/x.txt"), &error));

    // The plug-in's trace has a category of its own, hidden until "Show
    // trace" is ticked or the category is chosen; Save... writes it.
    filter->setCurrentText("All");
    window->writeMessage(kTraceMessageKind, "QuillComponents", "CLEDView::UpdateIOMemory() -->",
                         "Mapped TWBR to adress $00 (0).");
    window->hostMessage("traced");
    pane.flush();
    EXPECT_FALSE(view->toPlainText().contains("Mapped TWBR")) << view->toPlainText().toStdString();
    EXPECT_TRUE(view->toPlainText().endsWith("[Debugger] traced"));
    filter->setCurrentText("QuillComponents trace");
    EXPECT_EQ(view->toPlainText(), "CLEDView::UpdateIOMemory() --> Mapped TWBR to adress $00 (0).");
    filter->setCurrentText("All");
    pane.findChild<QCheckBox*>("outputShowTrace")->click();
    EXPECT_TRUE(view->toPlainText().endsWith(
        "[QuillComponents trace] CLEDView::UpdateIOMemory() --> Mapped TWBR to adress $00 "
        "(0).\n[Debugger] traced"));
    ASSERT_TRUE(pane.saveTo(path, &error)) << error.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(file.readAll()).contains("Mapped TWBR to adress $00 (0)."));
    file.close();
    QFile::remove(path);

    // A pane at its last line follows the output.
    for (int i = 0; i < 300; ++i) window->hostMessage("more");
    pane.flush();
    QScrollBar* bar = view->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// The view takes the lines of a frame at once, at most kFrameLines of them
// (those passed over are counted in a line), and keeps its last kViewLines.
TEST_F(MainWindowTest, OutputPaneGathersAFramesLinesWithinItsBounds) {
    OutputPane& pane = window->outputPane();
    auto* view = pane.findChild<QPlainTextEdit*>("outputView");
    ASSERT_TRUE(view);
    pane.flush();
    const QString before = view->toPlainText();
    auto line = [&](int i) {
        window->writeMessage(0, "QuillComponents", "", "line " + std::to_string(i));
    };
    line(-1);
    EXPECT_EQ(view->toPlainText(), before);  // not before the frame ends
    const int frames = OutputPane::kViewLines / OutputPane::kFrameLines + 1;
    for (int i = 0; i < frames * OutputPane::kFrameLines; ++i) {
        line(i);
        if ((i + 1) % OutputPane::kFrameLines == 0) pane.flush();
    }
    QTextDocument* document = view->document();
    EXPECT_EQ(document->blockCount(), OutputPane::kViewLines);
    EXPECT_EQ(document->firstBlock().text(),
              QString("[QuillComponents] line %1")
                  .arg(frames * OutputPane::kFrameLines - OutputPane::kViewLines));

    for (int i = 0; i < OutputPane::kFrameLines + 10; ++i) line(i);
    pane.flush();
    EXPECT_EQ(document->blockCount(), OutputPane::kViewLines);
    EXPECT_EQ(document->findBlockByNumber(OutputPane::kViewLines - OutputPane::kFrameLines - 1).text(),
              "... 10 lines not shown here (Save... writes every line)");
    EXPECT_EQ(document->lastBlock().text(),
              QString("[QuillComponents] line %1").arg(OutputPane::kFrameLines + 9));
    window->hostMessage("more");
    pane.flush();
    EXPECT_EQ(document->lastBlock().text(), "[Debugger] more");
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

TEST_F(MainWindowTest, SynthesisedF11StepsTheProgram) {
    QString error;
    ASSERT_TRUE(window->startDebugging(&error)) << error.toStdString();
    EXPECT_EQ(GetThreadMainWindow(), reinterpret_cast<HWND>(window.get()));
    plugin.events.clear();
    ASSERT_TRUE(SendKeyboardEvent({VK_F11, 0x57, 0}));
    ASSERT_TRUE(SendKeyboardEvent({VK_F11, 0x57, KEYEVENTF_KEYUP | KEYEVENTF_EXTENDEDKEY}));
    QApplication::processEvents();
    EXPECT_EQ(machine->count, 1u);
    EXPECT_EQ(plugin.events, (std::vector<LONG>{kEventHalted}));
    // Other keys do not step.
    SendKeyboardEvent({VK_F1 + 11, 0x58, 0});  // F12 (F10 is Step over)
    QApplication::processEvents();
    EXPECT_EQ(machine->count, 1u);
}

TEST_F(MainWindowTest, RunKeepsTheWindowResponsiveAndBreakStops) {
    auto* speed = window->findChild<QLabel*>("runSpeed");
    ASSERT_TRUE(speed);
    EXPECT_EQ(speed->text(), "Real time");
    window->setPacing(false);
    EXPECT_EQ(speed->text(), "As fast as possible");
    EXPECT_EQ(window->runMode(), RunPacer::Mode::AsFastAsPossible);
    QString error;
    ASSERT_TRUE(window->startDebugging(&error));
    window->run();
    EXPECT_EQ(window->debugger().state(), Debugger::State::Running);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_GT(machine->count, 0u);
    window->breakRun();
    uint64_t halted = machine->count;
    QApplication::processEvents();
    EXPECT_EQ(machine->count, halted);
    EXPECT_EQ(plugin.events[3], kEventRunStarted);  // after 101, 103, 3
    window->resetTarget();
    EXPECT_EQ(machine->resets, 1);
    window->stopDebugging();
    EXPECT_EQ(plugin.events.back(), kEventSessionEnded);
}

}  // namespace

// The Board menu chooses a board's part and clock; another part afterwards
// leaves the board.
TEST(MainWindowBoards, TheBoardMenuChoosesPartAndClock) {
    SessionConfig config;
    config.installDirectory = std::string(QUILL_SOURCE_DIR) + "/host";
    const std::unique_ptr<MainWindow> owned = BuildWorkbench(config, {});
    MainWindow& window = *owned;
    auto* mega = window.findChild<QAction*>("board_Mega");
    ASSERT_TRUE(mega);
    mega->trigger();
    EXPECT_EQ(window.config().board, "Mega");
    EXPECT_EQ(window.config().part, "ATmega2560");
    EXPECT_DOUBLE_EQ(window.config().frequencyMHz, 16.0);
    EXPECT_TRUE(mega->isChecked());
    auto* parts = window.findChild<QComboBox*>("partChooser");
    parts->setCurrentIndex(parts->findText("ATmega16"));
    EXPECT_EQ(window.config().board, "");
    EXPECT_TRUE(window.findChild<QAction*>("board_none")->isChecked());
    QString error;
    EXPECT_FALSE(window.chooseBoard("Leonardo", &error));
    EXPECT_EQ(error, "unknown board \"Leonardo\" (known: Mega, Nano, Uno)");
}
