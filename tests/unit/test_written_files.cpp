// The rule for every file the workbench writes whole: only a regular file,
// reached without links, that is empty or of the writer's own kind is
// replaced; anything else is refused, named in the message and left as it
// was; the new content is renamed into place only once it is whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/files.h"
#include "test_core_fixture.h"
#include "tests/support/TestFiles.h"

using namespace testfiles;
namespace fs = std::filesystem;
using quill::files::FileKind;
using quill::files::FileReplacement;
using quill::files::replaceFile;
using quill::files::replaceRefusal;

namespace {

const FileKind kReport{"report", "a report",
                       [](std::string_view head) { return head.rfind("REPORT", 0) == 0; }};

std::set<std::string> entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

bool says(const std::string& why, const fs::path& path, const std::string& reason) {
    return why.find("cannot write report \"" + path.string() + "\"") == 0 &&
           why.find(reason) != std::string::npos;
}

}  // namespace

TEST(WrittenFiles, ReplacesOnlyAnEmptyFileOrItsOwnKind) {
    TempDir dir;
    const fs::path d = dir.path();
    std::string why;
    // New, empty and own files are written, with the old file's mode kept.
    EXPECT_TRUE(replaceFile((d / "new.txt").string(), "REPORT 1\n", kReport, &why)) << why;
    EXPECT_EQ(ReadFile(d / "new.txt"), "REPORT 1\n");
    WriteFile(d / "empty.txt", "");
    EXPECT_TRUE(replaceFile((d / "empty.txt").string(), "REPORT 2\n", kReport, &why)) << why;
    EXPECT_EQ(ReadFile(d / "empty.txt"), "REPORT 2\n");
    fs::permissions(d / "new.txt", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(replaceFile((d / "new.txt").string(), "REPORT 3\n", kReport, &why)) << why;
    EXPECT_EQ(ReadFile(d / "new.txt"), "REPORT 3\n");
    EXPECT_EQ(fs::status(d / "new.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // A relative path, from the current folder.
    const fs::path before = fs::current_path();
    fs::current_path(d);
    EXPECT_TRUE(replaceFile("new.txt", "REPORT 4\n", kReport, &why)) << why;
    fs::current_path(before);
    EXPECT_EQ(ReadFile(d / "new.txt"), "REPORT 4\n");

    // A file of another kind is named in the refusal and left as it was,
    // however much of it the recogniser sees.
    WriteFile(d / "notes.txt", "my notes\n");
    EXPECT_EQ(replaceRefusal((d / "notes.txt").string(), kReport),
              "cannot write report \"" + (d / "notes.txt").string() +
                  "\": it holds something other than a report, so it is left untouched");
    EXPECT_FALSE(replaceFile((d / "notes.txt").string(), "REPORT\n", kReport, &why));
    EXPECT_EQ(why, replaceRefusal((d / "notes.txt").string(), kReport));
    EXPECT_EQ(ReadFile(d / "notes.txt"), "my notes\n");
    const std::string big(3 * quill::files::kKindHeadBytes, 'x');
    WriteFile(d / "big.txt", big);
    EXPECT_FALSE(replaceFile((d / "big.txt").string(), "REPORT\n", kReport, &why));
    EXPECT_EQ(ReadFile(d / "big.txt"), big);

    // A kind with no mark replaces only an empty file.
    const FileKind unmarked{"report", "it carries no mark", nullptr};
    const fs::path plain = d / "plain.txt";
    EXPECT_TRUE(replaceFile(plain.string(), "", unmarked, &why)) << why;
    EXPECT_TRUE(replaceFile(plain.string(), "bytes", unmarked, &why)) << why;
    EXPECT_FALSE(replaceFile(plain.string(), "more", unmarked, &why));
    EXPECT_TRUE(says(why, plain, "it is not empty (it carries no mark)")) << why;
    EXPECT_EQ(ReadFile(plain), "bytes");
    // No new file is left behind by any of it.
    EXPECT_EQ(entries(d), (std::set<std::string>{"big.txt", "empty.txt", "new.txt", "notes.txt",
                                                 "plain.txt"}));
}

TEST(WrittenFiles, RefusesLinksAndWhatIsNoRegularFile) {
    TempDir dir;
    const fs::path d = dir.path();
    WriteFile(d / "victim.txt", "REPORT old\n");
    fs::create_symlink("victim.txt", d / "link.xml");
    fs::create_symlink("missing.txt", d / "dangling.xml");
    fs::create_directory(d / "real");
    WriteFile(d / "real" / "r.xml", "REPORT in a folder\n");
    fs::create_directory_symlink("real", d / "linked");
    fs::create_directory(d / "folder.xml");
    ASSERT_EQ(::mkfifo((d / "fifo.xml").c_str(), 0600), 0);
    std::string why;
    // Even a link to a file of its own kind is no file to write through.
    EXPECT_FALSE(replaceFile((d / "link.xml").string(), "REPORT new\n", kReport, &why));
    EXPECT_TRUE(says(why, d / "link.xml", "it is a symbolic link")) << why;
    EXPECT_TRUE(fs::is_symlink(d / "link.xml"));
    EXPECT_EQ(ReadFile(d / "victim.txt"), "REPORT old\n");
    // A dangling link does not create the file it names.
    EXPECT_FALSE(replaceFile((d / "dangling.xml").string(), "REPORT new\n", kReport, &why));
    EXPECT_TRUE(says(why, d / "dangling.xml", "it is a symbolic link")) << why;
    EXPECT_FALSE(fs::exists(d / "missing.txt"));
    // A link among the folders.
    EXPECT_FALSE(replaceFile((d / "linked" / "r.xml").string(), "REPORT new\n", kReport, &why));
    EXPECT_TRUE(says(why, d / "linked" / "r.xml",
                     "the folder \"" + (d / "linked").string() + "\" is a symbolic link"))
        << why;
    EXPECT_EQ(ReadFile(d / "real" / "r.xml"), "REPORT in a folder\n");
    // A folder and a FIFO (never waited on).
    EXPECT_FALSE(replaceFile((d / "folder.xml").string(), "REPORT\n", kReport, &why));
    EXPECT_TRUE(says(why, d / "folder.xml", "it is a directory")) << why;
    EXPECT_FALSE(replaceFile((d / "fifo.xml").string(), "REPORT\n", kReport, &why));
    EXPECT_TRUE(says(why, d / "fifo.xml", "it is not a regular file (a FIFO)")) << why;
    EXPECT_FALSE(replaceFile((d / "absent" / "r.xml").string(), "REPORT\n", kReport, &why));
    EXPECT_TRUE(says(why, d / "absent" / "r.xml", "No such file or directory")) << why;
    EXPECT_EQ(entries(d), (std::set<std::string>{"dangling.xml", "fifo.xml", "folder.xml",
                                                 "link.xml", "linked", "real", "victim.txt"}));
}

TEST(WrittenFiles, AFailedOrAbandonedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    const fs::path d = dir.path();
    const fs::path target = d / "r.txt";
    WriteFile(target, "REPORT old\n");
    std::string why;
    {
        // Written as it goes: the old file stays until the commit.
        FileReplacement streaming;
        ASSERT_TRUE(streaming.begin(target.string(), kReport, &why)) << why;
        std::fputs("REPORT streamed\n", streaming.stream());
        std::fflush(streaming.stream());
        EXPECT_EQ(ReadFile(target), "REPORT old\n");
        ASSERT_TRUE(streaming.commit(&why)) << why;
        EXPECT_EQ(ReadFile(target), "REPORT streamed\n");
    }
    {
        // Destroyed before the commit (an abandoned recording).
        FileReplacement abandoned;
        ASSERT_TRUE(abandoned.begin(target.string(), kReport, &why)) << why;
        std::fputs("REPORT half", abandoned.stream());
    }
    EXPECT_EQ(ReadFile(target), "REPORT streamed\n");
    {
        // The user put another file there while it was written: it stays.
        FileReplacement overtaken;
        ASSERT_TRUE(overtaken.begin(target.string(), kReport, &why)) << why;
        std::fputs("REPORT late\n", overtaken.stream());
        WriteFile(target, "the user's file\n");
        EXPECT_FALSE(overtaken.commit(&why));
        EXPECT_TRUE(says(why, target, "something other than a report")) << why;
        EXPECT_EQ(ReadFile(target), "the user's file\n");
    }
    WriteFile(target, "REPORT old\n");
    // A write the system refuses part way (the file size limit here).
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore = {}, before = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &before);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = replaceFile(target.string(), "REPORT " + std::string(100000, 'x'),
                                     kReport, &why);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &before, nullptr);
    EXPECT_FALSE(written);
    EXPECT_TRUE(says(why, target, "the old file is left as it was")) << why;
    EXPECT_EQ(ReadFile(target), "REPORT old\n");
    EXPECT_EQ(entries(d), std::set<std::string>{"r.txt"});
}

TEST(WrittenFiles, KnowsItsOwnPicturesAndXmlRoots) {
    using quill::files::isPngWithText;
    using quill::files::xmlRootIs;
    EXPECT_TRUE(xmlRootIs("<?xml version=\"1.0\"?>\n<!-- made -->\n<testsuites tests=\"1\">", "testsuites"));
    EXPECT_TRUE(xmlRootIs("\xEF\xBB\xBF<quill-lab/>", "quill-lab"));
    EXPECT_FALSE(xmlRootIs("<quill-labs>", "quill-lab"));
    EXPECT_FALSE(xmlRootIs("firmware x.elf\n<testsuites>", "testsuites"));
    EXPECT_FALSE(xmlRootIs("<?xml version=\"1.0\"", "testsuites"));

    // Signature, IHDR, tEXt "Software\0quill-host", IDAT (CRCs are not read).
    auto chunk = [](const std::string& type, const std::string& data) {
        const auto n = static_cast<uint32_t>(data.size());
        std::string out{char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
        return out + type + data + "CRC!";
    };
    const std::string signature("\x89PNG\r\n\x1a\n", 8);
    const std::string ihdr = chunk("IHDR", std::string(13, '\1'));
    const std::string text = chunk("tEXt", std::string("Software\0quill-host", 19));
    const std::string idat = chunk("IDAT", "data");
    EXPECT_TRUE(isPngWithText(signature + ihdr + text + idat, "Software", "quill-host"));
    EXPECT_FALSE(isPngWithText(signature + ihdr + idat + text, "Software", "quill-host"));
    EXPECT_FALSE(isPngWithText(signature + ihdr + chunk("tEXt", std::string("Software\0gimp", 13)),
                               "Software", "quill-host"));
    // A length past the end is no chunk.
    std::string cut = signature + ihdr + text;
    cut.resize(cut.size() - 10);
    EXPECT_FALSE(isPngWithText(cut, "Software", "quill-host"));
    EXPECT_FALSE(isPngWithText("REPORT", "Software", "quill-host"));
}
