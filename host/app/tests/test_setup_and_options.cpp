#include <gtest/gtest.h>

#include <QComboBox>
#include <filesystem>
#include <fstream>

#include "host/session/HostOptions.h"
#include "host/session/HostSetup.h"
#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"
#include "host/session/SetupDescription.h"

namespace {

TEST(SetupDescription, DiagnosesBadDescriptions) {
    std::string error;
    EXPECT_FALSE(ParseSetupDescription("<GUI_PLUGIN><FRAMEWORK>", &error));
    EXPECT_NE(error.find("not well-formed"), std::string::npos) << error;

    EXPECT_FALSE(ParseSetupDescription("<OTHER/>", &error));
    EXPECT_NE(error.find("GUI_PLUGIN"), std::string::npos);

    EXPECT_FALSE(ParseSetupDescription(
        "<GUI_PLUGIN><FRAMEWORK><COMMAND_LIST>A:B</COMMAND_LIST></FRAMEWORK></GUI_PLUGIN>",
        &error));
    EXPECT_NE(error.find("COMMAND_LIST"), std::string::npos);

    // A menu entry whose command the framework does not list.
    const char* unknownCommand =
        "<GUI_PLUGIN><FRAMEWORK><COMMAND_LIST>[A]</COMMAND_LIST></FRAMEWORK>"
        "<MENUS><MENU_NAMES>[TOOLS]</MENU_NAMES><TOOLS><MENU_NAMES>[B]</MENU_NAMES>"
        "<B><MENU_TEXT>b</MENU_TEXT><COMMAND_ID>B</COMMAND_ID></B></TOOLS></MENUS></GUI_PLUGIN>";
    EXPECT_FALSE(ParseSetupDescription(unknownCommand, &error));
    EXPECT_NE(error.find("command B"), std::string::npos) << error;

    const char* badBitmap =
        "<GUI_PLUGIN><FRAMEWORK><COMMAND_LIST>[A]</COMMAND_LIST></FRAMEWORK>"
        "<TOOLBARS><TOOLBAR_NAMES>[T]</TOOLBAR_NAMES><T><COMMAND_LIST>[A]</COMMAND_LIST>"
        "<A><COMMAND_ID>A</COMMAND_ID><BITMAPID>12x</BITMAPID></A></T></TOOLBARS></GUI_PLUGIN>";
    EXPECT_FALSE(ParseSetupDescription(badBitmap, &error));
    EXPECT_NE(error.find("BITMAPID"), std::string::npos) << error;
}

}  // namespace

TEST(HostOptions, TimeLimitIsParsedAndBounded) {
    std::string error;
    auto options = ParseHostOptions({"--headless", "--scenario", "s.scn"}, &error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->timeLimitSeconds, 300);
    EXPECT_FALSE(options->fast);
    options = ParseHostOptions({"--run", "--fast"}, &error);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->run && options->fast);
    options =
        ParseHostOptions({"--headless", "--scenario", "s.scn", "--time-limit", "0.5"}, &error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->timeLimitSeconds, 0.5);
    for (const char* bad : {"-1", "soon", "", "1e9", "nan"}) {
        EXPECT_FALSE(ParseHostOptions({"--time-limit", bad}, &error)) << bad;
        EXPECT_NE(error.find("--time-limit wants seconds"), std::string::npos) << error;
    }
}

// The clock is a plain number of MHz from the slowest the simulator can
// time (3200 Hz; below it a conversion divided by zero) to 32.
TEST(HostOptions, TheClockIsAPlainNumberTheSimulatorCanTime) {
    std::string error;
    for (const char* good : {"0.0032", "3.6864", "32", "8"}) {
        auto options = ParseHostOptions({"--frequency", good}, &error);
        ASSERT_TRUE(options) << good << ": " << error;
        EXPECT_DOUBLE_EQ(options->frequencyMHz, std::stod(good));
        EXPECT_TRUE(options->frequencyGiven);
    }
    for (const char* bad : {"0.001", "0.0031", "0", "-1", "0x10", "33", "inf", " 1", "1MHz", ""}) {
        EXPECT_FALSE(ParseHostOptions({"--frequency", bad}, &error)) << bad;
        EXPECT_NE(error.find("--frequency wants a clock in MHz from 0.0032 to 32 MHz"),
                  std::string::npos)
            << error;
    }
}

