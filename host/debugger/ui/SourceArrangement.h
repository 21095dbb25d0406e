// Where the source view and the watch stand in the main window.
//
// With a program's source lines the source view takes the window's central
// area and the watch stands beside it (a splitter between them), so that
// the line and the variables are seen together, both shown as soon as such
// a program is debugged. Without them (an Intel HEX file, a program built
// without -g) both are tool docks tabbed with the output below the
// component windows, hidden until asked for, and the central area stays
// empty.
//
// The central area asks the window for no least height: the component
// docks are planned in the room the window leaves them, which counts the
// central area's least height, and every component must still fit; the
// source takes the height they leave.
#pragma once

#include <QObject>
#include <QString>

class QAction;
class QDockWidget;
class QLabel;
class QMainWindow;
class QMenu;
class QSplitter;
class QWidget;

class SourceArrangement : public QObject {
    Q_OBJECT
public:
    // The panels are the docks' widgets; the window's central widget is
    // replaced by the area they go into.
    SourceArrangement(QMainWindow& window, QDockWidget* source, QDockWidget* watch);

    // Central (source lines) or docked; moving into the centre shows both,
    // moving back to the docks hides them.
    void setCentral(bool central);
    bool central() const { return central_; }

    // One of the two (by its dock) shown or hidden wherever it stands; a
    // dock shown is raised over the output.
    void setShown(QDockWidget* dock, bool shown);
    bool shown(QDockWidget* dock) const;
    // The Debug menu's check items for them ("Source view", "Watch").
    QAction* toggleAction(QDockWidget* dock) const;

    QWidget* centre() const { return centre_; }
    // The title over the source in the centre (the source dock's title).
    QLabel* centreTitle() const { return title_; }

private:
    QWidget* pane(QDockWidget* dock) const;
    void sync();

    QMainWindow& window_;
    QDockWidget* source_;
    QDockWidget* watch_;
    QWidget* sourcePanel_;
    QWidget* watchPanel_;
    QWidget* centre_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWidget* sourcePane_ = nullptr;  // title and source panel, in the centre
    QLabel* title_ = nullptr;
    QAction* sourceAction_ = nullptr;
    QAction* watchAction_ = nullptr;
    bool central_ = false;
};
