// Turns the key events that the plug-in synthesises (platform keyboard sink)
// into key presses in the host's windows, as the system's keyboard input
// would: they go to the focused widget of the main window (or the main
// window itself) and travel up to the main window, where F11 steps.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/keyboard.h"

class KeyboardBridge : public IKeyboardSink {
public:
    // Installs itself as the process's keyboard sink until destroyed.
    explicit KeyboardBridge(QWidget* mainWindow);
    ~KeyboardBridge() override;
    KeyboardBridge(const KeyboardBridge&) = delete;
    KeyboardBridge& operator=(const KeyboardBridge&) = delete;

    void OnKeyboardEvent(const KeyboardEvent& event) override;

    // The toolkit key of a virtual-key code; 0 when there is none.
    static int QtKeyOf(uint8_t virtualKey);

private:
    QPointer<QWidget> mainWindow_;
    bool shift_ = false, control_ = false, alt_ = false, meta_ = false;
};
