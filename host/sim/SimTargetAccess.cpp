#include "host/sim/SimTargetAccess.h"

#include "host/sim/SimTargetState.h"

#include <tinyxml.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace quill::sim {

namespace {

// Element text as XML wants it.
std::string escapeXml(const std::string& text) {
    std::string out;
    TiXmlBase::EncodeString(text, &out);
    return out;
}

}  // namespace

SimTargetAccess* SimTargetAccess::create(std::shared_ptr<SimTarget> target) {
    return new SimTargetAccess(std::move(target));
}

std::string SimTargetAccess::targetXml(const SimTarget& target) {
    char mhz[32];
    std::snprintf(mhz, sizeof mhz, "%.9g", target.frequency() / 1e6);
    return "<?xml version=\"1.0\"?>\n"
           "<TARGET>\n"
           "  <ADMIN><TARGET_NAME>Simulator</TARGET_NAME></ADMIN>\n"
           "  <SELECTED><PART_NAME>" +
           escapeXml(target.partName()) +
           "</PART_NAME></SELECTED>\n"
           "  <OPTIONS><FREQUENCY>" +
           std::string(mhz) +
           "</FREQUENCY></OPTIONS>\n"
           "</TARGET>\n";
}

HRESULT SimTargetAccess::WriteMemory(LONG kind, ULONG address, BSTR data) {
    if (!target_) return E_UNEXPECTED;
    if (!data) return E_POINTER;
    const uint32_t length = SysStringByteLen(data);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    return write(kind, address, bytes, length) ? S_OK : E_INVALIDARG;
}

HRESULT SimTargetAccess::ReadMemory(LONG kind, ULONG address, ULONG count, BSTR* data) {
    if (!data) return E_POINTER;
    *data = nullptr;
    if (!target_) return E_UNEXPECTED;
    const uint32_t size = target_->memorySize(kind);
    if (size == 0 || address > size || count > size - address) return E_INVALIDARG;
    // One block, filled in place.
    BSTR block = SysAllocStringByteLen(nullptr, count);
    if (!block) return E_OUTOFMEMORY;
    if (!target_->read(kind, address, reinterpret_cast<uint8_t*>(block), count)) {
        SysFreeString(block);
        return E_INVALIDARG;
    }
    *data = block;
    return S_OK;
}

HRESULT SimTargetAccess::GetCycleCounter(ULONG* count) {
    if (!count) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    *count = target_->cycleCounter();
    return S_OK;
}

HRESULT SimTargetAccess::GetTargetXml(BSTR* xml) {
    if (!xml) return E_POINTER;
    *xml = nullptr;
    if (!target_) return E_UNEXPECTED;
    *xml = AnsiToBstr(targetXml(*target_));
    return *xml ? S_OK : E_OUTOFMEMORY;
}

HRESULT SimTargetAccess::Read(LONG kind, ULONG address, ULONG count, uint8_t* out) {
    if (!out) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    return target_->read(kind, address, out, count) ? S_OK : E_INVALIDARG;
}

HRESULT SimTargetAccess::Write(LONG kind, ULONG address, ULONG count, const uint8_t* data) {
    if (!data) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    return write(kind, address, data, count) ? S_OK : E_INVALIDARG;
}

bool SimTargetAccess::write(LONG kind, ULONG address, const uint8_t* data, ULONG count) {
    if (!writeListener_) return target_->write(kind, address, data, count);
    // The bank index of the first register written, when the write lies
    // inside the register bank.
    ULONG index = address;
    if (kind == kMemoryData) {
        if (address < kRegisterBankBase) return target_->write(kind, address, data, count);
        index = address - kRegisterBankBase;
    } else if (kind != kMemoryIo) {
        return target_->write(kind, address, data, count);
    }
    if (index > target_->bankSize() || count > target_->bankSize() - index)
        return target_->write(kind, address, data, count);
    std::array<uint8_t, kMaxRegisterBank> before{}, after{};
    if (!target_->read(kind, address, before.data(), count)) return false;
    const bool ok = target_->write(kind, address, data, count);
    if (ok && target_->read(kind, address, after.data(), count))
        writeListener_(index, before.data(), after.data(), count);
    return ok;
}

