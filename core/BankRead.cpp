// Reading the register bank for a refresh: what the host tells changed
// (with its values, when it hands them over), or the whole bank to be
// compared; and the falls a host noted without a refresh, told first.
#include <array>
#include <bit>
#include <cstring>

#include "core/CLEDView.h"

void CLEDView::ApplyWaitedFalls(int words) {
    // A bit that fell and rose again since the last refresh holds its old
    // level in the image: its observers would see no edge. They are told
    // of the low level first, as the refresh left out would have told
    // them. Only observers that let falls wait react to those bits, and
    // they act on nothing but a rise, so no other bit needs its value of
    // then; the others learn the register's value of now, below.
    std::array<uint64_t, RegisterSet::kWords> which{};
    if (fallFilter_->TakeFalls(which.data(), static_cast<ULONG>(words), fell_.data(),
                               static_cast<ULONG>(bankSize_)) != S_OK)
        return;
    for (int w = 0; w < words; ++w) {
        for (uint64_t rest = which[static_cast<size_t>(w)] & bankMask_.word(w); rest != 0;
             rest &= rest - 1) {
            const auto i = static_cast<size_t>(w * 64 + std::countr_zero(rest));
            const auto low = static_cast<uint8_t>(ioImage_[i] & ~fell_[i]);
            if (low == ioImage_[i]) continue;
            ioImage_[i] = low;
            ioRegisters_[i].load(low);
            ioRegisters_[i].notifyWaiting();
        }
    }
}

void CLEDView::ReadBank(int bank, int words, bool firstRefresh, RegisterSet* read) {
    auto keep = [&](int first, int count) {
        if (!firstRefresh)
            std::memcpy(ioPrevious_.data() + first, ioImage_.data() + first,
                        static_cast<size_t>(count));
    };
    auto readRange = [&](int first, int count) {
        if (first < kIoRegisterCount)
            return ReadMemory(kMemoryIo, static_cast<ULONG>(first), static_cast<ULONG>(count),
                              ioImage_.data() + first);
        return ReadMemory(kMemoryData, static_cast<ULONG>(kRegisterBankBase + first),
                          static_cast<ULONG>(count), ioImage_.data() + first);
    };
    *read = RegisterSet();
    if (!changes_) {
        // The whole bank, compared by the caller: the I/O space, then the
        // extended block in one read (a failed read keeps the last image).
        keep(0, bank);
        readRange(0, kIoRegisterCount);
        if (bank > kIoRegisterCount) readRange(kIoRegisterCount, bank - kIoRegisterCount);
        *read = bankMask_;
        return;
    }
    std::array<uint64_t, RegisterSet::kWords> told{};
    constexpr uint64_t kAlwaysRead = ((uint64_t{1} << kAlwaysReadCount) - 1) << kAlwaysReadFirst;
    if (changedValues_ && !unread_.anyIn(words)) {
        // The host writes the values of what changed, and of SPL, SPH and
        // SREG, into the image itself: one call, and no register read that
        // did not change. A failed call took nothing; the calls below then
        // take the set as it stands.
        // The values arrive in a scratch image, and only the registers
        // they are for move into the image, each keeping its last value:
        // a refresh finds few changed, so copying the whole bank to keep
        // the last image would cost more than the rest of the read.
        if (changedValues_->TakeChangedValues(told.data(), static_cast<ULONG>(words),
                                              fresh_.data(), static_cast<ULONG>(bank)) == S_OK) {
            auto take = [&](int w, uint64_t changed) {
                const uint64_t bits = changed & bankMask_.word(w);
                read->word(w) = bits;
                for (uint64_t rest = bits; rest != 0; rest &= rest - 1) {
                    const auto i = static_cast<size_t>(w * 64 + std::countr_zero(rest));
                    ioPrevious_[i] = ioImage_[i];
                    ioImage_[i] = fresh_[i];
                }
            };
            if (words > 0) take(0, told[0] | kAlwaysRead);
            // Past the I/O space most words hold no change: one test each.
            for (int w = 1; w < words; ++w)
                if (const uint64_t changed = told[static_cast<size_t>(w)]; changed != 0) take(w, changed);
            return;
        }
    }
    if (changes_->TakeChangedRegisters(told.data(), static_cast<ULONG>(words)) == S_OK) {
        for (int w = 0; w < words; ++w) unread_.word(w) |= told[static_cast<size_t>(w)];
    } else {
        unread_ = RegisterSet::FirstN(kMaxRegisterBank);
    }
    unread_ &= bankMask_;
    // Each word's registers are read in one call, from the first to the
    // last one needed: a call costs more than the bytes between them, and
    // a host read has no side effect. All that the call read is compared.
    for (int w = 0; w < words; ++w) {
        const uint64_t bits = (unread_.word(w) | (w == 0 ? kAlwaysRead : 0)) & bankMask_.word(w);
        if (bits == 0) continue;
        const int first = w * 64;
        const int from = std::countr_zero(bits);
        const int length = 64 - std::countl_zero(bits) - from;
        const uint64_t span = (length == 64 ? ~uint64_t{0} : (uint64_t{1} << length) - 1) << from;
        keep(first + from, length);
        if (readRange(first + from, length)) unread_.word(w) &= ~span;
        read->word(w) = span;
    }
}
