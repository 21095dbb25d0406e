// The LCD's trace file "result.txt": one line per traced event, appended in
// the process's working directory and flushed at once.
//
// Off until asked for (the LCD setting "Trace to result.txt"): left on, the
// file would grow with every instruction of every LCD. The file is opened
// when tracing is switched on; a file that cannot be opened is ignored.
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

    // Appends `text` and a newline, when enabled.
    void line(const char* text);
    // Appends `text` followed by `value` in decimal, when enabled.
    void line(const char* text, int value);

private:
    std::string path_;
    bool enabled_ = false;
    std::FILE* file_ = nullptr;
};
