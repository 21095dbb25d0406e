#include "framework/WindowMessages.h"

#include "platform/messages.h"

uint32_t BlinkCursorMessage() {
    static const uint32_t number = RegisterWindowMessage("BLINKCURSOR");
    return number;
}

uint32_t ChangeStatusBarMessage() {
    static const uint32_t number = RegisterWindowMessage("WM_CHANGESTATUSBAR");
    return number;
}

QEvent::Type EventTypeOf(uint32_t message) {
    if (message < QEvent::User || message > QEvent::MaxUser) return QEvent::None;
    return static_cast<QEvent::Type>(message);
}

void RegisterComponentMessages() {
    BlinkCursorMessage();
    ChangeStatusBarMessage();
}
