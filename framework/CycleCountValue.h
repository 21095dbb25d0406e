// The simulator's cycle count as a subject, and the observers that act only
// once the count reaches a due value.
//
// Most followers of the cycle count do nothing until a certain count: an
// oscillator until its next edge, a free-running converter until the end
// of its conversion. A CallWhenDue observer says which count that is, so
// the core can tell a host that the refreshes before it change nothing for
// this observer. Its callback runs on every change of the count that has
// reached the due value (none while nothing is due), so its behaviour is
// the same whether the host refreshes after every instruction or not; a
// refresh before that costs a comparison.
//
// Counts are compared modulo 2^32 (the count wraps).
#pragma once

#include <cstdint>

#include "framework/Observer.h"

class DueObserver;

class CycleCountValue : public HistoryValue<uint32_t> {
public:
    ~CycleCountValue() override;

    // What the observers of the count need, seen from the current count.
    struct Schedule {
        // Active observers that are not DueObservers: they may act on any
        // count, so every refresh matters.
        int plainObservers = 0;
        // The earliest due count among the active DueObservers, when any is
        // due (a count already reached is due at once).
        bool hasDue = false;
        uint32_t due = 0;
    };
    Schedule schedule() const;

private:
    friend class DueObserver;
    DueObserver* dueObservers_ = nullptr;
};

// An observer of a CycleCountValue that announces when it will next act.
class DueObserver : public Observer {
public:
    ~DueObserver() override;
    // The count from which on the observer may act; false when it waits
    // for nothing.
    virtual bool nextDue(uint32_t* due) const = 0;

    void subjectDestroyed() override;

protected:
    DueObserver(CycleCountValue* counter, bool active);

private:
    friend class CycleCountValue;
    void unlink();
    CycleCountValue* counter_;
    DueObserver* next_ = nullptr;
};

// Asks `due` of its owner when the owner next needs to be called, and calls
// `fn` of its owner on every change of the count from then on.
template <typename C>
class CallWhenDue : public DueObserver {
public:
    using Fn = void (C::*)();
    using DueFn = bool (C::*)(uint32_t*) const;
    CallWhenDue(CycleCountValue* counter, C* target, Fn fn, DueFn due, bool active = true)
        : DueObserver(counter, active), fn_(fn), due_(due), target_(target) {
        if (counter) last_ = counter->get();
    }
    void update() override {
        if (!subject()) throw SubjectIsDestroyed();
        const uint32_t now = static_cast<CycleCountValue*>(subject())->get();
        uint32_t due = 0;
        // Reached modulo 2^32: now at or after the due count.
        if (now != last_ && (target_->*due_)(&due) && static_cast<int32_t>(now - due) >= 0)
            (target_->*fn_)();
        if (!subject()) throw SubjectIsDestroyed();
        last_ = static_cast<CycleCountValue*>(subject())->get();
    }
    void resume() override {
        if (!subject()) throw SubjectIsDestroyed();
        last_ = static_cast<CycleCountValue*>(subject())->get();
        Observer::resume();
    }
    bool nextDue(uint32_t* due) const override { return (target_->*due_)(due); }

private:
    Fn fn_;
    DueFn due_;
    C* target_;
    uint32_t last_ = 0;
};
