// The lines of quill-host's output pane, bounded in memory: it keeps the
// last `capacity` lines written and counts how many older ones it dropped
// (by trimming or by a clear), so that line i of the kept lines is line
// dropped() + i of everything ever written. The lines trimmed away are not
// lost: they go, formatted and gathered in large blocks, to a spool file of
// the log's own (opened and at once unlinked, so that nothing stays behind),
// and a save writes every line written since the last clear. Toolkit-free.
//
// A program may write a line per instruction: adding a line allocates
// nothing once the kept lines' slots are in use (a slot's text keeps its
// storage), and a category is a small number looked up once per run of
// lines under it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

class OutputLog {
public:
    struct Line {
        std::size_t category = 0;  // index into the category names
        std::string text;
    };

    static constexpr std::size_t kDefaultCapacity = 20000;
    // Trimmed lines are written to the spool once this many bytes gathered.
    static constexpr std::size_t kSpoolBlockBytes = std::size_t{1} << 20;
    // The spool stops growing here (a runaway program must not fill the
    // disk); a save then says how many lines it lacks, and where.
    static constexpr std::uint64_t kSpoolLimitBytes = std::uint64_t{4} << 30;

    explicit OutputLog(std::size_t capacity = kDefaultCapacity);
    ~OutputLog();
    OutputLog(const OutputLog&) = delete;
    OutputLog& operator=(const OutputLog&) = delete;

    // The index of a category, made on its first use (*added then true).
    std::size_t category(std::string_view name, bool* added = nullptr);
    const std::string& categoryName(std::size_t index) const { return names_[index]; }
    std::size_t categoryCount() const { return names_.size(); }

    // Adds a line; past the capacity the oldest line goes to the spool.
    void add(std::size_t category, std::string_view text);
    void add(std::string_view category, std::string_view text) { add(this->category(category), text); }
    // Drops every line (they count as dropped); a save after it starts
    // with the lines written after it. The categories stay.
    void clear();

    // Kept line i, 0 the oldest.
    const Line& line(std::size_t i) const { return ring_[(head_ + i) % capacity_]; }
    std::size_t size() const { return count_; }
    std::size_t capacity() const { return capacity_; }
    long long dropped() const { return dropped_; }
    long long written() const { return dropped_ + static_cast<long long>(count_); }

    // "[category] text", as the pane shows a line under "All".
    std::string formatted(const Line& line) const;
    void appendFormatted(const Line& line, std::string* out) const;

    // Writes every line since the last clear, one formatted line each,
    // oldest first. False with *error when the output could not be
    // written, or when lines are missing from it (the spool could not take
    // them: a line in the output says where and how many); what there is
    // is written all the same.
    bool save(std::FILE* out, std::string* error) const;
    // The same to the file at path, replaced as a whole (kFileKind).
    bool saveTo(const std::string& path, std::string* error) const;
    // What a save replaces: an earlier saved output (its first line is a
    // formatted line, "[Category] text") or an empty file.
    static const quill::files::FileKind kFileKind;

private:
    void spool(const Line& line);
    void writeSpoolBlock();
    // save() but for the lines missing: false only when writing failed.
    bool writeLines(std::FILE* out, std::string* error) const;
    // True with *error when trimmed lines could not be spooled.
    bool missingLines(std::string* error) const;

    std::size_t capacity_;
    // The kept lines, a ring: slot head_ holds the oldest of count_ lines.
    std::vector<Line> ring_;
    std::size_t head_ = 0, count_ = 0;
    long long dropped_ = 0;

    std::vector<std::string> names_;
    // "[name] " of each category, as a formatted line begins.
    std::vector<std::string> shownAs_;
    std::map<std::string, std::size_t, std::less<>> byName_;
    std::size_t lastCategory_ = SIZE_MAX;  // the last one looked up

    // The spool: trimmed lines since the last clear, formatted.
    int spoolFd_ = -1;
    std::string spoolBlock_;          // gathered, not yet written
    std::uint64_t spoolBytes_ = 0;    // written to the file
    // Once a line could not be spooled, the later trimmed ones are not
    // either (a save shows one gap, between the spool and the kept lines).
    std::string spoolError_;          // why
    long long lostLines_ = 0;         // trimmed lines not spooled
};
