#include "host/gdb/ui/GdbController.h"

#include <QMainWindow>
#include <QAction>
#include <QMenu>

#include "host/gdb/GdbLink.h"
#include "host/workbench/HostBench.h"

GdbController::GdbController(HostBench& window, QMenu* menu)
    : QObject(&window.mainWidget()), window_(window) {
    setObjectName("gdbController");
    action_ = menu->addAction("Accept GDB connection", this, [this] {
        QString error;
        if (!accept(kDefaultPort, &error)) window_.hostMessage(error);
    });
    action_->setObjectName("acceptGdbConnection");
    // A connection that closes before a debugger spoke is no session: the
    // output says so.
    window_.gdb().server().setNotes(
        [](void* context, const std::string& line) {
            static_cast<HostBench*>(context)->hostMessage(QString::fromStdString(line));
        },
        &window_);
    // Often enough that gdb's commands feel immediate, rarely enough to cost
    // nothing while no client is there.
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, &GdbController::tick);
}

bool GdbController::accept(uint16_t port, QString* error) {
    quill::gdb::GdbLink& gdb = window_.gdb();
    if (!gdb.server().listening()) {
        std::string why;
        if (!gdb.listen(port, &why)) {
            *error = QString::fromStdString("GDB server: " + why);
            return false;
        }
        window_.hostMessage(QString("GDB server listening on 127.0.0.1:%1 (avr-gdb: target "
                                    "remote :%1)")
                                .arg(gdb.server().port()));
    }
    action_->setEnabled(false);
    timer_.start();
    return true;
}

void GdbController::tick() {
    quill::gdb::GdbLink& gdb = window_.gdb();
    Debugger& debugger = window_.debugger();
    const bool running = debugger.state() == Debugger::State::Running;
    if (runningForClient_ && !running) {
        // A breakpoint, a Break or the end of the program: the client hears.
        runningForClient_ = false;
        gdb.halted();
    }
    gdb.service(0);
    if (gdb.server().attached() != attached_) {
        attached_ = gdb.server().attached();
        window_.hostMessage(attached_ ? "GDB client attached." : "GDB client detached.");
    }
    if (gdb.server().interruptRequested() && running) {
        window_.breakRun();
        return;  // the next tick reports the halt
    }
    if (gdb.resumed() && !runningForClient_ && debugger.state() == Debugger::State::Halted) {
        runningForClient_ = true;
        window_.run();
    }
    if (!gdb.server().attached() && runningForClient_) {
        // The client went while the program ran for it: it stays halted.
        runningForClient_ = false;
        window_.breakRun();
    }
}
