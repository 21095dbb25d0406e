// The module's bitmaps, addressed by resource number and drawn in code so
// that they stay crisp at any device pixel ratio.
#pragma once

#include <QPixmap>

namespace bitmap {
// Component pictures.
constexpr int kLedDark = 220;        // 25 x 25
constexpr int kLedLit = 221;         // 25 x 25
constexpr int kSwitchOff = 204;      // 30 x 30, lever down, red
constexpr int kSwitchOn = 205;       // 30 x 30, lever up, green
constexpr int kSegmentDark = 201;    // 25 x 16
constexpr int kSegmentLit = 202;     // 25 x 16
constexpr int kKnightTitle = 203;    // 329 x 56
constexpr int kStackPointers = 261;  // 80 x 16: blank, SP, XR, YR, ZR
// Toolbar buttons, 16 x 16.
constexpr int kToolKnightRider = 5001;
constexpr int kToolCapacity = 234;
constexpr int kToolLed = 235;
constexpr int kToolSwitch = 236;
constexpr int kToolSlider = 266;
constexpr int kToolKeypad = 242;
constexpr int kToolStackView = 267;
constexpr int kToolBeerbasement = 269;
constexpr int kToolLcd = 288;
constexpr int kToolAutostep = 281;
}  // namespace bitmap

// Logical size of a bitmap; an invalid size for an unknown id.
QSize BitmapSize(int resourceId);

// The bitmap `resourceId` at its logical size, rendered for the given
// device pixel ratio. Null for an unknown id, and when no GUI application
// exists (pixmaps need one).
QPixmap LoadBitmap(int resourceId, qreal devicePixelRatio = 1.0);

// The module's exported bitmap loader, looked up by a host with dlsym under
// this plain name: stores the bitmap in *out and returns whether the id is
// known. Host and module share one Qt, so a QPixmap may cross.
extern "C" bool QuillLoadBitmap(int resourceId, double devicePixelRatio, QPixmap* out);

// Every resource id LoadBitmap knows, in ascending order.
const QList<int>& BitmapIds();
