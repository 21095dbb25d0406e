// The registered window messages shared by the component windows, as Qt
// event types. The numbers come from the process-wide registry
// (platform/messages.h), so every module and the host agree on them; a
// number from 0xC000 on is used directly as the event type, which lies in
// Qt's user range and below the types Qt hands out itself (from 0xFFFF down).
#pragma once

#include <QEvent>
#include <cstdint>

// "BLINKCURSOR": toggles the LCD cursor's blink phase.
uint32_t BlinkCursorMessage();
// "WM_CHANGESTATUSBAR": carries the address of a status text in wParam.
uint32_t ChangeStatusBarMessage();

QEvent::Type EventTypeOf(uint32_t message);

// Registers both names, as every component module does when it loads (the
// module calls this from its own static initialisation; a static library
// cannot do it for the module, its unreferenced objects are left out).
void RegisterComponentMessages();

// A registered message delivered to a window, with its two parameters.
class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0)
        : QEvent(EventTypeOf(message)), message_(message), wParam_(wParam), lParam_(lParam) {}
    uint32_t message() const { return message_; }
    uintptr_t wParam() const { return wParam_; }
    intptr_t lParam() const { return lParam_; }

private:
    uint32_t message_;
    uintptr_t wParam_;
    intptr_t lParam_;
};
