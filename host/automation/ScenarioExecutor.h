// Executes scenario operations against a running quill-host: opens
// components through the plug-in's commands, clicks their controls, changes
// their settings through their settings dialog, lets simulated time pass
// (an event 3 after every instruction) and checks pins, registers and what
// the components show. Every operation returns false with a message that
// says what went wrong; expectations that do not hold are failures, other
// errors are faults of the scenario or the setup.
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "host/workbench/ComponentDriver.h"
#include "host/session/PartRegisters.h"
#include "host/automation/StepResults.h"

class HostBench;
class QImage;

class ScenarioExecutor {
public:
    using Outcome = steps::Outcome;
    using Result = steps::Result;

    ScenarioExecutor(HostBench& bench, QString screenshotDir);

    // A wall-clock limit for the whole run: once `deadline` has passed,
    // every wait stops and fails, saying that the run took longer than
    // `seconds` (the limit as given, for the message).
    using Clock = std::chrono::steady_clock;
    void setDeadline(Clock::time_point deadline, double seconds);
    bool pastDeadline() const;
    // A wait stopped by the deadline.
    bool timedOut() const { return timedOut_; }
    // A wait run elsewhere (the debug commands) stopped at the deadline.
    void markTimedOut() { timedOut_ = true; }
    QString timeLimitMessage() const;

    // ---- components
    // Opens a component (KN, LD, SW, KP, STV...). Its window is laid out
    // when the executor next acts on a window, so that openings in a row
    // share one layout of the main window.
    Result open(const QString& commandId);
    // Lays out the windows opened since the last layout (every command that
    // acts on a window does this first).
    void settle();
    // Left click (press and release) on control `control` of component
    // window `name`; control 0 clicks the window's main control: the first
    // numbered control that reports clicks.
    Result click(const QString& name, int control);
    Result press(const QString& name, int control);
    Result release(const QString& name, int control);
    // A toggle button (keypad key) held down (`down`) or let go: clicked
    // when its state differs, as a user would.
    Result hold(const QString& name, int control, bool down);
    // Changes a component's settings as its "Settings..." dialog would.
    Result configure(const QString& name, const std::vector<driver::DialogInput>& inputs);
    // The plug-in's Settings sheet (the host's "Plug-in settings..."),
    // filled with `inputs` and confirmed with OK.
    Result pluginSettings(const std::vector<driver::DialogInput>& inputs);
    // Moves trackbar `control` of a window to `position` and lets go of it.
    Result slide(const QString& name, int control, int position);
    // Types `text` into edit `control`, then lets go of trackbar `release`.
    Result typeAndRelease(const QString& name, int control, const QString& text, int release);
    // The channel a Slider or Beerbasement drives (`name`), or the one that
    // drives channel `channel` (`name` empty): its value (a Slider's
    // percentage, a Beerbasement's millivolts) or its voltage in millivolts.
    Result expectChannel(const QString& name, int channel, double value, bool millivolts);

    // ---- time
    Result waitCycles(uint64_t cycles);
    Result waitMilliseconds(double ms);
    Result step(uint64_t instructions);
    // Runs instruction by instruction (event 3 after each) until `holds`
    // answers true, at most `timeoutCycles` cycles. `holds` answers nothing
    // when it cannot be evaluated (an error). With `moved`, a condition
    // that did not hold is asked again only when `moved` says that what it
    // reads may have changed since it was last asked, or after Qt's events
    // ran (every 1024 instructions), where any window may change.
    Result waitUntil(const std::function<std::optional<bool>()>& holds, uint64_t timeoutCycles,
                     const QString& what, const std::function<bool()>& moved = {});
    Result reset();

    // ---- expectations
    // I/O register by name ("PORTA") or index; optional bit 0..7.
    Result expectRegister(const QString& reg, std::optional<int> bit, int value);
    // A pin "PA3": the level the pin carries (PINx as hardware shows it).
    Result expectPin(const QString& pin, int level);
    // A bitmap control of a component shows bitmap `bitmapId`, or (for
    // lit/dark checks) one of the given ids.
    Result expectBitmap(const QString& name, int control, const std::vector<int>& bitmapIds,
                        const QString& what);
    // The LED window `name` is lit (1) or dark (0).
    Result expectLed(const QString& name, int lit);
    // The Knight Rider bar `name` shows `pattern` (bit 7 leftmost).
    Result expectBar(const QString& name, int pattern);
    // A Hitachi LCD's visible line (1-based; the text with trailing blanks
    // removed), with `cursor` its cursor cell (line -1: no cursor), or with
    // `protocol` whether its protocol checker warned since the last reset,
    // or with `picture` (a PNG file) whether the unzoomed panel equals it.
    struct LcdCheck {
        QString window;
        int line;
        QString text;
        bool cursor;
        int column;
        bool protocol = false;
        bool warned = false;
        QString picture = {};
    };
    Result expectLcd(const LcdCheck& check);
    Result expectLcdPicture(const QString& window, const QImage& shown, const QString& path);
    // The panel of Hitachi LCD window `name`, or null (no such window).
    QWidget* lcdPanel(const QString& name);
    // A line of the output pane written since the last matched line (or
    // since the start) contains `text`; checks of output thus follow the
    // order in which the lines were written.
    Result expectOutput(const QString& text);
    // The text of control `control` (label, edit, list row text) contains `text`.
    Result expectText(const QString& name, int control, const QString& text);

    // ---- debug aids
    // Command ASI (as from the menu) when autostep is not already `on`;
    // autostep is on while its timer runs on the main window.
    Result autostep(bool on);
    Result expectAutostep(bool on);
    // Lets the event loop run for `ms` of wall-clock time with the main
    // window active (timers fire, synthesised keys arrive); the program
    // runs only when something (autostep's F11) steps it.
    Result idle(double ms);
    // The host sends debugger event `number` to the plug-in.
    Result event(int number);
    // The Settings sheet (command 6): the logger group's options and, when
    // `registers` is given, the logger sheet's "Log to file." list; OK on both.
    struct LoggerInputs {
        std::optional<std::vector<QString>> registers;
        std::optional<QString> file, directory;
        std::optional<bool> enabled, toFile;
        std::optional<int> limitMegabytes;  // "Size limit", 0: none
    };
    Result logger(const LoggerInputs& inputs);
    // The file (relative to the working folder) contains `text`.
    Result expectFile(const QString& path, const QString& text);

    // ---- screenshots
    Result screenshot(const QString& label);

    // Register index of a name, by the part description; -1 when unknown.
    int registerIndex(const QString& name) const;
    std::optional<uint8_t> readIo(int index) const;

private:
    QWidget* formOrError(const QString& name, Result* error);

    HostBench& bench_;
    std::optional<PartRegisters> registers_;
    QString registerError_;
    QString screenshotDir_;
    int shot_ = 0;
    long long outputMark_ = 0;  // lines written before this one are already matched
    std::optional<Clock::time_point> deadline_;
    double limitSeconds_ = 0;
    bool timedOut_ = false;
    bool openingsPending_ = false;  // windows opened since the last layout
};
