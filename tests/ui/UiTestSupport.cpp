#include "tests/ui/UiTestSupport.h"

#include <QMenu>
#include <QVBoxLayout>

#include "resources/Menus.h"

void QuillUiTest::SetUp() {
    // Modal dialogs must never block a test: unanswered ones are cancelled.
    runner_ = std::make_unique<ScopedModalRunner>([](QDialog* d) { d->reject(); });
    host_ = std::make_unique<memhost::InMemoryHost>();
    host_->works().debugging = 1;
    host_->works().installDirectory = QUILL_SOURCE_DIR "/host";
    host_->target().partName = partName;
    prepareHost(*host_);
    if (hostGivesWindows) {
        host_->works().dockedWindowFactory = [this](const std::string& name, HWND* window) {
            auto* frame = new QWidget;
            frame->setObjectName(QString::fromStdString("frame:" + name));
            frame->setWindowTitle(QString::fromStdString(name));
            auto* layout = new QVBoxLayout(frame);
            layout->setContentsMargins(0, 0, 0, 0);
            auto* client = new QWidget(frame);
            layout->addWidget(client);
            frame->resize(200, 200);
            frame->show();
            frames.push_back(frame);
            *window = reinterpret_cast<HWND>(client);
            return S_OK;
        };
    }
    core_ = new CLEDView;
    core_->AddRef();
    WireComponents(core_);
    ASSERT_EQ(core_->Init(&host_->works()), S_OK);
    core_->HandleEvent(kEventTargetReady, nullptr);
    ASSERT_TRUE(core_->IsSimulator());
    ASSERT_NE(core_->GetRegisterAddress("PORTB"), 0) << "part description not loaded";
    refresh();  // the first refresh: registers notify from now on
}

void QuillUiTest::TearDown() {
    if (core_) core_->Release();
    core_ = nullptr;
    for (QPointer<QWidget>& frame : frames) delete frame.data();
    frames.clear();
    host_.reset();
    runner_.reset();
}

void QuillUiTest::setIo(const std::string& name, uint8_t value) {
    // By data address: an extended register lies past the I/O space.
    const size_t at = static_cast<size_t>(address(name)) + kRegisterBankBase;
    EXPECT_TRUE(host_->target().SetDataByte(at, value)) << name;
}

uint8_t QuillUiTest::io(const std::string& name) {
    uint8_t value = 0;
    const size_t at = static_cast<size_t>(address(name)) + kRegisterBankBase;
    EXPECT_TRUE(host_->target().DataByte(at, &value)) << name;
    return value;
}

int QuillUiTest::ioWrites() const {
    int count = 0;
    for (const auto& write : host_->target().writes) {
        if (write.kind == kMemoryIo) ++count;
    }
    return count;
}

PluginForm* QuillUiTest::openCommand(int command) {
    EXPECT_EQ(core_->ExecuteCommand(command), S_OK);
    const auto& windows = core_->Windows(command);
    IComponentWindow* window = nullptr;
    if (command == kCmdStackView) {
        window = core_->StackView();
    } else if (!windows.empty()) {
        window = windows.back().get();
    }
    auto* formWindow = dynamic_cast<FormWindow*>(window);
    return formWindow ? formWindow->form() : nullptr;
}

QWidget* QuillUiTest::frameOf(PluginForm* form) {
    QWidget* client = form ? form->parentWidget() : nullptr;
    return client ? client->parentWidget() : nullptr;
}

void QuillUiTest::leftClick(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void QuillUiTest::triggerMenu(PluginForm* form, int id) {
    ASSERT_NE(form, nullptr);
    QAction* action = FindMenuAction(form->contextMenu(), id);
    ASSERT_NE(action, nullptr) << "menu item " << id;
    action->trigger();
}

void QuillUiTest::answerDialogs(ModalRunner answer) {
    runner_.reset();
    runner_ = std::make_unique<ScopedModalRunner>(std::move(answer));
}

void QuillUiTest::clickControl(QWidget* dialog, int id) {
    if (!dialog->isVisible()) {
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    }
    auto* button = findControlAs<QAbstractButton>(dialog, id);
    ASSERT_NE(button, nullptr) << "control " << id;
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

void QuillUiTest::selectComboIndex(QWidget* dialog, int comboId, int index) {
    auto* combo = findControlAs<QComboBox>(dialog, comboId);
    ASSERT_NE(combo, nullptr) << "combo " << comboId;
    ASSERT_LT(index, combo->count());
    combo->setCurrentIndex(index);
}

void QuillUiTest::configurePorts(PluginForm* form, const std::vector<std::pair<int, int>>& combos,
                                 int pin, bool ddrMode, std::optional<bool> activeLow, bool ok) {
    namespace ps = ids::port_settings;
    answerDialogs([=](QDialog* d) {
        for (auto [combo, entry] : combos) selectComboIndex(d, combo, entry);
        clickControl(d, ps::kPin0 + pin);
        clickControl(d, ddrMode ? ps::kUseDdrAndPort : ps::kUsePin);
        auto* check = findControlAs<QAbstractButton>(d, ps::kActiveLow);
        if (activeLow && check->isChecked() != *activeLow) clickControl(d, ps::kActiveLow);
        clickControl(d, ok ? 1 : 2);
    });
    triggerMenu(form, menu::kSettingsCommand);
}
