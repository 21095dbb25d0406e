// The run report: summary figures, and the JUnit file read back with an XML
// parser other than the one that wrote it.
#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "host/report/RunReport.h"

using namespace quill::report;

namespace {

struct Case {
    QString name, classname, outcome, message, text;
};

struct Suite {
    std::map<QString, QString> attributes;
    std::vector<Case> cases;
    QString error;  // the reader's complaint, empty when well-formed
};

Suite readBack(const QByteArray& xml) {
    Suite suite;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement()) continue;
        const auto attrs = reader.attributes();
        if (reader.name() == u"testsuite") {
            for (const auto& a : attrs) suite.attributes[a.name().toString()] = a.value().toString();
        } else if (reader.name() == u"testcase") {
            suite.cases.push_back({attrs.value("name").toString(),
                                   attrs.value("classname").toString(), {}, {}, {}});
        } else if (!suite.cases.empty()) {
            Case& c = suite.cases.back();
            c.outcome = reader.name().toString();
            c.message = attrs.value("message").toString();
            c.text = reader.readElementText();
        }
    }
    if (reader.hasError()) suite.error = reader.errorString();
    return suite;
}

// A run that has everything: plain steps, a held and a failed check, a step
// that stopped the run and the checks it left unrun.
RunReport mixedRun() {
    RunReport report("lab.scn");
    report.add({3, "open LED", "opened", Verdict::Passed, false, 0.01});
    report.add({4, "wait cycles 1000", "1000 cycles", Verdict::Passed, false, 0.002});
    report.add({5, "expect led \"LED\" on", "LED is on", Verdict::Passed, true, 0.0});
    report.add({6, "expect lcd \"Hitachi LCD\" line 1 \"<Hi & \"you\">\"",
                "line 1 is \"A\x01" "B\xff" "C\xc3\xa9\", expected \"<Hi & \"you\">\"", Verdict::Failed,
                true, 0.5});
    report.add({7, "click Switch", "no window \"Switch\"", Verdict::Error, false, 0.0});
    report.add({8, "expect pin PORTA.0 1", "", Verdict::NotRun, true, 0.0});
    report.add({9, "wait cycles 5", "", Verdict::NotRun, false, 0.0});
    return report;
}

}  // namespace

TEST(RunReport, SummaryCountsStepsAndChecksApart) {
    const Summary s = mixedRun().summary();
    EXPECT_EQ(s.steps, 7);
    EXPECT_EQ(s.stepsRun, 5);
    EXPECT_EQ(s.stepErrors, 1);
    EXPECT_EQ(s.checks, 3);
    EXPECT_EQ(s.checksPassed, 1);
    EXPECT_EQ(s.checksFailed, 1);
    EXPECT_EQ(s.checksNotRun, 1);
    EXPECT_FALSE(s.passed());
    EXPECT_EQ(mixedRun().summaryLine(),
              "5 of 7 steps run (1 stopped by an error), 1 of 3 checks passed (1 failed, 1 not "
              "run)");

    RunReport good("ok.scn");
    good.add({2, "wait cycles 10", "", Verdict::Passed, false, 0});
    good.add({3, "expect pin PORTA.0 1", "", Verdict::Passed, true, 0});
    EXPECT_EQ(good.summaryLine(), "2 of 2 steps run, 1 of 1 checks passed, scenario passed");

    // A run whose only check never ran has not passed, though nothing failed.
    RunReport cut("cut.scn");
    cut.add({3, "expect pin PORTA.0 1", "", Verdict::NotRun, true, 0});
    EXPECT_FALSE(cut.summary().passed());

    // A wait stopped by the time limit fails though it is no check, and the
    // steps after it never run: the summary must not call that a pass.
    RunReport timedOut("slow.scn");
    timedOut.add({2, "expect pin PORTA.0 0", "", Verdict::Passed, true, 0});
    timedOut.add({3, "wait cycles 100000000", "the run took longer than 1 s", Verdict::Failed,
                  false, 1.0});
    timedOut.add({4, "wait cycles 5", "", Verdict::NotRun, false, 0});
    EXPECT_FALSE(timedOut.summary().passed());
    EXPECT_EQ(timedOut.summaryLine(),
              "2 of 3 steps run (1 did not finish), 1 of 1 checks passed");
}

