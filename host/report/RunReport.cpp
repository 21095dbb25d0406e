#include "host/report/RunReport.h"

#include <tinyxml.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"

namespace quill::report {

namespace {

// XML 1.0 has no way to carry most control characters, not even as
// character references, nor bytes that are no UTF-8 in a file that says it
// is UTF-8, and a CI server refuses the whole report over one: an LCD line,
// a firmware message or a serial text may hold any byte, so such characters
// and bytes become '?'. Tab, line feed, carriage return and well-formed
// UTF-8 stay.
std::string xmlSafe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto u = static_cast<unsigned char>(text[i]);
        if (u < 0x80) {
            const bool control = (u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0x7F;
            out += control ? '?' : text[i];
            ++i;
            continue;
        }
        const std::size_t length = u >= 0xF0 ? 4 : u >= 0xE0 ? 3 : 2;
        const std::string_view sequence = std::string_view(text).substr(i, length);
        if (sequence.size() == length && quill::text::IsUtf8(sequence)) {
            out += sequence;
            i += length;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

std::string seconds(double s) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", s < 0 ? 0.0 : s);
    return buffer;
}

}  // namespace

Summary RunReport::summary() const {
    Summary s;
    for (const StepResult& step : steps_) {
        ++s.steps;
        if (step.verdict != Verdict::NotRun) ++s.stepsRun;
        if (step.verdict == Verdict::Error) ++s.stepErrors;
        if (!step.check) {
            if (step.verdict == Verdict::Failed) ++s.stepsFailed;
            continue;
        }
        ++s.checks;
        switch (step.verdict) {
            case Verdict::Passed: ++s.checksPassed; break;
            case Verdict::Failed: ++s.checksFailed; break;
            case Verdict::NotRun: ++s.checksNotRun; break;
            case Verdict::Error: ++s.checksFailed; break;
        }
    }
    return s;
}

std::string RunReport::summaryLine() const {
    const Summary s = summary();
    std::string line = std::to_string(s.stepsRun) + " of " + std::to_string(s.steps) +
                       " steps run";
    if (s.stepErrors) line += " (" + std::to_string(s.stepErrors) + " stopped by an error)";
    if (s.stepsFailed) line += " (" + std::to_string(s.stepsFailed) + " did not finish)";
    line += ", " + std::to_string(s.checksPassed) + " of " + std::to_string(s.checks) +
            " checks passed";
    std::string detail;
    if (s.checksFailed) detail = std::to_string(s.checksFailed) + " failed";
    if (s.checksNotRun) {
        if (!detail.empty()) detail += ", ";
        detail += std::to_string(s.checksNotRun) + " not run";
    }
    if (!detail.empty()) line += " (" + detail + ")";
    if (s.passed()) line += ", scenario passed";
    return line;
}

std::string RunReport::junitXml() const {
    TiXmlDocument doc;
    doc.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    auto* suites = new TiXmlElement("testsuites");
    doc.LinkEndChild(suites);
    auto* suite = new TiXmlElement("testsuite");
    suites->LinkEndChild(suite);
    suite->SetAttribute("name", xmlSafe(file_));

    int tests = 0, failures = 0, errors = 0, skipped = 0;
    double total = 0;
    for (const StepResult& step : steps_) {
        total += step.seconds;
        // Plain steps appear only when they stopped the run: a CI page that
        // lists every wait would bury the checks.
        if (!step.check && step.verdict != Verdict::Error) continue;
        ++tests;
        auto* test = new TiXmlElement("testcase");
        suite->LinkEndChild(test);
        test->SetAttribute("classname", xmlSafe(file_));
        const std::string where = step.line > 0 ? "line " + std::to_string(step.line) + ": "
                                                : std::string();
        test->SetAttribute("name", xmlSafe(where + step.command));
        test->SetAttribute("time", seconds(step.seconds));
        const char* tag = nullptr;
        switch (step.verdict) {
            case Verdict::Passed: break;
            case Verdict::Failed: tag = "failure"; ++failures; break;
            case Verdict::Error: tag = "error"; ++errors; break;
            case Verdict::NotRun: tag = "skipped"; ++skipped; break;
        }
        if (!tag) continue;
        auto* outcome = new TiXmlElement(tag);
        test->LinkEndChild(outcome);
        outcome->SetAttribute("message", xmlSafe(step.message));
        if (step.verdict != Verdict::NotRun) {
            const std::string text = file_ + ":" + std::to_string(step.line) + ": " +
                                     step.command + ": " + step.message;
            outcome->LinkEndChild(new TiXmlText(xmlSafe(text)));
        }
    }
    for (TiXmlElement* e : {suites, suite}) {
        e->SetAttribute("tests", tests);
        e->SetAttribute("failures", failures);
        e->SetAttribute("errors", errors);
        e->SetAttribute("time", seconds(total));
    }
    suite->SetAttribute("skipped", skipped);
    TiXmlPrinter printer;
    printer.SetIndent("  ");
    doc.Accept(&printer);
    return printer.CStr();
}

// A report replaces only an earlier report (or an empty file): its root
// element is <testsuites> or <testsuite>.
const quill::files::FileKind kJUnitReport{
    "JUnit report", "a JUnit report (its root element is not <testsuites>)",
    [](std::string_view head) {
        return quill::files::xmlRootIs(head, "testsuites") ||
               quill::files::xmlRootIs(head, "testsuite");
    }};

std::string junitRefusal(const std::string& path) {
    return quill::files::replaceRefusal(path, kJUnitReport);
}

bool writeJUnit(const RunReport& report, const std::string& path, std::string* error) {
    return quill::files::replaceFile(path, report.junitXml(), kJUnitReport, error);
}

}  // namespace quill::report
