// The scenario language of the headless host: a text file of commands, one
// per line, that loads a part and firmware, opens component windows, lets
// simulated time pass, acts on the components as a user would and checks
// pins, registers and component displays. host/scenario/README.md
// describes the format; this parser turns a file into typed commands and
// reports every malformed line with file name and line number. Running the
// commands is the host's business.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "contract/Commands.h"
#include "host/boards/Board.h"
#include "host/scenario/DebugCommands.h"
#include "host/scenario/Vocabulary.h"
#include "host/scenario/ExitCommands.h"

namespace quill::scenario {



// The base name the host gives a window of that kind ("LED", "Switch",
// "Knightrider", "Keypad", "Stackview++", "Hitachi LCD"); later windows of the same kind
// get " 2", " 3", ... appended.
const char* baseName(ComponentKind kind);

enum class PinMode { Pin, DdrPort };  // "Use PIN register." / "Use DDRx and PORTx register."

// ---- Set-up
struct PartCommand {
    std::string name;  // as the part description files name it, "ATmega16"
};
struct FirmwareCommand {
    std::string path;  // as written; see Script::resolvePath
};
struct FrequencyCommand {
    uint32_t hertz;
};
// An Arduino board: its part and clock, and its pin names for the lines
// after it (boards::Board, a table under Partdescriptionfiles/boards).
struct BoardCommand {
    std::string name;  // as the table names it, "Uno"
    std::string part;  // "ATmega328P"
    uint32_t hertz;
};

// ---- Components
struct OpenCommand {
    ComponentKind kind;
    std::string window;  // the name the host will give the new window
};
// What the settings dialog would be given; fields not written keep the
// dialog's current values.
enum class Reference { Aref, Avcc, Internal };  // the Slider's full-scale voltage

struct SettingsCommand {
    std::string window;
    ComponentKind kind;
    std::optional<char> port;        // LED, Switch, Capacity Measurement: port letter 'A'..
    std::optional<int> pin;          // LED, Switch, Knight Rider switch, Capacity Measurement: 0..7
    std::optional<PinMode> mode;     // also the Beerbasement's behaviour
    std::optional<bool> activeLow;   // LED, Switch
    std::optional<char> outputPort;  // Knight Rider bar
    std::optional<char> inputPort;   // Knight Rider switch
    LcdSettings lcd;                 // Hitachi LCD
    std::optional<int> channel;      // Slider, Beerbasement: converter channel 0..7
    std::optional<Reference> reference;             // Slider
    std::optional<int> capacitance;                 // Capacity Measurement, nF 0..1000
    std::optional<PortPin> heater, cooler, status;  // Beerbasement
    // Keypad: wired pin by pin (columns 0..2, rows 0..3, each one pin both
    // ways), or the fixed wiring (keypadByPins false).
    std::optional<bool> keypadByPins;
    std::optional<std::vector<PortPin>> keypadColumns, keypadRows;
};
// "settings electrical ...": the Settings sheet's electrical page, then OK.
struct ElectricalCommand {
    std::optional<double> vcc, avcc, vref, aref;  // volts
    std::optional<bool> externalAref;
};
// "settings general warnings=off": the Settings sheet's "General" page,
// "Disable warning dialog(s)." ticked (off) or cleared (on), then OK.
struct GeneralCommand {
    std::optional<bool> warnings;
};
// A Slider's trackbar moved to `value` percent and let go, or `value`
// millivolts typed into its box and the trackbar then let go.
struct SetSliderCommand {
    std::string window;
    double value;
    bool millivolts;
};
struct SetTemperatureCommand {  // the Beerbasement's trackbar, let go
    std::string window;
    int celsius;
};
// The value of the channel a Slider or Beerbasement drives (a Slider's is a
// percentage, a Beerbasement's millivolts), or with `millivolts` its
// voltage. `window` empty: the component driving channel `channel`.
struct ExpectChannelCommand {
    static constexpr bool kCheck = true;
    std::string window;
    int channel = -1;
    double value;
    bool millivolts;
};
struct ExpectTextCommand {  // what control `control` of a window shows
    static constexpr bool kCheck = true;
    std::string window;
    int control;
    std::string text;
};
struct ClickCommand {  // the switch of a Switch or Knight Rider window
    std::string window;
    ComponentKind kind;
};
struct KeyCommand {  // a keypad key: press holds it down, release lets go
    std::string window;
    char key;  // '0'..'9', '*', '#'
    bool press;
};


// ---- Time
struct WaitCyclesCommand {
    static constexpr bool kWait = true;
    uint64_t cycles;
};
struct WaitTimeCommand {
    static constexpr bool kWait = true;
    double milliseconds;  // simulated time at the part's clock frequency
};
struct WaitUntilCommand {  // run until the condition holds, at most timeout cycles
    static constexpr bool kCheck = true;
    static constexpr bool kWait = true;
    Condition condition;
    uint64_t timeoutCycles;
};
struct ResetCommand {};

// ---- Checks and output
struct ExpectCommand {
    static constexpr bool kCheck = true;
    Condition condition;
};
// One byte of data memory at a data address (the registers, the I/O
// space and SRAM as the part maps them), compared in the bits of `mask`.
struct ExpectMemoryCommand {
    static constexpr bool kCheck = true;
    uint16_t address;
    uint8_t value;
    uint8_t mask = 0xff;
};
struct ExpectLedCommand {
    static constexpr bool kCheck = true;
    std::string window;
    bool on;
};
struct ExpectBarCommand {  // the lit segments of a Knight Rider bar, bit 7 leftmost
    static constexpr bool kCheck = true;
    std::string window;
    uint8_t segments;
};
struct ExpectOutputCommand {  // a line of the host's output pane contains the text
    static constexpr bool kCheck = true;
    std::string text;
};
struct ScreenshotCommand {
    std::string directory;  // one picture per open window goes there
};

// ---- Debug aids
struct AutostepCommand {  // command ASI when autostep is not already in that state
    bool on;
};
struct IdleCommand {  // wall-clock time for the host's event loop; the program does not run
    double milliseconds;
};
struct EventCommand {  // the host sends a debugger event to the plug-in
    int32_t number;
};
// What the Settings sheet's logger group and the logger sheet would be
// given, then OK; fields not written keep the sheets' current values.
struct LoggerCommand {
    std::optional<std::vector<std::string>> registers;  // names in capitals
    std::optional<std::string> file;
    std::optional<std::string> directory;
    std::optional<bool> enabled;
    std::optional<bool> toFile;  // destination=file (true) or window (false)
    std::optional<int> limitMegabytes;  // the log file's size limit, 0: none
};
struct ExpectAutostepCommand {
    static constexpr bool kCheck = true;
    bool on;
};
struct ExpectFileCommand {  // the file (relative to the host's working folder) contains the text
    static constexpr bool kCheck = true;
    std::string path;
    std::string text;
};

// ---- Instruments: serial lines and recorded signals
// Bytes for a USART's receiver (`usart` -1: the part's only USART).
struct SendSerialCommand {
    int usart = -1;
    std::string bytes;    // escapes decoded
    std::string written;  // as written, for the report
};
// Shows the serial terminal of a USART (`usart` -1: the part's only one).
struct OpenTerminalCommand {
    int usart = -1;
};
// The text a USART transmitted after the previous serial match contains it.
struct ExpectSerialCommand {
    static constexpr bool kCheck = true;
    int usart = -1;
    std::string text;
    std::string written;
};
// Runs until the text arrives (after the previous serial match).
struct WaitSerialCommand {
    static constexpr bool kCheck = true;
    static constexpr bool kWait = true;
    ExpectSerialCommand serial;
    uint64_t timeoutCycles;
};
struct RecordWaveformCommand {  // a VCD file of these signals
    std::string path;
    std::string signalList;  // "PA0,PB1,TX"
};
struct StopWaveformCommand {};
// The frequency (Hz) or duty cycle (%) of a signal over the edges of the
// previous wait; tolerance in percent of the frequency, in percentage
// points of the duty cycle.
struct ExpectFrequencyCommand {
    static constexpr bool kCheck = true;
    std::string signal;
    double hertz;
    double tolerancePercent = 2;
};
struct ExpectDutyCommand {
    static constexpr bool kCheck = true;
    std::string signal;
    double percent;
    double tolerancePercent = 2;
};

// Every command a scenario line can be. What a kind of step is besides
// what it does, its struct says: `kCheck` counts it among the report's
// checks, `kWait` lets simulated time pass (frequency and duty are measured
// over the edges of the previous wait).
using Command =
    std::variant<PartCommand, FirmwareCommand, FrequencyCommand, BoardCommand, OpenCommand, SettingsCommand,
                 ClickCommand, KeyCommand, WaitCyclesCommand, WaitTimeCommand, WaitUntilCommand,
                 ResetCommand, ExpectCommand, ExpectLedCommand, ExpectBarCommand,
                 ExpectOutputCommand, ScreenshotCommand, AutostepCommand, IdleCommand, EventCommand,
                 LoggerCommand, ExpectAutostepCommand, ExpectFileCommand, ElectricalCommand,
                 SetSliderCommand, SetTemperatureCommand, ExpectChannelCommand, ExpectTextCommand,
                 BreakCommand, ClearBreaksCommand, RunUntilBreakCommand, ExpectSourceCommand,
                 ExpectVariableCommand, SetVariableCommand, WaitForDebuggerCommand,
                 WaitExitCommand, ExpectExitCommand, GeneralCommand,
                 SendSerialCommand, OpenTerminalCommand, ExpectSerialCommand, WaitSerialCommand, RecordWaveformCommand,
                 StopWaveformCommand, ExpectFrequencyCommand, ExpectDutyCommand, ExpectMemoryCommand>;

template <typename T>
inline constexpr bool kIsCheck = requires { requires T::kCheck; };
template <typename T>
inline constexpr bool kIsWait = requires { requires T::kWait; };
inline bool isCheck(const Command& command) {
    return std::visit([](const auto& c) { return kIsCheck<std::decay_t<decltype(c)>>; }, command);
}
inline bool isWait(const Command& command) {
    return std::visit([](const auto& c) { return kIsWait<std::decay_t<decltype(c)>>; }, command);
}

struct Step {
    int line;          // 1-based line in the file
    std::string text;  // the line as written, without its comment
    Command command;
};

// One problem, "file:line: message".
struct Diagnostic {
    std::string file;
    int line;  // 0 when the problem is the file itself
    std::string message;
    std::string text() const;
};

struct Script {
    static constexpr const char* kDefaultPart = "ATmega16";
    static constexpr uint64_t kDefaultWaitTimeout = kDefaultWaitCycles;

