#include "host/automation/HeadlessReporter.h"

#include <QFileInfo>
#include <QString>

#include "host/automation/RunWatchdog.h"

namespace sc = quill::scenario;
using quill::report::Verdict;

HeadlessReporter::HeadlessReporter(const HostOptions& options, std::FILE* out, std::FILE* err)
    : options_(options),
      out_(out),
      err_(err),
      report_(QFileInfo(QString::fromStdString(options.scenario)).fileName().toStdString()) {}

void HeadlessReporter::info(const char* format, const std::string& text) {
    if (!options_.quiet) std::fprintf(out_, format, text.c_str());
}

void HeadlessReporter::step(const sc::Step& step, const ScenarioExecutor::Result& r,
                            double seconds) {
    using Outcome = ScenarioExecutor::Outcome;
    const Verdict verdict = r.outcome == Outcome::Ok       ? Verdict::Passed
                            : r.outcome == Outcome::Failed ? Verdict::Failed
                                                           : Verdict::Error;
    record(step.line, sc::describe(step.command), r.message.toStdString(), verdict,
           sc::isCheck(step.command), seconds);
}

void HeadlessReporter::notRun(const sc::Step& step, const std::string& why) {
    record(step.line, sc::describe(step.command), why, Verdict::NotRun, sc::isCheck(step.command),
           0);
}

int HeadlessReporter::refuse(int line, const std::string& what, const std::string& why) {
    record(line, what, why, Verdict::Error, false, 0);
    return finish(2);
}

int HeadlessReporter::setupTimedOut(const std::string& why, const sc::Script& script) {
    std::fprintf(err_, "quill-host: %s\n", why.c_str());
    record(0, "set-up", why, Verdict::Error, false, 0);
    for (const sc::Step& step : script.steps) notRun(step, why);
    summary();
    return finish(1);
}

void HeadlessReporter::summary() {
    const bool passed = report_.summary().passed();
    std::fprintf(passed ? out_ : err_, "quill-host: %s\n", report_.summaryLine().c_str());
}

int HeadlessReporter::finish(int code) {
    std::fflush(out_);
    if (!options_.junit.empty()) {
        std::string why;
        if (!quill::report::writeJUnit(report_, options_.junit, &why)) {
            std::fprintf(err_, "quill-host: %s\n", why.c_str());
            code = 2;
        }
    }
    if (watchdog_) watchdog_->decided(code);
    return code;
}

void HeadlessReporter::record(int line, const std::string& what, const std::string& message,
                              Verdict verdict, bool check, double seconds) {
    const bool bad = verdict != Verdict::Passed;
    if (!bad && options_.quiet) {
    } else if (verdict == Verdict::NotRun) {
        std::fprintf(err_, "  FAIL %s:%d: %s: not run: %s\n", report_.file().c_str(), line,
                     what.c_str(), message.c_str());
    } else {
        const char* tag = !bad ? "ok  " : verdict == Verdict::Failed ? "FAIL" : "ERROR";
        std::fprintf(bad ? err_ : out_, "  %s %s:%d: %s: %s\n", tag, report_.file().c_str(), line,
                     what.c_str(), message.c_str());
    }
    report_.add({line, what, message, verdict, check, seconds});
}
