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

class QWidget;

namespace DisplayRate {

// One frame of a 60 Hz screen.
constexpr int kFrameMs = 16;

// Repaints `widget` now or at the end of the current frame.
void Repaint(QWidget* widget);
// Repaints every widget waiting for the end of the frame now.
void Flush();
// How many widgets wait for the end of the frame.
int Pending();

}  // namespace DisplayRate
