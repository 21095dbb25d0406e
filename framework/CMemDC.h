// Off-screen drawing for flicker-free painting: draw on the CMemDC's painter
// in the target's coordinates, and the finished picture is copied to the
// target in one step when the CMemDC goes out of scope (copyBack), or taken
// by the caller with pixmap() (copyBack false, e.g. to copy it stretched).
// The off-screen surface has the target's device pixel ratio, so the copy
// stays sharp on high-density screens. When the target is a printer the
// CMemDC draws straight on it.
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <optional>

class CMemDC {
public:
    // `rect` in the target's logical coordinates; none = the target's clip
    // region bounds, or its whole device when it has no clipping.
    CMemDC(QPainter* target, std::optional<QRect> rect = std::nullopt, bool copyBack = true);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    QPainter* painter() { return isMemDC_ ? &memory_ : target_; }
    QPainter* operator->() { return painter(); }
    const QRect& rect() const { return rect_; }
    bool isMemDC() const { return isMemDC_; }
    // The off-screen picture (finished once painting is done); null when
    // drawing straight on the target.
    const QPixmap& pixmap();

private:
    QPainter* target_;
    QRect rect_;
    bool isMemDC_ = true;
    bool copyBack_;
    QPixmap bitmap_;
    QPainter memory_;
};
