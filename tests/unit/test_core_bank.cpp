// The register bank of a part with extended I/O (the ATmega328P, SRAM at
// 0x100): extended registers reach their subjects from data memory, a
// component's input goes back to its one data address, the logger and the
// refresh filter cover them, the converter's flag finds ADCSRA in extended
// I/O, and the memory window is the part's SRAM.
#include <algorithm>

#include "test_core_fixture.h"
#include "tests/support/TestFiles.h"

namespace {

constexpr int kAdmux = 0x7C - 0x20;   // 0x5C
constexpr int kAdcsra = 0x7A - 0x20;  // 0x5A
constexpr int kUdr0 = 0xC6 - 0x20;    // 0xA6
constexpr int kPortb = 0x05;

// Counts the notifications of one subject.
struct Hits {
    explicit Hits(Subject* s) : observer(s, this, &Hits::hit) {}
    void hit() { ++count; }
    int count = 0;
    CallOnWrite<Hits> observer;
};

class Bank : public CoreTest {
protected:
    void SetUp() override { start(false, false); }
    void start(bool direct, bool bankFilter, bool bitFilter = false) {
        target().SetLayout(0x100, 2048);
        target().offerDirectAccess = direct;
        target().offerBankFilter = bankFilter;
        target().offerBitFilter = bitFilter;
        Session("ATmega328P", testfiles::ShippedPartText("ATmega328P"));
        target().calls = &calls;
        Refresh();  // the first refresh: every subject notifies from now on
        calls.clear();
        target().writes.clear();
    }
    void setData(int address, uint8_t value) {
        ASSERT_TRUE(target().SetDataByte(static_cast<size_t>(address), value));
    }
    uint8_t data(int address) {
        uint8_t v = 0;
        EXPECT_TRUE(target().DataByte(static_cast<size_t>(address), &v));
        return v;
    }
    std::vector<memhost::InMemoryTarget::Written> DataWrites() {
        std::vector<memhost::InMemoryTarget::Written> out;
        for (const auto& w : target().writes)
            if (w.kind == kMemoryData) out.push_back(w);
        return out;
    }
    std::vector<std::string> calls;
};

// A direct-access host with or without the bank-wide filter.
class DirectBank : public Bank {
protected:
    void SetUp() override {}
};

}  // namespace

TEST_F(Bank, ExtendedRegistersReachTheirSubjectsFromDataMemory) {
    ASSERT_EQ(view->RegisterBankSize(), 0xE0);
    EXPECT_EQ(view->GetRegisterAddress("ADMUX"), kAdmux);
    Hits admux(view->IORegister(kAdmux));
    Hits portb(view->IORegister(kPortb));
    setData(0x7C, 0x45);
    Refresh();
    EXPECT_EQ(view->IORegister(kAdmux)->get(), 0x45);
    EXPECT_EQ(admux.count, 1);
    EXPECT_EQ(portb.count, 0);
    // The refresh reads the I/O space and the extended block, both whole.
    auto read = [&](const std::string& head) {
        return std::count_if(calls.begin(), calls.end(),
                             [&](const std::string& c) { return c.rfind(head, 0) == 0; });
    };
    EXPECT_EQ(read("ReadMemory io $0000 64 "), 1);
    EXPECT_EQ(read("ReadMemory data $0060 160 "), 1);
    Refresh();
    EXPECT_EQ(admux.count, 1);  // no change, no notification
}

