#include <gtest/gtest.h>

#include "core/CLEDView.h"
#include "host/app/HostOptions.h"
#include "host/app/SetupDescription.h"

namespace {

std::vector<std::string> L(std::initializer_list<const char*> items) {
    return {items.begin(), items.end()};
}

TEST(SetupDescription, ReadsThePluginsOwnDescription) {
    std::string error;
    auto setup = ParseSetupDescription(CLEDView::SetupDescription(), &error);
    ASSERT_TRUE(setup) << error;
    EXPECT_EQ(setup->frameworkName, "Kivo AVR Studio Plugins");
    ASSERT_EQ(setup->commands.size(), 12u);
    EXPECT_EQ(setup->commandIndex("CFG"), 6);
    EXPECT_EQ(setup->commandIndex("ABOUT"), 11);

    ASSERT_EQ(setup->menus.size(), 1u);
    const SetupMenu& tools = setup->menus[0];
    EXPECT_EQ(tools.parent, "TOOLS");
    EXPECT_EQ(tools.text, "Kivo AVR Studio Plugins");
    EXPECT_TRUE(tools.subMenu);
    // Eleven entries in element order: About first with its separator, no
    // entry for CFG.
    ASSERT_EQ(tools.entries.size(), 11u);
    EXPECT_EQ(tools.entries[0].id, "ABOUT");
    EXPECT_EQ(tools.entries[0].command, 11);
    EXPECT_TRUE(tools.entries[0].separatorAfter);
    EXPECT_EQ(tools.entries[1].text, "Knight Rider");
    EXPECT_EQ(tools.entries[1].tooltip, "Knight Rider");
    for (const auto& e : tools.entries) {
        EXPECT_NE(e.id, "CFG");
        if (e.id != "ABOUT") {
            EXPECT_FALSE(e.separatorAfter) << e.id;
        }
    }
    EXPECT_EQ(tools.entries[7].text, "Stack view++");
    EXPECT_EQ(tools.entries[7].command, 7);

    ASSERT_EQ(setup->toolbars.size(), 1u);
    const SetupToolbar& bar = setup->toolbars[0];
    EXPECT_EQ(bar.name, "Quill");
    ASSERT_EQ(bar.buttons.size(), 10u);
    EXPECT_EQ(bar.buttons[0].bitmapId, 5001);
    EXPECT_EQ(bar.buttons[0].tooltip, "Knightrider");
    EXPECT_EQ(bar.buttons[5].id, "KP");  // children in the other order
    EXPECT_EQ(bar.buttons[5].bitmapId, 242);
    EXPECT_EQ(bar.buttons[6].command, 7);
    EXPECT_EQ(bar.buttons[9].bitmapId, 281);
}

TEST(SetupDescription, ListValues) {
    EXPECT_EQ(*ParseSetupList("[A:BC:D]"), L({"A", "BC", "D"}));
    EXPECT_TRUE(ParseSetupList("[]")->empty());
    EXPECT_FALSE(ParseSetupList("A:B"));
    EXPECT_FALSE(ParseSetupList("[A::B]"));
    EXPECT_FALSE(ParseSetupList("[A:]"));
    EXPECT_FALSE(ParseSetupList(""));
}

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

TEST(HostOptions, HeadlessNeedsFirmwareAndScenario) {
    std::string error;
    EXPECT_FALSE(ParseHostOptions(L({"--headless", "--firmware", "a.elf"}), &error));
    EXPECT_NE(error.find("--scenario"), std::string::npos);
    // The scenario may name the firmware itself.
    EXPECT_TRUE(ParseHostOptions(L({"--headless", "--scenario", "a.scn"}), &error));

    auto ok = ParseHostOptions(
        L({"--headless", "--part", "ATmega32", "--firmware=a.elf", "--scenario", "s.scn",
           "--screenshots", "shots", "--frequency", "4.5", "--open", "KN,,LD"}),
        &error);
    ASSERT_TRUE(ok) << error;
    EXPECT_TRUE(ok->headless);
    EXPECT_TRUE(ok->partGiven);
    EXPECT_TRUE(ok->frequencyGiven);
    EXPECT_EQ(ok->part, "ATmega32");
    EXPECT_EQ(ok->firmware, "a.elf");
    EXPECT_EQ(ok->screenshots, "shots");
    EXPECT_DOUBLE_EQ(ok->frequencyMHz, 4.5);
    EXPECT_EQ(ok->open, L({"KN", "LD"}));
}

TEST(HostOptions, RejectsBadValues) {
    std::string error;
    for (const char* f : {"0", "-1", "abc", "1e400", "40", "nan", "4MHz"}) {
        EXPECT_FALSE(ParseHostOptions(L({"--frequency", f}), &error)) << f;
    }
    EXPECT_FALSE(ParseHostOptions(L({"--part"}), &error));
    EXPECT_NE(error.find("needs a value"), std::string::npos);
    EXPECT_FALSE(ParseHostOptions(L({"--part", "--headless"}), &error));
    EXPECT_FALSE(ParseHostOptions(L({"--bogus"}), &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
}

}  // namespace
