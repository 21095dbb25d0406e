#include "components/lcd/LcdTrace.h"

LcdTrace::~LcdTrace() {
    if (file_) std::fclose(file_);
}

void LcdTrace::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled_ && !file_) file_ = std::fopen(path_.c_str(), "a");
    if (!enabled_ && file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void LcdTrace::line(const char* text) {
    if (!file_) return;
    std::fputs(text, file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void LcdTrace::line(const char* text, int value) {
    if (!file_) return;
    std::fprintf(file_, "%s%d\n", text, value);
    std::fflush(file_);
}
