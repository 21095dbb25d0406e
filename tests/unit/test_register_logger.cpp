// The register logger: dump format and layout, the log file's life, and the
// dumps the core writes at register notifications.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "debugaids/RegisterLogger.h"
#include "test_core_fixture.h"
#include "tests/support/TestFiles.h"

using namespace testfiles;

namespace {

std::string nameOf(int index) {
    switch (index) {
        case 0x17:
            return "DDRB";
        case 0x18:
            return "PORTB";
        default:
            return "";
    }
}

RegisterSet select(std::initializer_list<int> indices) {
    RegisterSet s;
    for (int i : indices) s.set(i);
    return s;
}

}  // namespace

TEST(RegisterLoggerFormat, DefaultLayoutByteForByteInAddressOrder) {
    uint8_t io[64] = {};
    io[0x17] = 0xFF;
    io[0x18] = 0x0F;
    io[0x30] = 0xA5;
    EXPECT_EQ(
        RegisterLogger::Format(LoggerLayout{}, select({0x18, 0x30, 0x17}), 1234, 0.0, io, nameOf),
        "(1234) Dump of selected I/O Registers: \n"
        "DDRB=0xFF\nPORTB=0x0F\nUNKNOWN=0xA5\n");
    EXPECT_EQ(RegisterLogger::Format(LoggerLayout{}, select({}), 4294967295u, 0.0, io, nameOf),
              "(4294967295) Dump of selected I/O Registers: \n");
}

TEST(RegisterLoggerFormat, LayoutOptionsChangeHeaderAndNumberBases) {
    uint8_t io[64] = {};
    io[0x18] = 0x0F;
    const auto portb = select({0x18});
    LoggerLayout layout;
    layout.precedeByCycleCounter = false;
    layout.precedeByRunningTime = true;
    layout.octalValues = true;
    layout.binaryValues = true;
    EXPECT_EQ(RegisterLogger::Format(layout, portb, 50, 12.5, io, nameOf),
              "[12.500 us] Dump of selected I/O Registers: \n"
              "PORTB=0x0F 0017 0b00001111\n");
    layout.hexValues = layout.octalValues = layout.binaryValues = false;
    layout.precedeByComment = false;  // data lines only
    EXPECT_EQ(RegisterLogger::Format(layout, portb, 50, 12.5, io, nameOf), "PORTB=15\n");
}

// The running time reads as printf's "%.3f" always has, at the rounding
// edges and for long runs too.
TEST(RegisterLoggerFormat, RunningTimeReadsAsPrintfWritesIt) {
    uint8_t io[64] = {};
    LoggerLayout layout;
    layout.precedeByCycleCounter = false;
    layout.precedeByRunningTime = true;
    for (double us : {0.0, 0.0005, 0.0015, 1.0 / 16, 0.9995, 2.675, 62.5, 1234567.8915,
                      268435455.9375, 4294967295.0 / 0.125, 1e15}) {
        char expected[96];
        std::snprintf(expected, sizeof expected, "[%.3f us] Dump of selected I/O Registers: \n", us);
        EXPECT_EQ(RegisterLogger::Format(layout, select({}), 0, us, io, nameOf), expected) << us;
    }
}

TEST(RegisterLoggerFile, PathFromDirectoryAndName) {
    EXPECT_EQ(RegisterLogger::FilePath("", ""), "test.dbg");
    EXPECT_EQ(RegisterLogger::FilePath("log.dbg", ""), "log.dbg");
    EXPECT_EQ(RegisterLogger::FilePath("", "out"), "out/test.dbg");
    EXPECT_EQ(RegisterLogger::FilePath("log.dbg", "out"), "out/log.dbg");
    EXPECT_EQ(RegisterLogger::FilePath("log.dbg", "out/"), "out/log.dbg");
}

