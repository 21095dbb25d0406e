#include "host/workbench/ComponentDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QSlider>
#include <QTimer>

#include "host/workbench/DockClient.h"
#include "host/workbench/HostBench.h"
#include "host/workbench/UnattendedDialogs.h"

namespace driver {

QDockWidget* findDock(HostBench& bench, const QString& name) {
    // A window the user closed may still stand under the name of one open
    // now: the open one is meant.
    QDockWidget* closed = nullptr;
    for (QDockWidget* dock : bench.componentDocks()) {
        if (DockClient::nameOf(dock) != name) continue;
        if (!dock->isHidden()) return dock;
        if (!closed) closed = dock;
    }
    return closed;
}

QWidget* findForm(HostBench& bench, const QString& name) {
    QDockWidget* dock = findDock(bench, name);
    QWidget* client = dock ? dock->widget() : nullptr;
    if (!client) return nullptr;
    for (QObject* child : client->children()) {
        if (auto* dialog = qobject_cast<QDialog*>(child)) return dialog;
    }
    return nullptr;
}

QStringList componentNames(HostBench& bench) {
    QStringList names;
    for (QDockWidget* dock : bench.componentDocks()) names << DockClient::nameOf(dock);
    return names;
}

int controlIdOf(const QObject* control) {
    if (!control) return -1;
    QVariant id = control->property("controlId");
    return id.isValid() ? id.toInt() : -1;
}

QWidget* findControl(QWidget* root, int id) {
    if (!root) return nullptr;
    if (controlIdOf(root) == id) return root;
    for (QWidget* child : root->findChildren<QWidget*>()) {
        if (controlIdOf(child) == id) return child;
    }
    return nullptr;
}

namespace {

void sendMouse(QWidget* widget, QEvent::Type type) {
    const QPointF local = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(local);
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

void press(QWidget* widget) { sendMouse(widget, QEvent::MouseButtonPress); }
void release(QWidget* widget) { sendMouse(widget, QEvent::MouseButtonRelease); }
void click(QWidget* widget) {
    QPointer<QWidget> guard(widget);
    press(widget);
    if (guard) release(widget);
}

int bitmapIdOf(const QWidget* control) {
    QVariant id = control ? control->property("bitmapId") : QVariant();
    return id.isValid() ? id.toInt() : -1;
}

void typeText(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(edit, &erase);
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
    }
}

bool runMenuDialog(QWidget* form, int commandId, const std::function<void(QDialog*)>& answer,
                   QString* error) {
    const QPoint local = form->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, local, form->mapToGlobal(local));
    QApplication::sendEvent(form, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
        *error = "the component shows no context menu";
        return false;
    }
    QAction* item = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->data().isValid() && action->data().toInt() == commandId) item = action;
    }
    if (!item) {
        menu->hide();
        *error = QString("the context menu has no item %1").arg(commandId);
        return false;
    }
    menu->hide();
    if (!runDialog([item] { item->trigger(); }, answer, error)) {
        *error = QString("menu item %1 opened no dialog").arg(commandId);
        return false;
    }
    return true;
}

bool runDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& answer,
               QString* error) {
    // The dialog runs its own event loop; a polling timer answers it from
    // inside that loop. A dialog already open (the one whose answer opens
    // this one) is not the one to answer.
    QWidget* before = QApplication::activeModalWidget();
    // The dialog is this driver's to answer, not an intruder in a headless run.
    const UnattendedDialogs::Expected expected;
    bool answered = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog == before || answered) return;
        answered = true;
        poll.stop();
        answer(dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    poll.start();
    open();
    poll.stop();
    if (!answered) {
        *error = "no dialog appeared";
        return false;
    }
    return true;
}

bool fillDialog(QDialog* dialog, const std::vector<DialogInput>& inputs, QString* error) {
    for (const DialogInput& input : inputs) {
        QWidget* root = dialog;
        if (input.page != 0) {
            root = dialog->findChild<QWidget*>(QString("page_%1").arg(input.page));
            if (!root) {
                *error = QString("the dialog \"%1\" has no page %2")
                             .arg(dialog->windowTitle())
                             .arg(input.page);
                dialog->reject();
                return false;
            }
        }
        QWidget* control = findControl(root, input.control);
        if (!control || !control->isEnabled()) {
            *error = QString("the dialog \"%1\" has no %2control %3")
                         .arg(dialog->windowTitle(), control ? "enabled " : "")
                         .arg(input.control);
            dialog->reject();
            return false;
        }
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            int index = -1;
            if (input.value.size() == 2 && input.value[0] == '@') {
                // A port by its letter: "PINB" or "PORTB", whichever the
                // combo box lists.
                const QChar letter = input.value[1].toUpper();
                for (int i = 0; i < combo->count() && index < 0; ++i) {
                    const QString item = combo->itemText(i).toUpper();
                    if ((item == QString("PIN") + letter) || (item == QString("PORT") + letter)) {
                        index = i;
                    }
                }
            } else if (input.value.size() > 2 && input.value[0] == '@') {
                // A pin by its port letter and bit, "@B4" (or "@none"),
                // whatever text the list shows for it.
                index = combo->findData(input.value.mid(1).toUpper(), Qt::UserRole,
                                        Qt::MatchFixedString);
            } else {
                index = combo->findText(input.value, Qt::MatchFixedString);
                // A pin listed with a board's name for it, "PB5 (D13)", is
                // chosen by its port pin, "PB5".
                if (index < 0) index = combo->findText(input.value + " (", Qt::MatchStartsWith);
            }
            if (index < 0) {
                QStringList items;
                for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
                QString wanted = input.value.size() == 2 && input.value.startsWith('@')
                                     ? "port " + input.value.mid(1)
                                 : input.value.startsWith('@') ? "pin P" + input.value.mid(1).toUpper()
                                                               : input.value;
                *error = QString("%1 is not offered by control %2 (choices: %3)")
                             .arg(wanted)
                             .arg(input.control)
                             .arg(items.join(", "));
                dialog->reject();
                return false;
            }
            combo->setCurrentIndex(index);
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(input.value);
        } else if (auto* check = qobject_cast<QCheckBox*>(control);
                   check && !input.value.isEmpty()) {
            if (check->isChecked() != (input.value == "1")) click(check);
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
            bool number = false;
            const int position = input.value.toInt(&number);
            if (!number || position < slider->minimum() || position > slider->maximum()) {
                *error = QString("%1 is outside the range %2 to %3 of control %4")
                             .arg(input.value)
                             .arg(slider->minimum())
                             .arg(slider->maximum())
                             .arg(input.control);
                dialog->reject();
                return false;
            }
            slider->setValue(position);
        } else {
            click(control);
        }
    }
    QWidget* ok = findControl(dialog, 1);
    if (!ok) {
        *error = QString("the dialog \"%1\" has no OK button").arg(dialog->windowTitle());
        dialog->reject();
        return false;
    }
    click(ok);
    if (dialog->isVisible()) {
        // A dialog that refuses its input says why in its message line.
        const QString message = dialog->property("message").toString();
        *error = QString("the dialog \"%1\" did not accept its input%2")
                     .arg(dialog->windowTitle(), message.isEmpty() ? QString() : ": " + message);
        dialog->reject();
        return false;
    }
    return true;
}

}  // namespace driver
