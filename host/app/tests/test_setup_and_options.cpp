#include <gtest/gtest.h>

#include "host/app/SetupDescription.h"

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
