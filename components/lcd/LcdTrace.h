// The LCD's trace file "result.txt": one line per traced event, appended in
// the process's working directory and flushed at once.
//
// Off until asked for (the LCD setting "Trace to result.txt"): left on, the
// file would grow with every instruction of every LCD. The file is opened
// when tracing is switched on, only when it is a regular file reached
// without a link (a FIFO would block the simulation); a file that cannot be
// opened is not written, and error() says why.
//
// Toolkit-free.
#pragma once

#include <cstdio>
#include <string>

class LcdTrace {
public:
    explicit LcdTrace(std::string path = "result.txt") : path_(std::move(path)) {}
    ~LcdTrace();
    LcdTrace(const LcdTrace&) = delete;
    LcdTrace& operator=(const LcdTrace&) = delete;

    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }
    const std::string& path() const { return path_; }

    // Why the file could not be opened when tracing was switched on; an
    // empty text otherwise. The text stays at one address for the life of
    // the object (a status line may show it).
    const char* error() const { return error_; }

    // Appends `text` and a newline, when enabled.
    void line(const char* text);
    // Appends `text` followed by `value` in decimal, when enabled.
    void line(const char* text, int value);

private:
    std::string path_;
    bool enabled_ = false;
    std::FILE* file_ = nullptr;
    char error_[512] = {};
};
