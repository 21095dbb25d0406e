#include "framework/CycleCountValue.h"

CycleCountValue::~CycleCountValue() {
    // The observers outlive the list they were on.
    for (DueObserver* o = dueObservers_; o;) {
        DueObserver* next = o->next_;
        o->counter_ = nullptr;
        o->next_ = nullptr;
        o = next;
    }
    dueObservers_ = nullptr;
}

CycleCountValue::Schedule CycleCountValue::schedule() const {
    Schedule s;
    int dueActive = 0;
    const uint32_t now = get();
    uint32_t nearest = 0;  // cycles from now to the earliest due count
    for (const DueObserver* o = dueObservers_; o; o = o->next_) {
        if (!o->isActive()) continue;
        ++dueActive;
        uint32_t due = 0;
        if (!o->nextDue(&due)) continue;
        // A due count at or before now (modulo 2^32) is due at once.
        const uint32_t distance = due - now;
        const uint32_t ahead = distance >= 0x80000000u ? 0 : distance;
        if (!s.hasDue || ahead < nearest) {
            nearest = ahead;
            s.hasDue = true;
        }
    }
    s.plainObservers = activeCount() - dueActive;
    s.due = now + nearest;
    return s;
}

DueObserver::DueObserver(CycleCountValue* counter, bool active)
    : Observer(counter, active), counter_(counter) {
    if (counter_) {
        next_ = counter_->dueObservers_;
        counter_->dueObservers_ = this;
    }
}

DueObserver::~DueObserver() { unlink(); }

void DueObserver::subjectDestroyed() {
    unlink();
    Observer::subjectDestroyed();
}

void DueObserver::unlink() {
    if (!counter_) return;
    for (DueObserver** link = &counter_->dueObservers_; *link; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
    counter_ = nullptr;
    next_ = nullptr;
}
