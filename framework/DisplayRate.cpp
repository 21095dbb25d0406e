#include "framework/DisplayRate.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <unordered_map>
#include <vector>

namespace DisplayRate {

// The frame's way to mark and unmark a widget.
class FrameAccess {
public:
    static void set(Waiting* mark, bool waiting) { mark->waiting_ = waiting; }
};

}  // namespace DisplayRate

namespace {

void present(QWidget* widget) {
    if (auto* lagging = dynamic_cast<DisplayRate::CatchUp*>(widget)) {
        lagging->catchUp();
    } else {
        widget->update();
    }
}

// One per application: the frame timer and the widgets waiting for it.
class Frame : public QObject {
public:
    explicit Frame(QObject* parent) : QObject(parent) {
        timer_.setSingleShot(true);
        timer_.setInterval(DisplayRate::kFrameMs);
        connect(&timer_, &QTimer::timeout, this, [this] { endOfFrame(); });
    }
    ~Frame() override;

    void repaint(QWidget* widget, DisplayRate::Waiting* mark) {
        // The widget that asked last and waits already (a widget asking on
        // every refresh, without a mark of its own): nothing to look up.
        if (!mark && last_ < pending_.size() && pending_[last_] == widget) return;
        if (!timer_.isActive()) {
            // Quiet until now: paint at once and open a frame.
            present(widget);
            timer_.start();
            return;
        }
        if (mark) {
            // The mark says whether the widget waits already; it is only
            // read through a live widget, whose member it is.
            marked_.push_back({widget, mark});
            DisplayRate::FrameAccess::set(mark, true);
            return;
        }
        auto [it, added] = index_.try_emplace(widget, pending_.size());
        last_ = it->second;
        if (added) {
            pending_.emplace_back(widget);
        } else if (!pending_[it->second]) {
            // A widget gone before the frame ended, and a new one at its
            // address.
            pending_[it->second] = widget;
        }
    }

    void flush() {
        std::vector<QPointer<QWidget>> due;
        due.swap(pending_);
        index_.clear();
        std::vector<Marked> marked;
        marked.swap(marked_);
        for (const Marked& m : marked) {
            if (!m.widget) continue;
            DisplayRate::FrameAccess::set(m.mark, false);
            present(m.widget);
        }
        for (const QPointer<QWidget>& widget : due)
            if (widget) present(widget);
    }

    int pending() const { return static_cast<int>(pending_.size() + marked_.size()); }

private:
    struct Marked {
        QPointer<QWidget> widget;
        DisplayRate::Waiting* mark;
    };

    void endOfFrame() {
        const bool busy = !pending_.empty() || !marked_.empty();
        flush();
        // Changes keep coming: the next frame gathers them too.
        if (busy) timer_.start();
    }

    QTimer timer_;
    std::vector<QPointer<QWidget>> pending_;
    std::size_t last_ = 0;  // in pending_, the widget that asked last
    std::vector<Marked> marked_;
    std::unordered_map<const QWidget*, std::size_t> index_;
};

// The frame, or null before it is made (or after the application took it
// down); the destructor clears it, so asking costs no guarded pointer.
Frame* instance = nullptr;

Frame::~Frame() {
    if (instance == this) instance = nullptr;
}

Frame* frame() {
    // Owned by the application, so it goes before the toolkit does.
    if (!instance && QCoreApplication::instance())
        instance = new Frame(QCoreApplication::instance());
    return instance;
}

}  // namespace

namespace DisplayRate {

void Repaint(QWidget* widget) {
    if (!widget) return;
    if (Frame* f = frame()) {
        f->repaint(widget, nullptr);
    } else {
        present(widget);
    }
}

void RepaintMarked(QWidget* widget, Waiting* mark) {
    if (!widget) return;
    if (Frame* f = frame()) {
        f->repaint(widget, mark);
    } else {
        present(widget);
    }
}

void Flush() {
    if (Frame* f = frame()) f->flush();
}

int Pending() {
    Frame* f = frame();
    return f ? f->pending() : 0;
}

}  // namespace DisplayRate
