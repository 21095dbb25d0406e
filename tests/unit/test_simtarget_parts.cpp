// The simulator's parts as data: each description file whose part simavr
// has a core for, checked against that core; and the parts with extended
// I/O served through the target access like the I/O space (pins, the
// bank-wide refresh filter).
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host/sim/PartTable.h"
#include "host/sim/SimTargetAccess.h"
#include "tests/support/TestFiles.h"

extern "C" {
#include <sim_avr.h>
}


using quill::sim::loadPart;
using quill::sim::PartInfo;
using quill::sim::runnableParts;
using quill::sim::SimError;
using quill::sim::SimTarget;
using quill::sim::SimTargetAccess;

namespace {

// A folder of part descriptions made for one test.
struct Folder {
    std::filesystem::path path;
    explicit Folder(const std::string& name)
        : path(std::filesystem::temp_directory_path() / ("quill_parts_" + name)) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~Folder() { std::filesystem::remove_all(path); }
    void write(const std::string& file, const std::string& text) const {
        std::ofstream(path / file) << text;
    }
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

// Every shipped description is a part the simulator runs, with the ports,
// USARTs, memories and ELF architectures of simavr's core and the
// description's addresses.
TEST(PartTable, ShippedPartsComeFromTheirFilesAndSimavrsCores) {
    std::map<std::string, std::string> refused;
    const auto parts = runnableParts(quill::sim::defaultPartFolder(), &refused);
    EXPECT_EQ(parts, (std::vector<std::string>{"ATmega16", "ATmega2560", "ATmega32", "ATmega328P",
                                               "ATmega644P", "ATmega8", "ATtiny85"}));
    EXPECT_TRUE(refused.empty()) << refused.begin()->first << ": " << refused.begin()->second;

    std::string why;
    const auto letters = [](const PartInfo& p) {
        std::string s;
        for (const auto& port : p.ports) s += port.letter;
        return s;
    };
    const auto mega = loadPart(quill::sim::defaultPartFolder(), "atmega2560", &why);
    ASSERT_TRUE(mega) << why;
    EXPECT_EQ(mega->name, "ATmega2560");
    EXPECT_EQ(letters(*mega), "ABCDEFGHJKL");
    const PartInfo::Port* l = mega->port('L');
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->pin, 0x109);
    EXPECT_EQ(l->port, 0x10B);
    EXPECT_EQ(mega->usarts, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(mega->sramStart, 0x200);
    EXPECT_EQ(mega->ramEnd, 0x21FF);
    EXPECT_EQ(mega->flashBytes, 256u * 1024);
    EXPECT_EQ(mega->elfArchs, std::vector<int>{6});
    // The trigger source in ADCSRB, the free-running bit ADATE in ADCSRA.
    EXPECT_EQ(mega->adcsra, 0x7A);
    ASSERT_EQ(mega->trigger.size(), 3u);
    EXPECT_EQ(mega->trigger[0].address, 0x7B);
    EXPECT_EQ(mega->freeRunning.address, 0x7A);
    EXPECT_EQ(mega->freeRunning.mask, 0x20);

    const auto uno = loadPart(quill::sim::defaultPartFolder(), "ATmega328P", &why);
    ASSERT_TRUE(uno) << why;
    EXPECT_EQ(letters(*uno), "BCD");
    EXPECT_EQ(uno->usarts, std::vector<int>{0});
    EXPECT_EQ(uno->elfArchs, (std::vector<int>{3, 35, 5}));
    const auto tiny = loadPart(quill::sim::defaultPartFolder(), "ATtiny85", &why);
    ASSERT_TRUE(tiny) << why;
    EXPECT_EQ(letters(*tiny), "B");
    EXPECT_TRUE(tiny->usarts.empty());
    EXPECT_EQ(tiny->elfArchs, (std::vector<int>{2, 25, 4}));
    const auto old = loadPart(quill::sim::defaultPartFolder(), "ATmega16", &why);
    ASSERT_TRUE(old) << why;
    EXPECT_EQ(letters(*old), "ABCD");
    EXPECT_EQ(old->trigger.size(), 3u);
    EXPECT_EQ(old->trigger[0].address, 0x50);  // SFIOR
}

// A description simavr cannot run as described is refused with the
// reason, and so is one for which it has no core.
TEST(PartTable, DescriptionsThatDoNotFitTheCoreAreRefused) {
    Folder folder("refused");
    const std::string uno = testfiles::ShippedPartText("ATmega328P");
    folder.write("ATmega16.xml", testfiles::ShippedPartText("ATmega16"));
    folder.write("ATmega4809.xml", testfiles::ShippedPartText("ATmega16"));
    folder.write("ATmega328P.xml",
                 replaced(uno, "<PORTB><IO_ADDR>$05</IO_ADDR><MEM_ADDR>$25</MEM_ADDR></PORTB>",
                          "<PORTB><IO_ADDR>$06</IO_ADDR><MEM_ADDR>$26</MEM_ADDR></PORTB>"));
    folder.write("ATmega8.xml",
                 replaced(testfiles::ShippedPartText("ATmega8"), "<SIZE>1024</SIZE>",
                          "<SIZE>2048</SIZE>"));
    std::map<std::string, std::string> refused;
    EXPECT_EQ(runnableParts(folder.path.string(), &refused), std::vector<std::string>{"ATmega16"});
    EXPECT_EQ(refused["ATmega4809"], "simavr has no core for the ATmega4809");
    EXPECT_EQ(refused["ATmega328P"],
              "the ATmega328P description does not match simavr's core: PINB, DDRB, PORTB not "
              "at 0x23, 0x24, 0x25");
    EXPECT_EQ(refused["ATmega8"],
              "the ATmega8 description does not match simavr's core: SRAM ends at 0x85F, "
              "RAMEND at 0x45F");

    // A target made from such a part says why.
    try {
        SimTarget target("ATmega4809", 1000000, folder.path.string());
        ADD_FAILURE() << "made a part without a core";
    } catch (const SimError& e) {
        EXPECT_STREQ(e.what(), "simavr has no core for the ATmega4809");
    }
    std::string why;
    EXPECT_FALSE(loadPart(folder.path.string(), "ATmega99", &why));
    EXPECT_NE(why.find("no part description of \"ATmega99\""), std::string::npos) << why;
}

// Extended I/O through the target access: a data-kind read of PINL (0x109)
// gives the pin levels as an I/O read of PINA does, a write to it drives
// input pins from outside, plain extended registers are plain storage, and
// the bank filter sees a change of a watched extended register.
TEST(SimTargetParts, ExtendedIoBehavesLikeTheIoSpace) {
    auto target = std::make_shared<SimTarget>("ATmega2560");
    SimTargetAccess* access = SimTargetAccess::create(target);
    EXPECT_EQ(target->bankSize(), 0x200u - 0x20u);

    // PL0..3 outputs driving 0101, PL4..7 inputs, PL7 driven high from
    // outside by a write to PINL.
    uint8_t ddr = 0x0F, port = 0x05;
    ASSERT_EQ(access->Write(kMemoryData, 0x10A, 1, &ddr), S_OK);
    ASSERT_EQ(access->Write(kMemoryData, 0x10B, 1, &port), S_OK);
    uint8_t pin = 0;
    ASSERT_EQ(access->Read(kMemoryData, 0x109, 1, &pin), S_OK);
    EXPECT_EQ(pin, 0x05);
    const uint8_t driven = 0x85;
    ASSERT_EQ(access->Write(kMemoryData, 0x109, 1, &driven), S_OK);
    ASSERT_EQ(access->Read(kMemoryData, 0x109, 1, &pin), S_OK);
    EXPECT_EQ(pin, 0x85);
    EXPECT_EQ(target->io(0x109 - 0x20), 0x85) << "by bank index";
    EXPECT_EQ(target->core()->data[0x109], 0x85) << "the program reads the same";
    // A block read over the bank has the same pin value in its place.
    std::vector<uint8_t> bank(target->bankSize() - 0x40);
    ASSERT_EQ(access->Read(kMemoryData, 0x60, static_cast<ULONG>(bank.size()), bank.data()), S_OK);
    EXPECT_EQ(bank[0x109 - 0x60], 0x85);

    // The bank filter: watching PINL holds while nothing changes and lapses
    // once a pin of it changes; watching OCR5AL (0x128) lapses when it is
    // written.
    std::array<uint64_t, SimTargetAccess::kBankWords> watched{};
    const unsigned pinl = 0x109 - 0x20, ocr = 0x128 - 0x20;
    watched[pinl / 64] |= 1ull << (pinl % 64);
    watched[ocr / 64] |= 1ull << (ocr % 64);
    ASSERT_EQ(access->SetBankRefreshFilter(watched.data(), SimTargetAccess::kBankWords, 0, 0),
              S_OK);
    EXPECT_FALSE(access->refreshNeeded());
    const uint8_t low = 0x05;
    access->Write(kMemoryData, 0x109, 1, &low);  // PL7 low from outside
    EXPECT_TRUE(access->refreshNeeded());
    access->SetBankRefreshFilter(watched.data(), SimTargetAccess::kBankWords, 0, 0);
    EXPECT_FALSE(access->refreshNeeded());
    // As the program's write does: the hook marks what it wrote. The filter
    // compares registers only after a marking.
    auto poke = [&](uint32_t address, uint8_t value) {
        target->core()->data[address] = value;
        target->markAllChanged();
    };
    target->core()->data[0x128] = 0x42;
    EXPECT_FALSE(access->refreshNeeded()) << "nothing marked, nothing compared";
    target->markAllChanged();
    EXPECT_TRUE(access->refreshNeeded());
    // Words past the bank and a short list are fine; the I/O-only filter
    // leaves every extended register unwatched.
    access->SetBankRefreshFilter(watched.data(), 1, 0, 0);
    poke(0x128, 0x43);
    EXPECT_FALSE(access->refreshNeeded());
    EXPECT_EQ(access->SetBankRefreshFilter(nullptr, 2, 0, 0), E_POINTER);

    // The bit filter: only a change in a watched bit lapses it, in a
    // register as in what a pin register is computed from (PL0 of PINL
    // follows bit 0 of PORTL).
    std::vector<uint8_t> bits(target->bankSize(), 0);
    bits[ocr] = 0x01;
    bits[pinl] = 0x01;
    ASSERT_EQ(access->SetBitRefreshFilter(bits.data(), static_cast<ULONG>(bits.size()), 0, 0), S_OK);
    poke(0x128, 0x41);  // bit 1
    poke(0x10B, 0x01);  // PORTL bit 2 low
    EXPECT_FALSE(access->refreshNeeded());
    poke(0x10B, 0x00);  // PL0 low
    EXPECT_TRUE(access->refreshNeeded());
    access->SetBitRefreshFilter(bits.data(), static_cast<ULONG>(bits.size()), 0, 0);
    poke(0x128, 0x40);
    EXPECT_TRUE(access->refreshNeeded());
    // SREG changes with no marking: watched, it is compared every time.
    bits.assign(bits.size(), 0);
    bits[0x3F] = 0x80;
    access->SetBitRefreshFilter(bits.data(), static_cast<ULONG>(bits.size()), 0, 0);
    EXPECT_FALSE(access->refreshNeeded());
    target->core()->sreg[S_I] ^= 1;
    EXPECT_TRUE(access->refreshNeeded());
    EXPECT_EQ(access->SetBitRefreshFilter(nullptr, 2, 0, 0), E_POINTER);
    access->Release();
}

// A run that refreshes after every instruction leaves the filter's values
// untaken; the first run that leaves refreshes out then refreshes at once
// rather than compare with values from before the exact run, and the
// filter set in that refresh holds again.
TEST(SimTargetParts, FilterAfterAnExactRunRefreshesFirst) {
    auto target = std::make_shared<SimTarget>("ATmega16");
    SimTargetAccess* access = SimTargetAccess::create(target);
    std::vector<uint8_t> bits(target->bankSize(), 0);
    bits[0x1B] = 0xFF;  // PORTA
    auto setFilter = [&] {
        return access->SetBitRefreshFilter(bits.data(), static_cast<ULONG>(bits.size()), 0, 0);
    };
    ASSERT_EQ(setFilter(), S_OK);
    bool due = false, stopped = false;
    // The blank flash runs as NOPs: nothing watched changes.
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 10u);
    EXPECT_FALSE(due);
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, false, &due, &stopped), 1u);
    EXPECT_TRUE(due);
    // PORTA changes while refreshes come after every instruction; the
    // filter set then keeps the values of before.
    target->core()->data[0x3B] = 0x55;
    target->markAllChanged();
    ASSERT_EQ(setFilter(), S_OK);
    EXPECT_TRUE(access->refreshNeeded());
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 1u);
    EXPECT_TRUE(due) << "the first instruction refreshes";
    ASSERT_EQ(setFilter(), S_OK);
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 10u);
    EXPECT_FALSE(due);
    target->core()->data[0x3B] = 0x00;
    target->markAllChanged();
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 1u);
    EXPECT_TRUE(due) << "the values taken are PORTA's 0x55";
    access->Release();
}