// A lab comes alone (quill-host lab.quill) or with --lab, also headless;
// --version needs no scenario.
TEST(HostOptions, LabFileAloneOrWithItsOptionAndVersion) {
    std::string error;
    auto options = ParseHostOptions({"class/lab.quill"}, &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->lab, "class/lab.quill");
    options = ParseHostOptions({"--headless", "--lab", "l.quill", "--scenario", "s.scn",
                                "--junit", "r.xml", "--quiet"},
                               &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->lab, "l.quill");
    EXPECT_EQ(options->junit, "r.xml");
    EXPECT_TRUE(options->quiet);
    EXPECT_FALSE(ParseHostOptions({"notes.txt"}, &error));
    options = ParseHostOptions({"--headless", "--version"}, &error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->version);
}

// The part name is found whatever its case, and reported as the file names
// it; a part description the module could not use stops the start.
TEST(HostSetup, PartNamesIgnoreCaseAndUnusableDescriptionsStopTheStart) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "quill_host_setup_parts";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "Partdescriptionfiles");
    std::filesystem::copy_file(
        std::string(QUILL_SOURCE_DIR) + "/host/Partdescriptionfiles/ATmega16.xml",
        dir / "Partdescriptionfiles" / "ATmega16.xml");
    std::ofstream(dir / "Partdescriptionfiles" / "Empty.xml").close();
    HostOptions options;
    options.installDir = dir.string();
    options.part = "atmega16";
    std::string error;
    HostEnvironment env = PrepareHost(options, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(env.config.part, "ATmega16");
    options.part = "EMPTY";
    PrepareHost(options, &error);
    EXPECT_NE(error.find("Empty.xml\" is empty"), std::string::npos) << error;
    options.part = "ATmega99";
    PrepareHost(options, &error);
    // Empty is no part the simulator runs: not offered, though its file is
    // diagnosed above.
    EXPECT_NE(error.find("unknown part \"ATmega99\" (known parts: ATmega16)"),
              std::string::npos)
        << error;
    std::filesystem::remove_all(dir);
}

// A part description of a part the simulator cannot run (simavr has no
// core for it, or the description's registers are not those of simavr's
// core of that name) is neither started nor offered: the start refuses it
// by name with the reason, and the part chooser, the part list of a lab
// and the list of known parts leave it out.
TEST(HostSetup, DescribedPartsTheSimulatorCannotRunAreNotOffered) {
    if (!SimulatorFactory()) GTEST_SKIP() << "built without the simulator";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "quill_host_setup_unrun_parts";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "Partdescriptionfiles");
    const std::string source = std::string(QUILL_SOURCE_DIR) + "/host/Partdescriptionfiles/";
    // The ATmega16's description under the name of a part simavr 1.6 has no
    // core for, and the ATmega8's under the ATmega328P's name.
    std::filesystem::copy_file(source + "ATmega16.xml", dir / "Partdescriptionfiles/ATmega16.xml");
    std::filesystem::copy_file(source + "ATmega16.xml",
                               dir / "Partdescriptionfiles/ATmega4809.xml");
    std::filesystem::copy_file(source + "ATmega8.xml", dir / "Partdescriptionfiles/ATmega328P.xml");
    HostOptions options;
    options.installDir = dir.string();
    std::string error;
    options.part = "atmega4809";
    PrepareHost(options, &error);
    EXPECT_EQ(error,
              "the simulator cannot run the ATmega4809 (simavr has no core for the ATmega4809); "
              "it runs ATmega16");
    options.part = "ATmega328P";
    PrepareHost(options, &error);
    EXPECT_EQ(error,
              "the simulator cannot run the ATmega328P (the ATmega328P description does not "
              "match simavr's core: SRAM ends at 0x45F, RAMEND at 0x8FF); it runs ATmega16");
    options.part = "ATmega99";
    PrepareHost(options, &error);
    EXPECT_NE(error.find("(known parts: ATmega16)"), std::string::npos) << error;

    options.part = "ATmega16";
    HostEnvironment env = PrepareHost(options, &error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(env.config.runnableParts, std::vector<std::string>{"ATmega16"});
    const std::unique_ptr<MainWindow> owned = BuildWorkbench(env.config, env.factory);
    MainWindow& window = *owned;
    EXPECT_EQ(window.availableParts(), QStringList{"ATmega16"});
    auto* chooser = window.findChild<QComboBox*>("partChooser");
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->count(), 1);
    EXPECT_EQ(chooser->currentText(), "ATmega16");
    std::filesystem::remove_all(dir);
}