    std::string file;       // as given to the parser
    std::string directory;  // folder of the file ("" for text without a file)
    std::vector<Step> steps;

    // The part the script asks for (its board's, or the default when it
    // names none), the clock its board sets (0: none), and
    // its firmware command, if any.
    std::string part() const;
    uint32_t boardHertz() const;
    const FirmwareCommand* firmware() const;

    // Finds a file the script names: an absolute path as it is; otherwise
    // the first existing one of <script folder>/path and <dir>/path for each
    // of searchDirs, in that order; when none exists, <script folder>/path.
    std::string resolvePath(const std::string& path,
                            const std::vector<std::string>& searchDirs = {}) const;
};

struct ParseOptions {
    // Parts the host can simulate; empty accepts any name.
    std::vector<std::string> knownParts;
    // Windows open before the first line (a lab's), in the order they were
    // opened: the scenario may name them, and its own `open` lines count on.
    std::vector<ComponentKind> openWindows;
    // The boards `board` may name (boards::loadBoards of the part files'
    // boards folder).
    std::vector<boards::Board> boards;
    // The board chosen before the script (--board), one of `boards`.
    std::string board;
};

struct ParseResult {
    Script script;
    std::vector<Diagnostic> errors;  // every malformed line, in order
    bool ok() const { return errors.empty(); }
};

ParseResult parse(std::string_view text, const std::string& fileName,
                  const ParseOptions& options = {});
ParseResult parseFile(const std::string& path, const ParseOptions& options = {});

struct Token;
// The parsing of the instrument commands (InstrumentCommands.cpp): "send
// serial", "record waveform", "stop waveform", and the "serial", "frequency"
// and "duty" forms of expect and of wait until (nothing when the line is
// not one of those). Throw LineError. Signals take the pin names of
// `board`, the one a `board` line chose (nullptr: none).
Command parseSendCommand(const std::vector<Token>& t);
Command parseRecordCommand(const std::vector<Token>& t, const boards::Board* board = nullptr);
Command parseStopCommand(const std::vector<Token>& t);
// "open terminal [USARTn]"; nothing when the line opens something else.
std::optional<Command> parseOpenTerminal(const std::vector<Token>& t);
std::optional<Command> parseInstrumentCheck(const std::vector<Token>& t,
                                            const boards::Board* board = nullptr);
std::optional<Command> parseInstrumentWait(const std::vector<Token>& t, uint64_t timeout);

// The commands that name component windows: `settings` lines
// (SettingsCommands.cpp), `expect` lines and the conditions of `expect` and
// `wait until` (CheckCommands.cpp). Throw LineError.
class OpenWindows;
Command parseSettingsCommand(const std::vector<Token>& t, OpenWindows& windows);
Command parseExpectCommand(const std::vector<Token>& t, OpenWindows& windows);
Condition parseAnyCondition(const std::vector<Token>& t, const std::string& what,
                            OpenWindows& windows);

// The debugging aids' commands (DebugAidCommands.cpp): autostep, idle,
// event and logger. Throw LineError.
Command parseAutostepCommand(const std::vector<Token>& t);
Command parseIdleCommand(const std::vector<Token>& t);
Command parseEventCommand(const std::vector<Token>& t);
Command parseLoggerCommand(const std::vector<Token>& t);

// One line saying what a command does or checks, for the host's report:
// "expect pin PORTA.0 is 1", "wait 5 ms", "press key 5 on Keypad".
std::string describe(const Command& command);

}  // namespace quill::scenario
