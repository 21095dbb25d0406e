// A program that exits in the window: Run stops where it exits, as at a
// breakpoint, and the output pane and the status bar say "Program exited
// (N)"; Run again does not start it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <filesystem>

#include "host/session/HostSetup.h"
#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"
#include "host/ui/OutputPane.h"

TEST(ExitWindow, RunStopsWhereTheProgramExitsAndSaysWithWhichCode) {
    const std::string elf = std::string(QUILL_BINARY_DIR) + "/firmware/exit_status_3.elf";
    if (!std::filesystem::exists(elf)) GTEST_SKIP() << "firmware not built: " << elf;
    SessionConfig config;
    config.installDirectory = std::string(QUILL_SOURCE_DIR) + "/host";
    config.firmware = elf;
    const std::unique_ptr<MainWindow> owned = BuildWorkbench(config, SimulatorFactory());
    MainWindow& window = *owned;
    window.setPacing(false);
    window.resize(900, 600);
    window.show();
    QString error;
    ASSERT_TRUE(window.startDebugging(&error)) << error.toStdString();
    window.run();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.debugger().state() == Debugger::State::Halted; }, 10000));
    ASSERT_EQ(window.debugger().exitCode(), 3);
    QApplication::processEvents();
    const QStringList lines = window.outputPane().lines();
    EXPECT_TRUE(lines.filter("Program exited (3)").size() == 1) << lines.join("\n").toStdString();
    EXPECT_TRUE(lines.filter("Program stopped").isEmpty()) << lines.join("\n").toStdString();
    auto* status = window.findChild<QLabel*>("sessionStatus");
    ASSERT_TRUE(status);
    QTest::qWait(200);  // the status line is brought up to date on a timer
    EXPECT_TRUE(status->text().contains("Program exited (3)")) << status->text().toStdString();
    EXPECT_TRUE(status->text().contains("Halted")) << status->text().toStdString();
    window.grab().save(QString::fromStdString(
        (std::filesystem::temp_directory_path() / "quill_exit_window.png").string()));

    // Nothing more runs: the cycle count stays, the message is not repeated
    // as another kind of stop.
    const uint64_t cycles = window.debugger().machine()->cycles();
    window.run();
    QTest::qWait(100);
    EXPECT_EQ(window.debugger().state(), Debugger::State::Halted);
    EXPECT_EQ(window.debugger().machine()->cycles(), cycles);
    EXPECT_TRUE(window.outputPane().lines().filter("Program stopped").isEmpty());
}
