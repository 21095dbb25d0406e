// Modal dialogs run through one hook, so that tests can answer them.
//
// Real runs use the default runner, QDialog::exec(). A test installs its own
// runner with ScopedModalRunner: it receives the dialog after the dialog has
// loaded its fields into its controls, may show it, click and type into
// controls found by number (findControl) and must end it with accept() or
// reject() (or by clicking OK = 1 / Cancel = 2); the dialog's result() is
// then the answer. A runner that returns without ending the dialog counts as
// Cancel.
#pragma once

#include <functional>

class QDialog;

using ModalRunner = std::function<void(QDialog* dialog)>;

// Runs `dialog` modally through the current runner; returns QDialog::Accepted
// or QDialog::Rejected.
int RunModal(QDialog* dialog);

// Replaces the runner; an empty function restores QDialog::exec().
void SetModalRunner(ModalRunner runner);

// Installs a runner for the lifetime of the object and restores the previous
// one afterwards.
class ScopedModalRunner {
public:
    explicit ScopedModalRunner(ModalRunner runner);
    ~ScopedModalRunner();
    ScopedModalRunner(const ScopedModalRunner&) = delete;
    ScopedModalRunner& operator=(const ScopedModalRunner&) = delete;

private:
    ModalRunner previous_;
};
