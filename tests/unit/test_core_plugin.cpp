// The plug-in object at the host boundary: the setup description and Init
// on missing and failing hosts.
#include "test_core_fixture.h"

namespace {

// The setup description as the host must receive it, written out from the
// command table: menu entries without tooltips for STV, BB, LCD and ASI,
// no menu element for CFG, toolbar children in two different orders.
const char kExpectedSetup[] =
    "<GUI_PLUGIN><FRAMEWORK><NAME>Kivo AVR Studio Plugins</NAME>"
    "<COMMAND_LIST>[KN:CM:LD:SW:AD:KP:CFG:STV:BB:LCD:ASI:ABOUT]</COMMAND_LIST></FRAMEWORK>"
    "<MENUS><MENU_NAMES>[TOOLS]</MENU_NAMES><TOOLS><MENU_TEXT>Kivo AVR Studio Plugins</MENU_TEXT>"
    "<SUB_MENU>TRUE</SUB_MENU><MENU_NAMES>[KN:CM:LD:SW:AD:KP:CFG:STV:BB:LCD:ASI:ABOUT]</MENU_NAMES>"
    "<ABOUT><MENU_TEXT>About Kido Studio Plugins...</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
    "<COMMAND_ID>ABOUT</COMMAND_ID><SEPARATOR>AFTER</SEPARATOR></ABOUT>"
    "<KN><MENU_TEXT>Knight Rider</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
    "<TOOLTIP_HELP>Knight Rider</TOOLTIP_HELP><COMMAND_ID>KN</COMMAND_ID></KN>"
    "<CM><MENU_TEXT>Capacity Measurement</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
    "<TOOLTIP_HELP>Capacity Measurement</TOOLTIP_HELP><COMMAND_ID>CM</COMMAND_ID></CM>"
    "<LD><MENU_TEXT>LED</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU><TOOLTIP_HELP>LED</TOOLTIP_HELP>"
    "<COMMAND_ID>LD</COMMAND_ID></LD>"
    "<SW><MENU_TEXT>Switch</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU><TOOLTIP_HELP>Switch</TOOLTIP_HELP>"
    "<COMMAND_ID>SW</COMMAND_ID></SW>"
    "<AD><MENU_TEXT>Slider</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU><TOOLTIP_HELP>Slider</TOOLTIP_HELP>"
    "<COMMAND_ID>AD</COMMAND_ID></AD>"
    "<KP><MENU_TEXT>Keypad</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU><TOOLTIP_HELP>Keypad</TOOLTIP_HELP>"
    "<COMMAND_ID>KP</COMMAND_ID></KP>"
    "<STV><MENU_TEXT>Stack view++</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
    "<COMMAND_ID>STV</COMMAND_ID></STV>"
    "<BB><MENU_TEXT>Beerbasement</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
    "<COMMAND_ID>BB</COMMAND_ID></BB>"
    "<LCD><MENU_TEXT>Hitachi LCD</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
    "<COMMAND_ID>LCD</COMMAND_ID></LCD>"
    "<ASI><MENU_TEXT>Autostep INTO</MENU_TEXT><SUB_MENU>FALSE</SUB_MENU>"
    "<COMMAND_ID>ASI</COMMAND_ID></ASI>"
    "</TOOLS></MENUS>"
    "<TOOLBARS><TOOLBAR_NAMES>[Quill]</TOOLBAR_NAMES><Quill>"
    "<COMMAND_LIST>[KN:CM:LD:SW:AD:KP:STV:BB:LCD:ASI]</COMMAND_LIST>"
    "<KN><COMMAND_ID>KN</COMMAND_ID><BITMAPID>5001</BITMAPID><TOOLTIP_HELP>Knightrider</"
    "TOOLTIP_HELP></KN>"
    "<CM><COMMAND_ID>CM</COMMAND_ID><BITMAPID>234</BITMAPID>"
    "<TOOLTIP_HELP>Capacity Measurement</TOOLTIP_HELP></CM>"
    "<LD><COMMAND_ID>LD</COMMAND_ID><BITMAPID>235</BITMAPID><TOOLTIP_HELP>LED</TOOLTIP_HELP></LD>"
    "<SW><COMMAND_ID>SW</COMMAND_ID><BITMAPID>236</BITMAPID><TOOLTIP_HELP>Switch</TOOLTIP_HELP></"
    "SW>"
    "<AD><COMMAND_ID>AD</COMMAND_ID><BITMAPID>266</BITMAPID><TOOLTIP_HELP>Slider</TOOLTIP_HELP></"
    "AD>"
    "<KP><COMMAND_ID>KP</COMMAND_ID><TOOLTIP_HELP>Keypad</TOOLTIP_HELP><BITMAPID>242</BITMAPID></"
    "KP>"
    "<STV><COMMAND_ID>STV</COMMAND_ID><TOOLTIP_HELP>Stackview</TOOLTIP_HELP><BITMAPID>267</"
    "BITMAPID></STV>"
    "<BB><COMMAND_ID>BB</COMMAND_ID><TOOLTIP_HELP>Beerbasement</TOOLTIP_HELP><BITMAPID>269</"
    "BITMAPID></BB>"
    "<LCD><COMMAND_ID>LCD</COMMAND_ID><TOOLTIP_HELP>Hitachi LCD</TOOLTIP_HELP>"
    "<BITMAPID>288</BITMAPID></LCD>"
    "<ASI><COMMAND_ID>ASI</COMMAND_ID><TOOLTIP_HELP>Autostep INTO</TOOLTIP_HELP>"
    "<BITMAPID>281</BITMAPID></ASI>"
    "</Quill></TOOLBARS></GUI_PLUGIN>";

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

}  // namespace

