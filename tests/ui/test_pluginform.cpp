// The component window base: naming, docking, host frame size, context
// menu, size type 9, and the guard against destroyed subjects.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <set>

#include "components/digital/frm_Knightrider.h"
#include "components/digital/frm_LED.h"
#include "components/digital/frm_Switch.h"
#include "core/ModuleResources.h"
#include "framework/CMemDC.h"
#include "framework/PictureControl.h"
#include "framework/WindowMessages.h"
#include "platform/messages.h"
#include "resources/Menus.h"
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
    EXPECT_EQ(requests[0].a, 0);
    EXPECT_EQ(requests[0].b, 0);
    EXPECT_EQ(requests[0].c, 1);
    EXPECT_EQ(requests[0].d, 216);
    EXPECT_EQ(requests[0].instance, ModuleInstance());
    // Every window of the kind is shown, in creation order.
    EXPECT_EQ(core()->Windows(kCmdLed).size(), 3u);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(third->isVisible());
}

TEST_F(PluginFormTest, DockedFormIsChildOfHostWindowAndSizesTheFrame) {
    auto* led = open<frm_LED>(kCmdLed);
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    for (PluginForm* form : {static_cast<PluginForm*>(led), static_cast<PluginForm*>(kr)}) {
        EXPECT_TRUE(form->created());
        EXPECT_EQ(form->parentWidget(), form->hostWindow());
        EXPECT_EQ(reinterpret_cast<QWidget*>(form->hostHandle()), form->hostWindow());
        EXPECT_FALSE(form->isWindow());
        EXPECT_TRUE(form->hasBackgroundBrush());
        EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white));
        QWidget* frame = frameOf(form);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->size(), QSize(form->formWidth(), form->formHeight()));
    }
    EXPECT_EQ(kr->formWidth(), 375);
    EXPECT_EQ(kr->formHeight(), 135);
    EXPECT_EQ(led->formWidth(), 60);
    EXPECT_EQ(led->formHeight(), 75);
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

TEST_F(PluginFormTest, RightClickShowsSettingsMenu) {
    auto* led = open<frm_LED>(kCmdLed);
    ASSERT_NE(led->contextMenu(), nullptr);
    EXPECT_FALSE(led->contextMenu()->isVisible());
    rightClick(led->picture());
    QMenu* popup = led->contextMenu();
    EXPECT_TRUE(popup->isVisible());
    ASSERT_EQ(popup->actions().size(), 1);
    EXPECT_EQ(popup->actions()[0]->text(), "Settings...");
    EXPECT_EQ(popup->actions()[0]->data().toInt(), 32771);
    popup->hide();
}

TEST_F(PluginFormTest, SizeType9ResizesTheDialogOthersDoNot) {
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    kr->hostSizeChanged(2, 500, 300);
    EXPECT_EQ(kr->geometry(), QRect(0, 0, 375, 135));
    kr->hostSizeChanged(PluginForm::kSizeTypeHost, 400, 150);
    EXPECT_EQ(kr->geometry(), QRect(0, 0, 400, 150));
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
    EXPECT_NO_THROW(triggerMenu(&form, 32771));
    EXPECT_EQ(form.seen, 5);
    int logged = 0;
    for (const std::string& line : host().services().Lines()) {
        if (line.find("SubjectIsDestroyed") != std::string::npos) ++logged;
    }
    EXPECT_EQ(logged, 2);
}

TEST_F(PluginFormTest, EmptyBaseNameGetsARandom12CharacterName) {
    ProbeForm a(core(), "");
    ProbeForm b(core(), "");
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    ASSERT_EQ(a.name().size(), 12u);
    EXPECT_EQ(a.name().find_first_not_of(alphabet), std::string::npos);
    EXPECT_NE(a.name(), b.name());
    // A kind outside the component lists counts on from the core's counter.
    ProbeForm c(core(), "Probe");
    ProbeForm d(core(), "Probe");
    EXPECT_NE(c.name(), d.name());
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

TEST(WindowMessages, RegisteredNumbersAreSharedQtEventTypes) {
    EXPECT_EQ(BlinkCursorMessage(), RegisterWindowMessage("BLINKCURSOR"));
    EXPECT_EQ(ChangeStatusBarMessage(), RegisterWindowMessage("WM_CHANGESTATUSBAR"));
    const QEvent::Type blink = EventTypeOf(BlinkCursorMessage());
    EXPECT_GE(int(blink), int(QEvent::User));
    EXPECT_LE(int(blink), int(QEvent::MaxUser));
    EXPECT_NE(blink, EventTypeOf(ChangeStatusBarMessage()));
    const char* text = "Ready";
    WindowMessageEvent event(ChangeStatusBarMessage(), reinterpret_cast<uintptr_t>(text));
    EXPECT_EQ(event.type(), EventTypeOf(ChangeStatusBarMessage()));
    EXPECT_EQ(reinterpret_cast<const char*>(event.wParam()), text);
}

TEST(CMemDC, CopiesBackInOneStepAtTheTargetsPixelRatio) {
    for (qreal ratio : {1.0, 2.0}) {
        QImage target(QSize(40, 30) * ratio, QImage::Format_ARGB32);
        target.setDevicePixelRatio(ratio);
        target.fill(Qt::blue);
        {
            QPainter painter(&target);
            CMemDC memory(&painter, QRect(10, 10, 20, 10));
            EXPECT_TRUE(memory.isMemDC());
            memory->fillRect(QRect(10, 10, 10, 10), Qt::red);
            // Nothing reaches the target until the CMemDC ends.
            EXPECT_EQ(target.pixelColor(QPoint(12, 12) * ratio), QColor(Qt::blue));
            EXPECT_EQ(memory.pixmap().devicePixelRatio(), ratio);
        }
        EXPECT_EQ(target.pixelColor(QPoint(12, 12) * ratio), QColor(Qt::red));
        EXPECT_EQ(target.pixelColor(QPoint(25, 12) * ratio), QColor(Qt::white));  // background
        EXPECT_EQ(target.pixelColor(QPoint(5, 5) * ratio), QColor(Qt::blue));     // outside
    }
    QImage target(20, 20, QImage::Format_ARGB32);
    target.fill(Qt::blue);
    {
        QPainter painter(&target);
        CMemDC memory(&painter, QRect(0, 0, 20, 20), /*copyBack=*/false);
        memory->fillRect(QRect(0, 0, 20, 20), Qt::red);
        EXPECT_EQ(memory.pixmap().toImage().pixelColor(3, 3), QColor(Qt::red));
    }
    EXPECT_EQ(target.pixelColor(3, 3), QColor(Qt::blue));
}

TEST(Menus, StackViewMenuCarriesItsItems) {
    QWidget owner;
    std::unique_ptr<QMenu> unknown(LoadMenuResource(12345, &owner));
    EXPECT_EQ(unknown, nullptr);
    QMenu* popup = LoadMenuResource(262, &owner);
    ASSERT_NE(popup, nullptr);
    std::set<int> ids;
    for (int id = 32780; id <= 32794; ++id) {
        if (FindMenuAction(popup, id)) ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 15u);
    EXPECT_TRUE(FindMenuAction(popup, 32781)->isChecked());
    EXPECT_FALSE(FindMenuAction(popup, 32782)->isChecked());
    EXPECT_TRUE(FindMenuAction(popup, 32794)->isChecked());
    EXPECT_FALSE(FindMenuAction(popup, 32780)->isCheckable());
}

}  // namespace
