#include "framework/Observer.h"

uint64_t Subject::activityChanges_ = 0;

Subject::~Subject() {
    ++activityChanges_;
    Node* node = observers_;
    while (node) {
        Node* next = node->next;
        if (node->observer) node->observer->subjectDestroyed();
        delete node;
        node = next;
    }
    observers_ = nullptr;
}

void Subject::countUp(bool showsOnly) {
    ++activeCount_;
    if (showsOnly) ++showingCount_;
    ++activityChanges_;
    if (hooksEnabled_ && activeCount_ == 1) firstObserverActive();
}

void Subject::countDown(bool showsOnly) {
    --activeCount_;
    if (showsOnly) --showingCount_;
    ++activityChanges_;
    if (hooksEnabled_ && activeCount_ == 0) lastObserverInactive();
}

void Subject::attach(Observer* observer) {
    if (observer->active_) countUp(observer->showsOnly_);
    observers_ = new Node{observer, observers_, nullptr};
    if (observers_->next) observers_->next->prev = observers_;
    observer->node_ = observers_;
}

void Subject::unlink(Node* node) {
    if (node->prev) {
        node->prev->next = node->next;
    } else {
        observers_ = node->next;
    }
    if (node->next) node->next->prev = node->prev;
    delete node;
}

void Subject::detach(Observer* observer) {
    // Nodes cleared during a notification are freed here, outside it.
    // At depth 1 only the first detach may purge (the node being visited
    // is not yet cleared then); a later one could free that node.
    if (purgeAllowed_ && depth_ < 2) {
        for (Node* node = cleared_ > 0 ? observers_ : nullptr; node;) {
            Node* next = node->next;
            if (!node->observer) {
                unlink(node);
                --cleared_;
            }
            node = next;
        }
        purgeAllowed_ = (depth_ == 0);
    }
    if (Node* node = observer->node_) {
        if (depth_ == 0) {
            // No notification walks the list: the node goes at once, in
            // constant time (thousands of windows closing one after another
            // on the same register stay linear).
            unlink(node);
        } else {
            node->observer = nullptr;
            ++cleared_;
        }
    }
    observer->node_ = nullptr;
    observer->suspend();
}

void Subject::notify() { notifyWhich(Which::All); }

void Subject::notifyReacting() { notifyWhich(Which::Reacting); }

void Subject::notifyWaiting() { notifyWhich(Which::Waiting); }

void Subject::notifyShowing() {
    if (showingCount_ > 0) notifyWhich(Which::Showing);
}

void Subject::notifyWhich(Which which) {
    // Keeps depth and purgeAllowed right when an update() throws.
    struct DepthGuard {
        Subject& s;
        explicit DepthGuard(Subject& subject) : s(subject) { ++s.depth_; }
        ~DepthGuard() {
            --s.depth_;
            if (s.depth_ == 0) s.purgeAllowed_ = true;
        }
    } guard(*this);
    // The next node is read only after update() returns: a purge cannot free
    // the node being visited, because purges never run at depth 2 or more
    // and at most once at depth 1.
    for (Node* node = observers_; node; node = node->next) {
        Observer* observer = node->observer;
        if (!observer || !observer->active_) continue;
        if (which == Which::Waiting) {
            if (!observer->fallsMayWait_ || observer->showsOnly_) continue;
        } else if (which != Which::All && observer->showsOnly_ != (which == Which::Showing)) {
            continue;
        }
        observer->update();
    }
}

uint64_t Subject::reactingInterest(const Observer* except, uint64_t* fallsWait) const {
    uint64_t bits = 0, urgent = 0;
    for (Node* node = observers_; node; node = node->next) {
        const Observer* o = node->observer;
        if (!o || o == except || !o->active_ || o->showsOnly_) continue;
        bits |= o->interest_;
        if (!o->fallsMayWait_) urgent |= o->interest_;
    }
    if (fallsWait) *fallsWait = bits & ~urgent;
    return bits;
}

int Subject::nodeCount() const {
    int n = 0;
    for (Node* node = observers_; node; node = node->next) ++n;
    return n;
}

Observer::Observer(Subject* subject, bool active) : subject_(subject), active_(active) {
    if (subject_) subject_->attach(this);
}

Observer::~Observer() {
    if (subject_) subject_->detach(this);
}

void Observer::resume() {
    if (!active_) {
        active_ = true;
        if (subject_) subject_->countUp(showsOnly_);
    }
}

void Observer::suspend() {
    if (active_) {
        active_ = false;
        if (subject_) subject_->countDown(showsOnly_);
    }
}

void Observer::setInterest(uint64_t bits) {
    if (bits == interest_) return;
    interest_ = bits;
    // Whoever derived a filter from the interests derives it again.
    ++Subject::activityChanges_;
}

void Observer::setFallsMayWait(bool wait) {
    if (wait == fallsMayWait_) return;
    fallsMayWait_ = wait;
    if (active_ && subject_) ++Subject::activityChanges_;
}

void Observer::setShowsOnly(bool showsOnly) {
    if (showsOnly == showsOnly_) return;
    showsOnly_ = showsOnly;
    // Counted under its new kind; the count of active observers stays.
    if (active_ && subject_) {
        subject_->showingCount_ += showsOnly ? 1 : -1;
        ++Subject::activityChanges_;
    }
}

void Observer::subjectDestroyed() {
    if (subject_) {
        subject_ = nullptr;
        node_ = nullptr;
    }
}