// The changed registers handed over with their values: only those, and SPL,
// SPH and SREG, are written into the caller's image, pin registers as the
// pins read; a register past the caller's count stays in the set.
TEST(SimTargetParts, ChangedValuesWriteOnlyWhatChanged) {
    auto target = std::make_shared<SimTarget>("ATmega16");
    SimTargetAccess* access = SimTargetAccess::create(target);
    ITargetChangedValues* values = nullptr;
    ASSERT_EQ(access->QueryInterface(IID_ITargetChangedValues, reinterpret_cast<void**>(&values)),
              S_OK);
    const auto bank = static_cast<ULONG>(target->bankSize());
    std::vector<uint8_t> image(bank);
    uint64_t changed = 0;
    // The first answer is the whole bank; PINA reads as its pins (PORTA's
    // pull-ups), not as its storage.
    target->core()->data[0x3B] = 0x55;
    target->core()->data[0x39] = 0x00;
    std::fill(image.begin(), image.end(), 0xEE);
    ASSERT_EQ(values->TakeChangedValues(&changed, 1, image.data(), bank), S_OK);
    EXPECT_EQ(changed, ~uint64_t{0});
    EXPECT_EQ(image[0x19], 0x55);
    for (ULONG i = 0; i < bank; ++i) EXPECT_EQ(image[i], target->io(i)) << i;

    std::fill(image.begin(), image.end(), 0xEE);
    const uint8_t portb = 0x0F;
    ASSERT_EQ(access->Write(kMemoryIo, 0x18, 1, &portb), S_OK);
    ASSERT_EQ(values->TakeChangedValues(&changed, 1, image.data(), bank), S_OK);
    EXPECT_EQ(changed, uint64_t{1} << 0x18);
    for (ULONG i = 0; i < bank; ++i) {
        const bool written = i == 0x18 || i >= kAlwaysReadFirst;
        EXPECT_EQ(image[i], written ? target->io(i) : 0xEE) << i;
    }

    target->markAllChanged();
    ASSERT_EQ(values->TakeChangedValues(&changed, 1, image.data(), 0x20), S_OK);
    EXPECT_EQ(changed, 0xFFFFFFFFu);
    ASSERT_EQ(values->TakeChangedValues(&changed, 1, image.data(), bank), S_OK);
    EXPECT_EQ(changed, 0xFFFFFFFF00000000u);
    EXPECT_EQ(values->TakeChangedValues(nullptr, 1, image.data(), bank), E_POINTER);
    values->Release();

    // Refused with the rest of the changes when they are not offered.
    SimTargetAccess::offerChanges(false);
    SimTargetAccess* plain = SimTargetAccess::create(target);
    SimTargetAccess::offerChanges(true);
    void* none = &changed;
    EXPECT_EQ(plain->QueryInterface(IID_ITargetChangedValues, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    plain->Release();
    access->Release();
}

// A port write puts its port in the set, and an interrupt flag or timer
// count only when one changed: a pin change may raise a flag without any
// handler of the flag's running, so the take compares them.
TEST(SimTargetParts, FlagsAreInTheSetOnlyWhenTheyChanged) {
    SimTarget target("ATmega16");
    const auto program = testfiles::ScratchFile("quill_simtarget_parts", "porta.hex");
    // ldi r16, 2; out PORTA, r16; rjmp .-4 (back to the out).
    testfiles::WriteFile(program, testfiles::HexProgram({0xE002, 0xBB0B, 0xCFFE}));
    target.loadFirmware(program.string());
    std::array<uint64_t, 1> changed{};
    auto take = [&] {
        target.takeChanges(changed.data(), 1);
        return changed[0];
    };
    take();  // the whole bank, at first
    constexpr unsigned kPorta = 0x1B, kGifr = 0x3A, kTifr = 0x38;
    target.step();
    target.step();
    uint64_t set = take();
    EXPECT_TRUE(set >> kPorta & 1);
    EXPECT_FALSE(set >> kGifr & 1);
    EXPECT_FALSE(set >> kTifr & 1);
    // A flag a pin change raised, beside the program's port write.
    target.core()->data[0x20 + kGifr] |= 0x40;
    target.step();
    target.step();
    set = take();
    EXPECT_TRUE(set >> kGifr & 1);
    EXPECT_TRUE(set >> kPorta & 1);
    EXPECT_FALSE(set >> kTifr & 1);
    // Found once: the next take has it as it was.
    target.step();
    target.step();
    EXPECT_FALSE(take() >> kGifr & 1);
}

// After a run that left nothing out the host says it does not consult the
// filter, and then counts nothing as left out until a filter is set: an
// exact run's refresh must not move the count back to a fast run's.
TEST(SimTargetParts, FilterUnconsultedAfterAnExactRun) {
    auto target = std::make_shared<SimTarget>("ATmega16");
    SimTargetAccess* access = SimTargetAccess::create(target);
    std::vector<uint8_t> bits(target->bankSize(), 0);
    bits[0x1B] = 0xFF;  // PORTA
    ASSERT_EQ(access->SetBitRefreshFilter(bits.data(), static_cast<ULONG>(bits.size()), 0, 0),
              S_OK);
    bool due = false, stopped = false;
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 10u);
    EXPECT_EQ(access->RefreshFilterConsulted(), S_OK);
    ULONG skipped = 0;
    EXPECT_EQ(access->GetSkippedCycleCounter(&skipped), S_OK);
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, false, &due, &stopped), 1u);
    EXPECT_TRUE(due);
    EXPECT_EQ(access->RefreshFilterConsulted(), S_FALSE);
    EXPECT_EQ(access->GetSkippedCycleCounter(&skipped), S_FALSE);
    // Without a filter set since, a run leaving out refreshes refreshes at once.
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 1u);
    EXPECT_TRUE(due);
    access->Release();
}

