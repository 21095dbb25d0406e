#include "components/lcd/LcdTrace.h"

#include "platform/files.h"

LcdTrace::~LcdTrace() {
    if (file_) std::fclose(file_);
}

void LcdTrace::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled_ && !file_) {
        quill::files::WriteOptions options;
        options.what = "the LCD trace";
        options.append = true;
        std::string why;
        file_ = quill::files::openStreamForWriting(path_, options, &why);
        if (!why.empty()) why[0] = 'C';  // "Cannot write ..."
        std::snprintf(error_, sizeof error_, "%s", why.c_str());
    }
    if (!enabled_) {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        error_[0] = '\0';
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
