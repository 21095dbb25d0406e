// Observer framework: order, comparison kinds and the re-entrance
// cases (observers deleted, created or setting their own subject during a
// notification; subject destroyed first).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/CycleCountValue.h"
#include "framework/Observer.h"

namespace {

struct Recorder {
    std::vector<int> calls;
    void a() { calls.push_back(1); }
    void b() { calls.push_back(2); }
    void c() { calls.push_back(3); }
    void arg(int32_t v) { calls.push_back(100 + v); }
};

struct Hooked : Value<uint8_t> {
    int first = 0, last = 0;
    void firstObserverActive() override { ++first; }
    void lastObserverInactive() override { ++last; }
};

TEST(Observer, NewestObserverIsNotifiedFirst) {
    Value<uint8_t> s;
    Recorder r;
    CallOnWrite<Recorder> a(&s, &r, &Recorder::a);
    CallOnWrite<Recorder> b(&s, &r, &Recorder::b);
    s.set(1);
    EXPECT_EQ(r.calls, (std::vector<int>{2, 1}));
}

TEST(Observer, InactiveObserverWaitsForResumeAndTakesValueThen) {
    Hooked s;
    s.setHooksEnabled(true);
    Recorder r;
    CallOnChange<Recorder, uint8_t> o(&s, &r, &Recorder::a, false);
    EXPECT_EQ(s.activeCount(), 0);
    s.set(5);
    EXPECT_TRUE(r.calls.empty());
    o.resume();
    EXPECT_EQ(o.last(), 5);
    EXPECT_EQ(s.activeCount(), 1);
    EXPECT_EQ(s.first, 1);
    s.set(5);
    EXPECT_TRUE(r.calls.empty());
    s.set(6);
    EXPECT_EQ(r.calls.size(), 1u);
    o.suspend();
    EXPECT_EQ(s.last, 1);
    EXPECT_EQ(s.activeCount(), 0);
}

TEST(Observer, GatedValueStoresSilentlyAndReportsLaterAgainstLastSeen) {
    GatedValue<uint8_t> s;
    Recorder r;
    CallOnChange<Recorder, uint8_t> o(&s, &r, &Recorder::a);
    s.setNotifyEnabled(false);
    s.set(3);
    EXPECT_EQ(s.get(), 3);
    EXPECT_TRUE(r.calls.empty());
    s.setNotifyEnabled(true);
    s.notify();  // last seen is still 0
    EXPECT_EQ(r.calls.size(), 1u);
}

TEST(Observer, ChangeWriteAndRiseConditions) {
    Value<uint8_t> s;
    Recorder r;
    CallOnWrite<Recorder> write(&s, &r, &Recorder::a);
    CallOnChange<Recorder, uint8_t> change(&s, &r, &Recorder::b);
    CallOnRise<Recorder, uint8_t> rise(&s, &r, &Recorder::c);
    CallOnChange1<Recorder, uint8_t> change1(&s, &r, &Recorder::arg, 7);

    s.set(0);  // same value: only the write observer
    EXPECT_EQ(r.calls, (std::vector<int>{1}));
    r.calls.clear();
    s.set(1);  // 0 -> 1: everyone
    EXPECT_EQ(r.calls, (std::vector<int>{107, 3, 2, 1}));
    r.calls.clear();
    s.set(0);  // 1 -> 0: no rise
    EXPECT_EQ(r.calls, (std::vector<int>{107, 2, 1}));
    s.set(0x7F);
    r.calls.clear();
    s.set(0x80);  // a rise: compared unsigned
    EXPECT_EQ(r.calls, (std::vector<int>{107, 3, 2, 1}));
}

// Only the bits of the mask count, against the value seen last (silent
// stores included); the mask can move; a vanished subject throws.
TEST(Observer, BitsChangeCountsTheMaskedBitsOnly) {
    Recorder r;
    auto s = std::make_unique<GatedValue<uint8_t>>();
    CallOnBitsChange<Recorder, uint8_t> bit2(s.get(), &r, &Recorder::a, 0x04);
    s->set(0xFB);  // every other bit
    EXPECT_TRUE(r.calls.empty());
    s->set(0xFF);
    s->set(0xFF);  // no change
    EXPECT_EQ(r.calls.size(), 1u);
    bit2.setMask(0x01);
    s->setNotifyEnabled(false);
    s->set(0xFE);
    s->set(0xFA);
    s->setNotifyEnabled(true);
    s->notify();  // bit 0 differs from the 0xFF seen last
    EXPECT_EQ(r.calls.size(), 2u);
    s.reset();
    EXPECT_THROW(bit2.update(), SubjectIsDestroyed);
    EXPECT_THROW(bit2.value(), SubjectIsDestroyed);
}

// A bit's fall waits only where every reacting observer of it lets it wait;
// one that only shows the value does not count.
TEST(Observer, FallsWaitOnlyWhereEveryReactingObserverLetsThem) {
    Recorder r;
    GatedValue<uint8_t> s;
    CallOnBitsChange<Recorder, uint8_t> enable(&s, &r, &Recorder::a, 0x06);
    CallOnBitsChange<Recorder, uint8_t> other(&s, &r, &Recorder::a, 0x04);
    CallOnBitsChange<Recorder, uint8_t> light(&s, &r, &Recorder::a, 0x01);
    light.setShowsOnly(true);
    light.setFallsMayWait(true);
    uint64_t waiting = ~uint64_t{0};
    EXPECT_EQ(s.reactingInterest(nullptr, &waiting), 0x06u);
    EXPECT_EQ(waiting, 0u);
    const uint64_t before = Subject::activityChanges();
    enable.setFallsMayWait(true);
    EXPECT_NE(Subject::activityChanges(), before);  // a filter is derived again
    s.reactingInterest(nullptr, &waiting);
    EXPECT_EQ(waiting, 0x02u);  // bit 2 is also the other observer's
    s.reactingInterest(&other, &waiting);
    EXPECT_EQ(waiting, 0x06u);
}

// Each kind of notification reaches exactly the active observers of its
// kind, newest first, also after observers changed their kind or activity
// between notifications.
TEST(Observer, EachKindOfNotificationReachesItsObserversOnly) {
    Recorder r;
    GatedValue<uint8_t> s;
    CallOnWrite<Recorder> a(&s, &r, &Recorder::a);  // reacts, lets falls wait
    a.setFallsMayWait(true);
    CallOnWrite<Recorder> b(&s, &r, &Recorder::b);  // shows only
    b.setShowsOnly(true);
    CallOnWrite<Recorder> c(&s, &r, &Recorder::c);  // reacts
    CallOnChange1<Recorder, uint8_t> d(&s, &r, &Recorder::arg, 4, false);  // inactive
    CallOnWrite<Recorder> e(&s, &r, &Recorder::a);  // shows only, lets falls wait
    e.setShowsOnly(true);
    e.setFallsMayWait(true);
    // A new value, so that CallOnChange1 sees a change, then one kind.
    auto gated = [&](void (Subject::*notify)()) {
        r.calls.clear();
        s.load(static_cast<uint8_t>(s.stored() + 1));
        (s.*notify)();
        return r.calls;
    };
    EXPECT_EQ(gated(&Subject::notify), (std::vector<int>{1, 3, 2, 1}));
    EXPECT_EQ(gated(&Subject::notifyReacting), (std::vector<int>{3, 1}));
    EXPECT_EQ(gated(&Subject::notifyShowing), (std::vector<int>{1, 2}));
    EXPECT_EQ(gated(&Subject::notifyWaiting), (std::vector<int>{1}));

    d.resume();
    b.setShowsOnly(false);
    c.setFallsMayWait(true);
    a.suspend();
    e.setShowsOnly(false);
    EXPECT_EQ(gated(&Subject::notify), (std::vector<int>{1, 104, 3, 2}));
    EXPECT_EQ(gated(&Subject::notifyReacting), (std::vector<int>{1, 104, 3, 2}));
    EXPECT_TRUE(gated(&Subject::notifyShowing).empty());
    EXPECT_EQ(gated(&Subject::notifyWaiting), (std::vector<int>{1, 3}));
}

// An observer that changes others while a notification runs: the walk
// goes on with what each later observer is when it is reached.
struct Changer {
    Observer* wake = nullptr;
    Observer* hide = nullptr;
    std::vector<int> calls;
    void run() {
        calls.push_back(1);
        if (wake) wake->resume();
        if (hide) hide->setShowsOnly(true);
    }
    void woken() { calls.push_back(2); }
    void hidden() { calls.push_back(3); }
};

TEST(Observer, ChangesDuringANotificationCountForTheRestOfItsWalk) {
    Value<uint8_t> s;
    Changer ch;
    CallOnWrite<Changer> woken(&s, &ch, &Changer::woken, false);
    CallOnWrite<Changer> hidden(&s, &ch, &Changer::hidden);
    CallOnWrite<Changer> changer(&s, &ch, &Changer::run);
    ch.wake = &woken;
    ch.hide = &hidden;
    s.notifyReacting();  // once before, so that nothing is left to set up
    EXPECT_EQ(ch.calls, (std::vector<int>{1, 2}));
    ch.calls.clear();
    ch.wake = nullptr;
    ch.hide = nullptr;
    woken.suspend();
    hidden.setShowsOnly(false);
    s.notifyReacting();
    EXPECT_EQ(ch.calls, (std::vector<int>{1, 3}));
    ch.calls.clear();
    ch.wake = &woken;
    ch.hide = &hidden;
    s.notifyReacting();
    EXPECT_EQ(ch.calls, (std::vector<int>{1, 2}));
}

// A follower of the cycle count is called from the count it announced on,
// modulo 2^32, and not at all while it waits for nothing.
TEST(Observer, WhenDueCallsFromTheDueCountOn) {
    struct Timer {
        bool armed = true;
        uint32_t due = 0xFFFFFFF8u;
        int calls = 0;
        void fire() { ++calls; }
        bool next(uint32_t* d) const {
            *d = due;
            return armed;
        }
    } timer;
    CycleCountValue counter;
    counter.set(0xFFFFFFF0u);
    CallWhenDue<Timer> watch(&counter, &timer, &Timer::fire, &Timer::next);
    counter.set(0xFFFFFFF4u);
    EXPECT_EQ(timer.calls, 0);
    counter.set(0xFFFFFFF8u);
    counter.set(0x00000002u);  // past the wrap: still after the due count
    EXPECT_EQ(timer.calls, 2);
    timer.due = 0x10;
    counter.set(0x0000000Fu);
    EXPECT_EQ(timer.calls, 2);
    timer.armed = false;
    counter.set(0x00000020u);
    EXPECT_EQ(timer.calls, 2);
}

// An owner whose callback deletes another observer of the same subject.
struct Deleter {
    std::unique_ptr<Observer> victim;
    std::vector<int> calls;
    void kill() {
        calls.push_back(1);
        victim.reset();
    }
    void victimCalled() { calls.push_back(2); }
    void other() { calls.push_back(3); }
};

TEST(Observer, DeletingAnotherObserverDuringNotifyIsSafe) {
    Value<uint8_t> s;
    Deleter d;
    CallOnWrite<Deleter> last(&s, &d, &Deleter::other);
    d.victim = std::make_unique<CallOnWrite<Deleter>>(&s, &d, &Deleter::victimCalled);
    CallOnWrite<Deleter> killer(&s, &d, &Deleter::kill);
    s.notify();  // killer runs first, deletes the victim, walk goes on to 'last'
    EXPECT_EQ(d.calls, (std::vector<int>{1, 3}));
    d.calls.clear();
    s.notify();
    EXPECT_EQ(d.calls, (std::vector<int>{1, 3}));
    // The victim's node, cleared during the walk, is purged by a later
    // detach at depth 0, which takes its own node with it at once.
    EXPECT_EQ(s.nodeCount(), 3);
    { CallOnWrite<Deleter> tmp(&s, &d, &Deleter::other); }
    EXPECT_EQ(s.nodeCount(), 2);
}

struct SelfDeleter {
    std::unique_ptr<Observer> self;
    std::unique_ptr<Observer> other;
    int calls = 0;
    void run() {
        ++calls;
        self.reset();   // first detach: purges at depth 1
        other.reset();  // second detach: no purge, node only cleared
    }
    void otherRun() { ++calls; }
};

TEST(Observer, ObserverDeletingItselfAndAnotherDuringNotify) {
    Value<uint8_t> s;
    SelfDeleter d;
    d.other = std::make_unique<CallOnWrite<SelfDeleter>>(&s, &d, &SelfDeleter::otherRun);
    d.self = std::make_unique<CallOnWrite<SelfDeleter>>(&s, &d, &SelfDeleter::run);
    s.notify();
    EXPECT_EQ(d.calls, 1);
    EXPECT_EQ(s.activeCount(), 0);
    s.notify();
    EXPECT_EQ(d.calls, 1);
}

struct Creator {
    Value<uint8_t>* s;
    std::vector<std::unique_ptr<Observer>> made;
    int created = 0, newCalls = 0;
    void make() {
        ++created;
        made.push_back(std::make_unique<CallOnWrite<Creator>>(s, this, &Creator::fresh));
    }
    void fresh() { ++newCalls; }
};

TEST(Observer, ObserverCreatedDuringNotifyIsNotVisitedByTheRunningWalk) {
    Value<uint8_t> s;
    Creator c{&s, {}};
    CallOnWrite<Creator> o(&s, &c, &Creator::make);
    s.notify();
    EXPECT_EQ(c.created, 1);
    EXPECT_EQ(c.newCalls, 0);
    s.notify();
    EXPECT_EQ(c.newCalls, 1);
}

struct SelfSetter {
    Value<uint8_t>* s;
    std::vector<uint8_t> seen;
    void run() {
        seen.push_back(s->get());
        if (s->get() == 1) s->set(2);  // nested notify reaches us again
    }
};

TEST(Observer, CallbackSettingItsOwnSubjectIsReachedAgainAndLastIsFinalValue) {
    Value<uint8_t> s;
    SelfSetter h{&s, {}};
    CallOnChange<SelfSetter, uint8_t> o(&s, &h, &SelfSetter::run);
    s.set(1);
    EXPECT_EQ(h.seen, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(o.last(), 2);
    s.set(2);
    EXPECT_EQ(h.seen.size(), 2u);
}

TEST(Observer, SubjectDestroyedFirstOrphansObservers) {
    Recorder r;
    auto s = std::make_unique<Value<uint8_t>>();
    auto o = std::make_unique<CallOnChange<Recorder, uint8_t>>(s.get(), &r, &Recorder::a);
    auto w = std::make_unique<CallOnWrite<Recorder>>(s.get(), &r, &Recorder::a);
    s.reset();
    EXPECT_EQ(o->subject(), nullptr);
    EXPECT_THROW(o->update(), SubjectIsDestroyed);
    EXPECT_THROW(o->resume(), SubjectIsDestroyed);
    EXPECT_THROW(o->value(), SubjectIsDestroyed);
    o.reset();  // harmless
    w.reset();
}

struct Thrower {
    void boom() { throw SubjectIsDestroyed(); }
};

TEST(Observer, ExceptionOutOfNotifyLeavesSubjectUsable) {
    Value<uint8_t> s;
    Thrower t;
    auto o = std::make_unique<CallOnWrite<Thrower>>(&s, &t, &Thrower::boom);
    EXPECT_THROW(s.notify(), SubjectIsDestroyed);
    o.reset();
    // Depth is back at 0, so the detach took its node at once.
    EXPECT_EQ(s.nodeCount(), 0);
    Recorder r;
    { CallOnWrite<Recorder> tmp(&s, &r, &Recorder::a); }
    EXPECT_EQ(s.nodeCount(), 0);
    CallOnWrite<Recorder> ok(&s, &r, &Recorder::a);
    s.notify();
    EXPECT_EQ(r.calls.size(), 1u);
}

}  // namespace
