// Change notification between simulated state and the parties watching it.
//
// A Subject keeps a doubly linked list of nodes, newest first, each pointing
// at one Observer. An observer removed while no notification runs takes its
// node with it at once; one removed during notify() only clears its node's
// pointer, and the cleared nodes are freed lazily by a later detach() that
// runs outside nested notifications, so an observer may be deleted while
// notify() is walking the list without the walk ever touching freed memory.
//
// Each kind of notification (all, reacting, showing, waiting) also has a
// chain through the nodes of the observers it reaches, so that it visits
// only those: a register's lights do not slow down the one observer that
// reacts to it. The chains are made again, at the next notification, after
// any change of the list or of an observer's kind or activity; a change
// while a walk runs makes that walk go on node by node, deciding for each
// node as it reaches it, as if there were no chains.
//
// Toolkit-free: used by the core, the models and the windows alike.
#pragma once

#include <cstdint>
#include <type_traits>

// Thrown when an observer needs a subject that no longer exists.
class SubjectIsDestroyed {};

class Observer;

class Subject {
public:
    Subject() = default;
    Subject(const Subject&) = delete;
    Subject& operator=(const Subject&) = delete;
    virtual ~Subject();

    // Called when the number of active observers goes 0 -> 1 and 1 -> 0,
    // only while hooksEnabled() is true. Empty by default.
    virtual void firstObserverActive() {}
    virtual void lastObserverInactive() {}

    // Only the Observer constructor and destructor call these two.
    void attach(Observer* observer);
    void detach(Observer* observer);

    // Calls update() of every active observer, newest first.
    void notify();
    // The same for the observers that react to the value (notifyReacting)
    // or only show it (notifyShowing; see Observer::setShowsOnly). Together
    // they are notify(), the showing ones later.
    void notifyReacting();
    void notifyShowing();
    // Only the reacting observers that let falls wait (a fall told late:
    // Observer::setFallsMayWait).
    void notifyWaiting();

    void countUp(bool showsOnly = false);
    void countDown(bool showsOnly = false);

    int32_t activeCount() const { return activeCount_; }
    // Active observers that only show the value.
    int32_t showingCount() const { return showingCount_; }
    // The bits of the value whose change matters to an active observer
    // that reacts to it (Observer::interest), `except` aside. With
    // `fallsWait`, also those of them whose fall every such observer lets
    // wait (Observer::setFallsMayWait).
    uint64_t reactingInterest(const Observer* except = nullptr,
                              uint64_t* fallsWait = nullptr) const;
    // Moves whenever an observer of any subject starts or stops watching,
    // so whoever derives something from observer counts (which registers
    // matter to anyone) knows when to derive it again.
    static uint64_t activityChanges() { return activityChanges_; }
    bool hooksEnabled() const { return hooksEnabled_; }
    void setHooksEnabled(bool enabled) { hooksEnabled_ = enabled; }

    // Number of list nodes, including removed entries not yet purged.
    int nodeCount() const;

private:
    friend class Observer;
    enum class Which { All, Reacting, Showing, Waiting };
    static constexpr int kKinds = 4;
    struct Node {
        Observer* observer;
        Node* next;
        Node* prev;
        // The next node of the chain of each kind (Which); valid only on
        // the nodes of that chain while the chains are current.
        Node* chain[kKinds];
    };
    void unlink(Node* node);  // frees the node
    void notifyWhich(Which which);
    // The node by node walk, from `node` on.
    void notifyFrom(Node* node, Which which);
    // Whether a notification of kind `which` reaches the active observer.
    static bool reaches(const Observer* observer, Which which);
    // Something the chains depend on changed.
    void changed() { ++version_; }
    void makeChains();
    struct DepthGuard;

    bool hooksEnabled_ = false;
    Node* observers_ = nullptr;
    Node* chains_[kKinds] = {};
    // The chains are current while chainsVersion_ equals version_.
    uint32_t version_ = 1;
    uint32_t chainsVersion_ = 0;
    int32_t depth_ = 0;
    bool purgeAllowed_ = true;
    int32_t cleared_ = 0;  // nodes whose observer went during a notification
    int32_t activeCount_ = 0;
    int32_t showingCount_ = 0;
    static uint64_t activityChanges_;
};

class Observer {
public:
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    virtual void update() = 0;
    virtual void resume();
    virtual void suspend();
    virtual ~Observer();
    virtual void subjectDestroyed();

    Subject* subject() const { return subject_; }
    bool isActive() const { return active_; }

