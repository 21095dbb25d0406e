#include "host/app/UnattendedDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

UnattendedDialogs::UnattendedDialogs(Report report, QObject* parent)
    : QObject(parent), report_(std::move(report)) {
    // A message box runs its own event loop, in which this timer fires.
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &UnattendedDialogs::look);
    poll_.start();
}

void UnattendedDialogs::look() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) answer(box);
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
