#include "debugaids/RegisterLogger.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include <unistd.h>

#include "platform/files.h"

namespace {

// The longest value text: "0xFF 0377 0b11111111".
constexpr size_t kValueTextMax = 20;

// The value in the layout's bases, as "0x%.2X", "0%.3o", "0b" and eight
// bits, side by side, or "%u" when none is chosen, into `out`; returns
// its length.
size_t formatValue(char* out, const LoggerLayout& layout, uint8_t value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    size_t n = 0;
    auto separate = [&] {
        if (n != 0) out[n++] = ' ';
    };
    if (layout.hexValues) {
        separate();
        out[n++] = '0';
        out[n++] = 'x';
        out[n++] = kHex[value >> 4];
        out[n++] = kHex[value & 15];
    }
    if (layout.octalValues) {
        separate();
        out[n++] = '0';
        out[n++] = static_cast<char>('0' + (value >> 6));
        out[n++] = static_cast<char>('0' + ((value >> 3) & 7));
        out[n++] = static_cast<char>('0' + (value & 7));
    }
    if (layout.binaryValues) {
        separate();
        out[n++] = '0';
        out[n++] = 'b';
        for (int b = 0; b < 8; ++b) out[n++] = (value & (0x80 >> b)) ? '1' : '0';
    }
    if (n == 0) {
        if (value >= 100) out[n++] = static_cast<char>('0' + value / 100);
        if (value >= 10) out[n++] = static_cast<char>('0' + value / 10 % 10);
        out[n++] = static_cast<char>('0' + value % 10);
    }
    return n;
}

void appendValue(std::string& out, const LoggerLayout& layout, uint8_t value) {
    char text[kValueTextMax];
    out.append(text, formatValue(text, layout, value));
}

// A value's text has the same width whatever the value, in any base but
// decimal.
bool FixedWidthValues(const LoggerLayout& layout) {
    return layout.hexValues || layout.octalValues || layout.binaryValues;
}

// The header line of a dump, when the layout has one: made in a buffer
// and appended at once, as it is written for nearly every refresh.
void appendHeader(std::string& out, const LoggerLayout& layout, uint32_t cycles,
                  double microseconds) {
    if (!layout.precedeByComment) return;
    static constexpr std::string_view kHeader = "Dump of selected I/O Registers: \n";
    char text[160];
    size_t n = 0;
    if (layout.precedeByCycleCounter) {
        // Ten digits at most: always room.
        text[n++] = '(';
        n = static_cast<size_t>(std::to_chars(text + n, text + n + 10, cycles).ptr - text);
        text[n++] = ')';
        text[n++] = ' ';
    }
    if (layout.precedeByRunningTime) {
        // "%.3f" as printf writes it (to_chars gives the same digits, in
        // a fraction of the time); a value too long for the buffer (some
        // hundred digits, which no run reaches) is left out.
        char* const last = text + sizeof text - kHeader.size() - 5;
        text[n++] = '[';
        const auto [end, error] =
            std::to_chars(text + n, last, microseconds, std::chars_format::fixed, 3);
        if (error == std::errc()) {
            n = static_cast<size_t>(end - text);
            text[n++] = ' ';
            text[n++] = 'u';
            text[n++] = 's';
            text[n++] = ']';
            text[n++] = ' ';
        } else {
            --n;
        }
    }
    std::memcpy(text + n, kHeader.data(), kHeader.size());
    n += kHeader.size();
    out.append(text, n);
}

// Appends one dump; name(i) gives the text shown for register i.
template <typename Name>
void appendDump(std::string& out, const LoggerLayout& layout, const RegisterSet& selection,
                uint32_t cycles, double microseconds, std::span<const uint8_t> bank, Name&& name) {
    appendHeader(out, layout, cycles, microseconds);
    selection.forEach([&](int i) {
        if (static_cast<size_t>(i) >= bank.size()) return;
        out += name(i);
        out += '=';
        appendValue(out, layout, bank[static_cast<size_t>(i)]);
        out += '\n';
    });
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
    holdBack_ = false;
    named_.clear();
    lines_.built = false;
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
    // What is held back goes out first; a failure here has no one left to
    // tell (the owner flushes before it closes, and hears of it then).
    if (stream_ && !pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), stream_);
    pending_.clear();
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
    appendDump(out, layout, selection, cycles, microseconds, bank, [&](int i) {
        std::string name = nameOf ? nameOf(i) : std::string();
        return name.empty() ? std::string("UNKNOWN") : name;
    });
    return out;
}