namespace {

uint64_t loadWord(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// A cycle count every due cycle has reached: a filter that watches it
// never holds.
constexpr uint64_t kNoCycles = ~uint64_t{0};

}  // namespace

void SimTargetAccess::buildWatchLists() {
    plainCount_ = 0;
    specialCount_ = 0;
    wordCount_ = 0;
    bankStorage_ = target_->ioStorage();
    cycle_ = target_->cycleStorage();
    changeEvents_ = target_->changeEventStorage();
    compareAlways_ = false;
    const unsigned bank = target_->bankSize();
    // Watched bytes of the bank's storage, as the eight-byte groups lie in
    // memory (a mask made of bytes is right whatever the byte order).
    std::array<uint8_t, kMaxWords * 8> bankMask{};
    // Bits whose fall may wait, and bits any change of which refreshes: a
    // byte of storage watched for two registers (PORTx for itself and for
    // PINx) waits only where every watch lets it.
    std::array<uint8_t, kMaxWords * 8> bankWaiting{}, bankUrgent{};
    auto watchStorage = [&](const uint8_t* storage, uint8_t bits, uint8_t waiting) {
        // Compared as addresses: the storage may lie in another object.
        const auto at = reinterpret_cast<std::uintptr_t>(storage);
        const auto base = reinterpret_cast<std::uintptr_t>(bankStorage_);
        if (at >= base && at - base < bank) {
            bankMask[at - base] |= bits;
            bankWaiting[at - base] |= bits & waiting;
            bankUrgent[at - base] |= bits & ~waiting;
            return;
        }
        for (unsigned k = 0; k < plainCount_; ++k) {
            if (plain_[k].storage == storage) {
                plain_[k].mask |= bits;
                return;
            }
        }
        if (plainCount_ < plain_.size()) {
            plain_[plainCount_++] = {storage, bits, *storage};
        } else {
            // Never expected: without room the filter cannot hold at all.
            cycle_ = &kNoCycles;
        }
    };
    for (std::size_t w = 0; w < kBankWords; ++w) {
        for (uint64_t rest = watched_[w]; rest != 0; rest &= rest - 1) {
            const auto index = static_cast<unsigned>(w * 64 + std::countr_zero(rest));
            if (index >= bank) break;
            const uint8_t bits = watchedBits_[index];
            const bool unmarked = target_->changesUnmarked(index);
            if (unmarked) compareAlways_ = true;
            const uint8_t *ddr = nullptr, *port = nullptr, *external = nullptr;
            if (const uint8_t* storage = target_->plainIoStorage(index)) {
                // A noted fall must come with the next changed set: only a
                // register marked when written may wait.
                watchStorage(storage, bits, unmarked ? 0 : waitingBits_[index]);
            } else if (target_->pinDependencies(index, &ddr, &port, &external)) {
                // A pin register changes only with what it is computed from:
                // comparing those is a load each instead of a computation.
                // Pin b depends on bit b of DDRx and PORTx; the count of
                // external level changes on any of its change.
                watchStorage(ddr, bits, 0);
                watchStorage(port, bits, 0);
                watchStorage(external, 0xFF, 0);
            } else {
                specialIndex_[specialCount_] = static_cast<uint16_t>(index);
                specialMask_[specialCount_] = bits;
                specialValue_[specialCount_] = target_->io(index);
                ++specialCount_;
            }
        }
    }
    // The recorded registers: every bit of each is compared.
    std::array<uint8_t, kMaxWords * 8> bankRecorded{};
    recordedStorage_.clear();
    for (const uint16_t index : recordedIndex_) {
        const uint8_t* storage = target_->plainIoStorage(index);
        const auto at = reinterpret_cast<std::uintptr_t>(storage);
        const auto base = reinterpret_cast<std::uintptr_t>(bankStorage_);
        // Never expected (the registers were checked when they were
        // given): a register that is no longer storage of the bank cannot
        // be recorded, so the filter cannot hold.
        if (!storage || at < base || at - base >= bank) {
            cycle_ = &kNoCycles;
            continue;
        }
        bankRecorded[at - base] = 0xFF;
        recordedStorage_.push_back(storage);
    }
    for (uint32_t offset = 0; offset < bank; offset += 8) {
        const uint64_t watched = loadWord(bankMask.data() + offset);
        const uint64_t recorded = loadWord(bankRecorded.data() + offset);
        if ((watched | recorded) == 0) continue;
        const uint64_t waiting =
            loadWord(bankWaiting.data() + offset) & ~loadWord(bankUrgent.data() + offset);
        words_[wordCount_++] = {offset,  watched | recorded, loadWord(bankStorage_ + offset),
                                waiting, watched & ~waiting, recorded};
    }
    listsValid_ = true;
}

bool SimTargetAccess::takeWaiting(const uint8_t* bits, std::size_t count) {
    const std::size_t n = bits ? std::min(count, waitingBits_.size()) : 0;
    // The same bits as last time (the usual case): the bytes past `n` are 0
    // on both sides when the last ones had none from there on.
    if (n >= waitingInUse_ && (n == 0 || std::memcmp(bits, waitingBits_.data(), n) == 0))
        return false;
    waitingBits_.fill(0);
    if (n > 0) std::memcpy(waitingBits_.data(), bits, n);
    waitingInUse_ = 0;
    for (std::size_t i = n; i > 0; --i) {
        if (waitingBits_[i - 1] != 0) {
            waitingInUse_ = i;
            break;
        }
    }
    return true;
}

HRESULT SimTargetAccess::SetRefreshFilter(uint64_t watched, LONG hasDue, ULONG due) {
    if (takeWaiting(nullptr, 0)) listsValid_ = false;
    BitMask bits{};
    for (std::size_t i = 0; i < 64; ++i) bits[i] = (watched >> i) & 1 ? 0xFF : 0;
    return setFilter(bits, hasDue, due);
}

HRESULT SimTargetAccess::SetBankRefreshFilter(const uint64_t* watched, ULONG words, LONG hasDue,
                                              ULONG due) {
    if (!watched && words > 0) return E_POINTER;
    if (takeWaiting(nullptr, 0)) listsValid_ = false;
    BitMask bits{};
    for (std::size_t i = 0; i < bits.size() && i / 64 < words; ++i)
        bits[i] = (watched[i / 64] >> (i % 64)) & 1 ? 0xFF : 0;
    return setFilter(bits, hasDue, due);
}

HRESULT SimTargetAccess::SetBitRefreshFilter(const uint8_t* bits, ULONG count, LONG hasDue,
                                             ULONG due) {
    return SetFallRefreshFilter(bits, nullptr, count, hasDue, due);
}

HRESULT SimTargetAccess::SetFallRefreshFilter(const uint8_t* bits, const uint8_t* waiting,
                                              ULONG count, LONG hasDue, ULONG due) {
    if (!bits && count > 0) return E_POINTER;
    // New waiting bits make new watch lists.
    if (takeWaiting(waiting, count)) listsValid_ = false;
    const std::size_t n = std::min<std::size_t>(count, watchedBits_.size());
    // The same bits as last time (the usual case) are compared in place:
    // the bytes past `n` are 0 on both sides when the last filter watched
    // nothing from there on.
    if (listsValid_ && target_ && n >= bitsInUse_ &&
        (n == 0 || std::memcmp(bits, watchedBits_.data(), n) == 0))
        return setFilter(nullptr, hasDue, due);
    BitMask all{};
    if (n > 0) std::memcpy(all.data(), bits, n);
    return setFilter(&all, hasDue, due);
}

HRESULT SimTargetAccess::setFilter(const BitMask& bits, LONG hasDue, ULONG due) {
    return setFilter(listsValid_ && bits == watchedBits_ ? nullptr : &bits, hasDue, due);
}

HRESULT SimTargetAccess::setFilter(const BitMask* bits, LONG hasDue, ULONG due) {
    if (!target_) return E_UNEXPECTED;
    skipped_ = false;
    bool taken = true;
    if (bits || !listsValid_) {
        if (bits) watchedBits_ = *bits;
        watched_ = {};
        bitsInUse_ = 0;
        for (std::size_t i = 0; i < watchedBits_.size(); ++i) {
            if (!watchedBits_[i]) continue;
            watched_[i / 64] |= uint64_t{1} << (i % 64);
            bitsInUse_ = i + 1;
        }
        buildWatchLists();
    } else if (!lastRunLeftOut_) {
        taken = false;
    } else {
        // The same registers as last time (the usual case): only their
        // values are taken again.
        for (unsigned k = 0; k < wordCount_; ++k)
            words_[k].value = loadWord(bankStorage_ + words_[k].offset);
        for (unsigned k = 0; k < plainCount_; ++k) plain_[k].value = *plain_[k].storage;
        for (unsigned k = 0; k < specialCount_; ++k)
            specialValue_[k] = target_->io(specialIndex_[k]);
    }
    const uint64_t now = target_->cycles();
    uint32_t ahead = kLongestRefreshGap;
    if (hasDue) {
        // Cycles from now to the due count, modulo 2^32; a due count in the
        // past (a difference of 2^31 or more) is due at once.
        const uint32_t distance = static_cast<uint32_t>(due) - static_cast<uint32_t>(now);
        ahead = distance >= 0x80000000u ? 0 : distance;
        if (ahead > kLongestRefreshGap) ahead = kLongestRefreshGap;
    }
    dueCycle_ = now + ahead;
    comparedAt_ = *changeEvents_;
    filterValid_ = taken;
    return S_OK;
}

HRESULT SimTargetAccess::GetSkippedCycleCounter(ULONG* count) {
    if (!count) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    if (!skipped_) return S_FALSE;
    *count = skippedCount_;
    return S_OK;
}

bool SimTargetAccess::watchedHold() {
    comparedAt_ = *changeEvents_;
    bool record = false;
    for (unsigned k = 0; k < wordCount_; ++k) {
        BankWord& word = words_[k];
        const uint64_t now = loadWord(bankStorage_ + word.offset);
        const uint64_t moved = (now ^ word.value) & word.mask;
        if (moved == 0) continue;
        // Any change of a watched bit that does not wait, and any rise of
        // one that does, ends it.
        if (moved & (word.urgent | (now & word.waiting))) return false;
        // Only waiting bits fell, or recorded ones changed: the falls are
        // noted, and every moved bit is compared from now on with its new
        // level, so that the next rise refreshes.
        word.value ^= moved;
        if (const uint64_t fell = moved & word.waiting; fell != 0) {
            fell_[word.offset / 8] |= fell;
            fellGroups_ |= uint64_t{1} << (word.offset / 8);
        }
        if (moved & word.recorded) record = true;
    }
    for (unsigned k = 0; k < plainCount_; ++k)
        if ((*plain_[k].storage ^ plain_[k].value) & plain_[k].mask) return false;
    for (unsigned k = 0; k < specialCount_; ++k)
        if ((target_->io(specialIndex_[k]) ^ specialValue_[k]) & specialMask_[k]) return false;
    // A full list refreshes: the refresh takes the records, and this
    // instruction's change with it.
    return !record || appendRecord();
}

bool SimTargetAccess::refreshNeeded() {
    if (!filterValid_ || !target_) return true;
    if (!filterHolds()) {
        filterValid_ = false;
        return true;
    }
    skipped_ = true;
    skippedCount_ = target_->cycleCounter();
    return false;
}

uint64_t SimTargetAccess::runUntilRefresh(uint64_t untilCycle, uint64_t count, bool leaveOut,
                                          bool* refreshDue, bool* stopped) {
    *refreshDue = false;
    *stopped = false;
    atBreakpoint_ = false;
    if (!target_) {
        *stopped = true;
        return 0;
    }
    lastRunLeftOut_ = leaveOut;
    SimTarget& target = *target_;
    SimTarget::Calling calling(target);
    const uint64_t* cycle = target.cycleStorage();
    // Nothing the instructions run can change these: held in registers
    // rather than read after every instruction.
    const auto* const breakpoints = breakpoints_;
    const bool mayLeaveOut = leaveOut && filterValid_;
    uint64_t executed = 0;
    uint64_t before = *cycle;
    while (executed < count && *cycle < untilCycle) {
        before = *cycle;
        if (!target.stepCalled()) {
            *stopped = true;
            break;
        }
        ++executed;
        // The breakpoint check: one test of a null pointer while none is set.
        const bool atBreakpoint = breakpoints && breakpoints->contains(target.programCounter());
        if (atBreakpoint || !mayLeaveOut || !filterHolds()) {
            atBreakpoint_ = atBreakpoint;
            filterValid_ = false;
            *refreshDue = true;
            break;
        }
    }
    // The last instruction left out: the one before a refresh, or the
    // batch's last.
    const uint64_t leftOut = executed - (*refreshDue ? 1 : 0);
    if (leftOut > 0) {
        skipped_ = true;
        skippedCount_ = static_cast<uint32_t>(*refreshDue ? before : *cycle);
    }
    return executed;
}

uint64_t SimTargetAccess::runRefreshingEach(uint64_t untilCycle, uint64_t count,
                                            bool (*refresh)(void*), void* context, bool* stopped) {
    *stopped = false;
    atBreakpoint_ = false;
    if (!target_) {
        *stopped = true;
        return 0;
    }
    lastRunLeftOut_ = false;
    // Held for the run: a refresh that ended the session leaves the part
    // to this loop until it returns.
    const std::shared_ptr<SimTarget> held = target_;
    SimTarget& target = *held;
    SimTarget::Calling calling(target);
    const uint64_t* cycle = target.cycleStorage();
    uint64_t executed = 0;
    while (executed < count && *cycle < untilCycle) {
        if (!target.stepCalled()) {
            *stopped = true;
            break;
        }
        ++executed;
        if (breakpoints_ && breakpoints_->contains(target.programCounter())) atBreakpoint_ = true;
        filterValid_ = false;
        if (!refresh(context) || atBreakpoint_) break;
    }
    return executed;
}

HRESULT SimTargetAccess::TakeChangedRegisters(uint64_t* changed, ULONG words) {
    if (!changed && words > 0) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    target_->takeChanges(changed, words);
    return S_OK;
}

HRESULT SimTargetAccess::TakeChangedValues(uint64_t* changed, ULONG words, uint8_t* image,
                                           ULONG count) {
    if ((!changed && words > 0) || (!image && count > 0)) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    target_->takeChangedValues(changed, words, image, count);
    return S_OK;
}

HRESULT SimTargetAccess::TakeFalls(uint64_t* which, ULONG words, uint8_t* fell, ULONG count) {
    if ((!which && words > 0) || (!fell && count > 0)) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    if (fellGroups_ == 0) return S_FALSE;
    for (ULONG w = 0; w < words; ++w) which[w] = 0;
    for (; fellGroups_ != 0; fellGroups_ &= fellGroups_ - 1) {
        const auto group = static_cast<std::size_t>(std::countr_zero(fellGroups_));
        uint64_t rest = fell_[group];
        fell_[group] = 0;
        while (rest != 0) {
            // The byte of the lowest bit left, as the group lies in memory.
            const int shift = std::countr_zero(rest) & ~7;
            const auto bits = static_cast<uint8_t>(rest >> shift);
            rest &= ~(uint64_t{0xFF} << shift);
            const std::size_t k = std::endian::native == std::endian::little
                                      ? static_cast<std::size_t>(shift / 8)
                                      : static_cast<std::size_t>(7 - shift / 8);
            const std::size_t index = group * 8 + k;
            if (index / 64 < words) which[index / 64] |= uint64_t{1} << (index % 64);
            if (index < count) fell[index] = bits;
            // Its value now comes with the next changed set, whatever was
            // taken since the fall.
            target_->markRegisterChanged(static_cast<unsigned>(index));
        }
    }
    return S_OK;
}

HRESULT SimTargetAccess::RefreshFilterConsulted() {
    if (!target_) return E_UNEXPECTED;
    if (lastRunLeftOut_) return S_OK;
    // Nothing is left out until a filter is set again.
    filterValid_ = false;
    skipped_ = false;
    return S_FALSE;
}

HRESULT SimTargetAccess::QueryInterface(REFIID iid, void** object) {
    if ((iid == IID_ITargetChanges || iid == IID_ITargetChangedValues ||
         iid == IID_ITargetChangeRecord) &&
        !changesOffered_) {
        if (object) *object = nullptr;
        return object ? E_NOINTERFACE : E_POINTER;
    }
    return DispatchObject::QueryInterface(iid, object);
}

HRESULT SimTargetAccess::GetBoardName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!target_) return E_UNEXPECTED;
    if (boardName_.empty()) return S_FALSE;
    *name = AnsiToBstr(boardName_);
    return S_OK;
}

HRESULT SimTargetAccess::GetPinName(LONG port, LONG bit, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!target_) return E_UNEXPECTED;
    if (port < 'A' || port > 'Z' || bit < 0 || bit > 7) return E_INVALIDARG;
    const std::string& pin = boardPins_[static_cast<std::size_t>((port - 'A') * 8 + bit)];
    if (boardName_.empty() || pin.empty()) return S_FALSE;
    *name = AnsiToBstr(pin);
    return S_OK;
}

HRESULT SimTargetAccess::GetChannelName(LONG channel, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!target_) return E_UNEXPECTED;
    if (channel < 0 || channel >= static_cast<LONG>(kBoardChannels)) return E_INVALIDARG;
    const std::string& adc = boardChannels_[static_cast<std::size_t>(channel)];
    if (boardName_.empty() || adc.empty()) return S_FALSE;
    *name = AnsiToBstr(adc);
    return S_OK;
}

}  // namespace quill::sim
