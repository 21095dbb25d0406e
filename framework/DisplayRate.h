// Repaints at the display's rate. A component whose picture changes with
// every refresh (a light on a busy port, the LCD's status during a bus
// cycle) asks for its repaint here instead of calling update() itself: the
// first request after a quiet frame repaints at once (a single step shows
// its result immediately), further requests within the frame are gathered
// and repainted together when the frame ends. So during Run a widget is
// repainted at most once a frame however often its model changes. What a
// widget paints must be read from its state at paint time, so that a grab
// in between shows the latest state too.
#pragma once

#include "contract/HostProtocol.h"

class QWidget;

namespace DisplayRate {

// A widget whose picture comes from a model that is costly to bring up to
// date (the Stack view's list over the whole data memory) implements this:
// the frame calls catchUp() where it would call update(), at once after a
// quiet frame or when the frame ends, and catchUp() updates the model,
// which repaints what changed.
class CatchUp {
public:
    virtual void catchUp() = 0;

protected:
    ~CatchUp() = default;
};

// One frame of a 60 Hz screen.
constexpr int kFrameMs = kDisplayFrameMs;

// Whether a widget waits for the end of the frame. Every widget that
// repaints here keeps one, as a member of the widget or of an owner the
// widget never outlives: a widget asks on nearly every refresh (a light on
// a busy port), and while it waits a further request is one test of this
// flag.
class Waiting {
public:
    bool waiting() const { return waiting_; }

private:
    friend class FrameAccess;
    bool waiting_ = false;
};

void RepaintMarked(QWidget* widget, Waiting* mark);
// Repaints `widget` (or lets it catch up) now or at the end of the current
// frame; `mark` is the widget's.
inline void Repaint(QWidget* widget, Waiting& mark) {
    if (!mark.waiting()) RepaintMarked(widget, &mark);
}
// Repaints every widget waiting for the end of the frame now.
void Flush();
// How many widgets wait for the end of the frame.
int Pending();

}  // namespace DisplayRate
