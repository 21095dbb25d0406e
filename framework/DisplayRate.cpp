#include "framework/DisplayRate.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
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
        if (!timer_.isActive()) {
            // Quiet until now: paint at once and open a frame.
            present(widget);
            timer_.start();
            return;
        }
        // The mark lives as long as the widget: it is only touched again
        // through a widget still alive.
        waiting_.push_back({widget, mark});
        DisplayRate::FrameAccess::set(mark, true);
    }

    void flush() {
        std::vector<Marked> due;
        due.swap(waiting_);
        for (const Marked& m : due) {
            if (!m.widget) continue;
            DisplayRate::FrameAccess::set(m.mark, false);
            present(m.widget);
        }
    }

    int pending() const { return static_cast<int>(waiting_.size()); }

private:
    struct Marked {
        QPointer<QWidget> widget;
        DisplayRate::Waiting* mark;
    };

    void endOfFrame() {
        const bool busy = !waiting_.empty();
        flush();
        // Changes keep coming: the next frame gathers them too.
        if (busy) timer_.start();
    }

    QTimer timer_;
    std::vector<Marked> waiting_;
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