TEST(RegisterLoggerFile, OpensOnlyWhileLoggingAndNeverTruncatesNeedlessly) {
    TempDir dir;
    const auto file = dir.path() / "log.dbg";
    const std::string earlier = "(1) Dump of selected I/O Registers: \nPORTB=0x00\n";
    WriteFile(file, earlier);  // an earlier log
    RegisterLogger logger;
    LoggerChoice choice{{0x18}, false, true, "log.dbg", dir.path().string()};

    // Logging off: the file is neither opened nor truncated.
    EXPECT_EQ(logger.Apply(choice), "");
    EXPECT_EQ(logger.openFile(), "");
    EXPECT_EQ(ReadFile(file), earlier);

    choice.enabled = true;
    EXPECT_EQ(logger.Apply(choice), "");
    EXPECT_EQ(logger.openFile(), file.string());
    uint8_t io[64] = {};
    logger.Dump(7, 0.0, io, nameOf, nullptr);
    // The same choice again (OK without changes) keeps the file going.
    EXPECT_EQ(logger.Apply(choice), "");
    logger.Dump(8, 0.0, io, nameOf, nullptr);
    EXPECT_EQ(ReadFile(file),
              "(7) Dump of selected I/O Registers: \nPORTB=0x00\n"
              "(8) Dump of selected I/O Registers: \nPORTB=0x00\n");

    // To the window: the file is closed and stays as it was.
    choice.toFile = false;
    std::vector<std::string> lines;
    EXPECT_EQ(logger.Apply(choice), "");
    EXPECT_EQ(logger.openFile(), "");
    logger.Dump(9, 0.0, io, nameOf, [&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(lines,
              (std::vector<std::string>{"(9) Dump of selected I/O Registers: ", "PORTB=0x00"}));
    EXPECT_NE(ReadFile(file).find("(8)"), std::string::npos);
    // The window choice keeps the file name the file choice gave.
    EXPECT_EQ(logger.fileName(), "log.dbg");

    // A directory that does not exist yet is made.
    choice.toFile = true;
    choice.directory = (dir.path() / "new" / "deeper").string();
    EXPECT_EQ(logger.Apply(choice), "");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "new" / "deeper" / "log.dbg"));

    // A file that cannot be opened is reported, and the log goes on where it was.
    choice.directory = dir.path().string();
    choice.fileName = "new";  // a directory
    std::string why = logger.Apply(choice);
    EXPECT_NE(why.find("Cannot write the log file"), std::string::npos) << why;
    choice.directory = (file / "below").string();  // under a plain file
    why = logger.Apply(choice);
    EXPECT_NE(why.find("is not a folder"), std::string::npos) << why;
    EXPECT_EQ(logger.openFile(), (dir.path() / "new" / "deeper" / "log.dbg").string());
}

// ---- Through the plug-in object

class LoggerCoreTest : public CoreTest {
protected:
    void SetUp() override {
        Session("Test", PartXml(Reg("DDRB", "0x17") + Reg("PORTB", "0x18") + Reg("PINB", "0x16")));
    }
};

TEST_F(LoggerCoreTest, EveryRegisterNotificationAppendsADumpOfTheChosenRegisters) {
    const auto file = dir.path() / "out" / "log.dbg";
    std::filesystem::create_directories(file.parent_path());
    view->ApplyLoggerChoice({{view->GetRegisterAddress("PORTB"), view->GetRegisterAddress("DDRB")},
                             true,
                             true,
                             "log.dbg",
                             (dir.path() / "out").string()});
    target().Io()[0x17] = 0xFF;
    target().Io()[0x18] = 0x01;
    target().cycleCounter = 100;
    Refresh();  // two registers changed: one dump shows both, the second would repeat it
    std::string text = ReadFile(file);
    EXPECT_EQ(text, "(100) Dump of selected I/O Registers: \nDDRB=0xFF\nPORTB=0x01\n");

    // One changed register: one more dump with the fresh values.
    target().Io()[0x18] = 0x02;
    target().cycleCounter = 104;
    Refresh();
    text = ReadFile(file);
    EXPECT_NE(text.find("(104) Dump of selected I/O Registers: \nDDRB=0xFF\nPORTB=0x02\n"),
              std::string::npos);

    // A switch setting an input outside a refresh writes back; a register
    // that is not chosen changes no line, so no dump repeats the last one.
    view->IORegister(0x16)->set(0x80);
    EXPECT_EQ(ReadFile(file), text);
    view->IORegister(0x18)->set(0x80);
    EXPECT_NE(ReadFile(file).find("(104) Dump of selected I/O Registers: \nDDRB=0xFF\nPORTB=0x80\n",
                                  text.size()),
              std::string::npos);
}

TEST_F(LoggerCoreTest, WindowDestinationWritesTheDumpToTheOutputOnly) {
    view->ApplyLoggerChoice({{0x18}, true, false, "", ""});
    target().Io()[0x18] = 0x3C;
    target().cycleCounter = 42;
    Refresh();
    EXPECT_EQ(services().CountText("(42) Dump of selected I/O Registers: "), 1);
    EXPECT_EQ(services().CountText("PORTB=0x3C"), 1);
    EXPECT_EQ(view->Logger().openFile(), "");
}

TEST_F(LoggerCoreTest, UnopenableFileIsReportedAndInitResetsTheLogger) {
    std::filesystem::create_directories(dir.path() / "x.dbg");  // a directory, not a file
    view->ApplyLoggerChoice({{0x18}, true, true, "x.dbg", dir.path().string()});
    bool reported = false;
    for (const auto& line : services().Lines()) {
        if (line.find("Cannot write the log file") != std::string::npos) reported = true;
    }
    EXPECT_TRUE(reported);
    view->Logger().layout().hexValues = false;
    InitView();
    EXPECT_FALSE(view->Logger().enabled());
    EXPECT_TRUE(view->Logger().selectedRegisters().empty());
    EXPECT_EQ(view->Logger().layout(), LoggerLayout{});
}

