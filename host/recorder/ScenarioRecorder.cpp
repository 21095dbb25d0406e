#include "host/recorder/ScenarioRecorder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <variant>

namespace quill::recorder {

namespace sc = quill::scenario;
namespace fs = std::filesystem;

namespace {

std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

// A number as the parser reads it: whole numbers without a fraction, no
// exponent (the parser takes none).
std::string decimal(double value) {
    char text[32];
    if (value == static_cast<double>(static_cast<long long>(value))) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    } else {
        std::snprintf(text, sizeof text, "%.3f", value);
    }
    return text;
}

std::string keyWord(char key) {
    // '#' would begin a comment unquoted.
    if (key == '#') return "hash";
    return std::string(1, key);
}

// The line of each kind of step; nothing for those a recording does not
// hold (set by the header, or not something a user does in the windows).
// Every kind has its line here: a new command cannot be forgotten.
struct Line {
    using Text = std::optional<std::string>;

    Text operator()(const sc::OpenCommand& c) const {
        return "open " + quoteWord(sc::baseName(c.kind));
    }
    Text operator()(const sc::ClickCommand& c) const { return "click " + quoteWord(c.window); }
    Text operator()(const sc::KeyCommand& c) const {
        return std::string(c.press ? "press " : "release ") + quoteWord(c.window) + " " +
               keyWord(c.key);
    }
    Text operator()(const sc::SetSliderCommand& c) const {
        return "set slider " + quoteWord(c.window) + " " + decimal(c.value) +
               (c.millivolts ? " mV" : "");
    }
    Text operator()(const sc::SetTemperatureCommand& c) const {
        return "set temperature " + quoteWord(c.window) + " " + std::to_string(c.celsius);
    }
    Text operator()(const sc::ResetCommand&) const { return std::string("reset"); }
    Text operator()(const sc::ExpectLedCommand& c) const {
        return "expect led " + quoteWord(c.window) + (c.on ? " on" : " off");
    }
    Text operator()(const sc::ExpectBarCommand& c) const {
        return "expect bar " + quoteWord(c.window) + " " + hex(c.segments);
    }
    Text operator()(const sc::ExpectChannelCommand& c) const {
        if (c.window.empty()) return std::nullopt;
        return "expect channel " + quoteWord(c.window) + " " + decimal(c.value) +
               (c.millivolts ? " mV" : "");
    }
    Text operator()(const sc::ExpectCommand& c) const { return std::visit(*this, c.condition); }
    Text operator()(const sc::ExpectMemoryCommand& c) const {
        char address[8];
        std::snprintf(address, sizeof address, "0x%04X", c.address);
        return "expect memory " + std::string(address) + " " + hex(c.value) +
               (c.mask != 0xFF ? " mask " + hex(c.mask) : "");
    }

    // The conditions of `expect`.
    Text operator()(const sc::RegisterCondition& r) const {
        std::string line = "expect register " + r.reg + " " + hex(r.value);
        if (r.mask != 0xFF) line += " mask " + hex(r.mask);
        return line;
    }
    Text operator()(const sc::LcdLineCondition& l) const {
        return "expect lcd " + quoteWord(l.window) + " line " + std::to_string(l.line) + " " +
               quoteLcdText(l.text);
    }
    Text operator()(const sc::PinCondition&) const { return {}; }
    Text operator()(const sc::LcdCursorCondition&) const { return {}; }
    Text operator()(const sc::LcdProtocolCondition&) const { return {}; }
    Text operator()(const sc::LcdPictureCondition&) const { return {}; }

    // Not recorded.
    Text operator()(const sc::PartCommand&) const { return {}; }
    Text operator()(const sc::FirmwareCommand&) const { return {}; }
    Text operator()(const sc::FrequencyCommand&) const { return {}; }
    Text operator()(const sc::BoardCommand&) const { return {}; }
    Text operator()(const sc::SettingsCommand&) const { return {}; }  // Recording::addSettings
    Text operator()(const sc::ElectricalCommand&) const { return {}; }
    Text operator()(const sc::GeneralCommand&) const { return {}; }
    Text operator()(const sc::WaitCyclesCommand&) const { return {}; }  // Recording::passTime
    Text operator()(const sc::WaitTimeCommand&) const { return {}; }
    Text operator()(const sc::WaitUntilCommand&) const { return {}; }
    Text operator()(const sc::ExpectOutputCommand&) const { return {}; }
    Text operator()(const sc::ExpectTextCommand&) const { return {}; }
    Text operator()(const sc::ScreenshotCommand&) const { return {}; }
    Text operator()(const sc::AutostepCommand&) const { return {}; }
    Text operator()(const sc::ExpectAutostepCommand&) const { return {}; }
    Text operator()(const sc::IdleCommand&) const { return {}; }
    Text operator()(const sc::EventCommand&) const { return {}; }
    Text operator()(const sc::LoggerCommand&) const { return {}; }
    Text operator()(const sc::ExpectFileCommand&) const { return {}; }
    Text operator()(const sc::BreakCommand&) const { return {}; }
    Text operator()(const sc::ClearBreaksCommand&) const { return {}; }
    Text operator()(const sc::RunUntilBreakCommand&) const { return {}; }
    Text operator()(const sc::ExpectSourceCommand&) const { return {}; }
    Text operator()(const sc::ExpectVariableCommand&) const { return {}; }
    Text operator()(const sc::SetVariableCommand&) const { return {}; }
    Text operator()(const sc::WaitForDebuggerCommand&) const { return {}; }
    Text operator()(const sc::WaitExitCommand&) const { return {}; }
    Text operator()(const sc::ExpectExitCommand&) const { return {}; }
    Text operator()(const sc::SendSerialCommand&) const { return {}; }
    Text operator()(const sc::OpenTerminalCommand&) const { return {}; }
    Text operator()(const sc::ExpectSerialCommand&) const { return {}; }
    Text operator()(const sc::WaitSerialCommand&) const { return {}; }
    Text operator()(const sc::RecordWaveformCommand&) const { return {}; }
    Text operator()(const sc::StopWaveformCommand&) const { return {}; }
    Text operator()(const sc::ExpectFrequencyCommand&) const { return {}; }
    Text operator()(const sc::ExpectDutyCommand&) const { return {}; }
};

}  // namespace

