// The window's side of the GDB server: the Debug menu's "Accept GDB
// connection" entry, and a timer that serves the client while the program
// is halted, runs it with the window's own Run when the client continues
// (so Run/Break and the status bar show what happens), turns a Break or a
// Ctrl-C into the client's stop and reports every halt to it.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

class HostBench;
class QAction;
class QMenu;

class GdbController : public QObject {
    Q_OBJECT
public:
    // Adds the menu entry to `menu`; the window owns the controller.
    GdbController(HostBench& window, QMenu* menu);

    // Listens on `port` (0: a free one) and starts serving; true when the
    // server listens (also when it already did).
    bool accept(uint16_t port, QString* error);
    static constexpr uint16_t kDefaultPort = 1234;

private:
    void tick();

    HostBench& window_;
    QAction* action_ = nullptr;
    QTimer timer_;
    bool runningForClient_ = false;
    bool attached_ = false;
};
