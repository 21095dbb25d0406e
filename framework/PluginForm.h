// Base of every component window: a modeless dialog docked in a window the
// host creates for it.
//
// Window-layer conventions:
// - A window handle (HWND) is the address of a QWidget. The handle that
//   the host returns from CreateDockedWindow is its dock's client area; the
//   form becomes a child widget of it. The client area's parent (the form's
//   grandparent) is the host's frame, which the form sizes to the
//   component's width and height whenever it is shown.
// - If the host refuses the docked window, the form has no host parent, no
//   white background and created() is false; it still exists and can be
//   shown as a window of its own.
// - Menus are QMenus from resources/Menus.h; a chosen item arrives in
//   onCommand(id) with the item's numeric id.
// - Every handler that the user or an observer triggers runs through
//   guarded(), and every event through event(): a SubjectIsDestroyed
//   thrown there is logged through the core and never reaches the host.
// - Components build their controls in their constructor, then call
//   create(dialogId, hostWindow()), which runs initDialog() (the dialog
//   initialisation: call PluginForm::initDialog() first).
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>
#include <string>

#include "contract/ResourceIds.h"
#include "core/CLEDView.h"
#include "framework/Observer.h"

class QMenu;

class PluginForm : public QDialog {
    Q_OBJECT
public:
    PluginForm(QWidget* parent, CLEDView* core, int width, int height, int commandIndex,
               const std::string& baseName, int dialogId);
    ~PluginForm() override;

    // The host's docked window (the dock's client area); null if refused.
    QWidget* hostWindow() const { return hostWindow_; }
    HWND hostHandle() const { return hostHandle_; }
    // Makes the dialog a child of `parent` at (0, 0) with the component's
    // size and runs the dialog initialisation; true when the form is usable
    // (the host gave it a docked window).
    bool create(int dialogId, QWidget* parent);
    bool created() const { return created_; }

    // Replaces the right-click menu with menu resource `menuId`.
    void setContextMenu(int menuId);
    QMenu* contextMenu() const { return popup_; }
    int menuId() const { return menuId_; }

    const std::string& name() const { return name_; }
    int formWidth() const { return width_; }
    int formHeight() const { return height_; }
    int dialogId() const { return dialogId_; }
    int commandIndex() const { return commandIndex_; }
    CLEDView* core() const { return core_; }
    // Whether the form paints itself white (it does once docked).
    bool hasBackgroundBrush() const { return backgroundBrush_; }

    // Tells the host what the component is wired to ("PA7"), as the host
    // window's text: the host shows it beside the window's name ("LED -
    // PA7"). Components call it whenever their wiring changes; an empty
    // text shows the name alone.
    void showWiring(const std::string& text);

    // Size notification from the host: size type 9 moves the dialog to
    // (0, 0) with the new size; other size types change nothing.
    void hostSizeChanged(int sizeType, int width, int height);

    // Runs `fn`; a SubjectIsDestroyed is logged under `label` and swallowed.
    // Returns false when it was caught.
    template <typename Fn>
    bool guarded(const char* label, Fn&& fn) {
        try {
            fn();
            return true;
        } catch (const SubjectIsDestroyed&) {
            reportDestroyedSubject(label);
            return false;
        }
    }

    // The command id of menu item "Settings..." in menu 209.
    static constexpr int kSettingsCommand = menu::kSettingsCommand;
    static constexpr int kSizeTypeHost = kHostSizeType;

protected:
    // Dialog initialisation; components call this first from their own.
    virtual void initDialog();
    // A menu command chosen by the user.
    virtual void onCommand(int id) {}

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;

    void reportDestroyedSubject(const char* label);

    // Changes the component's size (a component whose content grows with
    // its settings); the host frame follows while the window is shown.
    void setFormSize(int width, int height);

    // The core's subject of I/O register `index`. An index outside the I/O
    // space (a register that the part description places beyond it) is
    // logged and replaced by register 0, the binding of unknown names, so
    // that a binding never holds a missing subject.
    GatedValue<uint8_t>* ioRegister(int index);

private:
    void dispatchMenuAction(QAction* action);
    // Sizes the host's frame around the form to the component's size.
    void fitHostFrame();

    CLEDView* core_;
    int menuId_ = 209;
    std::string name_;
    int height_;
    int width_;
    bool backgroundBrush_ = false;
    QPointer<QWidget> hostWindow_;
    HWND hostHandle_ = nullptr;
    bool created_ = false;
    QMenu* popup_ = nullptr;
    int commandIndex_;
    int dialogId_;
};

// The core's handle on a component window. Show() on a window that is gone
// (its host window was closed) does nothing. Destroying the handle destroys
// a window that is still alive.
class FormWindow : public IComponentWindow {
public:
    explicit FormWindow(PluginForm* form) : form_(form) {}
    ~FormWindow() override;
    void Show() override;
    PluginForm* form() const { return form_; }

private:
    QPointer<PluginForm> form_;
};

// True when a QApplication exists, so widgets can be made.
bool WidgetsAvailable();

// A factory for the core that builds component window `Form` with
// (no parent, core, command index, dialog id); null without a QApplication.
template <typename Form>
ComponentFactory MakeFormFactory() {
    return [](CLEDView* core, int commandIndex, int dialogId) -> std::unique_ptr<IComponentWindow> {
        if (!WidgetsAvailable()) return nullptr;
        return std::make_unique<FormWindow>(new Form(nullptr, core, commandIndex, dialogId));
    };
}
