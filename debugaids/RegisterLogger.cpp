#include "debugaids/RegisterLogger.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

void appendValue(std::string& out, const LoggerLayout& layout, uint8_t value) {
    char text[16];
    bool first = true;
    auto add = [&](const char* piece) {
        if (!first) out += ' ';
        out += piece;
        first = false;
    };
    if (layout.hexValues) {
        std::snprintf(text, sizeof text, "0x%.2X", value);
        add(text);
    }
    if (layout.octalValues) {
        std::snprintf(text, sizeof text, "0%.3o", value);
        add(text);
    }
    if (layout.binaryValues) {
        char bits[11] = "0b";
        for (int b = 0; b < 8; ++b) bits[2 + b] = (value & (0x80 >> b)) ? '1' : '0';
        bits[10] = 0;
        add(bits);
    }
    if (first) {
        std::snprintf(text, sizeof text, "%u", value);
        add(text);
    }
}

}  // namespace

void RegisterLogger::Reset() {
    close();
    enabled_ = false;
    toFile_ = false;
    selection_.fill(false);
    fileName_.clear();
    directory_.clear();
    layout_ = LoggerLayout{};
}

std::string RegisterLogger::FilePath(const std::string& fileName, const std::string& directory) {
    const std::string name = fileName.empty() ? std::string(kDefaultFileName) : fileName;
    if (directory.empty()) return name;
    return (std::filesystem::path(directory) / name).string();
}

std::string RegisterLogger::Apply(const LoggerChoice& choice) {
    selection_.fill(false);
    for (int index : choice.registers) {
        if (index >= 0 && index < static_cast<int>(selection_.size()))
            selection_[static_cast<size_t>(index)] = true;
    }
    enabled_ = choice.enabled;
    toFile_ = choice.toFile;
    if (toFile_) {
        fileName_ = choice.fileName;
        directory_ = choice.directory;
    }

    if (!enabled_ || !toFile_) {
        close();
        return {};
    }
    const std::string path = FilePath(fileName_, directory_);
    if (stream_.is_open() && path == openPath_ && stream_.good()) return {};
    close();
    // A directory the user named is made when it does not exist yet.
    if (!directory_.empty()) {
        std::error_code made;
        std::filesystem::create_directories(directory_, made);
        if (made)
            return "Cannot make the log directory " + directory_ + ": " + made.message() +
                   ". Nothing is logged to a file.";
    }
    stream_.open(path, std::ios::out | std::ios::trunc);
    if (!stream_.is_open()) {
        const int why = errno;
        stream_.clear();
        return "Cannot open the log file " + path + ": " +
               (why ? std::strerror(why) : "unknown error") + ". Nothing is logged to a file.";
    }
    openPath_ = path;
    return {};
}

void RegisterLogger::close() {
    if (stream_.is_open()) stream_.close();
    stream_.clear();
    openPath_.clear();
}

std::vector<int> RegisterLogger::selectedRegisters() const {
    std::vector<int> indices;
    for (size_t i = 0; i < selection_.size(); ++i) {
        if (selection_[i]) indices.push_back(static_cast<int>(i));
    }
    return indices;
}

std::string RegisterLogger::Format(const LoggerLayout& layout,
                                   const std::array<bool, 64>& selection, uint32_t cycles,
                                   double microseconds, const uint8_t* io, const NameOf& nameOf) {
    std::string out;
    if (layout.precedeByComment) {
        char text[64];
        if (layout.precedeByCycleCounter) {
            std::snprintf(text, sizeof text, "(%u) ", cycles);
            out += text;
        }
        if (layout.precedeByRunningTime) {
            std::snprintf(text, sizeof text, "[%.3f us] ", microseconds);
            out += text;
        }
        out += "Dump of selected I/O Registers: \n";
    }
    for (size_t i = 0; i < selection.size(); ++i) {
        if (!selection[i]) continue;
        std::string name = nameOf ? nameOf(static_cast<int>(i)) : std::string();
        out += name.empty() ? "UNKNOWN" : name;
        out += '=';
        appendValue(out, layout, io[i]);
        out += '\n';
    }
    return out;
}

void RegisterLogger::Dump(uint32_t cycles, double microseconds, const uint8_t* io,
                          const NameOf& nameOf, const LineSink& window) {
    if (!enabled_) return;
    const std::string text = Format(layout_, selection_, cycles, microseconds, io, nameOf);
    if (toFile_) {
        if (stream_.is_open() && stream_.good()) {
            stream_ << text;
            stream_.flush();
        }
        return;
    }
    if (!window) return;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        window(text.substr(start, end - start));
        start = end + 1;
    }
}