TEST(RegisterLoggerFile, HeldBackDumpsGoOutInBlocksAndBeforeTheSizeLimitStopsThem) {
    TempDir dir;
    const auto file = dir.path() / "log.dbg";
    RegisterLogger logger;
    const std::string dump7 = "(7) Dump of selected I/O Registers: \nPORTB=0x01\n";
    LoggerChoice choice{{0x18}, true, true, "log.dbg", dir.path().string(), 2 * dump7.size()};
    ASSERT_EQ(logger.Apply(choice), "");
    logger.SetHoldBack(true);
    uint8_t io[64] = {};
    io[0x18] = 0x01;
    EXPECT_EQ(logger.Dump(7, 0.0, io, nameOf, nullptr), "");
    EXPECT_EQ(ReadFile(file), "");  // held back
    EXPECT_EQ(logger.Flush(), "");
    EXPECT_EQ(ReadFile(file), dump7);
    io[0x18] = 0x02;
    EXPECT_EQ(logger.Dump(8, 0.0, io, nameOf, nullptr), "");
    // The third dump would pass the limit: the second still goes out.
    io[0x18] = 0x03;
    const std::string stopped = logger.Dump(9, 0.0, io, nameOf, nullptr);
    EXPECT_NE(stopped.find("reached its size limit"), std::string::npos) << stopped;
    EXPECT_EQ(ReadFile(file), dump7 + "(8) Dump of selected I/O Registers: \nPORTB=0x02\n");
    EXPECT_EQ(logger.openFile(), "");
}

TEST_F(LoggerCoreTest, AHostThatSaysWhenItLooksGetsTheRefreshesDumpsThenAndAClickAtOnce) {
    const auto file = dir.path() / "log.dbg";
    view->ApplyLoggerChoice({{0x18}, true, true, "log.dbg", dir.path().string()});
    ComPtr<IPluginIdle> idle;
    ASSERT_EQ(view->QueryInterface(IID_IPluginIdle, idle.putVoid()), S_OK);
    ASSERT_EQ(idle->HostIdle(), S_OK);  // from now on the log may be held back
    target().Io()[0x18] = 0x01;
    target().cycleCounter = 10;
    Refresh();
    EXPECT_EQ(ReadFile(file), "");
    idle->HostIdle();
    const std::string first = "(10) Dump of selected I/O Registers: \nPORTB=0x01\n";
    EXPECT_EQ(ReadFile(file), first);
    // A change outside a refresh (a click while halted) is written at once.
    view->IORegister(0x18)->set(0x80);
    EXPECT_EQ(ReadFile(file), first + "(10) Dump of selected I/O Registers: \nPORTB=0x80\n");
}

// A dump writes only the values that changed over the lines of the last
// one: every dump must still read as if formatted afresh, through changed
// values, bases, selections, names and a smaller bank.
TEST(RegisterLoggerFormat, EachDumpReadsAsIfFormattedAfresh) {
    RegisterLogger logger;
    ASSERT_EQ(logger.Apply({{0x17, 0x18, 0x30}, true, false, "", ""}), "");
    std::vector<uint8_t> bank(96, 0);
    RegisterLogger::NameOf names = nameOf;
    uint32_t cycles = 90;
    auto dumpAndCompare = [&](const char* step) {
        std::string written;
        logger.Dump(++cycles, 0.0, bank, names, [&](std::string_view line) {
            written += line;
            written += '\n';
        });
        EXPECT_EQ(written, RegisterLogger::Format(logger.layout(), logger.bankSelection(), cycles,
                                                  0.0, bank, names))
            << step;
    };
    bank[0x18] = 0x0F;
    dumpAndCompare("first");
    bank[0x18] = 0xF0;
    bank[0x30] = 0x01;
    dumpAndCompare("two values");
    bank[0x17] = 0x80;
    logger.layout().binaryValues = true;
    dumpAndCompare("binary beside hex");
    logger.layout().hexValues = logger.layout().binaryValues = false;
    bank[0x17] = 0x7B;
    dumpAndCompare("decimal");
    bank[0x17] = 0x08;
    dumpAndCompare("decimal, one digit");
    logger.layout().octalValues = true;
    bank[0x30] = 0xFF;
    dumpAndCompare("octal");
    ASSERT_EQ(logger.Apply({{0x18, 0x50}, true, false, "", ""}), "");
    logger.layout().octalValues = false;
    logger.layout().hexValues = true;
    bank[0x50] = 0x42;
    dumpAndCompare("another selection");
    names = [](int i) { return i == 0x50 ? std::string("UDR1") : nameOf(i); };
    logger.ForgetNames();
    bank[0x18] = 0x11;
    dumpAndCompare("names taken anew");
    bank.resize(64);  // 0x50 is past this part's bank
    bank[0x18] = 0x12;
    dumpAndCompare("smaller bank");
}
