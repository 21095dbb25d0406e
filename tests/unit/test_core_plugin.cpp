// The plug-in object at the host boundary: setup description, COM identity,
// Init on good and failing hosts, command dispatch, SaveFile and Close.
#include <tinyxml.h>

#include "platform/window.h"
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

// A component window that records the order in which windows are shown.
struct FakeWindow : IComponentWindow {
    FakeWindow(int id, std::vector<int>* shown) : id(id), shown(shown) {}
    void Show() override { shown->push_back(id); }
    int id;
    std::vector<int>* shown;
};

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

struct FactoryCall {
    CLEDView* core;
    int command;
    int dialog;
};

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

TEST(SetupDescription, CommandListPositionsAreTheDispatchNumbers) {
    TiXmlDocument doc;
    doc.Parse(CLEDView::SetupDescription());
    ASSERT_FALSE(doc.Error()) << doc.ErrorDesc();
    const char* list = TiXmlHandle(&doc)
                           .FirstChildElement("GUI_PLUGIN")
                           .FirstChildElement("FRAMEWORK")
                           .FirstChildElement("COMMAND_LIST")
                           .ToElement()
                           ->GetText();
    ASSERT_NE(list, nullptr);
    std::string ids = list;
    auto position = [&](const std::string& id) {
        std::string inner = ids.substr(1, ids.size() - 2) + ":";
        int index = 0;
        size_t from = 0;
        for (size_t colon; (colon = inner.find(':', from)) != std::string::npos; ++index) {
            if (inner.substr(from, colon - from) == id) return index;
            from = colon + 1;
        }
        return -1;
    };
    EXPECT_EQ(position("KN"), kCmdKnightRider);
    EXPECT_EQ(position("CM"), kCmdCapacityMeasurement);
    EXPECT_EQ(position("LD"), kCmdLed);
    EXPECT_EQ(position("SW"), kCmdSwitch);
    EXPECT_EQ(position("AD"), kCmdSlider);
    EXPECT_EQ(position("KP"), kCmdKeypad);
    EXPECT_EQ(position("CFG"), kCmdSettings);
    EXPECT_EQ(position("STV"), kCmdStackView);
    EXPECT_EQ(position("BB"), kCmdBeerbasement);
    EXPECT_EQ(position("LCD"), kCmdLcd);
    EXPECT_EQ(position("ASI"), kCmdAutostep);
    EXPECT_EQ(position("ABOUT"), kCmdAbout);
}

// ---- COM identity