// A fall of a bit whose fall may wait leaves the refresh out and is handed
// over later; its rise, or a fall of a bit another watch needs at once,
// refreshes.
namespace {

// An ATmega16 toggling PA1: sbi PORTA, 1; cbi PORTA, 1; rjmp .-6 (back to
// the sbi), two cycles each.
std::shared_ptr<SimTarget> TogglingPa1() {
    auto target = std::make_shared<SimTarget>("ATmega16");
    const auto program = testfiles::ScratchFile("quill_simtarget_parts", "toggle.hex");
    testfiles::WriteFile(program, testfiles::HexProgram({0x9AD9, 0x98D9, 0xCFFD}));
    target->loadFirmware(program.string());
    return target;
}

}  // namespace

TEST(SimTargetParts, WaitingFallsAreNotedAndHandedOver) {
    auto target = TogglingPa1();
    SimTargetAccess* access = SimTargetAccess::create(target);
    constexpr unsigned kPina = 0x19, kPorta = 0x1B;
    std::vector<uint8_t> bits(target->bankSize(), 0), waiting(target->bankSize(), 0);
    bits[kPorta] = 0x02;
    waiting[kPorta] = 0x02;
    const auto count = static_cast<ULONG>(bits.size());
    std::array<uint64_t, 1> which{};
    std::vector<uint8_t> fell(bits.size(), 0);
    auto setFilter = [&] {
        ASSERT_EQ(access->SetFallRefreshFilter(bits.data(), waiting.data(), count, 0, 0), S_OK);
    };
    bool due = false, stopped = false;
    setFilter();
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 1u);  // the rise
    EXPECT_TRUE(due);
    EXPECT_EQ(access->TakeFalls(which.data(), 1, fell.data(), count), S_FALSE);
    std::array<uint64_t, 1> changed{};
    target->takeChanges(changed.data(), 1);
    setFilter();
    // The fall is noted, the jump runs, the next rise refreshes.
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 3u);
    EXPECT_TRUE(due);
    ASSERT_EQ(access->TakeFalls(which.data(), 1, fell.data(), count), S_OK);
    EXPECT_EQ(which[0], uint64_t{1} << kPorta);
    EXPECT_EQ(fell[kPorta], 0x02);
    EXPECT_EQ(access->TakeFalls(which.data(), 1, fell.data(), count), S_FALSE);
    target->takeChanges(changed.data(), 1);
    EXPECT_TRUE(changed[0] >> kPorta & 1);
    // PINA's bit 1 follows PORTA's: watched there too, the fall refreshes.
    bits[kPina] = 0x02;
    setFilter();
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 1u);
    EXPECT_TRUE(due);
    EXPECT_EQ(access->TakeFalls(which.data(), 1, fell.data(), count), S_FALSE);
    // Without waiting bits every change refreshes, as with the bit filter.
    bits[kPina] = 0;
    ASSERT_EQ(access->SetBitRefreshFilter(bits.data(), count, 0, 0), S_OK);
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 2u);  // jump, rise
    ASSERT_EQ(access->SetBitRefreshFilter(bits.data(), count, 0, 0), S_OK);
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 1u);  // the fall
    access->Release();
}

