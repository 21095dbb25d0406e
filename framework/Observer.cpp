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

void Subject::countUp() {
    ++activeCount_;
    ++activityChanges_;
    if (hooksEnabled_ && activeCount_ == 1) firstObserverActive();
}

void Subject::countDown() {
    --activeCount_;
    ++activityChanges_;
    if (hooksEnabled_ && activeCount_ == 0) lastObserverInactive();
}

void Subject::attach(Observer* observer) {
    if (observer->active_) countUp();
    observers_ = new Node{observer, observers_};
    observer->node_ = observers_;
}

void Subject::detach(Observer* observer) {
    if (purgeAllowed_ && depth_ < 2) {
        Node** link = &observers_;
        while (Node* node = *link) {
            if (!node->observer) {
                *link = node->next;
                delete node;
            } else {
                link = &node->next;
            }
        }
        purgeAllowed_ = (depth_ == 0);
    }
    if (observer->node_) observer->node_->observer = nullptr;
    observer->node_ = nullptr;
    observer->suspend();
}

void Subject::notify() {
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
        if (observer && observer->active_) observer->update();
    }
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
        if (subject_) subject_->countUp();
    }
}

void Observer::suspend() {
    if (active_) {
        active_ = false;
        if (subject_) subject_->countDown();
    }
}

void Observer::subjectDestroyed() {
    if (subject_) {
        subject_ = nullptr;
        node_ = nullptr;
    }
}
