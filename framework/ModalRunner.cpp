#include "framework/ModalRunner.h"

#include <QDialog>

namespace {
ModalRunner& currentRunner() {
    static ModalRunner runner;
    return runner;
}
}  // namespace

int RunModal(QDialog* dialog) {
    if (!dialog) return QDialog::Rejected;
    ModalRunner runner = currentRunner();  // a copy: the runner may replace itself
    if (!runner) return dialog->exec();
    dialog->setResult(QDialog::Rejected);
    runner(dialog);
    if (dialog->isVisible()) dialog->hide();
    return dialog->result() == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

void SetModalRunner(ModalRunner runner) { currentRunner() = std::move(runner); }

ScopedModalRunner::ScopedModalRunner(ModalRunner runner) : previous_(currentRunner()) {
    currentRunner() = std::move(runner);
}

ScopedModalRunner::~ScopedModalRunner() { currentRunner() = std::move(previous_); }
