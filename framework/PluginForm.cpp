#include "framework/PluginForm.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QShowEvent>
#include <cstdio>

#include "core/ModuleResources.h"
#include "platform/com.h"
#include "resources/Menus.h"

namespace {
const char* const kNameAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
}

bool WidgetsAvailable() { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

PluginForm::PluginForm(QWidget* parent, CLEDView* core, int width, int height, int commandIndex,
                       const std::string& baseName, int dialogId)
    : QDialog(parent),
      core_(core),
      height_(height),
      width_(width),
      commandIndex_(commandIndex),
      dialogId_(dialogId) {
    setProperty("dialogId", dialogId);
    // Naming rule: the count comes from the core before this window joins
    // its list, so the first window is "LED", the second "LED 2".
    if (!baseName.empty()) {
        const int n = core_ ? core_->InstanceCount(commandIndex) : 0;
        if (n >= 1) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, " %d", n + 1);
            name_ = baseName + buffer;
        } else {
            name_ = baseName;
        }
    } else if (core_) {
        name_ = core_->RandomName(12, kNameAlphabet);
    }
    setWindowTitle(QString::fromStdString(name_));

    HRESULT hr = E_FAIL;
    if (core_) {
        CComBSTR wideName(name_);
        hr = core_->CreateDockedWindow(wideName.get(), kDockArgs[0], kDockArgs[1], kDockArgs[2],
                                       kDockArgs[3], ModuleInstance(), &hostHandle_);
    }
    if (SUCCEEDED(hr) && hostHandle_) {
        hostWindow_ = reinterpret_cast<QWidget*>(hostHandle_);
        backgroundBrush_ = true;
        // White background; labels take black text on it.
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::WindowText, Qt::black);
        setPalette(palette);
        setAutoFillBackground(true);
    } else {
        hostHandle_ = nullptr;
        created_ = false;
    }
}

PluginForm::~PluginForm() = default;

bool PluginForm::create(int dialogId, QWidget* parent) {
    dialogId_ = dialogId;
    if (parent) {
        setParent(parent, Qt::Widget);
    }
    setGeometry(0, 0, width_, height_);
    guarded("PluginForm::OnInitDialog()", [this] { initDialog(); });
    created_ = hostWindow_ != nullptr;
    return created_;
}

void PluginForm::initDialog() { setContextMenu(menuId_); }

void PluginForm::setContextMenu(int menuId) {
    menuId_ = menuId;
    delete popup_;
    popup_ = LoadMenuResource(menuId, this);
    if (popup_) {
        connect(popup_, &QMenu::triggered, this, &PluginForm::dispatchMenuAction);
    }
}

void PluginForm::dispatchMenuAction(QAction* action) {
    if (!action || !action->data().isValid()) return;
    const int id = action->data().toInt();
    guarded("PluginForm::OnCommand()", [&] { onCommand(id); });
}

void PluginForm::contextMenuEvent(QContextMenuEvent* event) {
    if (popup_) {
        popup_->popup(event->globalPos());
        event->accept();
    } else {
        QDialog::contextMenuEvent(event);
    }
}

void PluginForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fitHostFrame();
}

void PluginForm::setFormSize(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    resize(width_, height_);
    if (isVisible()) fitHostFrame();
}

void PluginForm::showWiring(const std::string& text) {
    const QString wiring = QString::fromStdString(text);
    if (hostWindow_ && hostWindow_->windowTitle() != wiring) hostWindow_->setWindowTitle(wiring);
}

void PluginForm::fitHostFrame() {
    QWidget* client = parentWidget();
    QWidget* frame = client ? client->parentWidget() : nullptr;
    if (frame) {
        // Fit the host's frame to the component. A frame inside the host's
        // dock container goes to its corner (0, 0); a floating frame is a
        // window of its own, and (0, 0) would be the screen's corner, so it
        // keeps its place and only takes the size.
        if (frame->isWindow()) {
            frame->resize(width_, height_);
        } else {
            frame->setGeometry(0, 0, width_, height_);
        }
        frame->update();
    }
}

void PluginForm::keyPressEvent(QKeyEvent* event) {
    // A docked component is not a dialog the user finishes: Escape must not
    // hide it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PluginForm::hostSizeChanged(int sizeType, int width, int height) {
    if (sizeType != kSizeTypeHost) return;
    setGeometry(0, 0, width, height);
    update();
}

bool PluginForm::event(QEvent* event) {
    try {
        return QDialog::event(event);
    } catch (const SubjectIsDestroyed&) {
        reportDestroyedSubject("PluginForm::event()");
        return true;
    }
}

void PluginForm::reportDestroyedSubject(const char* label) {
    const std::string text = "A register watched by window \"" + name_ +
                             "\" no longer exists (SubjectIsDestroyed); the event is ignored.";
    // The host's output drops lines while no target is attached; the
    // diagnostic output keeps them.
    qWarning("%s --> %s", label, text.c_str());
    if (core_) core_->Log(label, text);
}

GatedValue<uint8_t>* PluginForm::ioRegister(int index) {
    if (!core_) return nullptr;
    if (GatedValue<uint8_t>* reg = core_->IORegister(index)) return reg;
    core_->Log("PluginForm::ioRegister()", "Window \"" + name_ + "\": register index " +
                                               std::to_string(index) +
                                               " is outside the I/O space; using register 0.");
    return core_->IORegister(0);
}

FormWindow::~FormWindow() { delete form_.data(); }

void FormWindow::Show() {
    if (form_) form_->show();
}
