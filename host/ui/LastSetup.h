// File > "Reopen last set-up at start": when ticked, closing the main
// window saves its set-up as a lab in the host's configuration folder, and
// the next start without a lab or program reopens it. Only the windowed
// host makes one (main.cpp); a headless run neither reads nor writes the
// saved set-up.
#pragma once

#include <QObject>

class MainWindow;
class QAction;

class LastSetupKeeper : public QObject {
    Q_OBJECT
public:
    // Adds the menu item to the window's File menu and watches its closing.
    explicit LastSetupKeeper(MainWindow& window);

    // Opens the saved set-up when the preference is on. A missing or broken
    // one is reported in the output pane and the window stays empty.
    void reopen();
    // Saves the set-up now (what closing does with the preference on);
    // false when there is nothing to keep (no program chosen) or the save
    // failed, which the output pane reports.
    bool save();

    QAction* action() const { return action_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainWindow& window_;
    QAction* action_;
};
