// Places the component windows of a main window in docks of their own.
//
// Every component window gets a dock the user can move, float, tab or
// close. The first kColumns docks line up side by side in the top area;
// later ones become tabs of those, column by column, and come to the front,
// so the main window does not widen with every window opened.
//
// Opening costs the same however many windows are open: the main window's
// layout is held while a dock is added and laid out once when the event
// loop next runs (openings in a row share that one layout), and the docks
// do without Qt's geometry animations, which would leave one animation
// object per dock and layout behind, each removed one by one with a search
// of the event queue.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstddef>
#include <map>
#include <vector>

class QDockWidget;
class QMainWindow;
class QStyle;
class QWidget;

class DockClient : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kColumns = 8;

    explicit DockClient(QMainWindow& window);

    // A new dock titled `title`, placed and shown; returns its client area,
    // which the component's dialog becomes a child of. The area asks the
    // dock for exactly the room its children take and keeps that width.
    QWidget* open(const QString& title);

    // The docks alive, in the order they were opened (closing a dock only
    // hides it; it stays here until it is deleted).
    const std::vector<QDockWidget*>& docks() const { return docks_; }

private:
    void place(QDockWidget* dock);
    void bringToFront(std::size_t column, QDockWidget* dock);
    void raiseNewTabs();

    QMainWindow& window_;
    std::vector<QDockWidget*> docks_;
    std::vector<QPointer<QDockWidget>> columns_;  // the side-by-side docks
    std::size_t nextColumn_ = 0;                  // the column the next tab joins
    QPointer<QDockWidget> last_;
    std::map<std::size_t, QPointer<QDockWidget>> front_;  // column: tab to raise
};
