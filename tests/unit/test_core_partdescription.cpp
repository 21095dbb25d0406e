// Register names <-> I/O addresses from part description files, the
// converter channel count, and their behaviour on bad input.
#include <cstdio>

#include "test_core_fixture.h"
#include "tests/support/TestFiles.h"

namespace {

class PartDescription : public CoreTest {
protected:
    int Mapped(const std::string& name) { return view->GetRegisterAddress(name); }
    std::vector<std::string> AllNames() { return view->GetAvailableRegistersByName({"*"}); }
    // Some message holds the text.
    bool Said(const std::string& text) {
        for (const auto& m : services().messages)
            if (m.text.find(text) != std::string::npos) return true;
        return false;
    }
};

std::string Pins(const std::vector<std::string>& texts, const char* element = "NAME") {
    std::string xml;
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string pin = "PIN" + std::to_string(i + 1);
        xml += "<" + pin + "><" + element + ">" + texts[i] + "</" + element + "></" + pin + ">";
    }
    return xml;
}

}  // namespace

// One address parser for host and module: "$hh" or "0xhh" in the I/O
// space; anything else is reported and left out, never read as another
// address ("$11B" is not 0x1B, "0x1000" is not 0x00). A comment before the
// first register hides nothing.
TEST_F(PartDescription, AddressesAreReadWholeAndBadOnesReported) {
    Session("Test",
            PartXml("<!-- I/O registers -->" + Reg("A", "0x3B") + Reg("B", "$5") + Reg("C", "7") +
                    Reg("D", "") + "<E/>" + Reg("F", "$1G") + Reg("G", "$2a") +
                    Reg("PORTA", "$11B") + Reg("H", "0x1000") + Reg("I", "$003F")));
    EXPECT_EQ(Mapped("A"), 0x3B);
    EXPECT_EQ(Mapped("B"), 5);
    EXPECT_EQ(Mapped("G"), 0x2A);
    EXPECT_EQ(Mapped("I"), 0x3F);
    for (const char* refused : {"C", "D", "F", "PORTA", "H"}) {
        EXPECT_EQ(Mapped(refused), 0) << refused;
        EXPECT_TRUE(Said("Skipped register " + std::string(refused) + ": IO_ADDR")) << refused;
    }
    EXPECT_TRUE(Said("\"$11B\" lies outside the I/O space"));
    EXPECT_TRUE(Said("\"$1G\" has text after the address"));
    EXPECT_TRUE(Said("\"0x1000\" lies outside the I/O space"));
    EXPECT_TRUE(Said("\"7\" is not an address"));
    // A register without IO_ADDR is no register entry: skipped silently.
    for (const auto& m : services().messages) EXPECT_EQ(m.text.find(" E"), std::string::npos);
}

// "NA" without MEM_ADDR is still skipped with its line; with one it is
// mapped at data address - 0x20 when SRAM starts above it, and reported
// when it does not lie in extended I/O.
TEST_F(PartDescription, ExtendedRegistersAreMappedInsideTheBankOnly) {
    auto ext = [](const std::string& name, const std::string& mem) {
        return "<" + name + "><IO_ADDR>NA</IO_ADDR><MEM_ADDR>" + mem + "</MEM_ADDR></" + name + ">";
    };
    const std::string sram = "<INT_SRAM><START_ADDR>$100</START_ADDR><SIZE>2048</SIZE></INT_SRAM>";
    Session("Test", "<AVRPART><MEMORY>" + sram + "<IO_MEMORY>" + Reg("UDR1", "na") +
                        ext("UDR0", "$C6") + ext("ADMUX", "0x7C") + ext("LOW", "$5F") +
                        ext("HIGH", "$100") + ext("BAD", "C6") + Reg("BIG", "$FF") +
                        Reg("SREG", "$3F") + "</IO_MEMORY></MEMORY></AVRPART>");
    EXPECT_TRUE(Said("Skipped mapping UDR1 to extended memory adress (NOT SUPPORTED)."));
    EXPECT_TRUE(Said("Mapped UDR0 to extended memory address $C6 (166)."));
    EXPECT_TRUE(Said("Mapped ADMUX to extended memory address 0x7C (92)."));
    EXPECT_EQ(Mapped("UDR0"), 0xA6);
    EXPECT_EQ(Mapped("ADMUX"), 0x5C);
    EXPECT_TRUE(Said("Skipped register LOW: MEM_ADDR \"$5F\" lies in the I/O space; extended I/O "
                     "starts at $60."));
    EXPECT_TRUE(Said("Skipped register HIGH: MEM_ADDR \"$100\" lies in SRAM, which starts at $100."));
    EXPECT_TRUE(Said("Skipped register BAD: MEM_ADDR \"C6\" is not an address"));
    EXPECT_TRUE(
        Said("Skipped register BIG: IO_ADDR \"$FF\" lies outside the I/O space (0x00-0x3F)."));
    EXPECT_EQ(Mapped("UDR1"), 0);
    EXPECT_EQ(Mapped("BIG"), 0);
    EXPECT_EQ(view->RegisterBankSize(), 0xE0);
    EXPECT_EQ(AllNames(), (std::vector<std::string>{"ADMUX", "SREG", "UDR0"}));
    // The list of names by index runs to the highest mapped index.
    const std::vector<std::string>& list = view->GetAvailableRegisters();
    ASSERT_EQ(list.size(), 0xA7u);
    EXPECT_EQ(list[0x5C], "ADMUX");
    EXPECT_EQ(list[0xA6], "UDR0");
}

