// The register logger's choice of file: it writes only to a regular file
// that is empty or holds its own dumps, reached without links, never blocks
// on a FIFO, keeps its previous state when a file is refused, writes a dump
// only when a chosen register changed and stops at its size limit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "debugaids/RegisterLogger.h"
#include "platform/files.h"
#include "test_core_fixture.h"
#include "tests/support/TestFiles.h"

using namespace testfiles;
namespace fs = std::filesystem;

namespace {

std::string nameOf(int index) { return index == 0x18 ? "PORTB" : ""; }

LoggerChoice toFile(const std::string& name, const std::string& directory) {
    return {{0x18}, true, true, name, directory};
}

bool refused(const std::string& why, const std::string& reason) {
    return why.find(reason) != std::string::npos && why.find("Nothing is logged") != std::string::npos;
}

}  // namespace

TEST(LoggerTarget, RefusesWhatIsNotItsOwnAndLeavesItUntouched) {
    TempDir dir;
    const fs::path d = dir.path();
    WriteFile(d / "notes.txt", "my notes\n");
    fs::create_symlink("notes.txt", d / "link.dbg");
    fs::create_directory(d / "real");
    WriteFile(d / "real" / "test.dbg", "precious\n");
    fs::create_directory_symlink("real", d / "linked");
    fs::create_symlink("loop.dbg", d / "loop.dbg");
    ASSERT_EQ(::mkfifo((d / "fifo.dbg").c_str(), 0600), 0);
    WriteFile(d / "ro.dbg", "");
    fs::permissions(d / "ro.dbg", fs::perms::owner_read);

    RegisterLogger logger;
    ASSERT_EQ(logger.Apply(toFile("own.dbg", d.string())), "");
    uint8_t io[64] = {};
    logger.Dump(1, 0, io, nameOf, nullptr);

    EXPECT_TRUE(refused(logger.Apply(toFile("notes.txt", d.string())), "something other than"));
    EXPECT_TRUE(refused(logger.Apply(toFile("link.dbg", d.string())), "is a symbolic link"));
    EXPECT_TRUE(refused(logger.Apply(toFile("linked/test.dbg", d.string())),
                        "the folder \"" + (d / "linked").string() + "\" is a symbolic link"));
    EXPECT_TRUE(refused(logger.Apply(toFile("test.dbg", (d / "linked").string())),
                        "is a symbolic link"));
    EXPECT_TRUE(refused(logger.Apply(toFile("loop.dbg", d.string())), "is a symbolic link"));
    EXPECT_TRUE(refused(logger.Apply(toFile("fifo.dbg", d.string())), "(a FIFO)"));
    EXPECT_TRUE(refused(logger.Apply(toFile(".", d.string())), "a folder, not a file"));
    EXPECT_TRUE(refused(logger.Apply(toFile("real", d.string())), "is a directory"));
    EXPECT_TRUE(refused(logger.Apply(toFile("x/y.dbg", d.string() + "/notes.txt")), "is not a folder"));
    if (::geteuid() != 0) {  // root may write a read-only file
        EXPECT_TRUE(refused(logger.Apply(toFile("ro.dbg", d.string())), "Permission denied"));
    }

    EXPECT_EQ(ReadFile(d / "notes.txt"), "my notes\n");
    EXPECT_EQ(ReadFile(d / "real" / "test.dbg"), "precious\n");
    EXPECT_TRUE(fs::is_symlink(d / "link.dbg"));
    // Each refusal kept the log going where it was.
    EXPECT_EQ(logger.openFile(), (d / "own.dbg").string());
    io[0x18] = 1;
    logger.Dump(2, 0, io, nameOf, nullptr);
    EXPECT_EQ(ReadFile(d / "own.dbg"),
              "(1) Dump of selected I/O Registers: \nPORTB=0x00\n"
              "(2) Dump of selected I/O Registers: \nPORTB=0x01\n");

    // A file of dumps starts afresh when chosen again; an empty one is taken.
    logger.Apply(toFile("other.dbg", d.string()));
    ASSERT_EQ(logger.Apply(toFile("own.dbg", d.string())), "");
    EXPECT_EQ(ReadFile(d / "own.dbg"), "");
    WriteFile(d / "timed.dbg", "[1.000 us] Dump of selected I/O Registers: \nPORTB=0x00\n");
    EXPECT_EQ(logger.Apply(toFile("timed.dbg", d.string())), "");
}

TEST(LoggerTarget, HeaderRecognisedInEveryLayoutThatWritesOne) {
    EXPECT_TRUE(RegisterLogger::IsDumpHeader("(12) Dump of selected I/O Registers: "));
    EXPECT_TRUE(RegisterLogger::IsDumpHeader("(12) [0.750 us] Dump of selected I/O Registers: "));
    EXPECT_TRUE(RegisterLogger::IsDumpHeader("Dump of selected I/O Registers: "));
    EXPECT_FALSE(RegisterLogger::IsDumpHeader("(12) Dump of selected I/O Registers:"));
    EXPECT_FALSE(RegisterLogger::IsDumpHeader("(12 Dump of selected I/O Registers: "));
    EXPECT_FALSE(RegisterLogger::IsDumpHeader("PORTB=0x00"));
    EXPECT_FALSE(RegisterLogger::IsDumpHeader("#!/bin/sh"));
}

