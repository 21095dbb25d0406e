#include "host/automation/RunWatchdog.h"

#include <QFileInfo>
#include <QString>
#include <cstdlib>
#include <string>

#include "host/report/RunReport.h"

RunWatchdog::RunWatchdog(const HostOptions& options, Clock::time_point deadline, std::FILE* err,
                         double grace)
    : options_(options), err_(err) {
    if (options.timeLimitSeconds <= 0) return;
    const auto end = deadline + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(grace));
    thread_ = std::thread([this, end] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_until(lock, end, [this] { return done_; })) return;
        lock.unlock();
        fire();
    });
}

RunWatchdog::~RunWatchdog() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RunWatchdog::fire() {
    const int code = decided_;
    if (code >= 0) std::_Exit(code);
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", options_.timeLimitSeconds);
    const std::string why = std::string("the run took longer than its time limit of ") + limit +
                            " s (--time-limit) and was stuck " + phase_.load() + "; it was ended";
    std::fprintf(err_, "quill-host: %s\n", why.c_str());
    if (!options_.junit.empty()) {
        quill::report::RunReport report(
            QFileInfo(QString::fromStdString(options_.scenario)).fileName().toStdString());
        report.add({0, "time limit", why, quill::report::Verdict::Error, false, 0});
        std::string error;
        if (!quill::report::writeJUnit(report, options_.junit, &error))
            std::fprintf(err_, "quill-host: %s\n", error.c_str());
    }
    std::fflush(nullptr);
    std::_Exit(1);
}