// A logged register's changes are recorded instead of refreshed: the count
// after each instruction and the value, oldest first, taken in parts; a
// full list refreshes; a watched bit still refreshes on its rise, its fall
// is noted and recorded. A pin register (computed) is left to the filter.
TEST(SimTargetParts, LoggedChangesAreRecordedInsteadOfRefreshed) {
    auto target = TogglingPa1();
    SimTargetAccess* access = SimTargetAccess::create(target);
    constexpr unsigned kPina = 0x19, kPorta = 0x1B;
    const auto count = static_cast<ULONG>(target->bankSize());
    std::vector<uint8_t> recorded(count, 0), bits(count, 0), waiting(count, 0);
    recorded[kPina] = recorded[kPorta] = 1;
    ASSERT_EQ(access->SetRecordedRegisters(recorded.data(), count), S_OK);
    EXPECT_EQ(recorded[kPina], 0);
    EXPECT_EQ(recorded[kPorta], 1);
    auto setFilter = [&] {
        ASSERT_EQ(access->SetFallRefreshFilter(bits.data(), waiting.data(), count, 0, 0), S_OK);
    };
    std::vector<ULONG> cycles(8192);
    std::vector<uint8_t> values(8192);
    ULONG taken = 0;
    bool due = false, stopped = false;
    setFilter();
    const uint64_t start = target->cycles();
    // Ten instructions, seven of them sbi or cbi: seven records.
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 10u);
    EXPECT_FALSE(due);
    ASSERT_EQ(access->TakeRecords(cycles.data(), values.data(), 3, &taken), S_OK);
    ASSERT_EQ(taken, 3u);
    ASSERT_EQ(access->TakeRecords(cycles.data() + 3, values.data() + 3, 100, &taken), S_OK);
    ASSERT_EQ(taken, 4u);
    const uint64_t ends[] = {2, 4, 8, 10, 14, 16, 20};
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(cycles[k], static_cast<ULONG>(start + ends[k])) << k;
        EXPECT_EQ(values[k], k % 2 == 0 ? 0x02 : 0x00) << k;
    }
    EXPECT_EQ(access->TakeRecords(cycles.data(), values.data(), 100, &taken), S_FALSE);
    EXPECT_EQ(taken, 0u);
    // A full list refreshes after the instruction that found it full.
    const std::size_t capacity = access->recordCapacity();
    ASSERT_GT(capacity, 0u);
    ASSERT_LE(capacity, cycles.size());
    setFilter();
    EXPECT_LT(access->runUntilRefresh(~0ull, 4 * capacity, true, &due, &stopped), 4 * capacity);
    EXPECT_TRUE(due);
    ASSERT_EQ(access->TakeRecords(cycles.data(), values.data(), static_cast<ULONG>(cycles.size()),
                                  &taken),
              S_OK);
    EXPECT_EQ(taken, capacity);
    // PORTA's bit 1 watched, its falls waiting: the rise refreshes without
    // a record, the fall is noted and recorded.
    bits[kPorta] = waiting[kPorta] = 0x02;
    while (target->io(kPorta) != 0) {
        setFilter();
        access->runUntilRefresh(~0ull, 1, true, &due, &stopped);
    }
    setFilter();
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 2u);  // jump, rise
    EXPECT_TRUE(due);
    access->TakeRecords(cycles.data(), values.data(), 100, &taken);
    EXPECT_EQ(taken, 0u);
    setFilter();
    EXPECT_EQ(access->runUntilRefresh(~0ull, 10, true, &due, &stopped), 3u);  // fall, jump, rise
    ASSERT_EQ(access->TakeRecords(cycles.data(), values.data(), 100, &taken), S_OK);
    ASSERT_EQ(taken, 1u);
    EXPECT_EQ(values[0], 0x00);
    std::array<uint64_t, 1> which{};
    std::vector<uint8_t> fell(count, 0);
    EXPECT_EQ(access->TakeFalls(which.data(), 1, fell.data(), count), S_OK);
    access->Release();
    // A host that tells no changes records none either.
    SimTargetAccess::offerChanges(false);
    SimTargetAccess* plain = SimTargetAccess::create(target);
    SimTargetAccess::offerChanges(true);
    void* record = nullptr;
    EXPECT_EQ(plain->QueryInterface(IID_ITargetChangeRecord, &record), E_NOINTERFACE);
    plain->Release();
}

