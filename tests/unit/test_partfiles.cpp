// The part description files shipped with the stand-in host (ATmega16,
// ATmega32, ATmega8): well formed, a complete I/O register map with the data
// sheet addresses, the package list and every pin of every package, and the
// converter channel count that the core derives from the first package.
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
    std::vector<std::string> packages;
    std::vector<int> pinCounts;              // per package, same order
    int adcChannels;                         // counted on the first package
    std::string ports;                       // port letters present
    std::map<char, int> portWidth;           // pins per port
    std::set<int> unusedAddresses;           // reserved I/O addresses
    std::map<std::string, int> addresses;    // data sheet spot checks
    std::map<int, std::string> sharedFirst;  // address -> name listed first
    std::vector<std::string> absent;         // registers the part lacks
};

// Registers common to the ATmega16 and ATmega32 (identical I/O maps).
const std::map<std::string, int> kMega16Addresses = {
    {"PINA", 0x19},  {"DDRA", 0x1A},   {"PORTA", 0x1B},  {"PINB", 0x16},  {"DDRB", 0x17},
    {"PORTB", 0x18}, {"PINC", 0x13},   {"DDRC", 0x14},   {"PORTC", 0x15}, {"PIND", 0x10},
    {"DDRD", 0x11},  {"PORTD", 0x12},  {"ADCSRA", 0x06}, {"ADMUX", 0x07}, {"ADCH", 0x05},
    {"ADCL", 0x04},  {"SPH", 0x3E},    {"SPL", 0x3D},    {"SREG", 0x3F},  {"UBRRH", 0x20},
    {"UCSRC", 0x20}, {"OSCCAL", 0x31}, {"OCDR", 0x31},   {"OCR0", 0x3C},  {"TWBR", 0x00},
    {"EECR", 0x1C},  {"MCUCSR", 0x34}, {"GICR", 0x3B},   {"UDR", 0x0C},   {"UBRRL", 0x09}};

const std::map<std::string, int> kMega8Addresses = {
    {"PINB", 0x16},  {"DDRB", 0x17},  {"PORTB", 0x18}, {"PINC", 0x13},   {"DDRC", 0x14},
    {"PORTC", 0x15}, {"PIND", 0x10},  {"DDRD", 0x11},  {"PORTD", 0x12},  {"ADCSRA", 0x06},
    {"ADMUX", 0x07}, {"ADCH", 0x05},  {"ADCL", 0x04},  {"SPH", 0x3E},    {"SPL", 0x3D},
    {"SREG", 0x3F},  {"UBRRH", 0x20}, {"UCSRC", 0x20}, {"OSCCAL", 0x31}, {"TWBR", 0x00},
    {"GICR", 0x3B},  {"UDR", 0x0C}};

const PartExpectation kParts[] = {
    {"ATmega16",
     {"PDIP", "TQFP", "MLF"},
     {40, 44, 44},
     8,
     "ABCD",
     {{'A', 8}, {'B', 8}, {'C', 8}, {'D', 8}},
     {},
     kMega16Addresses,
     {{0x20, "UBRRH"}, {0x31, "OSCCAL"}},
     {}},
    {"ATmega32",
     {"PDIP", "TQFP", "MLF"},
     {40, 44, 44},
     8,
     "ABCD",
     {{'A', 8}, {'B', 8}, {'C', 8}, {'D', 8}},
     {},
     kMega16Addresses,
     {{0x20, "UBRRH"}, {0x31, "OSCCAL"}},
     {}},
    {"ATmega8",
     {"PDIP", "TQFP", "MLF"},
     {28, 32, 32},
     6,
     "BCD",
     {{'B', 8}, {'C', 7}, {'D', 8}},
     {0x19, 0x1A, 0x1B, 0x3C},
     kMega8Addresses,
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

TEST_P(PartFile, PackagesListEveryPinOnce) {
    const PartExpectation& part = GetParam();
    ASSERT_EQ(PackageList(), part.packages);

    std::map<std::string, std::set<std::string>> portPinFunctions;  // across packages
    for (size_t i = 0; i < part.packages.size(); ++i) {
        const std::string& package = part.packages[i];
        SCOPED_TRACE(package);
        ASSERT_NE(Package(package), nullptr);
        auto pins = Pins(package);
        EXPECT_EQ(static_cast<int>(pins.size()), part.pinCounts[i]);

        std::map<std::string, int> seen;
        std::set<std::string> supplies;
        for (const auto& functions : pins) {
            const std::string& first = functions.front();
            bool portPin = first.size() == 3 && first[0] == 'P' &&
                           part.ports.find(first[1]) != std::string::npos &&
                           std::isdigit(static_cast<unsigned char>(first[2]));
            if (portPin) {
                ++seen[first];
                std::set<std::string> rest(functions.begin() + 1, functions.end());
                auto [it, fresh] = portPinFunctions.emplace(first, rest);
                if (!fresh) {
                    EXPECT_EQ(it->second, rest) << first << " differs between packages";
                }
            } else {
                supplies.insert(first);
            }
            for (const std::string& f : functions) {
                // Only converter inputs may begin with ADC: the channel count relies on it.
                if (StartsWithAdc(f)) {
                    EXPECT_TRUE(f.size() == 4 && f[3] >= '0' && f[3] <= '7') << f;
                }
            }
        }
        for (char port : part.ports) {
            for (int bit = 0; bit < part.portWidth.at(port); ++bit) {
                std::string pin = std::string("P") + port + std::to_string(bit);
                EXPECT_EQ(seen[pin], 1) << pin;
            }
        }
        for (const char* s : {"VCC", "GND", "AVCC", "AREF"}) EXPECT_EQ(supplies.count(s), 1u) << s;
    }
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
