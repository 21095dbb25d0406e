// What happens in the workbench that its views follow: a session started
// or ended, a debugger command the user gave, a component window docked.
// The workbench owns one and emits its signals; the views connect to it and
// need nothing else of the main window.
#pragma once

#include <QObject>

class QDockWidget;

class BenchEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The user's debugger commands, told as they start: a reset before the
    // cycle count falls (the scenario recorder notes them).
    enum class DebugCommand { Run, Break, Step, Reset };

signals:
    void sessionChanged();
    void debugCommand(BenchEvents::DebugCommand command);
    // A component window got its dock (its form is put in it next).
    void componentWindowOpened(QDockWidget* dock);
};