const std::string& RegisterLogger::nameAt(int i, const NameOf& nameOf) {
    auto& name = names_[static_cast<size_t>(i)];
    if (!named_.test(i)) {
        name = nameOf ? nameOf(i) : std::string();
        if (name.empty()) name = "UNKNOWN";
        named_.set(i);
    }
    return name;
}

const std::string& RegisterLogger::dumpLines(std::span<const uint8_t> bank, const NameOf& nameOf) {
    const bool same = lines_.built && lines_.selection == selection_ &&
                      lines_.bankSize == bank.size() && lines_.hex == layout_.hexValues &&
                      lines_.octal == layout_.octalValues && lines_.binary == layout_.binaryValues;
    char text[kValueTextMax];
    if (!same) {
        // Built anew for another selection, bank, base or names: each line
        // as a dump writes it, with where its value stands.
        lines_.text.clear();
        lines_.values.clear();
        selection_.forEach([&](int i) {
            const auto at = static_cast<size_t>(i);
            if (at >= bank.size()) return;
            lines_.text += nameAt(i, nameOf);
            lines_.text += '=';
            lines_.values.push_back({static_cast<uint16_t>(i), lines_.text.size(), bank[at]});
            appendValue(lines_.text, layout_, bank[at]);
            lines_.text += '\n';
        });
        lines_.built = true;
        lines_.selection = selection_;
        lines_.bankSize = bank.size();
        lines_.hex = layout_.hexValues;
        lines_.octal = layout_.octalValues;
        lines_.binary = layout_.binaryValues;
        return lines_.text;
    }
    for (DumpLines::Value& v : lines_.values) {
        const uint8_t now = bank[v.index];
        if (now == v.shown) continue;
        v.shown = now;
        const size_t n = formatValue(text, layout_, now);
        // The same width as the text it replaces.
        std::memcpy(lines_.text.data() + v.offset, text, n);
    }
    return lines_.text;
}

std::string RegisterLogger::writePending() {
    if (!stream_ || pending_.empty()) {
        pending_.clear();
        return {};
    }
    const bool ok = std::fwrite(pending_.data(), 1, pending_.size(), stream_) == pending_.size() &&
                    std::fflush(stream_) == 0;
    pending_.clear();
    if (ok) return {};
    const std::string message = "Cannot write the log file \"" + openPath_ +
                                "\": " + std::strerror(errno) + "; logging to it stopped.";
    close();
    return message;
}

std::string RegisterLogger::Flush() { return writePending(); }

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
    auto name = [&](int i) -> const std::string& { return nameAt(i, nameOf); };
    // The lines after the header as the last dump wrote them, with the
    // values that changed written over: in a base of fixed width only the
    // header is formatted anew for each dump.
    const bool fixed = FixedWidthValues(layout_);
    auto appendThisDump = [&](std::string& out) {
        if (!fixed) {
            appendDump(out, layout_, selection_, cycles, microseconds, bank, name);
            return;
        }
        appendHeader(out, layout_, cycles, microseconds);
        out += dumpLines(bank, nameOf);
    };
    if (toFile_) {
        const size_t before = pending_.size();
        appendThisDump(pending_);
        const size_t size = pending_.size() - before;
        if (limitBytes_ != 0 && written_ + size > limitBytes_) {
            // Everything before this dump still goes out.
            pending_.resize(before);
            std::string message = writePending();
            if (!message.empty()) return message;
            message = "The log file \"" + openPath_ + "\" reached its size limit of " +
                      std::to_string(limitBytes_) + " bytes; logging to it stopped.";
            close();
            return message;
        }
        written_ += size;
        if (!holdBack_ || pending_.size() >= kBlockBytes) return writePending();
        return {};
    }
    if (!window) return {};
    windowText_.clear();
    appendThisDump(windowText_);
    size_t start = 0;
    while (start < windowText_.size()) {
        size_t end = windowText_.find('\n', start);
        if (end == std::string::npos) end = windowText_.size();
        window(std::string_view(windowText_).substr(start, end - start));
        start = end + 1;
    }
    return {};
}
