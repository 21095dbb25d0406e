// What a headless scenario run did, step by step, and the two forms it is
// reported in: the summary line a person reads and a JUnit XML file that CI
// servers display (one test case per check). Toolkit-free.
#pragma once

#include <string>
#include <vector>

namespace quill::report {

enum class Verdict {
    Passed,  // the step was carried out (a check: it held)
    Failed,  // a check did not hold
    Error,   // the step could not be carried out; the run stopped
    NotRun,  // the run stopped before this step
};

struct StepResult {
    int line = 0;             // line in the scenario file; 0 for the set-up
    std::string command;      // the step as the host describes it
    std::string message;      // what the host found
    Verdict verdict = Verdict::Passed;
    bool check = false;       // an expect or wait until
    double seconds = 0;       // wall-clock time the step took
};

struct Summary {
    int steps = 0, stepsRun = 0, stepErrors = 0;
    // Steps that are no checks but did not finish (a wait stopped by the
    // time limit).
    int stepsFailed = 0;
    int checks = 0, checksPassed = 0, checksFailed = 0, checksNotRun = 0;
    // Every step ran and none failed: a run cut short (by an error or the
    // time limit) has not passed, even when no check failed.
    bool passed() const {
        return stepsRun == steps && stepErrors == 0 && stepsFailed == 0 && checksFailed == 0 &&
               checksNotRun == 0;
    }
};

class RunReport {
public:
    // file: the scenario's file name, the test suite's name in JUnit.
    explicit RunReport(std::string file) : file_(std::move(file)) {}

    void add(StepResult step) { steps_.push_back(std::move(step)); }
    const std::vector<StepResult>& steps() const { return steps_; }
    const std::string& file() const { return file_; }

    Summary summary() const;
    // "7 of 7 steps run, 2 of 3 checks passed (1 failed)"; with every check
    // passing and no error ", scenario passed" follows.
    std::string summaryLine() const;
    // The JUnit XML document: a suite named after the file, a test case per
    // check (and one per step that stopped the run with an error).
    std::string junitXml() const;

private:
    std::string file_;
    std::vector<StepResult> steps_;
};

// Writes the JUnit document to path, replacing an earlier report (or an
// empty file; nothing else) only once the new one is complete.
// junitRefusal says beforehand why path would be refused, empty when not.
std::string junitRefusal(const std::string& path);
bool writeJUnit(const RunReport& report, const std::string& path, std::string* error);

}  // namespace quill::report
