#include "host/ui/KeyboardBridge.h"

#include <QApplication>
#include <QKeyEvent>

KeyboardBridge::KeyboardBridge(QWidget* mainWindow) : mainWindow_(mainWindow) {
    SetKeyboardSink(this);
}

KeyboardBridge::~KeyboardBridge() {
    if (GetKeyboardSink() == this) SetKeyboardSink(nullptr);
}

int KeyboardBridge::QtKeyOf(uint8_t vk) {
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= VK_F1 && vk < VK_F1 + 24) return Qt::Key_F1 + (vk - VK_F1);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return Qt::Key_0 + (vk - VK_NUMPAD0);
    switch (vk) {
        case VK_BACK:
            return Qt::Key_Backspace;
        case VK_TAB:
            return Qt::Key_Tab;
        case VK_RETURN:
            return Qt::Key_Return;
        case VK_SHIFT:
            return Qt::Key_Shift;
        case VK_CONTROL:
            return Qt::Key_Control;
        case VK_MENU:
            return Qt::Key_Alt;
        case VK_ESCAPE:
            return Qt::Key_Escape;
        case VK_SPACE:
            return Qt::Key_Space;
        case VK_PRIOR:
            return Qt::Key_PageUp;
        case VK_NEXT:
            return Qt::Key_PageDown;
        case VK_END:
            return Qt::Key_End;
        case VK_HOME:
            return Qt::Key_Home;
        case VK_LEFT:
            return Qt::Key_Left;
        case VK_UP:
            return Qt::Key_Up;
        case VK_RIGHT:
            return Qt::Key_Right;
        case VK_DOWN:
            return Qt::Key_Down;
        case VK_INSERT:
            return Qt::Key_Insert;
        case VK_DELETE:
            return Qt::Key_Delete;
        case VK_LWIN:
            return Qt::Key_Meta;
        case VK_NUMLOCK:
            return Qt::Key_NumLock;
        case 0x03:
            return Qt::Key_Cancel;  // break
        case 0x0C:
            return Qt::Key_Clear;
        case 0x14:
            return Qt::Key_CapsLock;
        case 0x2A:
            return Qt::Key_Print;  // print screen
        case 0x2C:
            return Qt::Key_SysReq;  // snapshot
        case 0x2F:
            return Qt::Key_Help;
        case 0x5C:
            return Qt::Key_Meta;  // right Windows key
        case 0x5D:
            return Qt::Key_Menu;  // applications key
        case 0x6A:
            return Qt::Key_Asterisk;
        case 0x6B:
            return Qt::Key_Plus;
        case 0x6C:
            return Qt::Key_Comma;  // separator
        case 0x6D:
            return Qt::Key_Minus;
        case 0x6E:
            return Qt::Key_Period;
        case 0x6F:
            return Qt::Key_Slash;
        case 0x91:
            return Qt::Key_ScrollLock;
        default:
            return 0;
    }
}

void KeyboardBridge::OnKeyboardEvent(const KeyboardEvent& event) {
    const bool up = (event.flags & KEYEVENTF_KEYUP) != 0;
    switch (event.virtualKey) {
        case VK_SHIFT:
            shift_ = !up;
            break;
        case VK_CONTROL:
            control_ = !up;
            break;
        case VK_MENU:
            alt_ = !up;
            break;
        case VK_LWIN:
        case 0x5C:
            meta_ = !up;
            break;
        default:
            break;
    }
    const int key = QtKeyOf(event.virtualKey);
    if (!key || !mainWindow_) return;
    Qt::KeyboardModifiers modifiers;
    if (shift_) modifiers |= Qt::ShiftModifier;
    if (control_) modifiers |= Qt::ControlModifier;
    if (alt_) modifiers |= Qt::AltModifier;
    if (meta_) modifiers |= Qt::MetaModifier;
    QString text;
    if (key >= Qt::Key_A && key <= Qt::Key_Z && !control_ && !alt_) {
        text = QChar(shift_ ? key : key - Qt::Key_A + 'a');
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9 && !shift_ && !control_ && !alt_) {
        text = QChar(key);
    } else if (key == Qt::Key_Space) {
        text = " ";
    }
    // The focused widget of the main window gets the key, as from the
    // keyboard; unhandled keys travel up to the main window.
    QWidget* receiver = mainWindow_;
    if (QWidget* focus = QApplication::focusWidget(); focus && mainWindow_->isAncestorOf(focus)) {
        receiver = focus;
    }
    QCoreApplication::postEvent(
        receiver, new QKeyEvent(up ? QEvent::KeyRelease : QEvent::KeyPress, key, modifiers, text));
}