// Without INT_SRAM SRAM starts at 0x60: no extended I/O, so an extended
// register has no place and is reported. A bad INT_SRAM is reported and
// the default taken.
TEST_F(PartDescription, InternalSramDefaultsAndBadValues) {
    const std::string udr0 = "<UDR0><IO_ADDR>NA</IO_ADDR><MEM_ADDR>$C6</MEM_ADDR></UDR0>";
    InitView();
    struct Case {
        std::string sram;
        std::string said;
    };
    const std::vector<Case> cases = {
        {"", "Skipped register UDR0: MEM_ADDR \"$C6\" lies in SRAM, which starts at $60."},
        {"<INT_SRAM><START_ADDR>$40</START_ADDR><SIZE>512</SIZE></INT_SRAM>",
         "Skipped MEMORY/INT_SRAM START_ADDR \"$40\" lies outside $60-$200; SRAM is taken to "
         "start at $60 with 1024 bytes."},
        {"<INT_SRAM><START_ADDR>$100</START_ADDR><SIZE>2k</SIZE></INT_SRAM>",
         "Skipped MEMORY/INT_SRAM SIZE \"2k\" is no decimal byte count"},
        {"<INT_SRAM><START_ADDR>$100</START_ADDR><SIZE>65281</SIZE></INT_SRAM>",
         "Skipped MEMORY/INT_SRAM SIZE \"65281\" is no decimal byte count"},
        {"<INT_SRAM><SIZE>512</SIZE></INT_SRAM>", "Skipped MEMORY/INT_SRAM has no START_ADDR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sram);
        services().messages.clear();
        const std::string name = "Part" + std::to_string(&c - cases.data());
        WritePart(name, "<AVRPART><MEMORY>" + c.sram + "<IO_MEMORY>" + udr0 + Reg("SREG", "$3F") +
                            "</IO_MEMORY></MEMORY></AVRPART>");
        StartDebugging(name);
        EXPECT_TRUE(Said(c.said));
        EXPECT_EQ(view->RegisterBankSize(), 64);
        EXPECT_EQ(view->DataStart(), 0x60);
        EXPECT_EQ(view->DataSize(), 1024);
        EXPECT_EQ(view->IORegister(64), nullptr);
        view->HandleEvent(kEventSessionEnded, nullptr);
    }
}

// A name given twice keeps its first address and the second is reported;
// two names sharing an address (as real parts have) are both kept, the
// first shown for the address.
TEST_F(PartDescription, DuplicateNamesAndSharedAddressesAreReported) {
    Session("Test", PartXml(Reg("TIMSK", "$39") + Reg("TIMSK", "$37") + Reg("OTHER", "$39")));
    EXPECT_EQ(Mapped("TIMSK"), 0x39);
    EXPECT_EQ(view->GetRegisterName(0x39), "TIMSK");
    EXPECT_EQ(view->GetRegisterName(0x37), "");
    EXPECT_EQ(Mapped("OTHER"), 0x39);
    EXPECT_TRUE(Said("Skipped register TIMSK appears twice"));
    EXPECT_TRUE(Said("Note: TIMSK and OTHER share $39"));
}

// Files the module cannot use say so and map nothing. The reader's other
// refusals (empty, a second root, text outside the root, nested too deep,
// no IO_MEMORY) come from the same function and are checked with their
// texts by corpus.partdesc.*.
TEST_F(PartDescription, UnusableFilesAreReportedAsSuch) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<AVRPART><MEMORY><IO_MEMORY>", "is not well-formed XML"},
        {"<PART/>", "not <AVRPART>"},
    };
    InitView();
    for (const auto& [text, why] : cases) {
        SCOPED_TRACE(why);
        services().messages.clear();
        WritePart("Bad", text);
        StartDebugging("Bad");
        EXPECT_TRUE(Said(why));
        EXPECT_TRUE(AllNames().empty());
        view->HandleEvent(104, nullptr);
    }
}

