// Lab files: written and read back whole, the firmware relative to the
// lab's folder, and the files a host must refuse refused with a reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/lab/LabFile.h"

using namespace quill::lab;
namespace fs = std::filesystem;

namespace {

// A saved dock state holding no dock: its version header only.
const std::string kEmptyState = "AAAA/wAAAAA=";

struct LabFiles : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("quill-lab-" + std::to_string(::getpid()));
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir / "programs");
        std::ofstream(dir / "programs" / "demo.elf") << "ELF";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string read(const fs::path& p) {
        std::stringstream s;
        s << std::ifstream(p).rdbuf();
        return s.str();
    }
    Lab sample() {
        Lab lab;
        lab.part = "ATmega32";
        lab.frequencyMHz = 3.6864;
        lab.firmware = (dir / "programs" / "demo.elf").string();
        lab.realTime = false;
        lab.windows = {{"LD", "LED", "port=B pin=3 mode=ddrport activelow=1"},
                       {"LD", "LED 2"},
                       {"LCD", "Hitachi \"LCD\" <&>", "e=A1 \"<&>\""}};
        lab.settings = {{"electrical", "vcc=4.50 extaref=0"}, {"general", "warnings=off"}};
        lab.layout = kEmptyState;
        lab.geometry = "AdnQywAD";
        return lab;
    }
};

