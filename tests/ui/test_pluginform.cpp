// The component window base: naming, host frame size, a refused dock and
// the guard against destroyed subjects.
#include "components/digital/frm_Knightrider.h"
#include "components/digital/frm_LED.h"
#include "components/digital/frm_Switch.h"
#include "core/ModuleResources.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class PluginFormTest : public QuillUiTest {};

TEST_F(PluginFormTest, NamingRuleCountsExistingWindowsOfTheKind) {
    auto* first = open<frm_LED>(kCmdLed);
    auto* second = open<frm_LED>(kCmdLed);
    auto* sw = open<frm_Switch>(kCmdSwitch);
    auto* third = open<frm_LED>(kCmdLed);
    EXPECT_EQ(first->name(), "LED");
    EXPECT_EQ(second->name(), "LED 2");
    EXPECT_EQ(third->name(), "LED 3");
    EXPECT_EQ(sw->name(), "Switch");
    const auto& requests = host().works().dockRequests;
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].name, "LED 2");
    const auto& r = requests[0];
    EXPECT_EQ((std::vector<LONG>{r.a, r.b, r.c, r.d}),
              std::vector<LONG>(std::begin(kDockArgs), std::end(kDockArgs)));
    EXPECT_EQ(requests[0].instance, ModuleInstance());
    // Every window of the kind is shown, in creation order.
    EXPECT_EQ(core()->Windows(kCmdLed).size(), 3u);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(third->isVisible());
}

TEST_F(PluginFormTest, FrameInsideAContainerGoesToItsCorner) {
    // A host whose frames sit in a container, like docked tool windows.
    QWidget container;
    container.resize(800, 600);
    QWidget* frame = nullptr;
    host().works().dockedWindowFactory = [&](const std::string&, HWND* window) {
        frame = new QWidget(&container);
        frame->setGeometry(120, 40, 200, 200);
        auto* client = new QWidget(frame);
        client->setGeometry(0, 20, 200, 180);
        frame->show();
        *window = reinterpret_cast<HWND>(client);
        return S_OK;
    };
    container.show();
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    ASSERT_EQ(frameOf(kr), frame);
    EXPECT_EQ(frame->geometry(), QRect(0, 0, 375, 135));
    // A floating frame keeps its place on the screen.
    QWidget floating;
    floating.move(300, 200);
    floating.resize(100, 100);
    QWidget* client = new QWidget(&floating);
    host().works().dockedWindowFactory = [&](const std::string&, HWND* window) {
        *window = reinterpret_cast<HWND>(client);
        return S_OK;
    };
    floating.show();
    const QPoint place = floating.pos();
    auto* led = open<frm_LED>(kCmdLed);
    ASSERT_EQ(frameOf(led), &floating);
    EXPECT_EQ(floating.size(), QSize(60, 75));
    EXPECT_EQ(floating.pos(), place);
    // The forms go before the widgets that hold them.
    delete kr;
    delete led;
}

TEST_F(PluginFormTest, FormIsDestroyedWithItsHostWindowAndShowIsThenHarmless) {
    open<frm_LED>(kCmdLed);
    ASSERT_EQ(frames.size(), 1u);
    delete frames[0].data();
    auto* window = dynamic_cast<FormWindow*>(core()->Windows(kCmdLed)[0].get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->form(), nullptr);
    window->Show();
    // The core still counts the closed window for naming.
    EXPECT_EQ(open<frm_LED>(kCmdLed)->name(), "LED 2");
}

// A form whose watched subject can be destroyed by the test.
class ProbeForm : public PluginForm {
public:
    ProbeForm(CLEDView* core, const std::string& baseName)
        : PluginForm(nullptr, core, 50, 40, 42, baseName, 999) {
        create(999, hostWindow());
    }
    void watch(Value<uint8_t>* subject) {
        observer =
            std::make_unique<CallOnChange<ProbeForm, uint8_t>>(subject, this, &ProbeForm::changed);
    }
    void changed() {
        guarded("ProbeForm::changed()", [this] { seen = observer->value(); });
    }
    void onCommand(int id) override {
        if (id == kSettingsCommand) seen = observer->value();  // may throw
    }
    std::unique_ptr<CallOnChange<ProbeForm, uint8_t>> observer;
    int seen = -1;
};

TEST_F(PluginFormTest, DestroyedSubjectIsLoggedNotThrownToTheHost) {
    ProbeForm form(core(), "Probe");
    auto subject = std::make_unique<Value<uint8_t>>();
    form.watch(subject.get());
    subject->set(5);
    EXPECT_EQ(form.seen, 5);
    subject.reset();
    EXPECT_NO_THROW(form.changed());
    EXPECT_NO_THROW(triggerMenu(&form, menu::kSettingsCommand));
    EXPECT_EQ(form.seen, 5);
    int logged = 0;
    for (const std::string& line : host().services().Lines()) {
        if (line.find("SubjectIsDestroyed") != std::string::npos) ++logged;
    }
    EXPECT_EQ(logged, 2);
}

class RefusingHostTest : public QuillUiTest {
protected:
    RefusingHostTest() { hostGivesWindows = false; }
};

TEST_F(RefusingHostTest, RefusedDockLeavesFormUndockedWithoutWhiteBackground) {
    auto* led = open<frm_LED>(kCmdLed);
    ASSERT_NE(led, nullptr);
    EXPECT_FALSE(led->created());
    EXPECT_EQ(led->hostWindow(), nullptr);
    EXPECT_EQ(led->parentWidget(), nullptr);
    EXPECT_FALSE(led->hasBackgroundBrush());
    // Still usable as a window of its own and still kept by the core.
    setIo("PINA", 0x80);
    refresh();
    EXPECT_TRUE(led->isLit());
    EXPECT_EQ(core()->Windows(kCmdLed).size(), 1u);
}

}  // namespace
