// The part description files shipped with the stand-in host (ATmega16,
// ATmega32, ATmega8), read by the module as a session on each part reads
// them: every I/O address named except the data sheet's reserved ones, data
// sheet spot checks, the name listed first where two share an address,
// registers the part lacks, no entry skipped, and the converter channels of
// the first package.
#include <algorithm>
#include <map>
#include <ostream>
#include <set>

#include "test_core_fixture.h"

namespace {

struct PartExpectation {
    std::string name;
    int adcChannels;                         // counted on the first package
    std::set<int> unusedAddresses;           // reserved I/O addresses
    std::map<std::string, int> addresses;    // data sheet spot checks
    std::map<int, std::string> sharedFirst;  // address -> name listed first
    std::vector<std::string> absent;         // registers the part lacks
};

const PartExpectation kParts[] = {
    {"ATmega16",
     8,
     {},
     {{"PINA", 0x19}, {"ADCSRA", 0x06}, {"SREG", 0x3F}, {"UCSRC", 0x20}, {"OCDR", 0x31}},
     {{0x20, "UBRRH"}, {0x31, "OSCCAL"}},
     {}},
    {"ATmega32",
     8,
     {},
     {{"PINA", 0x19}, {"ADCSRA", 0x06}, {"SREG", 0x3F}, {"UCSRC", 0x20}, {"OCDR", 0x31}},
     {{0x20, "UBRRH"}, {0x31, "OSCCAL"}},
     {}},
    {"ATmega8",
     6,
     {0x19, 0x1A, 0x1B, 0x3C},
     {{"PINB", 0x16}, {"ADCSRA", 0x06}, {"SREG", 0x3F}, {"UCSRC", 0x20}, {"OSCCAL", 0x31}},
     {{0x20, "UBRRH"}},
     {"PORTA", "DDRA", "PINA", "OCR0", "OCDR"}},
};

// Failures name the part instead of dumping the expectation's bytes.
void PrintTo(const PartExpectation& part, std::ostream* os) { *os << part.name; }

class PartFile : public CoreTest, public ::testing::WithParamInterface<PartExpectation> {};

TEST_P(PartFile, RegisterMapAndConverterChannelsMatchTheDataSheet) {
    const PartExpectation& part = GetParam();
    works().installDirectory = QUILL_SOURCE_DIR "/host";
    InitView();
    StartDebugging(part.name);
    ASSERT_EQ(view->MappedPart(), part.name);

    for (int a = 0; a < 64; ++a) {
        EXPECT_EQ(view->GetRegisterName(a).empty(), part.unusedAddresses.count(a) == 1)
            << "address " << a;
    }
    for (const auto& [name, address] : part.addresses) {
        EXPECT_EQ(view->GetRegisterAddress(name), address) << name;
    }
    for (const auto& [address, name] : part.sharedFirst) {
        EXPECT_EQ(view->GetRegisterName(address), name);
    }
    const std::vector<std::string> names = view->GetAvailableRegistersByName({"*"});
    for (const std::string& name : part.absent) {
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << name;
    }
    // Every entry was read: no bad address, no name listed twice.
    for (const auto& m : services().messages) {
        EXPECT_EQ(m.text.find("Skipped"), std::string::npos) << m.text;
    }
    EXPECT_EQ(view->GetNumberOfADCChannels(part.name), part.adcChannels);
}

INSTANTIATE_TEST_SUITE_P(Shipped, PartFile, ::testing::ValuesIn(kParts),
                         [](const ::testing::TestParamInfo<PartExpectation>& info) {
                             return info.param.name;
                         });

}  // namespace
