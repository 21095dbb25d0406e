// The logic analyser: up to 16 channels (pins PA0 ... PD7, a USART's TX
// and RX), every edge recorded with its cycle. It shows a span of time with
// zoom (wheel, + and -) and pan (drag, scroll bar), follows the newest edges
// while recording unless paused, puts cursor A (left click) and cursor B
// (right click) with the time between them, and gives the frequency and
// duty cycle of the chosen channel over the span shown. A recording opens
// fitted: the view holds everything recorded, growing with it, until the
// user zooms or pans ("Fit" brings it back); a paused view stays put. A time axis under the channels
// is labelled in the time since the part's reset. Channels are typed or
// picked from the part's pins in the "Pick" menu. It repaints at most every
// 40 ms; while it does not record it has no hook in the simulator.
#pragma once

#include <QDockWidget>
#include <QTimer>
#include <memory>
#include <optional>

#include "host/boards/Board.h"
#include "host/instruments/Probes.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace quill::instruments {

class AnalyserView;

class AnalyserDock : public QDockWidget {
    Q_OBJECT
public:
    explicit AnalyserDock(QWidget* parent);
    ~AnalyserDock() override;

    void attach(quill::sim::SimTarget* target, std::vector<UsartLink*> usarts);
    // Starts recording the channels (a list such as "PB3,PD5,TX,LCD.E").
    bool record(const QString& channels, QString* why);
    // Finds the pins of LCD lines among the channels.
    void setLineResolver(LineResolver resolver) { lineResolver_ = std::move(resolver); }
    // The session's board: its names stand for port pins among the
    // channels (D13) and are shown beside them ("PB5 (D13)"); none: no board.
    void setBoard(std::optional<quill::boards::Board> board) { board_ = std::move(board); }
    const quill::boards::Board* board() const { return board_ ? &*board_ : nullptr; }
    void stopRecording();
    bool recording() const { return recorder_ && recorder_->recording(); }
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    const SignalRecorder* recorder() const { return recorder_.get(); }
    AnalyserView* view() const { return view_; }
    // Cursor A and B (cycles) and the text about them.
    void setCursors(std::optional<double> a, std::optional<double> b);
    QString cursorText() const;
    QString measureText() const;
    // Redraws now (the timer does so at most every 40 ms while recording).
    void refresh();
    // Whether the view holds the whole recording; a zoom or pan ends it.
    bool fitted() const { return fit_; }
    void setFitted(bool fit);
    // The channel field's text, and the menu that picks signals into it.
    QString channelText() const;
    QMenu* pickMenu() const { return pickMenu_; }

private:
    void updateTexts();
    void fitNow();
    void fillPickMenu();
    void pick(const QString& name, bool on);
    quill::sim::SimTarget* target_ = nullptr;
    std::vector<UsartLink*> usarts_;
    LineResolver lineResolver_;
    std::optional<quill::boards::Board> board_;
    std::unique_ptr<SignalRecorder> recorder_;
    AnalyserView* view_;
    QLineEdit* channels_;
    QToolButton* pickButton_;
    QMenu* pickMenu_;
    QPushButton* recordButton_;
    QPushButton* pauseButton_;
    QComboBox* measured_;
    QLabel* cursorLabel_;
    QLabel* measureLabel_;
    QTimer repaint_;
    bool paused_ = false;
    bool fit_ = true;
};

// The painted channels.
class AnalyserView : public QWidget {
    Q_OBJECT
public:
    explicit AnalyserView(AnalyserDock* dock);
    void setRecorder(const SignalRecorder* recorder) { recorder_ = recorder; }
    TimeSpan& span() { return span_; }
    const TimeSpan& span() const { return span_; }
    std::optional<double> cursorA, cursorB;
    static constexpr int kLabelWidth = 56;
    static constexpr int kRowHeight = 26;
    static constexpr int kAxisHeight = 22;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    AnalyserDock* dock_;
    const SignalRecorder* recorder_ = nullptr;
    TimeSpan span_;
    int dragFrom_ = -1;
};

}  // namespace quill::instruments