TEST_F(CoreTest, AnswersItsInterfacesAndReleasesTheHostWithTheLastReference) {
    void* object = nullptr;
    EXPECT_EQ(view->QueryInterface(IID_IGuiPlugin, &object), S_OK);
    EXPECT_EQ(object, static_cast<IGuiPlugin*>(view));
    view->Release();
    EXPECT_EQ(view->QueryInterface(IID_IDispatch, &object), S_OK);
    view->Release();
    EXPECT_EQ(view->QueryInterface(IID_IGuiWorks, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    InitView();
    StartDebugging();
    const ULONG worksRefs = works().RefCount(), servicesRefs = services().RefCount(),
                targetRefs = target().RefCount();
    EXPECT_GT(worksRefs, 1u);
    EXPECT_GT(servicesRefs, 1u);
    EXPECT_GT(targetRefs, 1u);

    // A second object shares the host; destroying the first gives back
    // everything it held.
    CLEDView* other = view;
    view = new CLEDView;
    view->AddRef();
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(works().RefCount(), worksRefs - 1);
    EXPECT_EQ(services().RefCount(), servicesRefs - 1);
    EXPECT_EQ(target().RefCount(), targetRefs - 1);
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
    view->HandleEvent(103, nullptr);
    EXPECT_FALSE(view->IsAttached());
}

TEST_F(CoreTest, InitRegistersTheCategoryDisablesCommandsAndSetsDefaults) {
    int mainWindow = 0;
    SetMainWindowProvider([&] { return reinterpret_cast<HWND>(&mainWindow); });
    view->Vcc()->set(3.3);
    InitView();
    SetMainWindowProvider(nullptr);

    ASSERT_EQ(services().categories.size(), 1u);
    EXPECT_EQ(services().categories[0].first, "QuillComponents");
    EXPECT_EQ(services().categories[0].second, 1);

    std::vector<std::pair<LONG, LONG>> expected;
    for (LONG c = 0; c <= 10; ++c) expected.emplace_back(c, 0);
    EXPECT_EQ(works().commandStateCalls, expected);
    EXPECT_EQ(works().commandStates[11], memhost::InMemoryGuiWorks::kNeverSet);

    EXPECT_DOUBLE_EQ(view->Vcc()->get(), 5.0);
    EXPECT_DOUBLE_EQ(view->AVcc()->get(), 5.0);
    EXPECT_DOUBLE_EQ(view->InternalReference()->get(), 2.56);
    EXPECT_DOUBLE_EQ(view->ExternalAref()->get(), 5.0);
    EXPECT_EQ(view->ExternalArefApplied()->get(), 0);
    EXPECT_EQ(view->UpdateRequest()->get(), 0);
    EXPECT_EQ(view->AdcModel(), nullptr);
    EXPECT_FALSE(view->IsAttached());
    EXPECT_FALSE(view->IsSimulator());
    EXPECT_TRUE(view->IsRefreshing());
    EXPECT_FALSE(view->IsAutostepActive());
    EXPECT_FALSE(view->Logger().logEnabled);
    EXPECT_EQ(view->Logger().commentText, ";");
    EXPECT_TRUE(view->Logger().hexValues);
    for (int i = 0; i < 64; ++i) EXPECT_FALSE(view->IORegister(i)->notifyEnabled()) << i;
    EXPECT_EQ(CLEDView::HostMainWindow(), reinterpret_cast<HWND>(&mainWindow));
}

TEST_F(CoreTest, SaveFileAnswersOneAndWritesNothing) {
    VARIANT_BOOL ok = 0;
    const std::string file = (dir.path() / "project.aps").string();
    CComBSTR name(file);
    EXPECT_EQ(view->SaveFile(name.get(), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(view->SaveFile(name.get(), nullptr), E_POINTER);
}

TEST_F(CoreTest, CloseReleasesTheHostInterfaceAndLaterEventsStayHarmless) {
    InitView();
    const ULONG held = works().RefCount();
    EXPECT_EQ(view->Close(), S_OK);
    EXPECT_EQ(works().RefCount(), held - 1);
    EXPECT_EQ(view->Close(), S_OK);

    works().debugging = 1;
    for (LONG e : {103, 3, 7, 18, 101}) EXPECT_EQ(view->HandleEvent(e, nullptr), S_OK);
    EXPECT_FALSE(view->IsAttached());
    EXPECT_EQ(view->GetHostDirectory(), "");
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_TRUE(FAILED(view->CreateDockedWindow(nullptr, 0, 0, 1, 216, nullptr, &window)));
    EXPECT_EQ(window, nullptr);
}

// ---- Command dispatch

TEST_F(CoreTest, ComponentCommandsAppendAWindowAndShowTheWholeList) {
    InitView();
    std::vector<int> shown;
    std::vector<FactoryCall> calls;
    int next = 0;
    for (int command : {0, 1, 2, 3, 4, 5, 7, 8, 9}) {
        view->SetComponentFactory(command, [&](CLEDView* core, int c, int dialog) {
            calls.push_back({core, c, dialog});
            return std::make_unique<FakeWindow>(next++, &shown);
        });
    }

    view->ExecuteCommand(kCmdLed);
    view->ExecuteCommand(kCmdLed);
    ASSERT_EQ(view->Windows(kCmdLed).size(), 2u);
    EXPECT_EQ(static_cast<FakeWindow*>(view->Windows(kCmdLed)[0].get())->id, 0);
    EXPECT_EQ(static_cast<FakeWindow*>(view->Windows(kCmdLed)[1].get())->id, 1);
    EXPECT_EQ(shown, (std::vector<int>{0, 0, 1}));  // the new window last
    EXPECT_EQ(view->InstanceCount(kCmdLed), 2);
    EXPECT_EQ(calls[0].core, view);

    // Every component command hands its own dialog number to its factory.
    calls.clear();
    const std::vector<std::pair<int, int>> dialogs = {{0, 103}, {1, 210}, {3, 230}, {4, 238},
                                                      {5, 241}, {8, 271}, {9, 278}, {7, 260}};
    for (auto [command, dialog] : dialogs) view->ExecuteCommand(command);
    ASSERT_EQ(calls.size(), dialogs.size());
    for (size_t i = 0; i < dialogs.size(); ++i) {
        EXPECT_EQ(calls[i].command, dialogs[i].first);
        EXPECT_EQ(calls[i].dialog, dialogs[i].second);
    }
}

TEST_F(CoreTest, StackViewIsCreatedOnceAndShownEveryTime) {
    InitView();
    std::vector<int> shown;
    int created = 0;
    view->SetComponentFactory(kCmdStackView, [&](CLEDView*, int, int) {
        return std::make_unique<FakeWindow>(100 + created++, &shown);
    });
    view->ExecuteCommand(kCmdStackView);
    view->ExecuteCommand(kCmdStackView);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(shown, (std::vector<int>{100, 100}));
    EXPECT_EQ(view->InstanceCount(kCmdStackView), 0);
}

TEST_F(CoreTest, UnwiredOrFailingCommandsDoNothingButSaySo) {
    InitView();
    EXPECT_EQ(view->ExecuteCommand(kCmdLcd), S_OK);
    EXPECT_TRUE(view->Windows(kCmdLcd).empty());
    EXPECT_TRUE(services().HasText("Hitachi LCD: this window is not available in this build."));

    view->SetComponentFactory(
        kCmdSwitch, [](CLEDView*, int, int) { return std::unique_ptr<IComponentWindow>(); });
    EXPECT_EQ(view->ExecuteCommand(kCmdSwitch), S_OK);
    EXPECT_EQ(view->InstanceCount(kCmdSwitch), 0);
    EXPECT_TRUE(services().HasText("Switch: the window could not be created."));

    // A Stack view that could not be made is tried again next time.
    int attempts = 0;
    view->SetComponentFactory(kCmdStackView, [&](CLEDView*, int, int) {
        ++attempts;
        return std::unique_ptr<IComponentWindow>();
    });
    view->ExecuteCommand(kCmdStackView);
    view->ExecuteCommand(kCmdStackView);
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(view->StackView(), nullptr);

    EXPECT_EQ(view->ExecuteCommand(kCmdSettings), S_OK);
    EXPECT_TRUE(services().HasText("Settings: this dialog is not available in this build."));

    const size_t lines = services().messages.size();
    EXPECT_EQ(view->ExecuteCommand(12), S_OK);
    EXPECT_EQ(view->ExecuteCommand(-1), S_OK);
    EXPECT_EQ(services().messages.size(), lines);
}

TEST_F(CoreTest, ModalCommandsRunWithTheCoreAndAutostepToggles) {
    InitView();
    std::vector<std::pair<int, CLEDView*>> runs;
    view->SetModalCommand(kCmdSettings, [&](CLEDView* core) { runs.emplace_back(6, core); });
    view->SetModalCommand(kCmdAbout, [&](CLEDView* core) { runs.emplace_back(11, core); });
    view->ExecuteCommand(kCmdAbout);
    view->ExecuteCommand(kCmdSettings);
    EXPECT_EQ(runs, (std::vector<std::pair<int, CLEDView*>>{{11, view}, {6, view}}));

    EXPECT_FALSE(view->IsAutostepActive());
    view->ExecuteCommand(kCmdAutostep);
    EXPECT_TRUE(view->IsAutostepActive());
    view->ExecuteCommand(kCmdAutostep);
    EXPECT_FALSE(view->IsAutostepActive());
}

TEST_F(CoreTest, InstanceCountOfOtherIndicesCountsModuleWide) {
    const int first = view->InstanceCount(42);
    EXPECT_GE(first, 1);
    EXPECT_EQ(view->InstanceCount(42), first + 1);
    CLEDView* other = new CLEDView;
    other->AddRef();
    EXPECT_EQ(other->InstanceCount(-3), first + 2);
    other->Release();
    EXPECT_EQ(view->InstanceCount(kCmdSettings), 0);
    EXPECT_EQ(view->InstanceCount(kCmdKeypad), 0);
}