TEST_F(PartDescription, LookupsBeforeThePartIsKnownDoNotShadowTheRealEntries) {
    InitView();
    EXPECT_EQ(Mapped("PORTB"), 0);
    EXPECT_EQ(view->GetRegisterName(0x18), "");
    WritePart("Test", PartXml(Reg("PORTB", "$18")));
    StartDebugging("Test");
    EXPECT_EQ(Mapped("PORTB"), 0x18);
    EXPECT_EQ(view->GetRegisterName(0x18), "PORTB");
}

TEST_F(PartDescription, RegisterNamesOutsideTheTableAnswerUnknownOrEmpty) {
    Session("Test", PartXml(Reg("PORTB", "$18")));
    EXPECT_EQ(view->GetRegisterName(65), "UNKNOWN");
    EXPECT_EQ(view->GetRegisterName(-1), "UNKNOWN");
    EXPECT_EQ(view->GetRegisterName(64), "");
    EXPECT_EQ(view->GetRegisterName(0x20), "");  // unmapped: empty, and now in the table
    EXPECT_EQ(AllNames(), (std::vector<std::string>{"", "PORTB"}));
}

TEST_F(PartDescription, MissingOrBrokenFilesMapNothingAndSaySo) {
    InitView();
    WritePart("Broken", "<AVRPART><MEMORY><IO_MEMORY><PORTB><IO_ADDR>$18</IO_ADDR>");
    StartDebugging("Broken");
    EXPECT_TRUE(view->IsSimulator());
    EXPECT_EQ(Mapped("PORTB"), 0);
    EXPECT_TRUE(AllNames().empty());
    EXPECT_TRUE(services().HasText("Number of ADC Channels = 0"));
    int diagnoses = 0;
    for (const auto& m : services().messages) {
        if (m.text.find("Partdescriptionfiles\\Broken.xml could not be read") !=
            std::string::npos) {
            ++diagnoses;
        }
    }
    EXPECT_EQ(diagnoses, 2);  // the channel count and the register map

    services().messages.clear();
    view->HandleEvent(kEventSessionEnded, nullptr);
    StartDebugging("Absent");
    EXPECT_TRUE(view->IsSimulator());
    EXPECT_TRUE(services().HasText("Number of ADC Channels = 0"));
    EXPECT_TRUE(AllNames().empty());
}

TEST_F(PartDescription, PathIsFormedInTheHostsFormAndPartNamesStayInTheFolder) {
    InitView();
    EXPECT_EQ(view->PartDescriptionFilePath("ATmega16", true), "unknown");
    works().debugging = 1;
    view->ConnectTarget();
    works().installDirectory = "C:\\AvrStudio4";
    EXPECT_EQ(view->PartDescriptionFilePath("ATmega16", true),
              "C:\\AvrStudio4\\Partdescriptionfiles\\ATmega16.xml");
    EXPECT_EQ(view->PartDescriptionFilePath("ATmega16", false), "ATmega16");

    // No install directory: no path at the root of the file system, and a
    // line saying why nothing was read.
    works().installDirectory.clear();
    EXPECT_EQ(view->PartDescriptionFilePath("ATmega16", true), "");
    EXPECT_EQ(view->GetNumberOfADCChannels("ATmega16"), 0);
    EXPECT_TRUE(services().HasText(
        "Part description ATmega16 could not be read (the host gave no install directory)."));

    // A part name naming a path outside the folder is not followed.
    works().installDirectory = dir.path().string();
    std::filesystem::create_directories(dir.path() / "elsewhere");
    std::ofstream(dir.path() / "elsewhere" / "Evil.xml")
        << PartXml("", "<PACKAGES>[P]</PACKAGES><P>" + Pins({"[ADC0]"}) + "</P>");
    EXPECT_EQ(view->GetNumberOfADCChannels("../elsewhere/Evil"), 0);
    EXPECT_EQ(view->GetNumberOfADCChannels("..\\elsewhere\\Evil"), 0);
    EXPECT_TRUE(services().HasText("Number of ADC Channels = 0"));
}