    // An observer that only shows its subject's value (a light, a bar)
    // needs the value when its window is painted, not after every change:
    // the core may hand it the last value once a frame instead. One that
    // reacts (drives an input back, times a conversion) is told at once.
    void setShowsOnly(bool showsOnly);
    bool showsOnly() const { return showsOnly_; }
    // The bits of the subject's value whose change this observer acts on;
    // all of them unless it says otherwise (CallOnBitsChange: its mask).
    uint64_t interest() const { return interest_; }
    // An observer that acts only when its bits rise (a bus's enable line,
    // sampled on its rising edge) and on a fall merely notes the level may
    // learn of a fall late, as long as it learns of it before the next
    // rise: the core may then leave out the refresh after an instruction
    // that only lowered those bits.
    void setFallsMayWait(bool wait);

protected:
    Observer(Subject* subject, bool active);
    void setInterest(uint64_t bits);

private:
    friend class Subject;
    Subject* subject_;
    Subject::Node* node_ = nullptr;
    bool active_;
    bool showsOnly_ = false;
    bool fallsMayWait_ = false;
    uint64_t interest_ = ~uint64_t{0};
};

// A subject with a value. set() stores and notifies; get() only reads.
template <typename T>
class Value : public Subject {
public:
    using value_type = T;
    virtual void set(T v) {
        value_ = v;
        notify();
    }
    virtual T get() const { return value_; }

protected:
    T value_{};
};

// A value whose owner can switch notification off while it loads many
// values at once; while switched off, set() only stores.
template <typename T>
class GatedValue : public Value<T> {
public:
    void set(T v) override {
        this->value_ = v;
        if (notifyEnabled_) this->notify();
    }
    bool notifyEnabled() const { return notifyEnabled_; }
    void setNotifyEnabled(bool enabled) { notifyEnabled_ = enabled; }
    // Stores without notifying, whatever notifyEnabled() says, and reads
    // what is stored: no virtual call, for loops over many values.
    void load(T v) { this->value_ = v; }
    T stored() const { return this->value_; }

private:
    bool notifyEnabled_ = true;
};

// A value that remembers the one it replaced.
template <typename T>
class HistoryValue : public Value<T> {
public:
    void set(T v) override {
        previous_ = this->value_;
        this->value_ = v;
        this->notify();
    }
    T previous() const { return previous_; }
    // As set(), without notifying: the value replaced still becomes
    // previous().
    void load(T v) {
        previous_ = this->value_;
        this->value_ = v;
    }

private:
    T previous_{};
};

// Calls a member function of its owner on every notification.
template <typename C>
class CallOnWrite : public Observer {
public:
    using Fn = void (C::*)();
    CallOnWrite(Subject* subject, C* target, Fn fn, bool active = true)
        : Observer(subject, active), fn_(fn), target_(target) {}
    void update() override { (target_->*fn_)(); }

private:
    Fn fn_;
    C* target_;
};

namespace observer_detail {

// Shared part of the observers that compare the subject's value with the
// value they saw at the last notification. `Kind` (the observer deriving
// from it) says when it fires (fires) and what it then does (call); both
// are resolved at compile time, so an update costs no call beyond the
// subject's get() and the owner's member function.
template <typename T, typename Kind>
class Comparing : public Observer {
public:
    Value<T>* valueSubject() const { return static_cast<Value<T>*>(subject()); }
    // The subject's value; throws when the subject is gone.
    T value() const {
        if (!subject()) throw SubjectIsDestroyed();
        return valueSubject()->get();
    }
    T last() const { return last_; }

    void update() override {
        if (!subject()) throw SubjectIsDestroyed();
        T v = valueSubject()->get();
        Kind& kind = static_cast<Kind&>(*this);
        if (kind.fires(last_, v)) kind.call();
        // Read again after the call: a change made by the callback itself
        // counts as seen.
        if (!subject()) throw SubjectIsDestroyed();
        last_ = valueSubject()->get();
    }

    void resume() override {
        if (!subject()) throw SubjectIsDestroyed();
        last_ = valueSubject()->get();
        Observer::resume();
    }

protected:
    Comparing(Value<T>* subject, bool active) : Observer(subject, active) {
        // A subject that cannot be read leaves the observer detached: the
        // base destructor runs when this throws.
        if (!subject) throw SubjectIsDestroyed();
        last_ = subject->get();
    }

private:
    T last_{};
};

}  // namespace observer_detail