// The ATmega2560's timer outputs on its extended ports: Timer5's OC5A is
// PL3, and a program's fast PWM there shows on PINL with PORTL untouched.
TEST(SimTargetParts, TimerOutputsOnExtendedPorts) {
    SimTarget target("ATmega2560");
    const auto program = testfiles::ScratchFile("quill_simtarget_parts", "loop.hex");
    // ldi r16, K; sts A, r16 for DDRL bit 3, OCR5AL 64, TCCR5A COM5A1 and
    // WGM50, TCCR5B WGM52 and CS50 (fast PWM 8-bit, no prescaler), then
    // rjmp .-2.
    testfiles::WriteFile(program, testfiles::HexProgram({0xE008, 0x9300, 0x010A, 0xE400, 0x9300,
                                                         0x0128, 0xE801, 0x9300, 0x0120, 0xE009,
                                                         0x9300, 0x0121, 0xCFFF}));
    target.loadFirmware(program.string());
    uint64_t high = 0, low = 0;
    for (int i = 0; i < 4000; ++i) {
        const uint64_t before = target.cycles();
        target.step();
        ((target.io(0x109 - 0x20) >> 3) & 1 ? high : low) += target.cycles() - before;
    }
    EXPECT_GT(high, 0u);
    EXPECT_NEAR(static_cast<double>(high) / static_cast<double>(high + low), 65.0 / 256, 0.03);
    EXPECT_EQ(target.io(0x10B - 0x20), 0x00) << "PORTL stays as the program left it";
}
