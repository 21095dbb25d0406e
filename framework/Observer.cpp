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
    changed();
    ++activeCount_;
    if (showsOnly) ++showingCount_;
    ++activityChanges_;
    if (hooksEnabled_ && activeCount_ == 1) firstObserverActive();
}

void Subject::countDown(bool showsOnly) {
    changed();
    --activeCount_;
    if (showsOnly) --showingCount_;
    ++activityChanges_;
    if (hooksEnabled_ && activeCount_ == 0) lastObserverInactive();
}

void Subject::attach(Observer* observer) {
    changed();
    if (observer->active_) countUp(observer->showsOnly_);
    observers_ = new Node{observer, observers_, nullptr, {}};
    if (observers_->next) observers_->next->prev = observers_;
    observer->node_ = observers_;
}

void Subject::unlink(Node* node) {
    changed();
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
            changed();
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

// Keeps depth and purgeAllowed right when an update() throws.
struct Subject::DepthGuard {
    Subject& s;
    explicit DepthGuard(Subject& subject) : s(subject) { ++s.depth_; }
    ~DepthGuard() {
        --s.depth_;
        if (s.depth_ == 0) s.purgeAllowed_ = true;
    }
};

bool Subject::reaches(const Observer* o, Which which) {
    switch (which) {
        case Which::All:
            return true;
        case Which::Reacting:
            return !o->showsOnly_;
        case Which::Showing:
            return o->showsOnly_;
        case Which::Waiting:
            return o->fallsMayWait_ && !o->showsOnly_;
    }
    return false;
}

void Subject::makeChains() {
    Node* last[kKinds] = {};
    for (int k = 0; k < kKinds; ++k) chains_[k] = nullptr;
    for (Node* node = observers_; node; node = node->next) {
        const Observer* o = node->observer;
        if (!o || !o->active_) continue;
        for (int k = 0; k < kKinds; ++k) {
            if (!reaches(o, static_cast<Which>(k))) continue;
            (last[k] ? last[k]->chain[k] : chains_[k]) = node;
            last[k] = node;
        }
    }
    for (int k = 0; k < kKinds; ++k)
        if (last[k]) last[k]->chain[k] = nullptr;
    chainsVersion_ = version_;
}

void Subject::notifyWhich(Which which) {
    if (chainsVersion_ != version_) makeChains();
    const auto k = static_cast<int>(which);
    Node* node = chains_[k];
    if (!node) return;
    DepthGuard guard(*this);
    // While nothing changes, the chain holds exactly the nodes the walk
    // node by node would call. After a change the walk goes on node by
    // node from the next node, read only after update() returns: a purge
    // cannot free the node being visited (see notifyFrom).
    const uint32_t version = version_;
    do {
        node->observer->update();
        if (version_ != version) {
            notifyFrom(node->next, which);
            return;
        }
        node = node->chain[k];
    } while (node);
}

void Subject::notifyFrom(Node* node, Which which) {
    // The next node is read only after update() returns: a purge cannot free
    // the node being visited, because purges never run at depth 2 or more
    // and at most once at depth 1.
    for (; node; node = node->next) {
        Observer* observer = node->observer;
        if (!observer || !observer->active_) continue;
        if (!reaches(observer, which)) continue;
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
    if (subject_) subject_->changed();
    if (active_ && subject_) ++Subject::activityChanges_;
}

void Observer::setShowsOnly(bool showsOnly) {
    if (showsOnly == showsOnly_) return;
    showsOnly_ = showsOnly;
    if (subject_) subject_->changed();
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
