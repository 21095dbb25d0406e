// Controls addressed by number, as the dialog layouts number them: every
// control a component or a test needs carries the dynamic property
// "controlId" and the object name "id_<n>".
#pragma once

class QDialog;
class QDialogButtonBox;
class QObject;
class QWidget;

void SetControlId(QObject* control, int id);
// The control's number, or -1 when it has none.
int ControlId(const QObject* control);
// `root` itself or the first descendant widget numbered `id`; null if none.
QWidget* findControl(QWidget* root, int id);

// The OK and Cancel buttons of a dialog, numbered 1 and 2 as every dialog
// numbers them, accepting and rejecting `dialog`; the caller lays them out.
QDialogButtonBox* OkCancelButtons(QDialog* dialog);

template <typename T>
T* findControlAs(QWidget* root, int id) {
    return qobject_cast<T*>(findControl(root, id));
}
