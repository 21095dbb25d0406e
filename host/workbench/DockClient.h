// Places the component windows of a main window in docks of their own.
//
// Every component window gets a dock the user can move, float, tab or
// close. Where a new dock goes is the layout planner's decision
// (host/layout/DockPlanner.h): columns of docks, each dock as large as its
// component, within the room the screen leaves the window; tabs only when
// nothing else fits, and then behind the dock they join. The main window is
// kept inside the screen's available area.
//
// A dock is placed once its component has put its window into it: opening
// adds the dock hidden and asks for one arrangement pass when the event
// loop next runs, shared by every opening before it, so opening N windows
// costs time linear in N. The docks do without Qt's geometry animations,
// which would leave one animation object per dock and layout behind, each
// removed one by one with a search of the event queue.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/layout/DockPlanner.h"

class QDockWidget;
class QMainWindow;
class QWidget;

class DockClient : public QObject {
    Q_OBJECT
public:
    explicit DockClient(QMainWindow& window);

    // The name the host gave a component's window ("LED 2"): its dock's
    // title without the wiring the component shows after it ("LED 2 -
    // PB3"). Windows are found, saved and recorded by this name.
    static QString nameOf(const QDockWidget* dock);

    // A new dock titled `title`; returns its client area, which the
    // component's dialog becomes a child of. The area asks the dock for
    // exactly the room its children take (and its title needs).
    QWidget* open(const QString& title);

    // The docks alive, in the order they were opened (closing a dock only
    // hides it; it stays here until it is deleted).
    const std::vector<QDockWidget*>& docks() const { return docks_; }

    // The host's own docks (output, instruments, terminals) go below the
    // component windows, as tabs of the first of them, so they never take
    // the components' room; the user may move them like any dock.
    void addToolDock(QDockWidget* dock);

    // Places the docks opened since the last pass (the event loop does it
    // on its own; a caller that needs the arrangement now may ask). Does
    // nothing while a Hold lives.
    void arrangePending();

    // While one lives, the docks opened are placed together when the last
    // hold ends, not at each event loop run on the way: a lab that opens
    // its windows and fills in each one's settings dialog (an event loop
    // per window) has its docks placed once, not once per window.
    class Hold {
    public:
        explicit Hold(DockClient& client) : client_(client) { client_.hold(); }
        ~Hold() { client_.release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        DockClient& client_;
    };

    // The room the docks may take: the screen's available area less the
    // window frame and everything else the window shows.
    quill::layout::Extent dockRoom() const;

    // After a saved layout is restored: the window is brought inside the
    // screen, and when the saved arrangement cannot fit it (a lab saved on
    // a larger screen) the docks are arranged as planned for this one.
    // False when the saved arrangement had to go.
    bool fitRestoredLayout();

private:
    // Puts the docks where the moves say, the first of each group of tabs
    // in front, and keeps the window on the screen.
    void place(const std::vector<std::pair<QDockWidget*, quill::layout::Placement>>& moves,
               const std::unordered_map<int, std::size_t>& order);
    void hold();
    void release();
    void forget(QDockWidget* dock);
    void keepOnScreen();

    QMainWindow& window_;
    std::vector<QDockWidget*> docks_;
    std::vector<QPointer<QDockWidget>> toolDocks_;
    std::vector<QPointer<QDockWidget>> pending_;
    quill::layout::DockPlanner planner_;
    bool placing_ = false;  // our own moves are no user's
    int holds_ = 0;
    bool layoutWasEnabled_ = true;
};
