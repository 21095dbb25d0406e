#include "host/session/OutputLog.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// A name for a new spool in the temporary folder, unique in this process.
std::string spoolPath(std::string* error) {
    static std::atomic<unsigned> made{0};
    std::error_code failed;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(failed);
    if (failed) {
        *error = "no temporary folder for the output spool: " + failed.message();
        return {};
    }
    return (dir / ("quill-output-" + std::to_string(::getpid()) + "-" +
                   std::to_string(made.fetch_add(1)) + ".spool"))
        .string();
}

}  // namespace

OutputLog::OutputLog(std::size_t capacity) : capacity_(capacity ? capacity : 1) {}

OutputLog::~OutputLog() {
    if (spoolFd_ >= 0) ::close(spoolFd_);
}

std::size_t OutputLog::category(std::string_view name, bool* added) {
    if (added) *added = false;
    // Lines come in runs of one category (a register dump is many lines a
    // refresh): the last one is asked first.
    if (lastCategory_ < names_.size() && names_[lastCategory_] == name) return lastCategory_;
    auto found = byName_.find(name);
    if (found == byName_.end()) {
        found = byName_.emplace(std::string(name), names_.size()).first;
        names_.emplace_back(name);
        shownAs_.push_back("[" + std::string(name) + "] ");
        if (added) *added = true;
    }
    lastCategory_ = found->second;
    return lastCategory_;
}

void OutputLog::add(std::size_t category, std::string_view text) {
    std::size_t slot;
    if (count_ < capacity_) {
        slot = (head_ + count_) % capacity_;
        if (slot >= ring_.size()) ring_.emplace_back();
        ++count_;
    } else {
        slot = head_;
        spool(ring_[slot]);
        head_ = (head_ + 1) % capacity_;
        ++dropped_;
    }
    Line& line = ring_[slot];
    line.category = category;
    line.text.assign(text);  // the slot's storage is reused
}

void OutputLog::clear() {
    dropped_ += static_cast<long long>(count_);
    head_ = count_ = 0;
    spoolBlock_.clear();
    spoolBytes_ = 0;
    spoolError_.clear();
    lostLines_ = 0;
    if (spoolFd_ >= 0 && ::ftruncate(spoolFd_, 0) != 0) {
        // A spool that cannot be emptied cannot be trusted: a new one.
        ::close(spoolFd_);
        spoolFd_ = -1;
    }
}

void OutputLog::appendFormatted(const Line& line, std::string* out) const {
    out->append(shownAs_[line.category]);
    out->append(line.text);
}

std::string OutputLog::formatted(const Line& line) const {
    std::string out;
    out.reserve(names_[line.category].size() + line.text.size() + 3);
    appendFormatted(line, &out);
    return out;
}

void OutputLog::spool(const Line& line) {
    if (!spoolError_.empty()) {
        ++lostLines_;
        return;
    }
    appendFormatted(line, &spoolBlock_);
    spoolBlock_.push_back('\n');
    if (spoolBlock_.size() >= kSpoolBlockBytes) writeSpoolBlock();
}

void OutputLog::writeSpoolBlock() {
    if (spoolBlock_.empty() || !spoolError_.empty()) return;
    if (spoolFd_ < 0) {
        std::string why;
        const std::string path = spoolPath(&why);
        quill::files::WriteOptions options;
        options.what = "output spool";
        options.truncate = true;
        options.readable = true;
        if (!path.empty()) spoolFd_ = quill::files::openForWriting(path, options, &why);
        // Unlinked at once: the descriptor keeps the file for this log only,
        // and nothing is left behind however the program ends.
        if (spoolFd_ >= 0) ::unlink(path.c_str());
        if (spoolFd_ < 0) spoolError_ = why;
    }
    if (spoolError_.empty() && spoolBytes_ + spoolBlock_.size() > kSpoolLimitBytes) {
        spoolError_ = "the spool of older lines reached its limit of " +
                      std::to_string(kSpoolLimitBytes >> 20) + " MB";
    }
    if (spoolError_.empty() && !quill::files::writeAll(spoolFd_, spoolBlock_)) {
        spoolError_ = std::string("cannot write the spool of older lines: ") + std::strerror(errno);
        // What of the block reached the file is cut off again, so that the
        // file holds whole lines only.
        if (::ftruncate(spoolFd_, static_cast<off_t>(spoolBytes_)) != 0) spoolBytes_ = 0;
    }
    if (!spoolError_.empty()) {
        // The block's lines are lost with the later ones.
        for (char c : spoolBlock_) lostLines_ += c == '\n';
    } else {
        spoolBytes_ += spoolBlock_.size();
    }
    spoolBlock_.clear();
}

bool OutputLog::writeLines(std::FILE* out, std::string* error) const {
    bool written = true;
    // The spool: what reached its file, then the block gathered for it.
    std::vector<char> buffer(spoolBytes_ ? kSpoolBlockBytes : 0);
    for (std::uint64_t at = 0; at < spoolBytes_ && written;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), spoolBytes_ - at));
        const ssize_t n = ::pread(spoolFd_, buffer.data(), want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = std::string("cannot read the spool of older lines: ") +
                     (n < 0 ? std::strerror(errno) : "it is shorter than written");
            return false;
        }
        written = std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out) ==
                  static_cast<std::size_t>(n);
        at += static_cast<std::uint64_t>(n);
    }
    if (written && !spoolBlock_.empty())
        written = std::fwrite(spoolBlock_.data(), 1, spoolBlock_.size(), out) == spoolBlock_.size();
    if (written && lostLines_ > 0) {
        const std::string gap = "[Debugger] " + std::to_string(lostLines_) +
                                " lines are missing here: " + spoolError_ + "\n";
        written = std::fputs(gap.c_str(), out) >= 0;
    }
    std::string text;
    for (std::size_t i = 0; i < count_ && written; ++i) {
        text.clear();
        appendFormatted(line(i), &text);
        text.push_back('\n');
        written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    }
    if (!written) {
        *error = std::string("cannot write the output: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool OutputLog::missingLines(std::string* error) const {
    if (lostLines_ == 0) return false;
    *error =
        std::to_string(lostLines_) + " older lines are missing from the output: " + spoolError_;
    return true;
}

bool OutputLog::save(std::FILE* out, std::string* error) const {
    return writeLines(out, error) && !missingLines(error);
}

bool OutputLog::saveTo(const std::string& path, std::string* error) const {
    quill::files::FileReplacement file;
    // A failed write leaves the old file as it was.
    if (!file.begin(path, kFileKind, error) || !writeLines(file.stream(), error) ||
        !file.commit(error)) {
        return false;
    }
    return !missingLines(error);
}

const quill::files::FileKind OutputLog::kFileKind{
    "the output file", "saved output (its first line is not \"[Category] text\")",
    [](std::string_view head) {
        const std::string_view line = head.substr(0, head.find('\n'));
        const size_t close = line.find("] ");
        return line.size() > 3 && line[0] == '[' && close != std::string_view::npos && close > 1 &&
               line.substr(1, close - 1).find('[') == std::string_view::npos;
    }};
