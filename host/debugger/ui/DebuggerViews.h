// The source and watch docks of quill-host and the source-level debug
// commands of its Debug menu: Toggle breakpoint (F9, or a click in the
// margin), Step over (F10), Step out (Shift+F11), Run to cursor
// (Ctrl+F10). F11 stays the window's one-instruction step.
//
// For a program with source lines the source view takes the window's
// central area with the watch beside it, shown from the start of the
// session; for one without (HEX, no -g) both are docks below the component
// windows with the output pane, hidden until the user debugs at source
// level (a breakpoint halts the program, F9, F10, Shift+F11, or Debug >
// Source view / Watch). See SourceArrangement.h.
//
// A display-rate timer follows the debugger: at every halt (Break, a step,
// a breakpoint, a scenario's wait) the source view shows the line of the
// next instruction, highlighted and scrolled to, and the watch reads its
// values; while the program runs the watch is read at the display rate.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "host/debugger/WatchList.h"

class HostBench;
class QDockWidget;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QTableView;
class QWidget;
class SourceArrangement;
class SourceModel;
class WatchModel;

class DebuggerViews : public QObject {
    Q_OBJECT
public:
    DebuggerViews(HostBench& window, QMenu* debugMenu);
    ~DebuggerViews() override;

    QDockWidget* sourceDock() const { return sourceDock_; }
    QDockWidget* watchDock() const { return watchDock_; }
    QListView* sourceView() const { return sourceView_; }
    QTableView* watchView() const { return watchView_; }
    SourceModel& sourceModel() const { return *sourceModel_; }
    WatchModel& watchModel() const { return *watchModel_; }
    QLineEdit* watchInput() const { return watchInput_; }
    // The line under the source view: what the last step did, or what the
    // program's debug information lacks.
    QLabel* statusLabel() const { return status_; }
    // Where the source and the watch stand, and whether each is shown.
    SourceArrangement& arrangement() const { return *arrangement_; }

    // A source file the line table names that is not on this machine (a
    // program built elsewhere) is never asked for unbidden: the source view
    // shows a notice above its lines, with a "Locate..." button, and the
    // output a line. Only a click on the button opens the chooser (a file
    // dialog by default); the file chosen is remembered for the session's
    // program and shown.
    using FileChooser = std::function<QString(const QString& tableName)>;
    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    QWidget* sourceNotice() const { return notice_; }

    // Follows the debugger now instead of at the next tick.
    void follow();

signals:
    // Once per missing source file and program, with the line the output got.
    void sourceMissing(const QString& line);

private:
    // Shows the source and watch docks (raised over the output).
    void showDocks();
    void toggleBreakpoint();
    void stepOver();
    void stepOut();
    void runToCursor();
    void showProgram();
    void showFileOf(const std::string& tableName);
    void showDisassembly();
    void halted();
    void message(const QString& text);
    void locate();

    HostBench& window_;
    QDockWidget* sourceDock_ = nullptr;
    QDockWidget* watchDock_ = nullptr;
    QListView* sourceView_ = nullptr;
    QTableView* watchView_ = nullptr;
    QLineEdit* watchInput_ = nullptr;
    QLabel* status_ = nullptr;
    SourceArrangement* arrangement_ = nullptr;
    SourceModel* sourceModel_ = nullptr;
    WatchModel* watchModel_ = nullptr;
    std::unique_ptr<quill::debugger::WatchList> watch_;
    QTimer timer_;
    FileChooser chooser_;
    QWidget* notice_ = nullptr;
    QLabel* noticeText_ = nullptr;
    std::string missing_;              // the line table's name of the file the notice is about
    std::set<std::string> reported_;   // missing files told of, for the program shown
    // What the views last showed.
    const void* program_ = nullptr;
    bool wasRunning_ = false;
    uint64_t shownInstructions_ = ~0ull;
    bool shownDebugging_ = false;
    std::map<std::string, std::string> remembered_;  // line table name -> file the user chose
    // avr-objdump's disassembly, per firmware file and its change time.
    std::map<std::string, std::string> disassembly_;
    // Run to cursor: the addresses added for it, removed at the next halt.
    std::vector<uint32_t> cursorBreak_;
};
