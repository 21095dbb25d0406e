// The simulator target as the host hands it to the plug-in: the
// ITargetAccess object behind GetNamedObject("AVRTARGET").
//
// It serves memory kinds 2 (data space), 8 (I/O registers 0..63) and 16
// (R0..R31) with the semantics of SimTarget, the cycle counter as its low 32
// bits and a target description naming the simulator, the part and the
// clock frequency in MHz. After detach() (the host ends debugging or
// replaces the target) every call fails with E_UNEXPECTED, so a plug-in
// that still holds the object cannot reach a destroyed simulator.
//
// It also offers ITargetDirectAccess: the same memories without a block per
// call, and the plug-in's refresh filter, which the host's debugger asks
// after every instruction (refreshNeeded) whether event 3 may be left out;
// ITargetBankFilter, the same filter over the part's whole register bank
// (extended I/O included); ITargetBitFilter, the same down to the bit; and
// ITargetFallFilter, which also lets the fall of some bits wait; and
// ITargetChangeRecord, which records the changes of the logged registers
// instead of refreshing for them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "contract/HostInterfaces.h"
#include "contract/TargetBoardPins.h"
#include "contract/TargetChangeRecord.h"
#include "contract/TargetChanges.h"
#include "contract/TargetDirectAccess.h"
#include "host/sim/BreakpointSet.h"
#include "host/sim/SimTarget.h"
#include "platform/comobject.h"

