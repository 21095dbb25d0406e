#include "platform/window.h"

namespace {
WindowProvider& mainProvider() {
    static WindowProvider provider;
    return provider;
}
WindowProvider& activeProvider() {
    static WindowProvider provider;
    return provider;
}
}  // namespace

void SetMainWindowProvider(WindowProvider provider) { mainProvider() = std::move(provider); }
void SetActiveWindowProvider(WindowProvider provider) { activeProvider() = std::move(provider); }

HWND GetThreadMainWindow() { return mainProvider() ? mainProvider()() : nullptr; }
HWND GetActiveWindow() { return activeProvider() ? activeProvider()() : nullptr; }
