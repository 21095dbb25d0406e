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

constinit thread_local SimMessageSink* t_simLogTarget = nullptr;
constinit thread_local bool t_simLogQuiet = false;

namespace {

void logToTarget(avr_t*, const int level, const char* format, va_list args) {
    if (level > LOG_WARNING || level < LOG_ERROR) return;  // keep errors and warnings
    if (t_simLogQuiet) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return;
    if (t_simLogTarget) {
        t_simLogTarget->addMessage(line);
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

SimLogScope SimLogScope::quiet() { return SimLogScope(nullptr, true); }

}  // namespace quill::sim