std::string quoteWord(const std::string& word) {
    bool plain = !word.empty();
    for (const char c : word) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '_' || c == '+' || c == '-' ||
                             c == '.' || c == '/';
        if (!allowed) plain = false;
    }
    if (plain) return word;
    std::string out = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string quoteLcdText(const std::string& utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || c == '\\') {
            // \xNN is read as that character; a backslash written as two
            // would still begin such an escape when an 'x' follows it.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", code);
            out += escape;
        } else if (c == '"') {
            out += "\\\"";
        } else {
            out += c;  // UTF-8 bytes of the characters above 0x7F pass as they are
        }
    }
    return out + "\"";
}

std::optional<std::string> formatCommand(const sc::Command& command) {
    return std::visit(Line{}, command);
}

Recording::Recording(ScenarioSetUp setUp) : setUp_(std::move(setUp)) {}

void Recording::note(Activity activity) {
    // Steps in a row are counted, not listed one by one.
    if (!notes_.empty() && notes_.back().first == activity && activity == Activity::Step) {
        ++notes_.back().second;
        return;
    }
    notes_.emplace_back(activity, 1);
}

void Recording::passTime(uint64_t cycle) {
    if (cycle > last_) {
        std::string comment;
        for (const auto& [activity, count] : notes_) {
            comment += comment.empty() ? "" : ", ";
            comment += activity == Activity::Run     ? "run"
                       : activity == Activity::Break ? "break"
                                                     : "step";
            if (count > 1) comment += " x" + std::to_string(count);
        }
        uint64_t left = cycle - last_;
        // A wait is capped; a longer time (days of simulated time) takes more.
        while (left > 0) {
            const uint64_t part = std::min(left, sc::kMaxWaitCycles);
            std::string line = "wait cycles " + std::to_string(part);
            if (!comment.empty()) line += "    # " + comment;
            lines_.push_back(std::move(line));
            comment.clear();
            left -= part;
        }
    }
    // A count that fell (the program started over without a recorded
    // reset) starts from there.
    last_ = cycle;
    notes_.clear();
}

bool Recording::add(uint64_t cycle, const sc::Command& command) {
    std::optional<std::string> line = formatCommand(command);
    if (!line) return false;
    passTime(cycle);
    lines_.push_back(std::move(*line));
    if (std::holds_alternative<sc::ResetCommand>(command)) last_ = 0;
    return true;
}

void Recording::addSettings(uint64_t cycle, const std::string& window,
                            const std::string& keyValues) {
    passTime(cycle);
    lines_.push_back("settings " + quoteWord(window) + " " + keyValues);
}

namespace {
constexpr std::string_view kRecordedMark = "# Recorded with quill-host";
}  // namespace

const quill::files::FileKind Recording::kFileKind{
    "scenario", "a recorded scenario (its first line is not \"# Recorded with quill-host\")",
    [](std::string_view head) { return head.substr(0, kRecordedMark.size()) == kRecordedMark; }};

std::string Recording::text(const std::string& scenarioPath) const {
    std::string firmware = setUp_.firmware;
    if (!firmware.empty() && !scenarioPath.empty()) {
        const fs::path folder = fs::absolute(scenarioPath).parent_path().lexically_normal();
        const fs::path program = fs::absolute(firmware).lexically_normal();
        const fs::path relative = program.lexically_relative(folder);
        // Below the scenario's folder: relative, so the folder can move as one.
        firmware = !relative.empty() && *relative.begin() != ".." ? relative.generic_string()
                                                                  : program.generic_string();
    }
    std::string out = std::string(kRecordedMark) + " (Debug > Record scenario...).\n";
    if (!setUp_.board.empty()) {
        out += "board " + quoteWord(setUp_.board) + "\n";
        if (!firmware.empty()) out += "firmware " + quoteWord(firmware) + "\n";
        out += "\n";
    } else {
        out += "part " + quoteWord(setUp_.part) + "\n";
        if (!firmware.empty()) out += "firmware " + quoteWord(firmware) + "\n";
        out += "frequency " + std::to_string(setUp_.hertz) + "\n\n";
    }
    for (const std::string& line : lines_) out += line + "\n";
    return out;
}

}  // namespace quill::recorder
