// The part description files shipped with the stand-in host (ATmega16,
// ATmega32, ATmega8): well formed, a complete I/O register map with the data
// sheet addresses, and the converter channel count that the core derives
// from the first package.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

std::string Text(const TiXmlElement* e) {
    const char* t = e ? e->GetText() : nullptr;
    return t ? t : "";
}

// "[A:B:C]" -> {"A", "B", "C"}; an empty vector when the brackets are missing.
std::vector<std::string> BracketList(const std::string& text) {
    std::vector<std::string> pieces;
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return pieces;
    std::string inner = text.substr(1, text.size() - 2);
    size_t start = 0;
    for (;;) {
        size_t colon = inner.find(':', start);
        pieces.push_back(inner.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return pieces;
}

bool StartsWithAdc(const std::string& piece) {
    if (piece.size() < 3) return false;
    std::string head = piece.substr(0, 3);
    for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return head == "ADC";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class PartFile : public ::testing::TestWithParam<PartExpectation> {
protected:
    void SetUp() override {
        path_ = std::string(QUILL_SOURCE_DIR) + "/host/Partdescriptionfiles/" + GetParam().name +
                ".xml";
        ASSERT_TRUE(doc_.LoadFile(path_.c_str()))
            << path_ << ": " << doc_.ErrorDesc() << " (row " << doc_.ErrorRow() << ")";
    }

    TiXmlHandle Root() { return TiXmlHandle(&doc_).FirstChildElement("AVRPART"); }

    const TiXmlElement* Package(const std::string& name) {
        return Root().FirstChildElement("PACKAGE").FirstChildElement(name.c_str()).ToElement();
    }

    std::vector<std::string> PackageList() {
        return BracketList(
            Text(Root().FirstChildElement("PACKAGE").FirstChildElement("PACKAGES").ToElement()));
    }

    // Pin number -> function list, from PIN1, PIN2, ... of one package.
    std::vector<std::vector<std::string>> Pins(const std::string& package) {
        std::vector<std::vector<std::string>> pins;
        const TiXmlElement* pkg = Package(package);
        if (!pkg) return pins;
        for (const TiXmlElement* pin = pkg->FirstChildElement(); pin;
             pin = pin->NextSiblingElement()) {
            EXPECT_EQ(std::string(pin->Value()), "PIN" + std::to_string(pins.size() + 1))
                << package << " pins out of order";
            std::string text = Text(pin->FirstChildElement("NAME"));
            std::vector<std::string> functions = BracketList(text);
            EXPECT_FALSE(functions.empty())
                << package << " " << pin->Value() << ": '" << text << "' is not a bracketed list";
            for (const std::string& f : functions)
                EXPECT_FALSE(f.empty()) << package << " " << pin->Value() << ": empty function";
            pins.push_back(functions);
        }
        return pins;
    }

    // (name, IO_ADDR text) in document order.
    std::vector<std::pair<std::string, std::string>> Registers() {
        std::vector<std::pair<std::string, std::string>> regs;
        const TiXmlElement* io =
            Root().FirstChildElement("MEMORY").FirstChildElement("IO_MEMORY").ToElement();
        for (const TiXmlElement* r = io ? io->FirstChildElement() : nullptr; r;
             r = r->NextSiblingElement())
            regs.emplace_back(r->Value(), Text(r->FirstChildElement("IO_ADDR")));
        return regs;
    }

    std::string path_;
    TiXmlDocument doc_;
};

TEST_P(PartFile, RegisterMapIsCompleteAndWellFormed) {
    const PartExpectation& part = GetParam();
    auto regs = Registers();
    ASSERT_FALSE(regs.empty());

    std::set<std::string> names;
    std::set<int> used;
    std::map<std::string, int> byName;  // first address kept, as the reader does
    std::map<int, std::string> byAddress;
    const TiXmlElement* io =
        Root().FirstChildElement("MEMORY").FirstChildElement("IO_MEMORY").ToElement();
    const TiXmlElement* element = io->FirstChildElement();
    for (const auto& [name, text] : regs) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second) << "listed twice";
        EXPECT_TRUE(std::all_of(name.begin(), name.end(),
                                [](char c) { return std::isupper(c) || std::isdigit(c); }));
        ASSERT_EQ(text.size(), 3u) << "'" << text << "'";
        ASSERT_EQ(text[0], '$');
        int hi = HexDigit(text[1]), lo = HexDigit(text[2]);
        ASSERT_TRUE(hi >= 0 && lo >= 0) << "'" << text << "'";
        int address = hi * 16 + lo;
        EXPECT_LE(address, 0x3F);
        used.insert(address);
        byName.emplace(name, address);
        byAddress.emplace(address, name);

        // The data address, where given, is the I/O address plus 0x20.
        std::string mem = Text(element->FirstChildElement("MEM_ADDR"));
        if (!mem.empty()) {
            ASSERT_EQ(mem.size(), 3u);
            EXPECT_EQ(HexDigit(mem[1]) * 16 + HexDigit(mem[2]), address + 0x20) << mem;
        }
        element = element->NextSiblingElement();
    }

    // Every I/O address is taken except the data sheet's reserved ones.
    for (int a = 0; a < 64; ++a)
        EXPECT_EQ(used.count(a) == 0, part.unusedAddresses.count(a) == 1) << "address " << a;

    for (const auto& [name, address] : part.addresses) {
        auto it = byName.find(name);
        ASSERT_NE(it, byName.end()) << name << " missing";
        EXPECT_EQ(it->second, address) << name;
    }
    for (const auto& [address, name] : part.sharedFirst) EXPECT_EQ(byAddress[address], name);
    for (const std::string& name : part.absent) EXPECT_EQ(byName.count(name), 0u) << name;
}

// The core counts converter channels on the first package listed: every
// function piece that begins with "ADC" in any case.
TEST_P(PartFile, AdcChannelsOfFirstPackage) {
    const PartExpectation& part = GetParam();
    auto packages = PackageList();
    ASSERT_FALSE(packages.empty());
    int count = 0;
    for (const auto& functions : Pins(packages.front()))
        count += static_cast<int>(std::count_if(functions.begin(), functions.end(), StartsWithAdc));
    EXPECT_EQ(count, part.adcChannels);
}

INSTANTIATE_TEST_SUITE_P(Shipped, PartFile, ::testing::ValuesIn(kParts),
                         [](const ::testing::TestParamInfo<PartExpectation>& info) {
                             return info.param.name;
                         });

}  // namespace
