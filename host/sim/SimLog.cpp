#include "host/sim/SimLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>


extern "C" {
#include <sim_avr.h>
}

namespace quill::sim {

namespace {

thread_local SimMessageSink* t_current = nullptr;
thread_local bool t_quiet = false;

void logToTarget(avr_t*, const int level, const char* format, va_list args) {
    if (level > LOG_WARNING || level < LOG_ERROR) return;  // keep errors and warnings
    if (t_quiet) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return;
    if (t_current) {
        t_current->addMessage(line);
    } else {
        std::fprintf(stderr, "simavr: %s\n", line.c_str());
    }
}

}  // namespace

void installSimLogger() {
    static std::once_flag once;
    std::call_once(once, [] { avr_global_logger_set(&logToTarget); });
}

int initCore(avr_t* avr) {
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool held = saved >= 0 && null >= 0 && ::dup2(null, STDOUT_FILENO) >= 0;
    if (null >= 0) ::close(null);
    const int result = avr_init(avr);
    if (held) {
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
    }
    if (saved >= 0) ::close(saved);
    return result;
}

SimLogScope::SimLogScope(SimMessageSink* target) : SimLogScope(target, false) {}

SimLogScope::SimLogScope(SimMessageSink* target, bool quiet)
    : previous_(t_current), previousQuiet_(t_quiet) {
    t_current = target;
    t_quiet = quiet;
}

SimLogScope::~SimLogScope() {
    t_current = previous_;
    t_quiet = previousQuiet_;
}

SimLogScope SimLogScope::quiet() { return SimLogScope(nullptr, true); }

}  // namespace quill::sim