// A component's input outside a refresh goes to its one data address,
// into the register as the part holds it; during a refresh too, and never
// as the whole block (a write to UDR0 would send a byte).
TEST_F(Bank, AComponentsInputGoesBackOnlyToItsAddress) {
    setData(0xC6, 0x0F);
    Refresh();
    target().writes.clear();
    setData(0xC6, 0x1F);  // the program changed it since
    view->IORegister(kUdr0)->set(0x0E);  // the component clears bit 0
    std::vector<memhost::InMemoryTarget::Written> writes = DataWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 0xC6u);
    EXPECT_EQ(writes[0].bytes, (std::vector<uint8_t>{0x1E}));
    EXPECT_EQ(data(0xC6), 0x1E);

    // Refreshes without a component's change write no data memory at all.
    target().writes.clear();
    setData(0x7C, 0x40);
    Refresh();
    Refresh();
    EXPECT_TRUE(DataWrites().empty());

    // During a refresh: an observer of ADMUX sets UDR0; only UDR0 goes back.
    struct Setter {
        CLEDView* view;
        void changed() { view->IORegister(kUdr0)->set(0x55); }
    } setter{view};
    CallOnChange<Setter, uint8_t> watch(view->IORegister(kAdmux), &setter, &Setter::changed);
    setData(0x7C, 0x41);
    Refresh();
    writes = DataWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 0xC6u);
    EXPECT_EQ(writes[0].bytes, (std::vector<uint8_t>{0x55}));
    // The next refresh sees its own input, not a change, and writes nothing.
    target().writes.clear();
    Hits udr(view->IORegister(kUdr0));
    Refresh();
    EXPECT_EQ(udr.count, 0);
    EXPECT_TRUE(DataWrites().empty());
}

TEST_F(Bank, TheConverterFlagGoesToAdcsraInExtendedIo) {
    setData(0x7A, 0x87);
    Refresh();
    target().writes.clear();
    const uint8_t io6 = target().Io()[6];
    view->SetAdifPending();
    Refresh();
    EXPECT_EQ(data(0x7A), 0x97);
    EXPECT_EQ(target().Io()[6], io6);  // not the old parts' index 6 (DDRC here)
    const auto writes = DataWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 0x7Au);
    Refresh();
    EXPECT_EQ(view->IORegister(kAdcsra)->get(), 0x97);
}

TEST_F(Bank, TheLoggerDumpsExtendedRegisters) {
    LoggerChoice choice;
    choice.enabled = true;
    choice.registers = {kPortb, kAdmux};
    ASSERT_EQ(view->ApplyLoggerChoice(choice), "");
    setData(0x7C, 0xC3);
    Refresh();
    const std::vector<std::string> lines = services().Lines();
    auto said = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    };
    EXPECT_TRUE(said("ADMUX=0xC3"));
    EXPECT_TRUE(said("PORTB=0x00"));
}

// The memory view reads the part's SRAM: 2 KiB from 0x100.
TEST_F(Bank, TheMemoryWindowIsThePartsSram) {
    EXPECT_EQ(view->DataStart(), 0x100);
    EXPECT_EQ(view->DataSize(), 2048);
    setData(0x100, 0x11);
    setData(0x8FF, 0x22);
    view->ReadMemoryView();
    EXPECT_EQ(view->DataMemory().front(), 0x11);
    EXPECT_EQ(view->DataMemory().back(), 0x22);
}

// With the bank-wide filter, a watched extended register is one bit of
// the words sent; without it, watching one makes every instruction due.
TEST_F(DirectBank, TheRefreshFilterCoversExtendedRegisters) {
    start(true, true);
    Hits portb(view->IORegister(kPortb));
    Refresh();
    ASSERT_EQ(target().filterWatched.size(), 4u);  // 224 subjects
    EXPECT_EQ(target().filterWatched[0], uint64_t{1} << kPortb);
    EXPECT_EQ(target().filterWatched[1], 0u);
    {
        Hits admux(view->IORegister(kAdmux));
        Refresh();
        EXPECT_EQ(target().filterWatched[1], uint64_t{1} << (kAdmux - 64));
        EXPECT_EQ(target().filterHasDue, 0);
    }
    Refresh();
    EXPECT_EQ(target().filterWatched[1], 0u);
    // The logger's registers count as watched.
    LoggerChoice choice;
    choice.enabled = true;
    choice.registers = {kUdr0};
    ASSERT_EQ(view->ApplyLoggerChoice(choice), "");
    Refresh();
    EXPECT_EQ(target().filterWatched[2], uint64_t{1} << (kUdr0 - 128));
}

