#include "host/workbench/UnattendedDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {

int expectedDialogs = 0;

}  // namespace

UnattendedDialogs::Expected::Expected() { ++expectedDialogs; }
UnattendedDialogs::Expected::~Expected() { --expectedDialogs; }

UnattendedDialogs::UnattendedDialogs(Report report, QObject* parent)
    : QObject(parent), report_(std::move(report)) {
    qApp->installEventFilter(this);
}

UnattendedDialogs::~UnattendedDialogs() { qApp->removeEventFilter(this); }

bool UnattendedDialogs::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget->isModal()) shown(widget);
    }
    return QObject::eventFilter(watched, event);
}

void UnattendedDialogs::shown(QWidget* window) {
    auto* box = qobject_cast<QMessageBox*>(window);
    if (!box && expectedDialogs > 0) return;
    if (!box) {
        intruders_ << QString("\"%1\" (%2)")
                          .arg(window->windowTitle(),
                               QString::fromLatin1(window->metaObject()->className()));
        if (report_)
            report_(QString("A modal window %1 opened, which nobody can answer in a headless "
                            "run; it was closed")
                        .arg(intruders_.back()));
    }
    // Dealt with once the window's own event loop runs: a dialog ended
    // while it is being shown would leave that loop waiting for ever.
    QPointer<QWidget> target = window;
    QMetaObject::invokeMethod(
        this,
        [this, target] {
            if (!target || !target->isVisible()) return;
            if (auto* b = qobject_cast<QMessageBox*>(target.data())) {
                answer(b);
            } else if (auto* dialog = qobject_cast<QDialog*>(target.data())) {
                dialog->reject();
            } else {
                target->close();
            }
        },
        Qt::QueuedConnection);
}

void UnattendedDialogs::answer(QMessageBox* box) {
    QAbstractButton* button = box->defaultButton();
    if (!button) button = box->escapeButton();
    if (!button && !box->buttons().isEmpty()) button = box->buttons().constFirst();
    const QString name = button ? button->text().remove('&') : QStringLiteral("nothing: closed");
    if (report_) {
        report_(QString("Message box \"%1\": %2 (answered %3)")
                    .arg(box->windowTitle(), box->text(), name));
    }
    ++answered_;
    if (button) {
        button->click();
    } else {
        box->done(QMessageBox::Cancel);
    }
}