TEST_F(LabFiles, SavedAndLoadedWholeWithTheFirmwareBesideTheLab) {
    const std::string path = (dir / "lab.quill").string();
    std::string error;
    ASSERT_TRUE(saveLab(sample(), path, &error)) << error;
    EXPECT_NE(read(path).find("<firmware>programs/demo.elf</firmware>"), std::string::npos)
        << read(path);
    std::optional<Lab> lab = loadLab(path, &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_EQ(*lab, sample());

    // The folder moves as one: the lab finds its program in the new place.
    fs::rename(dir / "programs", dir / "moved");
    fs::create_directories(dir / "elsewhere");
    fs::rename(path, dir / "elsewhere" / "lab.quill");
    fs::rename(dir / "moved", dir / "elsewhere" / "programs");
    lab = loadLab((dir / "elsewhere" / "lab.quill").string(), &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_EQ(lab->firmware, (dir / "elsewhere" / "programs" / "demo.elf").string());
    EXPECT_EQ(lab->board, "");

    // A board is kept; without one the file has no <board>.
    EXPECT_EQ(read((dir / "elsewhere" / "lab.quill").string()).find("<board>"), std::string::npos);
    Lab uno = sample();
    uno.part = "ATmega328P";
    uno.board = "Uno";
    uno.firmware = lab->firmware;
    const std::string moved = (dir / "elsewhere" / "lab.quill").string();
    ASSERT_TRUE(saveLab(uno, moved, &error)) << error;
    EXPECT_NE(read(moved).find("<board>Uno</board>"), std::string::npos) << read(moved);
    lab = loadLab(moved, &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_EQ(*lab, uno);
}

// A lab opened where its program is not beside it (a source tree's lab,
// its program built elsewhere): the host's folders in order, the first
// program found; none found names every place looked in.
TEST_F(LabFiles, AProgramNotBesideTheLabIsLookedForInTheHostsFolders) {
    const std::string path = (dir / "labs" / "lab.quill").string();
    fs::create_directories(dir / "labs");
    fs::create_directories(dir / "build" / "programs");
    std::ofstream(dir / "build" / "programs" / "demo.elf") << "ELF";
    Lab lab = sample();
    lab.firmware = (dir / "labs" / "programs" / "demo.elf").string();
    std::string error;
    ASSERT_TRUE(saveLab(lab, path, &error)) << error;  // written as programs/demo.elf
    const std::vector<std::string> folders{(dir / "nothing").string(), (dir / "build").string(),
                                           dir.string()};
    std::optional<Lab> loaded = loadLab(path, &error, folders);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->firmware, (dir / "build" / "programs" / "demo.elf").string());
    // Beside the lab comes first, even with the folders given.
    fs::create_directories(dir / "labs" / "programs");
    std::ofstream(dir / "labs" / "programs" / "demo.elf") << "ELF";
    loaded = loadLab(path, &error, folders);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->firmware, (dir / "labs" / "programs" / "demo.elf").string());

    // None: every place in the message, a folder in the way said so.
    fs::remove(dir / "labs" / "programs" / "demo.elf");
    fs::create_directories(dir / "labs" / "programs" / "demo.elf");
    fs::remove(dir / "build" / "programs" / "demo.elf");
    fs::remove(dir / "programs" / "demo.elf");
    EXPECT_FALSE(loadLab(path, &error, folders));
    const std::string labs = (dir / "labs" / "programs" / "demo.elf").string();
    EXPECT_EQ(error, "cannot open the lab \"" + path + "\": its firmware \"programs/demo.elf\" was "
                     "not found beside the lab nor in the host's firmware folders (looked for " +
                         labs + " (is a directory), " +
                         (dir / "nothing" / "programs" / "demo.elf").string() + ", " +
                         (dir / "build" / "programs" / "demo.elf").string() + ", " +
                         (dir / "programs" / "demo.elf").string() + ")");
    // Without folders it is refused as before, with the reason.
    EXPECT_FALSE(loadLab(path, &error));
    EXPECT_EQ(error, "cannot open the lab \"" + path + "\": its firmware \"" + labs +
                         "\" is a directory");
}

// Each bad file is refused with its reason, and a failed save leaves the
// lab that was there.
TEST_F(LabFiles, BadFilesAreRefusedAndAFailedSaveKeepsTheOldLab) {
    const std::string path = (dir / "lab.quill").string();
    std::string error;
    ASSERT_TRUE(saveLab(sample(), path, &error)) << error;
    const std::string good = read(path);
    auto refused = [&](const std::string& text, const std::string& reason) {
        std::ofstream(dir / "bad.quill") << text;
        std::string why;
        EXPECT_FALSE(loadLab((dir / "bad.quill").string(), &why)) << text;
        EXPECT_NE(why.find(reason), std::string::npos) << why;
    };
    // The saved lab with one piece of its text replaced.
    auto edited = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    refused("<quill-lab version=\"1\"><part>ATmega16</part", "not a lab file");
    refused("<other version=\"1\"/>", "no <quill-lab>");
    // (A newer format and a missing program: corpus.lab.newer-format and
    // corpus.lab.missing-firmware, refused by quill-host with these texts.)
    refused(edited("3.6864", "fast"), "clock \"fast\"");
    refused(edited("command=\"LD\"", ""), "names no command");
    // A version is a whole number as written, not one that starts with it.
    refused(edited("version=\"1\"", "version=\"1abc\""),
            "its format version \"1abc\" is not a whole number such as \"1\"");
    refused(edited("version=\"1\"", "version=\"1.9\""), "format version \"1.9\" is not");
    // A command that opens a dialog, not a window: a lab opened headless or
    // at start-up would wait on the About box.
    refused(edited("command=\"LD\"", "command=\"ABOUT\""),
            "names command \"ABOUT\", which opens no component window (line 8)");
    refused(edited("command=\"LD\"", "command=\"CFG\""), "\"CFG\", which opens no component");
    refused(edited("command=\"LD\"", "command=\"XX\""), "\"XX\", which opens no component");
    std::string windows;
    for (std::size_t i = 0; i <= kMaxLabWindows; ++i) windows += "<window command=\"LD\"/>";
    refused(edited("<windows>", "<windows>" + windows), "the lab opens more than 256 windows");
    refused(edited("target=\"general\"", ""), "name no target");

    // Bytes that are no UTF-8 (a firmware path in Latin-1) cannot be kept in
    // a lab: such a file written would not read back. Refused on reading
    // (here an unquoted attribute, which the XML reader lets through) and
    // on saving, which then keeps the old lab.
    refused(edited("command=\"LD\"", "command=\xde\xb3\xbb\xdd"), "is not UTF-8 text");
    Lab foreign = sample();
    foreign.firmware = (dir / "programs" / "\xdc" "bung.elf").string();
    EXPECT_FALSE(saveLab(foreign, path, &error));
    EXPECT_NE(error.find("the firmware path is not UTF-8 text"), std::string::npos) << error;
    EXPECT_EQ(read(path), good);

    // Elements nested 300,000 deep (the XML reader recurses per level and
    // ran out of stack), and a NUL byte.
    std::string deep = "<quill-lab version=\"1\">";
    for (int i = 0; i < 300000; ++i) deep += "<a>";
    refused(deep, "nest deeper than 16 levels");
    refused(std::string("<quill-lab version=\"1\"><part>AT\0mega16</part></quill-lab>", 57),
            "not UTF-8 text");

    fs::create_directories(dir / "a-folder.quill");
    EXPECT_FALSE(saveLab(sample(), (dir / "a-folder.quill").string(), &error));
    EXPECT_FALSE(loadLab((dir / "a-folder.quill").string(), &error));
    EXPECT_NE(error.find("is a directory"), std::string::npos) << error;
    // Writing into a folder that is not there fails and leaves nothing.
    EXPECT_FALSE(saveLab(sample(), (dir / "none" / "lab.quill").string(), &error));
    EXPECT_EQ(read(path), good);
    // Saving replaces an earlier lab only: never another file, never
    // through a link (to a lab or not).
    std::ofstream(dir / "notes.txt") << "notes\n";
    EXPECT_FALSE(saveLab(sample(), (dir / "notes.txt").string(), &error));
    EXPECT_NE(error.find("notes.txt\": it holds something other than a lab"), std::string::npos)
        << error;
    EXPECT_EQ(read((dir / "notes.txt").string()), "notes\n");
    fs::create_symlink(path, dir / "link.quill");
    EXPECT_FALSE(saveLab(sample(), (dir / "link.quill").string(), &error));
    EXPECT_NE(error.find("is a symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_symlink(dir / "link.quill"));
}

// A lab's clock is a plain number of MHz the simulator can time: no
// hexadecimal, sign or markup (text inside markup was read as no clock,
// the default 1 MHz), nothing below 3200 Hz (its converter timing divides
// by zero there).
TEST_F(LabFiles, TheClockIsAPlainNumberOfMegahertzTheSimulatorCanTime) {
    const std::string path = (dir / "lab.quill").string();
    std::string error;
    ASSERT_TRUE(saveLab(sample(), path, &error)) << error;
    const std::string good = read(path);
    const std::string clock = "<clock-mhz>3.6864</clock-mhz>";
    ASSERT_NE(good.find(clock), std::string::npos) << good;
    auto load = [&](const std::string& replacement, std::string* why) {
        std::string text = good;
        text.replace(text.find(clock), clock.size(), replacement);
        std::ofstream(dir / "clock.quill") << text;
        return loadLab((dir / "clock.quill").string(), why);
    };
    for (const char* bad : {"0x10", "0.001", "0.0031", "-1", "+1", "1 MHz", "inf", "nan",
                            "1,5", "33", "1e", "1e2"}) {
        std::string why;
        EXPECT_FALSE(load("<clock-mhz>" + std::string(bad) + "</clock-mhz>", &why)) << bad;
        EXPECT_NE(why.find("is not a clock in MHz from 0.0032 to 32 MHz"), std::string::npos)
            << bad << ": " << why;
    }
    for (const char* markup : {"<clock-mhz><b>1</b></clock-mhz>", "<clock-mhz>1<b/></clock-mhz>",
                               "<clock-mhz></clock-mhz>", "<clock-mhz><!-- 8 --></clock-mhz>"}) {
        std::string why;
        EXPECT_FALSE(load(markup, &why)) << markup;
        EXPECT_NE(why.find("<clock-mhz> holds no plain number"), std::string::npos)
            << markup << ": " << why;
    }
    std::optional<Lab> lab = load("<clock-mhz>0.0032</clock-mhz>", &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_DOUBLE_EQ(lab->frequencyMHz, 0.0032);
    lab = load("<clock-mhz>32</clock-mhz>", &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_DOUBLE_EQ(lab->frequencyMHz, 32);
    // Without the element the clock is the default.
    lab = load("", &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_DOUBLE_EQ(lab->frequencyMHz, 1);
}

// The layout is saved with its checksum; a layout that no longer matches
// it, or (in a lab saved without one) is no sound dock state, is left out
// with a note, and the rest of the lab is read.
TEST_F(LabFiles, ADamagedLayoutIsLeftOutAndTheRestOfTheLabKept) {
    const std::string path = (dir / "lab.quill").string();
    std::string error;
    ASSERT_TRUE(saveLab(sample(), path, &error)) << error;
    const std::string good = read(path);
    EXPECT_NE(good.find("<layout crc32=\"34b05c90\">" + kEmptyState + "</layout>"), std::string::npos)
        << good;
    auto load = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        std::ofstream(dir / "changed.quill") << text;
        std::optional<Lab> lab = loadLab((dir / "changed.quill").string(), &error);
        EXPECT_TRUE(lab) << error;
        return lab.value_or(Lab{});
    };
    auto leftOut = [&](const Lab& lab, const std::string& why) {
        EXPECT_EQ(lab.layout, "");
        ASSERT_EQ(lab.notes.size(), 1u);
        EXPECT_EQ(lab.notes[0], "the lab's window layout was left out, " + why +
                                    "; the windows are arranged anew");
        Lab rest = lab;
        rest.layout = kEmptyState;
        rest.notes.clear();
        EXPECT_EQ(rest, sample());
    };
    // One character of the layout changed: the checksum tells.
    leftOut(load(kEmptyState, "AAAA/wAAAAE="),
            "it was changed after it was saved (its checksum does not match)");
    // Saved without a checksum (as labs were before): read as a dock state.
    const std::string plain = "<layout>" + kEmptyState + "</layout>";
    EXPECT_EQ(load("<layout crc32=\"34b05c90\">" + kEmptyState + "</layout>", plain), sample());
    leftOut(load("<layout crc32=\"34b05c90\">" + kEmptyState + "</layout>", "<layout>AAAA/wAAAAE=</layout>"),
            "it is damaged: it is of layout version 1, not 0");
    leftOut(load("<layout crc32=\"34b05c90\">" + kEmptyState + "</layout>", "<layout>AAAA/w</layout>"),
            "it is no base64 text");
    leftOut(load("<layout crc32=\"34b05c90\">" + kEmptyState + "</layout>",
                 "<layout>AAAA/wAAAAD9AAAAAQAAAAQ=</layout>"),
            "it is damaged: a dock area 4 outside 0 to 3 at byte 13");
}

// The breakpoints and the watch list are kept; a lab without them (as
// saved before they were) reads as it did, and an entry a lab cannot use is
// left out with a note while the rest opens.
TEST_F(LabFiles, BreakpointsAndWatchesAreKept) {
    const std::string path = (dir / "lab.quill").string();
    std::string error;
    Lab debugging = sample();
    debugging.breakpoints = {{"debug_demo.c:18"}, {"tick"}};
    debugging.watches = {{"counter", "decimal"}, {"SREG", "binary"}, {"a<&>\"b", "hex"}};
    ASSERT_TRUE(saveLab(debugging, path, &error)) << error;
    const std::string text = read(path);
    EXPECT_NE(text.find("<breakpoint at=\"debug_demo.c:18\" />"), std::string::npos) << text;
    std::optional<Lab> lab = loadLab(path, &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_EQ(*lab, debugging);

    // Saved without them: no <debugger>, and none read.
    ASSERT_TRUE(saveLab(sample(), path, &error)) << error;
    EXPECT_EQ(read(path).find("<debugger"), std::string::npos);
    lab = loadLab(path, &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_TRUE(lab->breakpoints.empty());
    EXPECT_TRUE(lab->watches.empty());

    std::string damaged = text;
    damaged.replace(damaged.find("format=\"binary\""), 15, "format=\"octal\"");
    damaged.replace(damaged.find("<breakpoint at=\"tick\" />"), 24, "<breakpoint />");
    std::ofstream(path, std::ios::trunc) << damaged;
    lab = loadLab(path, &error);
    ASSERT_TRUE(lab) << error;
    EXPECT_EQ(lab->breakpoints, std::vector<LabBreakpoint>{{"debug_demo.c:18"}});
    ASSERT_EQ(lab->watches.size(), 3u);
    EXPECT_EQ(lab->watches[1], (LabWatch{"SREG", "hex"}));
    ASSERT_EQ(lab->notes.size(), 2u) << damaged;
    EXPECT_EQ(lab->notes[0], "the lab's watch of \"SREG\" has no format \"octal\"; it is shown in hex");
    EXPECT_EQ(lab->notes[1], "1 breakpoint(s) or watch(es) of the lab were left out (no name, or "
                             "more than 256 of a kind)");
}

}  // namespace
