// A lab saved from one main window and opened in a fresh one brings back
// the part, clock, program, pacing, windows and their places; a lab that
// cannot be opened changes nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDockWidget>
#include <filesystem>
#include <fstream>

#include "host/app/HostSetup.h"
#include "host/app/LabSession.h"
#include "host/app/MainWindow.h"

namespace {

namespace fs = std::filesystem;

struct LabSession : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("quill-lab-session-" + std::to_string(::getpid()));
    std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";

    void SetUp() override {
        if (!fs::exists(module)) GTEST_SKIP() << "module not built";
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(std::string(QUILL_BINARY_DIR) + "/firmware/lcd_demo.elf",
                      dir / "lcd_demo.elf");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<MainWindow> host(const std::string& firmware) {
        HostOptions options;
        options.firmware = firmware;
        options.module = module;
        std::string error;
        HostEnvironment env = PrepareHost(options, &error);
        EXPECT_EQ(error, "");
        auto window = std::make_unique<MainWindow>(env.config, env.factory);
        window->show();
        QString why;
        EXPECT_TRUE(AttachModule(*window, options, &why)) << why.toStdString();
        return window;
    }
    static QStringList titles(MainWindow& window) {
        QStringList t;
        for (QDockWidget* dock : window.componentDocks())
            if (!dock->isHidden()) t << dock->windowTitle();
        return t;
    }
};

TEST_F(LabSession, SavedLabReopensInAFreshWindowAsItWas) {
    const std::string lab = (dir / "lab.quill").string();
    QStringList savedTitles;
    std::vector<QRect> places;
    {
        auto window = host((dir / "lcd_demo.elf").string());
        window->chooseSession("ATmega16", 3.5, (dir / "lcd_demo.elf").string());
        QString why;
        ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
        window->setRunMode(RunPacer::Mode::AsFastAsPossible);
        for (const char* id : {"LCD", "LD", "KP", "LD"}) ASSERT_TRUE(OpenComponent(*window, id, &why));
        QApplication::processEvents();
        // The user moves the Keypad to the left side.
        window->addDockWidget(Qt::LeftDockWidgetArea, window->componentDocks()[2]);
        QApplication::processEvents();
        ASSERT_TRUE(SaveLabFile(*window, QString::fromStdString(lab), &why)) << why.toStdString();
        savedTitles = titles(*window);
        for (QDockWidget* dock : window->componentDocks()) places.push_back(dock->geometry());
    }
    auto fresh = host(std::string(QUILL_BINARY_DIR) + "/firmware/running_light.elf");
    QString why;
    ASSERT_TRUE(OpenLabFile(*fresh, QString::fromStdString(lab), &why)) << why.toStdString();
    QApplication::processEvents();
    EXPECT_EQ(fresh->config().part, "ATmega16");
    EXPECT_DOUBLE_EQ(fresh->config().frequencyMHz, 3.5);
    EXPECT_EQ(fresh->config().firmware, (dir / "lcd_demo.elf").string());
    EXPECT_EQ(fresh->runMode(), RunPacer::Mode::AsFastAsPossible);
    EXPECT_TRUE(fresh->debuggingActive());
    EXPECT_EQ(titles(*fresh), savedTitles);
    ASSERT_EQ(fresh->componentDocks().size(), places.size());
    EXPECT_EQ(fresh->dockWidgetArea(fresh->componentDocks()[2]), Qt::LeftDockWidgetArea);
    for (std::size_t i = 0; i < places.size(); ++i)
        EXPECT_EQ(fresh->componentDocks()[i]->geometry(), places[i]) << i;

    // Refused labs leave the window as it is.
    std::string text;
    {
        std::ifstream in(lab);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto refused = [&](const std::string& bad, const char* reason) {
        std::ofstream(dir / "bad.quill") << bad;
        QString error;
        EXPECT_FALSE(OpenLabFile(*fresh, QString::fromStdString((dir / "bad.quill").string()),
                                 &error));
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
        EXPECT_EQ(fresh->config().part, "ATmega16");
        EXPECT_EQ(titles(*fresh), savedTitles);
        EXPECT_TRUE(fresh->debuggingActive());
    };
    std::string part = text;
    part.replace(part.find("ATmega16"), 8, "ATmega99");
    refused(part, "part \"ATmega99\"");
    std::string command = text;
    command.replace(command.find("command=\"KP\""), 12, "command=\"XX\"");
    refused(command, "command XX");
    refused("<quill-lab version=\"2\"><part>ATmega16</part></quill-lab>", "newer quill-host");
}

}  // namespace
