// Recording scenarios in the main window: Debug > "Record scenario..."
// asks for a file and restarts the program, then every user action on the
// component windows (opening one, clicking a switch, pressing or releasing a
// keypad key, letting go of a slider or the cellar's trackbar, Reset) goes
// into a recording with the simulated time between them; Run, Break and
// Step Into are that time. "Add check" in a component window's context menu
// records what the window shows now, Debug > "Add register check..." a
// register's value. "Stop recording" (or the end of the debugging session)
// writes the file beside its old copy and renames it over it. A word in
// the status bar says that a recording runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "host/recorder/ScenarioRecorder.h"

class HostBench;
class QAction;
class QDialog;
class QDockWidget;
class QLabel;
class QMenu;
class QWidget;

class RecorderController : public QObject {
    Q_OBJECT
public:
    // Adds the Debug menu's items to `debugMenu` and watches the window's
    // component windows from now on.
    RecorderController(HostBench& window, QMenu* debugMenu);
    ~RecorderController() override;

    // Starts a recording to be written to `path`: the program starts over
    // (Start Debugging, or Reset while debugging) and the windows already
    // open are recorded as opened. False with *error when no program can
    // be debugged or a recording already runs.
    bool start(const QString& path, QString* error);
    // Ends the recording and writes the file; false with *error when it
    // cannot be written (the recording then goes on, for another try).
    bool stop(QString* error);
    bool recording() const { return recording_.has_value(); }
    const quill::recorder::Recording* current() const {
        return recording_ ? &*recording_ : nullptr;
    }
    QString path() const { return path_; }
    void setPath(const QString& path) { path_ = path; }

    // Records what the component window `name` shows now; false with
    // *error for a window that shows nothing to check or while not
    // recording.
    bool addCheck(const QString& name, QString* error);
    // Records the value register `name` holds now.
    bool addRegisterCheck(const QString& name, QString* error);

    QAction* recordAction() const { return record_; }
    QAction* stopAction() const { return stop_; }
    QAction* registerCheckAction() const { return registerCheck_; }
    // The context-menu item that "Add check" adds to component windows.
    static constexpr const char* kAddCheckText = "Add check";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void leverClicked();

private:
    void watch(QDockWidget* dock, uint64_t openedAt);
    void addCheckItem(QWidget* form);
    // A dialog closed while recording: a component's settings confirmed
    // (or a Switch's dialog closed at all), the plug-in's Settings sheet.
    void dialogClosed(QDialog* dialog);
    void record(const quill::scenario::Command& command);
    void sessionChanged();
    void updateActions();
    void recordDialog();
    void stopDialog();
    void registerCheckDialog();
    uint64_t cycles() const;
    QString windowOf(const QObject* control) const;

    HostBench& window_;
    QAction* record_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* registerCheck_ = nullptr;
    QLabel* status_ = nullptr;  // "Recording" in the status bar
    std::optional<quill::recorder::Recording> recording_;
    QString path_;
    QPointer<QObject> dialogs_;                  // the application's filter while recording
    std::map<std::string, std::string> sheets_;  // the sheets' pages as last recorded
    // The component windows' settings as last recorded, by window: a
    // dialog that now reads back as nothing (the keypad back on its fixed
    // wiring) is recorded as the line that restores it.
    std::map<std::string, std::string> windowSettings_;
};
