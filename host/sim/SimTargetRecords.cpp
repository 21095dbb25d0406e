// The records of ITargetChangeRecord: the logged registers' values and the
// cycle count after each instruction that changed one and needed no
// refresh, in a bounded ring the plug-in empties at its refreshes.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "host/sim/SimTargetAccess.h"

namespace quill::sim {

bool SimTargetAccess::appendRecord() {
    if (recordCount_ == recordCapacity_) return false;
    std::size_t slot = recordFirst_ + recordCount_;
    if (slot >= recordCapacity_) slot -= recordCapacity_;
    recordCycles_[slot] = target_->cycleCounter();
    uint8_t* values = recordValues_.data() + slot * recordedStorage_.size();
    for (const uint8_t* storage : recordedStorage_) *values++ = *storage;
    ++recordCount_;
    return true;
}

HRESULT SimTargetAccess::SetRecordedRegisters(uint8_t* registers, ULONG count) {
    if (!registers && count > 0) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    recordedIndex_.clear();
    const unsigned bank = target_->bankSize();
    const auto base = reinterpret_cast<std::uintptr_t>(target_->ioStorage());
    for (ULONG i = 0; i < count; ++i) {
        if (!registers[i]) continue;
        // Only storage of the bank that every change marks is compared
        // with the watched words: any other register is left to the filter.
        const uint8_t* storage = i < bank ? target_->plainIoStorage(i) : nullptr;
        const auto at = reinterpret_cast<std::uintptr_t>(storage);
        if (!storage || at < base || at - base >= bank || target_->changesUnmarked(i)) {
            registers[i] = 0;
            continue;
        }
        recordedIndex_.push_back(static_cast<uint16_t>(i));
    }
    // Records of about 64 KiB of values, and at most 4096 of them: a
    // refresh takes them long before a frame of the display is over.
    constexpr std::size_t kRecordBytes = 64 * 1024, kMostRecords = 4096;
    const std::size_t n = recordedIndex_.size();
    recordCapacity_ = n == 0 ? 0 : std::min(kMostRecords, kRecordBytes / n);
    recordCycles_.assign(recordCapacity_, 0);
    recordValues_.assign(recordCapacity_ * n, 0);
    recordFirst_ = 0;
    recordCount_ = 0;
    listsValid_ = false;
    filterValid_ = false;
    return S_OK;
}

HRESULT SimTargetAccess::TakeRecords(ULONG* cycles, uint8_t* values, ULONG capacity,
                                     ULONG* taken) {
    if (!taken || ((!cycles || !values) && capacity > 0)) return E_POINTER;
    *taken = 0;
    if (!target_) return E_UNEXPECTED;
    if (recordCount_ == 0) return S_FALSE;
    const std::size_t n = recordedIndex_.size();
    const std::size_t count = std::min<std::size_t>(capacity, recordCount_);
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t slot = (recordFirst_ + k) % recordCapacity_;
        cycles[k] = recordCycles_[slot];
        std::memcpy(values + k * n, recordValues_.data() + slot * n, n);
    }
    recordFirst_ = (recordFirst_ + count) % recordCapacity_;
    recordCount_ -= count;
    *taken = static_cast<ULONG>(count);
    return count > 0 ? S_OK : S_FALSE;
}

}  // namespace quill::sim
