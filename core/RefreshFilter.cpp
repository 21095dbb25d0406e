// The refresh filter the plug-in gives a host with direct access: which
// registers (down to the bit) a component reacts to, and the next cycle
// count a follower of the count waits for. A host may leave out the refresh
// after an instruction that changed none of those bits before that count.
#include "core/CLEDView.h"

#include <algorithm>

void CLEDView::DeriveWatchedRegisters() {
    // A register matters when anything but the core's own write-back
    // observer watches it, or when the register logger logs it (a dump is
    // written when a chosen register changed). Derived again only when some
    // observer started or stopped watching.
    const uint64_t changes = Subject::activityChanges();
    const RegisterSet logged = logger_.watchedRegisters();
    if (changes == watchedChanges_ && logged == watchedLogged_ && bankSize_ == watchedBank_ &&
        showAtIdle_ == watchedShowAtIdle_)
        return;
    // A host that records the logged registers' changes needs no refresh
    // for them: the filter watches only those it would not record.
    RecordLoggedRegisters(logged);
    RegisterSet watched;
    for (int w = 0; w < RegisterSet::kWords; ++w)
        watched.word(w) = logged.word(w) & ~recorded_.word(w);
    watched &= RegisterSet::FirstN(bankSize_);
    watchedBits_.fill(0);
    waitingBits_.fill(0);
    for (int i = 0; i < bankSize_; ++i) {
        const auto at = static_cast<size_t>(i);
        const Observer* own = at < registerObservers_.size() && registerObservers_[at]->isActive()
                                  ? registerObservers_[at].get()
                                  : nullptr;
        const IoRegister& r = ioRegisters_[at];
        // Observers told at the host's idle calls need no refresh of their
        // own: the one before each idle call brings their registers.
        const int32_t reacting = r.activeCount() - (showAtIdle_ ? r.showingCount() : 0);
        if (reacting > (own ? 1 : 0)) {
            watched.set(i);
            // Those that only show it count with every bit until the host
            // calls at idle.
            uint64_t waiting = 0;
            const bool reactingOnly = showAtIdle_ || r.showingCount() == 0;
            const uint64_t bits = reactingOnly ? r.reactingInterest(own, &waiting) : ~uint64_t{0};
            watchedBits_[at] = static_cast<uint8_t>(bits);
            if (reactingOnly) waitingBits_[at] = static_cast<uint8_t>(waiting);
        }
        // A logged register is dumped on any change, which a refresh
        // brings unless the host records it.
        if (logged.test(i) && !recorded_.test(i)) {
            watchedBits_[at] = 0xFF;
            waitingBits_[at] = 0;
        }
    }
    anyWaiting_ = std::any_of(waitingBits_.begin(), waitingBits_.begin() + bankSize_,
                              [](uint8_t bits) { return bits != 0; });
    watched_ = watched;
    watchedChanges_ = changes;
    watchedLogged_ = logged;
    watchedBank_ = bankSize_;
    watchedShowAtIdle_ = showAtIdle_;
}

void CLEDView::RecordLoggedRegisters(const RegisterSet& logged) {
    RegisterSet wanted;
    if (recorder_) {
        wanted = logged;
        wanted &= RegisterSet::FirstN(bankSize_);
    }
    if (wanted == recordAsked_) return;
    recordAsked_ = wanted;
    recorded_.clear();
    recordedIndex_.clear();
    if (!recorder_) return;
    BankBytes ask{};
    wanted.forEach([&](int i) { ask[static_cast<size_t>(i)] = 1; });
    // The host leaves out those it cannot record; none on failure.
    if (recorder_->SetRecordedRegisters(ask.data(), static_cast<ULONG>(bankSize_)) != S_OK) return;
    wanted.forEach([&](int i) {
        if (!ask[static_cast<size_t>(i)]) return;
        recorded_.set(i);
        recordedIndex_.push_back(static_cast<uint16_t>(i));
    });
    recordCycles_.resize(kRecordsPerTake);
    recordValues_.resize(kRecordsPerTake * recordedIndex_.size());
}

void CLEDView::SetRefreshFilter() {
    quietSkipped_ = false;
    fallsNoted_ = false;
    if (!direct_) return;
    // A host that refreshes after every instruction anyway does not look
    // at it: deriving and sending it would be a good part of the refresh.
    if (filterUse_ && filterUse_->RefreshFilterConsulted() == S_FALSE) return;
    DeriveWatchedRegisters();
    // Followers of the cycle count that announce no due count (and are not
    // the core's reset detection, which only a reset the host refreshes
    // anyway can trigger) need every refresh.
    const CycleCountValue::Schedule schedule = cycleCounter_.schedule();
    const int own = resetObserver_ && resetObserver_->isActive() ? 1 : 0;
    LONG hasDue = schedule.hasDue ? 1 : 0;
    uint32_t due = schedule.due;
    if (schedule.plainObservers > own) {
        hasDue = 1;
        due = cycleCounter_.get();
    } else {
        // No follower acts on every count: the count of the instructions
        // a host leaves out before the due count concerns none of them.
        quietSkipped_ = true;
        quietHasDue_ = hasDue != 0;
        quietDue_ = due;
    }
    if (fallFilter_) {
        fallFilter_->SetFallRefreshFilter(watchedBits_.data(), waitingBits_.data(),
                                          static_cast<ULONG>(bankSize_), hasDue, due);
        fallsNoted_ = anyWaiting_;
        return;
    }
    if (bitFilter_) {
        bitFilter_->SetBitRefreshFilter(watchedBits_.data(), static_cast<ULONG>(bankSize_), hasDue,
                                        due);
        return;
    }
    if (bankFilter_) {
        const auto words = static_cast<ULONG>((bankSize_ + 63) / 64);
        bankFilter_->SetBankRefreshFilter(watched_.data(), words, hasDue, due);
        return;
    }
    // A host that filters the I/O space only cannot see an extended
    // register change: while one is watched, every instruction is due.
    if (watched_.anyFrom(kIoRegisterCount)) {
        hasDue = 1;
        due = cycleCounter_.get();
    }
    direct_->SetRefreshFilter(watched_.word(0), hasDue, due);
}
