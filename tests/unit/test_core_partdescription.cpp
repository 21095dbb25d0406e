// Register names <-> I/O addresses from part description files, the
// converter channel count, and their behaviour on bad input.
#include "test_core_fixture.h"

namespace {

class PartDescription : public CoreTest {
protected:
    int Mapped(const std::string& name) { return view->GetRegisterAddress(name); }
    std::vector<std::string> AllNames() { return view->GetAvailableRegistersByName({"*"}); }
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

TEST_F(PartDescription, ReadsTheLastTwoHexDigitsOfTheAddressText) {
    Session("Test", PartXml(Reg("A", "0x3B") + Reg("B", "$5") + Reg("C", "7") + Reg("D", "") +
                            "<E/>" + Reg("F", "$1G") + Reg("G", "$2a")));
    EXPECT_EQ(Mapped("A"), 0x3B);
    EXPECT_EQ(view->GetRegisterName(0), "B");  // "$5": stops at '$'
    EXPECT_EQ(Mapped("C"), 7);                 // a single character is read whole
    EXPECT_EQ(Mapped("D"), 0);
    EXPECT_TRUE(services().HasText("Mapped D to adress  (0)."));
    EXPECT_EQ(Mapped("F"), 1);  // stops at 'G'
    EXPECT_EQ(Mapped("G"), 0x2A);
    // A register without IO_ADDR is skipped silently.
    for (const auto& m : services().messages)
        EXPECT_EQ(m.text.find("Mapped E "), std::string::npos);
}

TEST_F(PartDescription, SkipsExtendedAndOutOfRangeRegisters) {
    Session("Test", PartXml(Reg("UDR1", "na") + Reg("OCR3A", "NA") + Reg("BIG", "$FF") +
                            Reg("SREG", "$3F")));
    EXPECT_TRUE(
        services().HasText("Skipped mapping UDR1 to extended memory adress (NOT SUPPORTED)."));
    EXPECT_TRUE(
        services().HasText("Skipped mapping OCR3A to extended memory adress (NOT SUPPORTED)."));
    EXPECT_TRUE(services().HasText(
        "Skipped mapping BIG to adress $FF: outside the I/O space (0x00-0x3F)."));
    EXPECT_EQ(Mapped("UDR1"), 0);
    EXPECT_EQ(Mapped("BIG"), 0);
    EXPECT_EQ(AllNames(), (std::vector<std::string>{"SREG"}));
}

TEST_F(PartDescription, FirstAddressOfADuplicateNameStaysButBothAddressesGetTheName) {
    Session("Test", PartXml(Reg("TIMSK", "$39") + Reg("TIMSK", "$37") + Reg("OTHER", "$39")));
    EXPECT_EQ(Mapped("TIMSK"), 0x39);
    EXPECT_EQ(view->GetRegisterName(0x39), "TIMSK");
    EXPECT_EQ(view->GetRegisterName(0x37), "TIMSK");
    EXPECT_EQ(Mapped("OTHER"), 0x39);  // its name lost the address to TIMSK
}

TEST_F(PartDescription, ACommentBeforeTheFirstRegisterHidesNothing) {
    Session("Test", PartXml("<!-- I/O registers -->" + Reg("PORTB", "$18")));
    EXPECT_EQ(Mapped("PORTB"), 0x18);
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
    view->HandleEvent(104, nullptr);
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

    // A part name naming a path outside the folder is not followed.
    works().installDirectory = dir.path().string();
    std::filesystem::create_directories(dir.path() / "elsewhere");
    std::ofstream(dir.path() / "elsewhere" / "Evil.xml")
        << PartXml("", "<PACKAGES>[P]</PACKAGES><P>" + Pins({"[ADC0]"}) + "</P>");
    EXPECT_EQ(view->GetNumberOfADCChannels("../elsewhere/Evil"), 0);
    EXPECT_EQ(view->GetNumberOfADCChannels("..\\elsewhere\\Evil"), 0);
    EXPECT_TRUE(services().HasText("Number of ADC Channels = 0"));
}