TEST(LoggerTarget, DumpsOnlyWhenAChosenRegisterChangedAndStopsAtTheLimit) {
    TempDir dir;
    RegisterLogger logger;
    LoggerChoice choice = toFile("log.dbg", dir.path().string());
    choice.limitBytes = 200;  // three dumps of 51 bytes fit, the fourth does not
    ASSERT_EQ(logger.Apply(choice), "");
    uint8_t io[64] = {};
    std::string stopped;
    for (uint32_t cycle = 0; cycle < 40 && stopped.empty(); ++cycle) {
        io[0x20] = static_cast<uint8_t>(cycle);  // not chosen: no dump of its own
        if (cycle % 4 == 0) io[0x18] = static_cast<uint8_t>(cycle);
        stopped = logger.Dump(1000 + cycle, 0, io, nameOf, nullptr);
    }
    const std::string text = ReadFile(dir.path() / "log.dbg");
    EXPECT_EQ(text.rfind("(1000) Dump of selected I/O Registers: \nPORTB=0x00\n", 0), 0u);
    EXPECT_NE(text.find("(1004) "), std::string::npos);
    EXPECT_EQ(text.find("(1001) "), std::string::npos);
    EXPECT_LE(text.size(), 200u);
    EXPECT_EQ(text.size(), 3u * 51u);
    EXPECT_NE(stopped.find("reached its size limit of 200 bytes; logging to it stopped"),
              std::string::npos)
        << stopped;
    EXPECT_EQ(logger.openFile(), "");
    io[0x18] = 0x55;
    EXPECT_EQ(logger.Dump(2000, 0, io, nameOf, nullptr), "");  // stopped stays stopped
    EXPECT_EQ(ReadFile(dir.path() / "log.dbg"), text);
}

// Random choices of file over random kinds of file in a scratch folder:
// no file that was not the logger's own (empty, or starting with a dump
// header) loses a byte, and every link stays a link.
TEST(LoggerTarget, PropertyNoForeignFileLosesAByte) {
    TempDir dir;
    const fs::path d = dir.path();
    std::mt19937 random(20261207);
    const std::vector<std::string> names = {"a", "b.dbg", "c", "test.dbg", "sub/d", "sub/e.dbg",
                                            "sub/deep/f", "lnk/x", "g"};
    fs::create_directories(d / "sub" / "deep");
    fs::create_directory_symlink("sub", d / "lnk");
    std::map<fs::path, std::string> foreign;
    for (const std::string& name : names) {
        const fs::path p = d / name;
        if (name.rfind("lnk/", 0) == 0) continue;  // reached through the link below
        switch (random() % 7) {
            case 0:
                WriteFile(p, "");
                break;  // empty: the logger may take it
            case 1:
                WriteFile(p, "(5) Dump of selected I/O Registers: \nPORTB=0x01\n");
                break;  // its own
            case 2:
                ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
                break;
            case 3:
                fs::create_directory(p);
                break;
            case 4:
                fs::create_symlink(d / "a", p);
                break;
            default: {
                std::string bytes(1 + random() % 300, '\0');
                for (char& c : bytes) c = static_cast<char>(random());
                if (bytes[0] == '(' || bytes[0] == 'D') bytes[0] = 'x';
                WriteFile(p, bytes);
                foreign[p] = bytes;
            }
        }
    }
    WriteFile(d / "sub" / "x", "behind a folder link\n");
    foreign[d / "sub" / "x"] = "behind a folder link\n";
    std::vector<fs::path> links;
    for (const auto& entry : fs::recursive_directory_iterator(d))
        if (entry.is_symlink()) links.push_back(entry.path());

    RegisterLogger logger;
    uint8_t io[64] = {};
    const std::vector<std::string> extra = {".", "..", "sub/", "sub/../a", "new/n.dbg", ""};
    for (int round = 0; round < 400; ++round) {
        const size_t pick = random() % (names.size() + extra.size());
        const std::string name = pick < names.size() ? names[pick] : extra[pick - names.size()];
        LoggerChoice choice = toFile(name, random() % 4 == 0 ? std::string() : d.string());
        if (choice.directory.empty()) choice.fileName = (d / name).string();
        choice.enabled = random() % 8 != 0;
        logger.Apply(choice);
        io[0x18] = static_cast<uint8_t>(round);
        logger.Dump(static_cast<uint32_t>(round), 0, io, nameOf, nullptr);
    }
    for (const auto& [path, bytes] : foreign) EXPECT_EQ(ReadFile(path), bytes) << path;
    for (const fs::path& link : links) EXPECT_TRUE(fs::is_symlink(link)) << link;
}

TEST(RegularFiles, AppendsWithTheFoldersMade) {
    TempDir dir;
    const fs::path d = dir.path();
    std::string why;
    // Appending, with the folders made.
    quill::files::WriteOptions append;
    append.append = true;
    append.makeDirectories = true;
    for (int i = 0; i < 2; ++i) {
        std::FILE* f =
            quill::files::openStreamForWriting((d / "a" / "b" / "t.txt").string(), append, &why);
        ASSERT_NE(f, nullptr) << why;
        std::fputs("line\n", f);
        std::fclose(f);
    }
    EXPECT_EQ(ReadFile(d / "a" / "b" / "t.txt"), "line\nline\n");
}
