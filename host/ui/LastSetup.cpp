#include "host/ui/LastSetup.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <filesystem>

#include "host/lab/ui/LabSession.h"
#include "host/ui/MainWindow.h"
#include "host/lab/LastSetup.h"

namespace {

QMenu* fileMenu(MainWindow& window) {
    for (QAction* item : window.menuBar()->actions())
        if (item->menu() && item->text() == "&File") return item->menu();
    return window.menuBar()->addMenu("&File");
}

}  // namespace

LastSetupKeeper::LastSetupKeeper(MainWindow& window) : QObject(&window), window_(window) {
    QMenu* file = fileMenu(window);
    action_ = new QAction("Reopen last set-up at start", this);
    action_->setObjectName("menu_reopen_last_setup");
    action_->setCheckable(true);
    action_->setChecked(quill::lab::reopenLastSetup());
    // Beside the lab commands, before the separator that follows them.
    QAction* before = nullptr;
    const QList<QAction*> items = file->actions();
    for (int i = 0; i + 1 < items.size(); ++i)
        if (items[i]->text() == "Open &lab...") before = items[i + 1];
    file->insertAction(before, action_);
    connect(action_, &QAction::toggled, this, [this](bool on) {
        std::string why;
        if (quill::lab::setReopenLastSetup(on, &why)) return;
        window_.hostMessage(QString::fromStdString(why));
        const QSignalBlocker quiet(action_);
        action_->setChecked(!on);
    });
    window.installEventFilter(this);
}

void LastSetupKeeper::reopen() {
    if (!quill::lab::reopenLastSetup()) return;
    const QString path = QString::fromStdString(quill::lab::lastSetupPath());
    QString why;
    if (path.isEmpty()) {
        window_.hostMessage("The last set-up was not reopened: the host has no configuration folder");
    } else if (!OpenLabFile(window_, path, &why)) {
        window_.hostMessage("The last set-up was not reopened: " + why);
    }
}

bool LastSetupKeeper::save() {
    if (window_.config().firmware.empty()) return false;
    const std::string path = quill::lab::lastSetupPath();
    std::error_code ec;
    if (!path.empty()) std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    QString why = path.empty() ? "the host has no configuration folder" : QString();
    if (why.isEmpty() && SaveLabFile(window_, QString::fromStdString(path), &why)) return true;
    window_.hostMessage("The set-up was not kept for the next start: " + why);
    return false;
}

bool LastSetupKeeper::eventFilter(QObject* watched, QEvent* event) {
    // Before the window's own close handling ends the session.
    if (watched == &window_ && event->type() == QEvent::Close && quill::lab::reopenLastSetup())
        save();
    return QObject::eventFilter(watched, event);
}
