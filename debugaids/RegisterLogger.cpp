#include "debugaids/RegisterLogger.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "platform/files.h"

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

RegisterLogger::~RegisterLogger() { close(); }

void RegisterLogger::Reset() {
    close();
    enabled_ = false;
    toFile_ = false;
    selection_.clear();
    fileName_.clear();
    directory_.clear();
    limitBytes_ = LoggerChoice::kDefaultLimitBytes;
    layout_ = LoggerLayout{};
    anyDumped_ = false;
}

std::string RegisterLogger::FilePath(const std::string& fileName, const std::string& directory) {
    const std::string name = fileName.empty() ? std::string(kDefaultFileName) : fileName;
    if (directory.empty()) return name;
    return (std::filesystem::path(directory) / name).string();
}

bool RegisterLogger::IsDumpHeader(std::string_view line) {
    // "(cycles) ", then "[time us] ", each optional, then the fixed text.
    auto skip = [&line](char open, char close) {
        if (line.empty() || line.front() != open) return true;
        const size_t end = line.find(close);
        if (end == std::string_view::npos || end + 1 >= line.size() || line[end + 1] != ' ')
            return false;
        line.remove_prefix(end + 2);
        return true;
    };
    if (!skip('(', ')') || !skip('[', ']')) return false;
    constexpr std::string_view kText = "Dump of selected I/O Registers: ";
    return line.substr(0, kText.size()) == kText;
}

namespace {

std::string capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
    return text;
}

// A log replaces only an earlier log: its first line is a dump's header.
const quill::files::FileKind kLogFile{
    "the log file",
    "register dumps (its first line is not a \"Dump of selected I/O Registers\" header)",
    [](std::string_view head) { return RegisterLogger::IsDumpHeader(head.substr(0, head.find('\n'))); }};

// Opens the log file at path for writing without changing a byte of it,
// when it is a regular file reached without links that is empty or holds
// dumps; -1 with *why otherwise. The log is written in place, not beside
// it and renamed: it can be watched as it grows.
int openOwnLog(const std::string& path, bool makeDirectories, std::string* why) {
    quill::files::WriteOptions options;
    options.what = kLogFile.what;
    options.makeDirectories = makeDirectories;
    const int fd = quill::files::openOwnForWriting(path, options, kLogFile, why);
    if (fd < 0) *why = capitalised(*why) + ". Nothing is logged to a file.";
    return fd;
}

}  // namespace

std::string RegisterLogger::CheckTarget(const std::string& path, bool makeDirectories) {
    std::string why;
    const int fd = openOwnLog(path, makeDirectories, &why);
    if (fd >= 0) ::close(fd);
    return why;
}

std::string RegisterLogger::Apply(const LoggerChoice& choice) {
    const bool toFile = choice.enabled && choice.toFile;
    std::FILE* opened = nullptr;
    std::string path;
    if (toFile) {
        path = FilePath(choice.fileName, choice.directory);
        const bool keep = stream_ && path == openPath_ && !std::ferror(stream_);
        if (!keep) {
            // The new file is opened before anything changes: a refused
            // file leaves the logger as it was.
            std::string why;
            const int fd = openOwnLog(path, !choice.directory.empty(), &why);
            if (fd < 0) return why;
            if (::ftruncate(fd, 0) != 0 || !(opened = ::fdopen(fd, "w"))) {
                why = "Cannot write the log file \"" + path + "\": " + std::strerror(errno) +
                      ". Nothing is logged to a file.";
                ::close(fd);
                return why;
            }
        }
    }

    selection_.clear();
    for (int index : choice.registers) {
        if (index >= 0 && index < kMaxRegisterBank) selection_.set(index);
    }
    enabled_ = choice.enabled;
    toFile_ = choice.toFile;
    if (toFile_) {
        fileName_ = choice.fileName;
        directory_ = choice.directory;
    }
    limitBytes_ = choice.limitBytes;
    anyDumped_ = false;
    if (!toFile) {
        close();
    } else if (opened) {
        close();
        stream_ = opened;
        openPath_ = path;
    }
    return {};
}

void RegisterLogger::close() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
    openPath_.clear();
    written_ = 0;
}

std::vector<int> RegisterLogger::selectedRegisters() const {
    std::vector<int> indices;
    selection_.forEach([&](int i) { indices.push_back(i); });
    return indices;
}

std::string RegisterLogger::Format(const LoggerLayout& layout, const RegisterSet& selection,
                                   uint32_t cycles, double microseconds,
                                   std::span<const uint8_t> bank, const NameOf& nameOf) {
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
    selection.forEach([&](int i) {
        if (static_cast<size_t>(i) >= bank.size()) return;
        std::string name = nameOf ? nameOf(i) : std::string();
        out += name.empty() ? "UNKNOWN" : name;
        out += '=';
        appendValue(out, layout, bank[static_cast<size_t>(i)]);
        out += '\n';
    });
    return out;
}

std::string RegisterLogger::Dump(uint32_t cycles, double microseconds,
                                 std::span<const uint8_t> bank, const NameOf& nameOf,
                                 const LineSink& window) {
    if (!enabled_) return {};
    bool changed = !anyDumped_;
    selection_.forEach([&](int i) {
        const auto at = static_cast<size_t>(i);
        if (at < bank.size() && dumped_[at] != bank[at]) {
            dumped_[at] = bank[at];
            changed = true;
        }
    });
    if (!changed) return {};
    anyDumped_ = true;
    if (toFile_ && !stream_) return {};  // stopped, or never opened
    const std::string text = Format(layout_, selection_, cycles, microseconds, bank, nameOf);
    if (toFile_) {
        if (limitBytes_ != 0 && written_ + text.size() > limitBytes_) {
            const std::string message = "The log file \"" + openPath_ + "\" reached its size limit of " +
                                        std::to_string(limitBytes_) +
                                        " bytes; logging to it stopped.";
            close();
            return message;
        }
        if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size() ||
            std::fflush(stream_) != 0) {
            const std::string message = "Cannot write the log file \"" + openPath_ +
                                        "\": " + std::strerror(errno) +
                                        "; logging to it stopped.";
            close();
            return message;
        }
        written_ += text.size();
        return {};
    }
    if (!window) return {};
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        window(text.substr(start, end - start));
        start = end + 1;
    }
    return {};
}