TEST(RunReport, JUnitHasACasePerCheckAndEveryMessageSurvivesTheParser) {
    const Suite suite = readBack(QByteArray::fromStdString(mixedRun().junitXml()));
    ASSERT_TRUE(suite.error.isEmpty()) << suite.error.toStdString();
    EXPECT_EQ(suite.attributes.at("name"), "lab.scn");
    EXPECT_EQ(suite.attributes.at("tests"), "4");
    EXPECT_EQ(suite.attributes.at("failures"), "1");
    EXPECT_EQ(suite.attributes.at("errors"), "1");
    EXPECT_EQ(suite.attributes.at("skipped"), "1");
    EXPECT_EQ(suite.attributes.at("time"), "0.512");

    ASSERT_EQ(suite.cases.size(), 4u);  // three checks and the step that stopped the run
    EXPECT_EQ(suite.cases[0].name, "line 5: expect led \"LED\" on");
    EXPECT_EQ(suite.cases[0].classname, "lab.scn");
    EXPECT_TRUE(suite.cases[0].outcome.isEmpty());

    // Markup characters and UTF-8 arrive intact; the control character and
    // the byte that is no UTF-8, which the file cannot carry, arrive as '?'.
    EXPECT_EQ(suite.cases[1].name, "line 6: expect lcd \"Hitachi LCD\" line 1 \"<Hi & \"you\">\"");
    EXPECT_EQ(suite.cases[1].outcome, "failure");
    EXPECT_EQ(suite.cases[1].message,
              QString::fromUtf8("line 1 is \"A?B?C\xc3\xa9\", expected \"<Hi & \"you\">\""));
    EXPECT_TRUE(suite.cases[1].text.startsWith("lab.scn:6: expect lcd"));

    EXPECT_EQ(suite.cases[2].name, "line 7: click Switch");
    EXPECT_EQ(suite.cases[2].outcome, "error");
    EXPECT_EQ(suite.cases[2].message, "no window \"Switch\"");
    EXPECT_EQ(suite.cases[3].outcome, "skipped");
}

TEST(RunReport, WritingReplacesOnlyAnOldReport) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quill-report-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "a-folder");
    const std::string path = (dir / "junit.xml").string();
    auto read = [](const std::string& file) {
        std::stringstream bytes;
        bytes << std::ifstream(file).rdbuf();
        return bytes.str();
    };
    std::string error;
    ASSERT_TRUE(writeJUnit(RunReport("first.scn"), path, &error)) << error;
    // An earlier report is replaced.
    ASSERT_TRUE(writeJUnit(mixedRun(), path, &error)) << error;
    EXPECT_TRUE(readBack(QByteArray::fromStdString(read(path))).error.isEmpty());
    EXPECT_EQ(read(path), mixedRun().junitXml());

    // A link, even to a report, and a file that is no report are refused
    // by name and left as they were.
    fs::create_symlink("junit.xml", dir / "link.xml");
    EXPECT_FALSE(writeJUnit(RunReport("other.scn"), (dir / "link.xml").string(), &error));
    EXPECT_NE(error.find("link.xml\": it is a symbolic link"), std::string::npos) << error;
    EXPECT_EQ(read(path), mixedRun().junitXml());
    std::ofstream(dir / "notes.txt") << "old report";
    EXPECT_FALSE(writeJUnit(mixedRun(), (dir / "notes.txt").string(), &error));
    EXPECT_NE(error.find("notes.txt\": it holds something other than a JUnit report"),
              std::string::npos)
        << error;
    EXPECT_EQ(junitRefusal((dir / "notes.txt").string()), error);
    EXPECT_EQ(read((dir / "notes.txt").string()), "old report");

    EXPECT_FALSE(writeJUnit(mixedRun(), (dir / "a-folder").string(), &error));
    EXPECT_NE(error.find("is a directory"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir / "a-folder"));
    EXPECT_FALSE(writeJUnit(mixedRun(), (dir / "no-folder" / "j.xml").string(), &error));
    // Nothing is left beside the report when writing fails or succeeds.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);
    fs::remove_all(dir);
}