TEST_F(DirectBank, WithoutTheBankFilterAWatchedExtendedRegisterIsAlwaysDue) {
    start(true, false);
    target().cycleCounter = 500;
    Hits portb(view->IORegister(kPortb));
    Refresh();
    ASSERT_EQ(target().filterWatched.size(), 1u);
    EXPECT_EQ(target().filterWatched[0], uint64_t{1} << kPortb);
    EXPECT_EQ(target().filterHasDue, 0);
    Hits admux(view->IORegister(kAdmux));
    target().cycleCounter = 510;
    Refresh();
    EXPECT_EQ(target().filterHasDue, 1);
    EXPECT_EQ(target().filterDue, 510u);
    // Direct access writes an extended input the same way: one byte.
    target().writes.clear();
    view->IORegister(kUdr0)->set(0x41);
    const auto writes = DataWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 0xC6u);
}

// From the host's first idle call on, an observer that only shows a
// register is told at the idle calls: the register leaves the refresh
// filter unless something else reacts to it, and a refresh tells only
// the reacting observers.
TEST_F(DirectBank, ObserversThatOnlyShowAreToldAtTheHostsIdleCalls) {
    constexpr int kDdrb = 0x04;
    start(true, true);
    Hits shown(view->IORegister(kPortb));
    shown.observer.setShowsOnly(true);
    Hits reacting(view->IORegister(kDdrb));
    Refresh();
    // Until the host has called once, nothing says it will call again.
    EXPECT_EQ(target().filterWatched[0], (uint64_t{1} << kPortb) | (uint64_t{1} << kDdrb));
    view->HostIdle();
    Refresh();
    EXPECT_EQ(target().filterWatched[0], uint64_t{1} << kDdrb);

    shown.count = reacting.count = 0;
    setData(0x20 + kPortb, 0x5A);
    setData(0x20 + kDdrb, 0x0F);
    Refresh();
    EXPECT_EQ(shown.count, 0);
    EXPECT_EQ(reacting.count, 1);
    view->HostIdle();
    EXPECT_EQ(shown.count, 1);
    EXPECT_EQ(view->IORegister(kPortb)->get(), 0x5A);
    view->HostIdle();  // told once per change
    EXPECT_EQ(shown.count, 1);

    // Another observer that reacts brings the register back.
    {
        Hits alsoReacting(view->IORegister(kPortb));
        Refresh();
        EXPECT_EQ(target().filterWatched[0], (uint64_t{1} << kPortb) | (uint64_t{1} << kDdrb));
    }
}

// With the bit filter, a register is watched in the bits its reacting
// observers act on; any other observer, and the logger, want every bit.
TEST_F(DirectBank, TheBitFilterNamesTheBitsThatMatter) {
    struct Line {
        Line(GatedValue<uint8_t>* s, uint8_t mask) : observer(s, this, &Line::hit, mask) {}
        void hit() {}
        CallOnBitsChange<Line, uint8_t> observer;
    };
    start(true, true, true);
    Line enable(view->IORegister(kPortb), 0x02);
    Line column(view->IORegister(kPortb), 0x10);
    Refresh();
    ASSERT_EQ(target().filterBits.size(), 224u);
    EXPECT_EQ(target().filterBits[kPortb], 0x12);
    EXPECT_EQ(std::count(target().filterBits.begin(), target().filterBits.end(), 0), 223);
    column.observer.setMask(0x80);
    Refresh();
    EXPECT_EQ(target().filterBits[kPortb], 0x82);
    {
        Hits any(view->IORegister(kPortb));
        Refresh();
        EXPECT_EQ(target().filterBits[kPortb], 0xFF);
    }
    Refresh();
    EXPECT_EQ(target().filterBits[kPortb], 0x82);
    LoggerChoice choice;
    choice.enabled = true;
    choice.registers = {kPortb};
    ASSERT_EQ(view->ApplyLoggerChoice(choice), "");
    Refresh();
    EXPECT_EQ(target().filterBits[kPortb], 0xFF);
}
