// The host's instruments for one main window, wired in one place: a serial
// terminal per USART of the part, the waveform file (File > "Record
// waveform...", --vcd, the scenario's record waveform), the logic
// analyser, and what the scenario checks on them (serial text, frequency
// and duty cycle over the previous wait). It follows the debugging session:
// attach() with each new simulated part, or with nothing when it ends.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "host/boards/Board.h"
#include "host/instruments/Probes.h"

class QDockWidget;
class QMainWindow;
class QMenu;

namespace quill::instruments {

class TerminalDock;
class AnalyserDock;

class InstrumentHub : public QObject {
    Q_OBJECT
public:
    // Where a new dock of the hub's goes: the window's own place for tool
    // docks (below the components, tabbed with the others); by default the
    // window's bottom area.
    using DockPlacer = std::function<void(QDockWidget*)>;
    explicit InstrumentHub(QMainWindow* window, DockPlacer place = {});
    ~InstrumentHub() override;

    // Adds "Record waveform..." / "Stop waveform" to `file` and the
    // terminals and the analyser to a menu "Instruments" of the window.
    void installMenus(QMenu* file);
    // The part of a new session (null: none).
    void attach(std::shared_ptr<quill::sim::SimTarget> target);
    bool attached() const { return target_ != nullptr; }

    // ---- serial
    // USART `number`, or the part's only one for -1; null and *why when
    // there is no such USART or several and none was named.
    UsartLink* usart(int number, QString* why) const;
    const std::vector<std::unique_ptr<UsartLink>>& usarts() const { return links_; }
    TerminalDock* terminal(int number) const;
    // Every terminal shows what its USART sent up to now.
    void catchUp();
    // The received text after the previous match contains `text`: the match
    // becomes the new mark (as expect output does). *shown gets the text
    // looked through when it does not.
    bool matchSerial(UsartLink& link, const std::string& text, std::string* shown);

    // ---- waveforms (several files at once, each with its own signals)
    bool startWaveform(const QString& path, const QString& signalList, QString* why);
    // Closes the file written to `path` (the last one started when empty);
    // false with *message when there is none or the file failed, else
    // *message says what was written.
    bool stopWaveform(QString* message, const QString& path = {});
    bool recordingWaveform(const QString& path = {}) const;

    // ---- measurements over the scenario's waits
    // Records these signals from now on, for measure().
    bool watch(const std::vector<Signal>& wanted, QString* why);
    void waitBegins();
    void waitEnds();
    // Frequency and duty of a watched signal over the previous wait. For
    // the duty cycle alone a level kept all the wait counts too (0 % or
    // 100 %, see measureDuty).
    enum class Wanted { FrequencyAndDuty, Duty };
    std::optional<WaveMeasurement> measure(const QString& signal, QString* why,
                                           Wanted wanted = Wanted::FrequencyAndDuty) const;

    AnalyserDock* analyser() const;
    // How the waveform files and the analyser find the pin of an LCD line
    // (LCD.E): the host reads it from the LCD window's settings.
    void setLineResolver(LineResolver resolver);
    // The session's board (none: no board): the analyser's channels and the
    // waveform files' signals take its pin names (D13) and name a pin beside
    // its port pin ("PB5 (D13)", "PB5_D13").
    void setBoard(std::optional<quill::boards::Board> board);

Q_SIGNALS:
    // A line for the host's output pane.
    void message(const QString& text);

private:
    void detach();
    void askAndRecord();
    QMainWindow* window_;
    DockPlacer place_;
    std::shared_ptr<quill::sim::SimTarget> target_;
    std::vector<std::unique_ptr<UsartLink>> links_;
    std::map<int, QPointer<TerminalDock>> terminals_;
    QPointer<AnalyserDock> analyser_;
    QMenu* menu_ = nullptr;
    std::vector<std::unique_ptr<SignalRecorder>> waveforms_;  // oldest first
    std::unique_ptr<SignalRecorder> measured_;
    std::map<const UsartLink*, uint64_t> serialMarks_;
    uint64_t waitFrom_ = 0, waitTo_ = 0;
    bool waited_ = false;
    QTimer flush_;  // writes the waveform file as the program runs
    LineResolver lineResolver_;
    std::optional<quill::boards::Board> board_;
};

}  // namespace quill::instruments
