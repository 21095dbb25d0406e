#include "host/ui/DesktopServices.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace {

HWND toHandle(QWidget* widget) { return reinterpret_cast<HWND>(widget); }

QWidget* topLevelOf(HWND window) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (toHandle(widget) == window) return widget;
    }
    return nullptr;
}

}  // namespace

DesktopServicesHost::DesktopServicesHost() {
    SetTimerService(this);
    DesktopServices services;
    services.topLevelWindows = [] {
        std::vector<TopLevelWindowInfo> list;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible()) continue;
            list.push_back({toHandle(widget), widget->windowTitle().toStdString(),
                            widget->metaObject()->className()});
        }
        return list;
    };
    services.activate = [](HWND window) {
        QWidget* widget = topLevelOf(window);
        if (!widget) return false;
        widget->showNormal();
        widget->raise();
        widget->activateWindow();
        widget->setFocus();
        return true;
    };
    services.beep = [](uint32_t, uint32_t) { QApplication::beep(); };
    services.pumpKeyboardMessages = [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    };
    SetDesktopServices(std::move(services));
}

DesktopServicesHost::~DesktopServicesHost() {
    if (GetTimerService() == this) SetTimerService(nullptr);
    SetDesktopServices({});
    for (auto& [key, timer] : timers_) delete timer;
    timers_.clear();
}

bool DesktopServicesHost::SetTimer(HWND window, uintptr_t id, uint32_t elapse, TIMERPROC proc) {
    const auto key = std::make_pair(window, id);
    auto it = timers_.find(key);
    QTimer* timer = it != timers_.end() ? it->second : new QTimer;
    if (it != timers_.end()) QObject::disconnect(timer, &QTimer::timeout, nullptr, nullptr);
    timer->setInterval(static_cast<int>(std::max<uint32_t>(elapse, 1)));
    QObject::connect(timer, &QTimer::timeout, [window, id, proc] {
        proc(window, WM_TIMER, id,
             static_cast<uint32_t>(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFFu));
    });
    timers_[key] = timer;
    timer->start();
    return true;
}

bool DesktopServicesHost::KillTimer(HWND window, uintptr_t id) {
    auto it = timers_.find({window, id});
    if (it == timers_.end()) return false;
    // The timer may be the one whose callback is running: delete it later.
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
    return true;
}
