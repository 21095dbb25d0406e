// Reports a headless run as it goes: every step on the console (only the
// failed ones with --quiet), and at the end the summary and, with --junit,
// the JUnit file.
#pragma once

#include <cstdio>
#include <string>

#include "host/session/HostOptions.h"
#include "host/automation/ScenarioExecutor.h"
#include "host/report/RunReport.h"
#include "host/scenario/Scenario.h"

class RunWatchdog;

class HeadlessReporter {
public:
    HeadlessReporter(const HostOptions& options, std::FILE* out, std::FILE* err);

    quill::report::RunReport& report() { return report_; }

    // A line for the console that is not a step's ("firmware loaded...").
    void info(const char* format, const std::string& text);

    void step(const quill::scenario::Step& step, const ScenarioExecutor::Result& r, double seconds);
    void notRun(const quill::scenario::Step& step, const std::string& why);

    // The run could not start: the reason is the report's one error.
    int refuse(int line, const std::string& what, const std::string& why);

    // The time limit ran out while the run was set up: none of the steps ran.
    int setupTimedOut(const std::string& why, const quill::scenario::Script& script);

    void watchedBy(RunWatchdog& watchdog) { watchdog_ = &watchdog; }

    void summary();

    // Writes the JUnit file when asked for; a report that cannot be written
    // turns the verdict into 2, as CI would otherwise read an old one.
    int finish(int code);

private:
    void record(int line, const std::string& what, const std::string& message,
                quill::report::Verdict verdict, bool check, double seconds);

    const HostOptions& options_;
    std::FILE* out_;
    std::FILE* err_;
    quill::report::RunReport report_;
    RunWatchdog* watchdog_ = nullptr;
};
