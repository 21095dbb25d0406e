// The lines of quill-host's output pane, bounded: it keeps the last
// `capacity` lines written and counts how many older ones it dropped (by
// trimming or by a clear), so that line i of lines() is line dropped() + i
// of everything ever written. Toolkit-free.
#pragma once

#include <cstddef>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "platform/files.h"

class OutputLog {
public:
    struct Line {
        std::string category;
        std::string text;
    };

    static constexpr std::size_t kDefaultCapacity = 20000;

    explicit OutputLog(std::size_t capacity = kDefaultCapacity)
        : capacity_(capacity ? capacity : 1) {}

    // Adds a line; past the capacity the oldest line goes.
    void add(std::string category, std::string text);
    // Drops every line kept (they count as dropped).
    void clear();

    const std::deque<Line>& lines() const { return lines_; }
    std::size_t size() const { return lines_.size(); }
    std::size_t capacity() const { return capacity_; }
    long long dropped() const { return dropped_; }
    long long written() const { return dropped_ + static_cast<long long>(lines_.size()); }

    // "[category] text", as the pane shows a line under "All".
    static std::string formatted(const Line& line);
    // Writes the kept lines, one formatted line each, oldest first.
    void save(std::ostream& out) const;
    // What a save replaces: an earlier saved output (its first line is a
    // formatted line, "[Category] text") or an empty file.
    static const quill::files::FileKind kFileKind;

private:
    std::size_t capacity_;
    std::deque<Line> lines_;
    long long dropped_ = 0;
};