TEST_F(PartDescription, RegistersByNameMatchPatternsAndSort) {
    std::string regs;
    const char* letters = "ABCD";
    for (int i = 0; i < 4; ++i) {
        const std::string l(1, letters[i]);
        regs += Reg("PORT" + l, "$" + std::to_string(0x1B - 3 * i)) +
                Reg("DDR" + l, "$" + std::to_string(0x1A - 3 * i)) +
                Reg("PIN" + l, "$" + std::to_string(0x19 - 3 * i));
    }
    Session("Test", PartXml(regs + Reg("SPDR", "$0F")));
    services().messages.clear();
    EXPECT_EQ(
        view->GetAvailableRegistersByName({"PIN", "DDR"}),
        (std::vector<std::string>{"DDRA", "DDRB", "DDRC", "DDRD", "PINA", "PINB", "PINC", "PIND"}));
    EXPECT_TRUE(services().HasText("Found 8 occurance(s)."));
    EXPECT_EQ(services().messages.back().prefix,
              "CLEDView::GetAvailableRegistersByName(const char *args,...) -->");

    // Exact case; a name matching two patterns is taken once; an empty
    // pattern ends the list.
    EXPECT_EQ(view->GetAvailableRegistersByName({"PORTA", "PORT", "", "SPDR"}),
              (std::vector<std::string>{"PORTA", "PORTB", "PORTC", "PORTD"}));
    EXPECT_TRUE(view->GetAvailableRegistersByName({"port"}).empty());
    EXPECT_TRUE(view->GetAvailableRegistersByName({}).empty());

    view->GetRegisterName(0);  // adds an empty name
    std::vector<std::string> all = view->GetAvailableRegistersByName({"DDRA", "*", "PIN"});
    ASSERT_EQ(all.size(), 14u);
    EXPECT_EQ(all.front(), "");
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
}

TEST_F(PartDescription, CountsConverterChannelsOfTheFirstPackage) {
    std::vector<std::string> pins;
    for (int i = 0; i < 8; ++i) {
        pins.push_back("[PA" + std::to_string(i) + ":ADC" + std::to_string(i) + "]");
    }
    pins.push_back("[ADC6]");
    pins.push_back("[PB0:adc]");  // case does not matter
    pins.push_back("[AD:ADCSRA_LIKE_BUT_LONG]");
    Session("Test", PartXml("", "<PACKAGES>[PDIP:TQFP]</PACKAGES><PDIP>" + Pins(pins) +
                                    "</PDIP><TQFP>" + Pins({"[ADC0]"}) + "</TQFP>"));
    EXPECT_TRUE(services().HasText("Number of ADC Channels = 11"));
    EXPECT_EQ(view->GetNumberOfADCChannels("Test"), 11);
}

TEST_F(PartDescription, AChangedPartRebuildsTheTablesBetweenSessions) {
    WritePart("PartB", PartXml(Reg("PORTB", "$05") + Reg("PINB", "$03")));
    Session("PartA", PartXml(Reg("PORTB", "$18") + Reg("SPL", "$3D")));
    view->GetRegisterName(0x10);  // a lookup entry of the old part
    EXPECT_EQ(view->GetAvailableRegisters().size(), 0x3Eu);

    view->HandleEvent(kEventSessionEnded, nullptr);
    StartDebugging("PartB");
    EXPECT_EQ(Mapped("PORTB"), 5);
    EXPECT_EQ(Mapped("SPL"), 0);
    EXPECT_EQ(AllNames(), (std::vector<std::string>{"PINB", "PORTB"}));
    const std::vector<std::string>& list = view->GetAvailableRegisters();
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[5], "PORTB");
    EXPECT_TRUE(
        services().HasText("Selected part changed from PartA to PartB; rebuilding the register "
                           "tables."));
    EXPECT_EQ(view->MappedPart(), "PartB");

    // The same part again keeps what the tables hold.
    view->HandleEvent(kEventSessionEnded, nullptr);
    StartDebugging("PartB");
    EXPECT_EQ(view->GetAvailableRegisters().size(), 6u);
}

namespace {

// One module session on a part description of its own.
class ShippedSession : public CoreTest {
public:
    ShippedSession(const std::string& part, const std::string& xml) {
        Session(part, xml);
        registers = view->GetAvailableRegisters();
        for (std::string line : services().Lines()) {
            // The install folder differs between two sessions.
            const std::string folder = dir.path().string();
            for (size_t at; (at = line.find(folder)) != std::string::npos;)
                line.replace(at, folder.size(), "<install>");
            lines.push_back(line);
        }
    }
    void TestBody() override {}
    CLEDView* core() { return view; }
    int Mapped(const std::string& name) { return view->GetRegisterAddress(name); }
    bool Said(const std::string& text) { return services().HasText(text); }

    std::vector<std::string> registers, lines;
};

}  // namespace

