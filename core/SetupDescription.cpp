// The setup description the host reads through GetSetup: the command list,
// the entries of the "Kivo AVR Studio Plugins" sub-menu of the Tools menu
// and the toolbar. One line, no whitespace between elements; list values
// are "[A:B:C]". The position of an identifier in the framework's command
// list is the number the host passes to ExecuteCommand; the toolbar
// bitmaps are the module's resource numbers.
#include <string>

#include "contract/ResourceIds.h"
#include "core/CLEDView.h"

namespace {

// clang-format off
// Built on first use, so that any static initialiser may ask for it.
const std::string& setupDescription() {
    static const std::string text = std::string() +
    "<GUI_PLUGIN>"
    "<FRAMEWORK>"
    "<NAME>Kivo AVR Studio Plugins</NAME>"
    "<COMMAND_LIST>[KN:CM:LD:SW:AD:KP:CFG:STV:BB:LCD:ASI:ABOUT]</COMMAND_LIST>"
    "</FRAMEWORK>"
    "<MENUS>"
    "<MENU_NAMES>[TOOLS]</MENU_NAMES>"
    "<TOOLS>"
    "<MENU_TEXT>Kivo AVR Studio Plugins</MENU_TEXT>"
    "<SUB_MENU>TRUE</SUB_MENU>"
    "<MENU_NAMES>[KN:CM:LD:SW:AD:KP:CFG:STV:BB:LCD:ASI:ABOUT]</MENU_NAMES>"
    "<ABOUT><MENU_TEXT>About Kido Studio Plugins...</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<COMMAND_ID>ABOUT</COMMAND_ID><SEPARATOR>AFTER</SEPARATOR></ABOUT>"
    "<KN><MENU_TEXT>Knight Rider</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<TOOLTIP_HELP>Knight Rider</TOOLTIP_HELP><COMMAND_ID>KN</COMMAND_ID></KN>"
    "<CM><MENU_TEXT>Capacity Measurement</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<TOOLTIP_HELP>Capacity Measurement</TOOLTIP_HELP><COMMAND_ID>CM</COMMAND_ID></CM>"
    "<LD><MENU_TEXT>LED</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<TOOLTIP_HELP>LED</TOOLTIP_HELP><COMMAND_ID>LD</COMMAND_ID></LD>"
    "<SW><MENU_TEXT>Switch</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<TOOLTIP_HELP>Switch</TOOLTIP_HELP><COMMAND_ID>SW</COMMAND_ID></SW>"
    "<AD><MENU_TEXT>Slider</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<TOOLTIP_HELP>Slider</TOOLTIP_HELP><COMMAND_ID>AD</COMMAND_ID></AD>"
    "<KP><MENU_TEXT>Keypad</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<TOOLTIP_HELP>Keypad</TOOLTIP_HELP><COMMAND_ID>KP</COMMAND_ID></KP>"
    "<STV><MENU_TEXT>Stack view++</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<COMMAND_ID>STV</COMMAND_ID></STV>"
    "<BB><MENU_TEXT>Beerbasement</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<COMMAND_ID>BB</COMMAND_ID></BB>"
    "<LCD><MENU_TEXT>Hitachi LCD</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<COMMAND_ID>LCD</COMMAND_ID></LCD>"
    "<ASI><MENU_TEXT>Autostep INTO</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
        "<COMMAND_ID>ASI</COMMAND_ID></ASI>"
    "</TOOLS>"
    "</MENUS>"
    "<TOOLBARS>"
    "<TOOLBAR_NAMES>[Quill]</TOOLBAR_NAMES>"
    "<Quill>"
    "<COMMAND_LIST>[KN:CM:LD:SW:AD:KP:STV:BB:LCD:ASI]</COMMAND_LIST>"
    "<KN><COMMAND_ID>KN</COMMAND_ID><BITMAPID>" + std::to_string(bitmap::kToolKnightRider) + "</BITMAPID>"
        "<TOOLTIP_HELP>Knightrider</TOOLTIP_HELP></KN>"
    "<CM><COMMAND_ID>CM</COMMAND_ID><BITMAPID>" + std::to_string(bitmap::kToolCapacity) + "</BITMAPID>"
        "<TOOLTIP_HELP>Capacity Measurement</TOOLTIP_HELP></CM>"
    "<LD><COMMAND_ID>LD</COMMAND_ID><BITMAPID>" + std::to_string(bitmap::kToolLed) + "</BITMAPID>"
        "<TOOLTIP_HELP>LED</TOOLTIP_HELP></LD>"
    "<SW><COMMAND_ID>SW</COMMAND_ID><BITMAPID>" + std::to_string(bitmap::kToolSwitch) + "</BITMAPID>"
        "<TOOLTIP_HELP>Switch</TOOLTIP_HELP></SW>"
    "<AD><COMMAND_ID>AD</COMMAND_ID><BITMAPID>" + std::to_string(bitmap::kToolSlider) + "</BITMAPID>"
        "<TOOLTIP_HELP>Slider</TOOLTIP_HELP></AD>"
    "<KP><COMMAND_ID>KP</COMMAND_ID><TOOLTIP_HELP>Keypad</TOOLTIP_HELP>"
        "<BITMAPID>" + std::to_string(bitmap::kToolKeypad) + "</BITMAPID></KP>"
    "<STV><COMMAND_ID>STV</COMMAND_ID><TOOLTIP_HELP>Stackview</TOOLTIP_HELP>"
        "<BITMAPID>" + std::to_string(bitmap::kToolStackView) + "</BITMAPID></STV>"
    "<BB><COMMAND_ID>BB</COMMAND_ID><TOOLTIP_HELP>Beerbasement</TOOLTIP_HELP>"
        "<BITMAPID>" + std::to_string(bitmap::kToolBeerbasement) + "</BITMAPID></BB>"
    "<LCD><COMMAND_ID>LCD</COMMAND_ID><TOOLTIP_HELP>Hitachi LCD</TOOLTIP_HELP>"
        "<BITMAPID>" + std::to_string(bitmap::kToolLcd) + "</BITMAPID></LCD>"
    "<ASI><COMMAND_ID>ASI</COMMAND_ID><TOOLTIP_HELP>Autostep INTO</TOOLTIP_HELP>"
        "<BITMAPID>" + std::to_string(bitmap::kToolAutostep) + "</BITMAPID></ASI>"
    "</Quill>"
    "</TOOLBARS>"
    "</GUI_PLUGIN>";
    return text;
}
// clang-format on

}  // namespace

const char* CLEDView::SetupDescription() { return setupDescription().c_str(); }