TEST(SetupDescription, IsTheHostsTextByteForByte) {
    EXPECT_EQ(std::string(CLEDView::SetupDescription()), std::string(kExpectedSetup));

    CLEDView* view = new CLEDView;
    view->AddRef();
    BSTR xml = nullptr;
    EXPECT_EQ(view->GetSetup(&xml), S_OK);
    EXPECT_EQ(BstrToAnsi(xml), std::string(kExpectedSetup));
    SysFreeString(xml);
    EXPECT_EQ(view->GetSetup(nullptr), E_POINTER);
    view->Release();
}

// The host numbers commands by their place in the command list; the shared
// command table must list them in the same order.
TEST(SetupDescription, CommandListFollowsTheSharedCommandTable) {
    std::string list;
    for (const CommandInfo& info : kCommands)
        list += (list.empty() ? "[" : ":") + std::string(info.id);
    list += "]";
    const std::string setup = CLEDView::SetupDescription();
    EXPECT_NE(setup.find("<COMMAND_LIST>" + list + "</COMMAND_LIST>"), std::string::npos) << list;
}

// ---- Init

TEST_F(CoreTest, InitWithoutHostInterfaceIsRefused) {
    EXPECT_EQ(view->Init(nullptr), E_POINTER);
    EXPECT_TRUE(services().categories.empty());
    EXPECT_TRUE(works().commandStateCalls.empty());
}

TEST_F(CoreTest, InitReturnsTheFailureOfEveryHostStep) {
    // Host services cannot be created.
    host.registration().FailCreation(E_OUTOFMEMORY);
    EXPECT_EQ(view->Init(&works()), E_OUTOFMEMORY);
    EXPECT_TRUE(services().categories.empty());
    host.registration().FailCreation(S_OK);

    // The output category cannot be registered.
    services().createCategoryResult = kAccessDenied;
    EXPECT_EQ(view->Init(&works()), kAccessDenied);
    services().createCategoryResult = S_OK;

    // The host's IGuiWorks is not there.
    works().queryInterfaceResult = E_NOINTERFACE;
    EXPECT_EQ(view->Init(&works()), E_NOINTERFACE);
    works().queryInterfaceResult = S_OK;

    // None of the failed attempts touched the commands or left a working
    // host connection behind.
    EXPECT_TRUE(works().commandStateCalls.empty());
    works().debugging = 1;
    view->HandleEvent(kEventTargetReady, nullptr);
    EXPECT_FALSE(view->IsAttached());
}
