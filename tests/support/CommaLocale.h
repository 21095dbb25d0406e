// Puts the C library's numeric locale on a decimal-comma locale (de_DE)
// for the life of the object, so a test can prove that a number is read
// the same whatever the user's locale. The locale comes from the system or
// from the copy the build generates under <build>/locales.
#pragma once

#include <clocale>
#include <cstdlib>
#include <string>

class ScopedCommaLocale {
public:
    ScopedCommaLocale() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current ? current : "C";
        active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
#ifdef QUILL_BINARY_DIR
        if (!active_) {
            ::setenv("LOCPATH", QUILL_BINARY_DIR "/locales", 1);
            active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        }
#endif
    }
    ~ScopedCommaLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    ScopedCommaLocale(const ScopedCommaLocale&) = delete;
    ScopedCommaLocale& operator=(const ScopedCommaLocale&) = delete;

    // Whether the comma locale is in force (the C library then reads
    // "4.5" as 4).
    bool active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};
