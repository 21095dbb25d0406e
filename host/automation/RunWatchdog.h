// The last resort of a headless run's time limit. The run checks the limit
// itself between the steps of its set-up and within every wait, and stops
// with the scenario's verdict; this thread is for a call that never returns
// to it (stuck in the toolkit or the plug-in). `grace` seconds past the
// limit it ends the process with exit status 1, saying what the run was
// doing; a JUnit report asked for (--junit) is written first, with that as
// its one error, so that an older report is not read as this run's. Once
// the verdict is decided it only cuts a teardown short, with that verdict.
// Without a time limit it does nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "host/session/HostOptions.h"

class RunWatchdog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kGraceSeconds = 3;

    RunWatchdog(const HostOptions& options, Clock::time_point deadline, std::FILE* err,
                double grace = kGraceSeconds);
    ~RunWatchdog();
    RunWatchdog(const RunWatchdog&) = delete;
    RunWatchdog& operator=(const RunWatchdog&) = delete;

    // What the run does now, for the message ("opening the lab's windows";
    // a string that outlives the run).
    void phase(const char* what) { phase_ = what; }
    // The verdict is in (and the report written).
    void decided(int code) { decided_ = code; }

private:
    [[noreturn]] void fire();

    const HostOptions& options_;
    std::FILE* err_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<const char*> phase_{"setting up"};
    std::atomic<int> decided_{-1};
    std::thread thread_;
};
