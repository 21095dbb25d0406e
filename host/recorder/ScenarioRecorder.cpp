#include "host/recorder/ScenarioRecorder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <type_traits>
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

std::optional<std::string> formatCondition(const sc::Condition& condition) {
    if (const auto* r = std::get_if<sc::RegisterCondition>(&condition)) {
        std::string line = "expect register " + r->reg + " " + hex(r->value);
        if (r->mask != 0xFF) line += " mask " + hex(r->mask);
        return line;
    }
    if (const auto* l = std::get_if<sc::LcdLineCondition>(&condition)) {
        return "expect lcd " + quoteWord(l->window) + " line " + std::to_string(l->line) + " " +
               quoteLcdText(l->text);
    }
    return std::nullopt;
}

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
    return std::visit(
        [](const auto& c) -> std::optional<std::string> {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, sc::OpenCommand>) {
                return "open " + quoteWord(sc::baseName(c.kind));
            } else if constexpr (std::is_same_v<T, sc::ClickCommand>) {
                return "click " + quoteWord(c.window);
            } else if constexpr (std::is_same_v<T, sc::KeyCommand>) {
                return std::string(c.press ? "press " : "release ") + quoteWord(c.window) + " " +
                       keyWord(c.key);
            } else if constexpr (std::is_same_v<T, sc::SetSliderCommand>) {
                return "set slider " + quoteWord(c.window) + " " + decimal(c.value) +
                       (c.millivolts ? " mV" : "");
            } else if constexpr (std::is_same_v<T, sc::SetTemperatureCommand>) {
                return "set temperature " + quoteWord(c.window) + " " + std::to_string(c.celsius);
            } else if constexpr (std::is_same_v<T, sc::ResetCommand>) {
                return std::string("reset");
            } else if constexpr (std::is_same_v<T, sc::ExpectLedCommand>) {
                return "expect led " + quoteWord(c.window) + (c.on ? " on" : " off");
            } else if constexpr (std::is_same_v<T, sc::ExpectBarCommand>) {
                return "expect bar " + quoteWord(c.window) + " " + hex(c.segments);
            } else if constexpr (std::is_same_v<T, sc::ExpectChannelCommand>) {
                if (c.window.empty()) return std::nullopt;
                return "expect channel " + quoteWord(c.window) + " " + decimal(c.value) +
                       (c.millivolts ? " mV" : "");
            } else if constexpr (std::is_same_v<T, sc::ExpectCommand>) {
                return formatCondition(c.condition);
            } else {
                return std::nullopt;
            }
        },
        command);
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
    out += "part " + quoteWord(setUp_.part) + "\n";
    if (!firmware.empty()) out += "firmware " + quoteWord(firmware) + "\n";
    out += "frequency " + std::to_string(setUp_.hertz) + "\n\n";
    for (const std::string& line : lines_) out += line + "\n";
    return out;
}

}  // namespace quill::recorder