// Calls the member function when the value differs from the last one seen.
template <typename C, typename T>
class CallOnChange : public observer_detail::Comparing<T, CallOnChange<C, T>> {
public:
    using Fn = void (C::*)();
    CallOnChange(Value<T>* subject, C* target, Fn fn, bool active = true)
        : observer_detail::Comparing<T, CallOnChange>(subject, active), fn_(fn), target_(target) {}

private:
    friend class observer_detail::Comparing<T, CallOnChange>;
    bool fires(T last, T now) const { return last != now; }
    void call() { (target_->*fn_)(); }

private:
    Fn fn_;
    C* target_;
};

// As CallOnChange, passing an argument bound at construction.
template <typename C, typename T>
class CallOnChange1 : public observer_detail::Comparing<T, CallOnChange1<C, T>> {
public:
    using Fn = void (C::*)(int32_t);
    CallOnChange1(Value<T>* subject, C* target, Fn fn, int32_t argument, bool active = true)
        : observer_detail::Comparing<T, CallOnChange1>(subject, active),
          fn_(fn),
          target_(target),
          argument_(argument) {}
    int32_t argument() const { return argument_; }

private:
    friend class observer_detail::Comparing<T, CallOnChange1>;
    bool fires(T last, T now) const { return last != now; }
    void call() { (target_->*fn_)(argument_); }

private:
    Fn fn_;
    C* target_;
    int32_t argument_;
};

// Calls the member function when the value rose (unsigned comparison).
template <typename C, typename T>
class CallOnRise : public observer_detail::Comparing<T, CallOnRise<C, T>> {
public:
    using Fn = void (C::*)();
    CallOnRise(Value<T>* subject, C* target, Fn fn, bool active = true)
        : observer_detail::Comparing<T, CallOnRise>(subject, active), fn_(fn), target_(target) {}

private:
    friend class observer_detail::Comparing<T, CallOnRise>;
    bool fires(T last, T now) const {
        using U = std::make_unsigned_t<T>;
        return static_cast<U>(now) > static_cast<U>(last);
    }
    void call() { (target_->*fn_)(); }

private:
    Fn fn_;
    C* target_;
};

// Calls the member function when the value changed in one of the bits of
// `mask`. Made for registers that change on nearly every refresh while the
// owner cares about a few bits (a light on one pin, a bus's enable line):
// it reads the stored value without a virtual call, and a change of other
// bits costs one comparison. A change the callback itself makes is seen by
// the nested notification, not again after the call.
template <typename C, typename T>
class CallOnBitsChange : public Observer {
public:
    using Fn = void (C::*)();
    CallOnBitsChange(GatedValue<T>* subject, C* target, Fn fn, T mask, bool active = true)
        : Observer(subject, active), fn_(fn), target_(target), mask_(mask) {
        // A subject that cannot be read leaves the observer detached: the
        // base destructor runs when this throws.
        last_ = value();
        this->setInterest(static_cast<uint64_t>(mask));
    }
    void setMask(T mask) {
        mask_ = mask;
        this->setInterest(static_cast<uint64_t>(mask));
    }
    T mask() const { return mask_; }
    // The subject's value; throws when the subject is gone.
    T value() const {
        if (!subject()) throw SubjectIsDestroyed();
        return static_cast<GatedValue<T>*>(subject())->stored();
    }

    void update() override {
        const T now = value();
        const T moved = static_cast<T>(now ^ last_);
        last_ = now;
        if (moved & mask_) (target_->*fn_)();
    }
    void resume() override {
        last_ = value();
        Observer::resume();
    }

private:
    Fn fn_;
    C* target_;
    T mask_;
    T last_{};
};

// As CallOnBitsChange, passing an argument bound at construction: a
// CallOnBitsChange whose target is this observer, forwarding the call.
template <typename C, typename T>
class CallOnBitsChange1 : public CallOnBitsChange<CallOnBitsChange1<C, T>, T> {
public:
    using Fn = void (C::*)(int32_t);
    CallOnBitsChange1(GatedValue<T>* subject, C* target, Fn fn, T mask, int32_t argument,
                      bool active = true)
        : CallOnBitsChange<CallOnBitsChange1, T>(subject, this, &CallOnBitsChange1::forward, mask,
                                                 active),
          fn_(fn),
          target_(target),
          argument_(argument) {}
    GatedValue<T>* valueSubject() const { return static_cast<GatedValue<T>*>(this->subject()); }

private:
    void forward() { (target_->*fn_)(argument_); }

    Fn fn_;
    C* target_;
    int32_t argument_;
};
