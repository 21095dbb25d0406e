// The serial terminal of one USART: what the program transmitted, as text
// (a carriage return going back to the start of the line, as on a
// terminal) or hex, an input line that sends with the chosen line ending, the baud
// rate the program set with a warning when it is more than 2 % from the
// nearest standard rate or from the rate the terminal is set to (once the
// program has enabled the transmitter or the receiver), Save... and Clear,
// and a local echo of what is sent. It catches up with the line at most
// every 50 ms.
#pragma once

#include <QDockWidget>
#include <QTimer>

#include "host/instruments/Probes.h"
#include "host/instruments/TerminalScreen.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace quill::instruments {

class TerminalDock : public QDockWidget {
    Q_OBJECT
public:
    TerminalDock(int usart, QWidget* parent);

    // The USART shown; null while no program is being debugged.
    void attach(UsartLink* link);
    UsartLink* link() const { return link_; }
    // Shows what arrived since the last look (the timer does so too).
    void catchUp();
    void clear();
    bool saveTo(const QString& path, QString* error);
    // The text the pane shows, and the baud line.
    QString shownText() const;
    QString baudText() const;
    bool baudWarning() const { return warning_; }
    // Sends the input line's text with the chosen ending; with local echo on
    // it is also shown where the program's text goes on (a rebuild of the
    // view, on a change of mode, shows the program's bytes only).
    void sendInput();
    void setLocalEcho(bool on);

    static constexpr int kMaxLines = 5000;

private:
    void rebuild();
    void updateBaud();
    void display(const std::string& bytes);
    UsartLink* link_ = nullptr;
    QPlainTextEdit* view_;
    QComboBox* mode_;
    QComboBox* ending_;
    QComboBox* rate_;
    QLineEdit* input_;
    QCheckBox* echo_;
    QLabel* baud_;
    TerminalScreen screen_;
    QTimer timer_;
    uint64_t shown_ = 0;  // stream position shown up to
    uint64_t from_ = 0;   // stream position the pane starts at (after Clear)
    bool warning_ = false;
};

}  // namespace quill::instruments
