// Drives the plug-in's component windows the way a user does, for the
// headless scenarios and the benchmark: finds a component by its window
// name and its controls by number (the window layer numbers every control
// with the property "controlId" and the object name "id_<n>"), clicks with
// synthesised mouse events, and answers the modal settings dialog that a
// component's "Settings..." menu item opens.
#pragma once

#include <QString>
#include <functional>
#include <vector>

class HostBench;
class QDialog;
class QObject;
class QDockWidget;
class QLineEdit;
class QWidget;

namespace driver {

// The dock whose title is `name` (an open one before a closed one), or null.
QDockWidget* findDock(HostBench& bench, const QString& name);
// The component form inside that dock (the dialog the plug-in made a child
// of the dock's client area), or null.
QWidget* findForm(HostBench& bench, const QString& name);
// The window names of all component docks, in creation order.
QStringList componentNames(HostBench& bench);

int controlIdOf(const QObject* control);
// `root` itself or the first descendant numbered `id`; null if none.
QWidget* findControl(QWidget* root, int id);

// Replaces the text of `edit` as typed keys do (each emits the edit's
// textEdited signal, as a user's typing does).
void typeText(QLineEdit* edit, const QString& text);

// Mouse press and release at the centre of `widget` (left button).
void press(QWidget* widget);
void release(QWidget* widget);
void click(QWidget* widget);

// A bitmap control's "bitmapId" property; -1 when it has none.
int bitmapIdOf(const QWidget* control);

// Opens `form`'s context menu with a synthesised right click and chooses
// the item carrying command `commandId`; `answer` runs on the modal dialog
// the item opens and must end it (accept/reject; a dialog still open
// afterwards is rejected). Returns false with *error when there is no menu,
// no such item, or no dialog appeared.
bool runMenuDialog(QWidget* form, int commandId, const std::function<void(QDialog*)>& answer,
                   QString* error);

// Runs `open`, which is to open a modal dialog, and answers that dialog with
// `answer` from inside its event loop (as runMenuDialog does). False with
// *error when no dialog appeared.
bool runDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& answer,
               QString* error);

// One change to a settings dialog: select `value` in the combo box numbered
// `control` ("@B" selects port B, listed as PINB or PORTB; "@B4" the item
// whose data is the pin "B4", "@none" the item "none"), tick (value "1") or clear ("0") a check
// box, move a trackbar to `value`, type `value` into an edit box, or click a radio button / push
// button (empty value). A property sheet's pages number their controls independently: `page`
// names the page (its template number) to look on; 0 looks on the whole dialog.
struct DialogInput {
    int control = 0;
    QString value;
    int page = 0;
};

// Applies the inputs in order, then clicks OK (control 1). Returns false
// with *error naming the control that could not be set, or quoting the
// dialog's "message" property when it refuses OK; the dialog is then
// cancelled.
bool fillDialog(QDialog* dialog, const std::vector<DialogInput>& inputs, QString* error);

}  // namespace driver