namespace quill::sim {

class SimTargetAccess final
    : public DispatchObject<ITargetAccess, IID_ITargetAccess,
                            ComInterface<ITargetDirectAccess, IID_ITargetDirectAccess>,
                            ComInterface<ITargetBankFilter, IID_ITargetBankFilter>,
                            ComInterface<ITargetBitFilter, IID_ITargetBitFilter>,
                            ComInterface<ITargetFallFilter, IID_ITargetFallFilter>,
                            ComInterface<ITargetBoardPins, IID_ITargetBoardPins>,
                            ComInterface<ITargetChanges, IID_ITargetChanges>,
                            ComInterface<ITargetChangedValues, IID_ITargetChangedValues>,
                            ComInterface<ITargetFilterUse, IID_ITargetFilterUse>,
                            ComInterface<ITargetChangeRecord, IID_ITargetChangeRecord>> {
public:
    // A new object with one reference, owned by the caller.
    static SimTargetAccess* create(std::shared_ptr<SimTarget> target);

    // The description text GetTargetXml returns for a target.
    static std::string targetXml(const SimTarget& target);

    void detach() {
        target_.reset();
        listsValid_ = false;
    }
    // The simulator behind the object; null after detach().
    SimTarget* simulator() const { return target_.get(); }
    bool attached() const { return target_ != nullptr; }

    // ---- The refresh filter, host side
    // Whether the plug-in needs event 3 after the instruction just
    // executed: true without a filter, once the due cycle is reached or
    // when a watched register changed. A true answer uses the filter up
    // (the plug-in sets a new one in the refresh that follows); a false
    // one records the instruction as left out.
    bool refreshNeeded();
    // Executes up to `count` instructions while the cycle count is below
    // `untilCycle`, stopping after the first one that needs event 3 (every
    // one without `leaveOut`). Returns the instructions executed; sets
    // *refreshDue when the last one needs event 3 and *stopped when the
    // program cannot go on.
    uint64_t runUntilRefresh(uint64_t untilCycle, uint64_t count, bool leaveOut, bool* refreshDue,
                             bool* stopped);
    // As runUntilRefresh without leaving out, calling `refresh(context)`
    // after every instruction from within the run (the host's event 3),
    // which returns whether the run goes on: one call per run instead of
    // one per instruction. Also stops after the refresh of an instruction
    // whose successor is at a breakpoint. Returns the instructions
    // executed, each of them refreshed.
    uint64_t runRefreshingEach(uint64_t untilCycle, uint64_t count, bool (*refresh)(void*),
                               void* context, bool* stopped);
    // runUntilRefresh also stops, with *refreshDue, once the next
    // instruction is at one of these addresses (null: none; the set must
    // outlive the runs); atBreakpoint() then answers true until the next run.
    void setBreakpoints(const quill::debugger::BreakpointSet* set) { breakpoints_ = set; }
    bool atBreakpoint() const { return atBreakpoint_; }
    // Drops the filter: every instruction is refreshed until the plug-in
    // sets a new one. The host calls it whenever it ran anything but
    // instructions since the last refresh.
    void lapseRefreshFilter() {
        filterValid_ = false;
        if (target_) target_->markAllChanged();
    }
    // Whether objects made from now on offer ITargetChanges: they do unless
    // told otherwise here or, from the start, by the environment variable
    // QUILL_READ_AND_COMPARE. Without it the plug-in reads and compares the
    // whole register bank at every refresh, which the differential tests
    // and the benchmarks compare with.
    static void offerChanges(bool offer) { offerChanges_ = offer; }
    // The registers of the filter last set: bit (i % 64) of word i / 64 is
    // register i of the bank; watchedRegisters() is the I/O space.
    static constexpr std::size_t kBankWords = (kMaxRegisterBank + 63) / 64;
    using BankMask = std::array<uint64_t, kBankWords>;
    const BankMask& watchedBank() const { return watched_; }
    uint64_t watchedRegisters() const { return watched_[0]; }
    // Called after every register write the plug-in makes (I/O kind, or
    // data kind inside the register bank), with the bank index of the first
    // register and the registers as the plug-in reads them before and
    // after it (for traces).
    using WriteListener = std::function<void(ULONG address, const uint8_t* before,
                                             const uint8_t* after, ULONG count)>;
    void setWriteListener(WriteListener listener) { writeListener_ = std::move(listener); }

    // The part was reset: the count starts over, nothing is left out.
    void targetReset() {
        filterValid_ = false;
        listsValid_ = false;
        skipped_ = false;
        fell_ = {};
        fellGroups_ = 0;
    }

    // ITargetAccess
    HRESULT WriteMemory(LONG kind, ULONG address, BSTR data) override;
    HRESULT ReadMemory(LONG kind, ULONG address, ULONG count, BSTR* data) override;
    HRESULT GetCycleCounter(ULONG* count) override;
    HRESULT GetTargetXml(BSTR* xml) override;
    // ITargetDirectAccess
    HRESULT Read(LONG kind, ULONG address, ULONG count, uint8_t* out) override;
    HRESULT Write(LONG kind, ULONG address, ULONG count, const uint8_t* data) override;
    HRESULT SetRefreshFilter(uint64_t watched, LONG hasDue, ULONG due) override;
    HRESULT GetSkippedCycleCounter(ULONG* count) override;
    // ITargetBankFilter
    HRESULT SetBankRefreshFilter(const uint64_t* watched, ULONG words, LONG hasDue,
                                 ULONG due) override;
    // ITargetBitFilter
    HRESULT SetBitRefreshFilter(const uint8_t* bits, ULONG count, LONG hasDue,
                                ULONG due) override;
    // ITargetFallFilter: falls of waiting bits in registers of the bank
    // that are compared as storage and marked when written (PORTx, DDRx);
    // any other watched bit refreshes on every change.
    HRESULT SetFallRefreshFilter(const uint8_t* bits, const uint8_t* waiting, ULONG count,
                                 LONG hasDue, ULONG due) override;
    HRESULT TakeFalls(uint64_t* which, ULONG words, uint8_t* fell, ULONG count) override;
    // ITargetChanges: the simulator's set (SimTarget::takeChanges).
    HRESULT TakeChangedRegisters(uint64_t* changed, ULONG words) override;
    // ITargetChangedValues: the same set, with the values.
    HRESULT TakeChangedValues(uint64_t* changed, ULONG words, uint8_t* image,
                              ULONG count) override;
    // ITargetFilterUse: consulted when the run that sent the refresh left
    // instructions out.
    HRESULT RefreshFilterConsulted() override;
    // ITargetChangeRecord: registers of the bank compared as storage and
    // marked when written (PORTx, DDRx, most others), recorded when an
    // instruction changed one and needs no refresh.
    HRESULT SetRecordedRegisters(uint8_t* registers, ULONG count) override;
    HRESULT TakeRecords(ULONG* cycles, uint8_t* values, ULONG capacity, ULONG* taken) override;
    // The most records held before the host refreshes to have them taken.
    std::size_t recordCapacity() const { return recordCapacity_; }
    // Refuses ITargetChanges, ITargetChangedValues and ITargetChangeRecord
    // when made while offerChanges(false) held.
    HRESULT QueryInterface(REFIID iid, void** object) override;
    // ITargetBoardPins: the board the session runs as, if any.
    HRESULT GetBoardName(BSTR* name) override;
    HRESULT GetPinName(LONG port, LONG bit, BSTR* name) override;
    HRESULT GetChannelName(LONG channel, BSTR* name) override;
    // The converter channels a board may name (ADC0 .. ADC31).
    static constexpr std::size_t kBoardChannels = 32;
    // The board's name, its name of each port pin (index (port - 'A') * 8 +
    // bit) and of each converter channel; empty where it has none. An
    // empty name: no board.
    void setBoard(std::string name, std::array<std::string, 26 * 8> pins,
                  std::array<std::string, kBoardChannels> channels) {
        boardName_ = std::move(name);
        boardPins_ = std::move(pins);
        boardChannels_ = std::move(channels);
    }

private:
    bool write(LONG kind, ULONG address, const uint8_t* data, ULONG count);
    explicit SimTargetAccess(std::shared_ptr<SimTarget> target)
        : target_(std::move(target)), changesOffered_(offerChanges_) {
        // Its first answer is the whole bank, whatever an earlier object
        // on the same simulator took.
        if (target_) target_->markAllChanged();
    }
    ~SimTargetAccess() override = default;

    std::shared_ptr<SimTarget> target_;
    static inline bool offerChanges_ = std::getenv("QUILL_READ_AND_COMPARE") == nullptr;
    const bool changesOffered_;
    std::string boardName_;
    std::array<std::string, 26 * 8> boardPins_{};
    std::array<std::string, kBoardChannels> boardChannels_{};

    // The refresh filter: the watched registers with their values when it
    // was set, and the cycle (64-bit, of the simulator) that ends it.
    bool filterValid_ = false;
    BankMask watched_{};
    // Per register, the bits whose change ends the filter; watched_ is
    // where they are not 0.
    using BitMask = std::array<uint8_t, kMaxRegisterBank>;
    BitMask watchedBits_{};
    // Per register, the watched bits whose fall alone leaves the refresh
    // out (ITargetFallFilter).
    BitMask waitingBits_{};
    std::size_t waitingInUse_ = 0;  // past the last register with waiting bits
    // Takes `bits` as the filter's waiting bits (null: none); true when
    // they differ from the last ones.
    bool takeWaiting(const uint8_t* bits, std::size_t count);
    std::size_t bitsInUse_ = 0;  // past the last register watchedBits_ watches
    WriteListener writeListener_;
    HRESULT setFilter(const BitMask& bits, LONG hasDue, ULONG due);
    // As above with the bits of the last filter when `bits` is null.
    HRESULT setFilter(const BitMask* bits, LONG hasDue, ULONG due);
    // Watched storage in the simulator (registers read as storage, and for
    // a pin register DDRx, PORTx and the count of external level changes),
    // and the registers compared by reading them (SREG: by index). Storage
    // inside the register bank is compared eight registers at a time: each
    // BankWord is one aligned eight-byte group of it with the watched bytes
    // masked; other storage is compared byte by byte.
    struct BankWord {
        uint32_t offset;  // from the start of the bank's storage, a multiple of 8
        uint64_t mask;    // the bits compared: watched or recorded
        uint64_t value;
        uint64_t waiting;   // watched bits whose fall alone is noted, not refreshed
        uint64_t urgent;    // watched bits any change of which refreshes
        uint64_t recorded;  // bits of recorded registers: a change is recorded
    };
    static constexpr std::size_t kMaxWords = (kMaxRegisterBank + 7) / 8;
    uint8_t wordCount_ = 0;
    std::array<BankWord, kMaxWords> words_{};
    const uint8_t* bankStorage_ = nullptr;
    // The falls noted and not yet taken, per eight-byte group of the bank's
    // storage (a group's byte k is register 8 * group + k). Kept apart from
    // words_, which a new filter rebuilds before the falls are taken.
    std::array<uint64_t, kMaxWords> fell_{};
    uint64_t fellGroups_ = 0;  // bit g: fell_[g] is not 0
    static_assert(kMaxWords <= 64);
    const uint64_t* cycle_ = nullptr;
    struct PlainWatch {
        const uint8_t* storage;
        uint8_t mask;
        uint8_t value;
    };
    uint16_t plainCount_ = 0;
    std::array<PlainWatch, 16> plain_{};
    uint16_t specialCount_ = 0;
    std::array<uint16_t, kMaxRegisterBank> specialIndex_{};
    std::array<uint8_t, kMaxRegisterBank> specialMask_{};
    std::array<uint8_t, kMaxRegisterBank> specialValue_{};
    // Whether the filter still allows leaving out the refresh. Asked after
    // every instruction: the two tests that nearly always decide it are
    // inline, the comparison of the watched registers is not.
    bool filterHolds() {
        if (*cycle_ >= dueCycle_) return false;
        // Nothing marked since the last comparison: the registers it
        // compared still hold, unless one that changes unmarked is watched.
        if (!compareAlways_ && *changeEvents_ == comparedAt_) return true;
        return watchedHold();
    }
    bool watchedHold();
    // Appends a record of the recorded registers as they are now; false
    // when the list is full.
    bool appendRecord();
    // The recorded registers, in the order of their subjects, and the
    // records not yet taken: a ring of recordCapacity_ entries, the oldest
    // at recordFirst_.
    std::vector<const uint8_t*> recordedStorage_;
    std::vector<uint16_t> recordedIndex_;
    std::vector<uint32_t> recordCycles_;
    std::vector<uint8_t> recordValues_;
    std::size_t recordCapacity_ = 0;
    std::size_t recordFirst_ = 0;
    std::size_t recordCount_ = 0;
    // The target's count of change markings when the registers were last
    // compared; while it stands, only the registers of compareAlways_ can
    // have changed.
    const uint64_t* changeEvents_ = nullptr;
    uint64_t comparedAt_ = 0;
    bool compareAlways_ = false;
    // A run that refreshes after every instruction never consults the
    // filter: while the last run was one, a filter of the same registers
    // is left invalid instead of taking its values at every refresh. A run
    // that leaves refreshes out then starts with one refresh, which sets
    // the filter again and takes them.
    bool lastRunLeftOut_ = true;
    // Fills words_, plain_ and special_ for watched_.
    void buildWatchLists();
    bool listsValid_ = false;
    const quill::debugger::BreakpointSet* breakpoints_ = nullptr;
    bool atBreakpoint_ = false;
    uint64_t dueCycle_ = 0;
    bool skipped_ = false;
    uint32_t skippedCount_ = 0;
};

}  // namespace quill::sim