// The shipped files of the old parts carry MEMORY/INT_SRAM: the same
// messages, the same register table and the same converter as from the
// file without it (their SRAM starts at 0x60, so the bank stays 64).
TEST(ShippedPartDescriptions, InternalSramChangesNothingOnTheOldParts) {
    for (const char* part : {"ATmega16", "ATmega32", "ATmega8"}) {
        const std::string shipped = testfiles::ShippedPartText(part);
        const size_t from = shipped.find("    <INT_SRAM>");
        const size_t to = shipped.find("</INT_SRAM>\n");
        ASSERT_NE(from, std::string::npos) << part;
        ASSERT_NE(to, std::string::npos) << part;
        const std::string without = shipped.substr(0, from) + shipped.substr(to + 12);
        ASSERT_EQ(without.find("INT_SRAM"), std::string::npos);
        // One plug-in object at a time, as a host has.
        std::vector<std::string> withLines, withRegisters;
        int withData = 0;
        {
            ShippedSession with(part, shipped);
            withLines = with.lines;
            withRegisters = with.registers;
            withData = with.core()->DataSize();
            EXPECT_EQ(with.core()->RegisterBankSize(), 64) << part;
        }
        ShippedSession plain(part, without);
        ASSERT_FALSE(withLines.empty()) << part;
        EXPECT_EQ(withLines, plain.lines) << part;
        EXPECT_EQ(withRegisters, plain.registers) << part;
        EXPECT_EQ(withRegisters.size(), 64u) << part;
        // Only the memory window follows the file: the ATmega32 has 2 KiB.
        EXPECT_EQ(withData, std::string(part) == "ATmega32" ? 2048 : 1024) << part;
        EXPECT_EQ(plain.core()->DataSize(), 1024) << part;
    }
}

// The files of the parts with extended I/O: the I/O space as before, every
// extended register at its data address - 0x20 with a line of its own, the
// bank and the memory window up to and from the start of SRAM; the
// converter's inputs are those its description counts.
TEST(ShippedPartDescriptions, PartsWithExtendedIoMapEveryRegisterOfTheirBank) {
    struct Case {
        const char* part;
        int channels;
        const char* ioRegister;
        int ioAddress;
        const char* extended;
        int dataAddress;
        int bank;
        int sramSize;
    };
    for (const Case& c : {Case{"ATmega328P", 8, "PORTB", 0x05, "ADMUX", 0x7C, 0xE0, 2048},
                          Case{"ATmega2560", 16, "PORTA", 0x02, "PORTL", 0x10B, 0x1E0, 8192},
                          Case{"ATmega644P", 8, "PORTA", 0x02, "UDR1", 0xCE, 0xE0, 4096},
                          Case{"ATtiny85", 4, "ADMUX", 0x07, nullptr, 0, 0x40, 512}}) {
        ShippedSession session(c.part, testfiles::ShippedPartText(c.part));
        EXPECT_EQ(session.Mapped(c.ioRegister), c.ioAddress) << c.part;
        EXPECT_EQ(session.Mapped("SREG"), 0x3F) << c.part;
        EXPECT_EQ(session.core()->RegisterBankSize(), c.bank) << c.part;
        EXPECT_EQ(session.core()->DataSize(), c.sramSize) << c.part;
        EXPECT_EQ(session.core()->DataStart(), c.bank + 0x20) << c.part;
        if (c.extended) {
            const int index = c.dataAddress - 0x20;
            char line[128];
            std::snprintf(line, sizeof line, "Mapped %s to extended memory address $%X (%d).",
                          c.extended, c.dataAddress, index);
            EXPECT_TRUE(session.Said(line)) << c.part << ": " << line;
            EXPECT_EQ(session.Mapped(c.extended), index) << c.part;
            EXPECT_EQ(session.core()->GetRegisterName(index), c.extended) << c.part;
            EXPECT_NE(session.core()->IORegister(index), nullptr) << c.part;
        }
        EXPECT_EQ(session.core()->IORegister(c.bank), nullptr) << c.part;
        EXPECT_EQ(session.core()->GetRegisterName(c.bank), "") << c.part;
        EXPECT_EQ(session.core()->GetRegisterName(c.bank + 1), "UNKNOWN") << c.part;
        EXPECT_TRUE(session.Said("Number of ADC Channels = " + std::to_string(c.channels)))
            << c.part;
        for (const std::string& line : session.lines) {
            EXPECT_EQ(line.find("Skipped"), std::string::npos) << c.part << ": " << line;
        }
        EXPECT_LE(session.registers.size(), static_cast<size_t>(c.bank)) << c.part;
    }
}
