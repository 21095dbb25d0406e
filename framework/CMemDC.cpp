#include "framework/CMemDC.h"

#include <QPaintDevice>
#include <QPaintEngine>

CMemDC::CMemDC(QPainter* target, std::optional<QRect> rect, bool copyBack)
    : target_(target), copyBack_(copyBack) {
    QPaintDevice* device = target_ ? target_->device() : nullptr;
    isMemDC_ = device && device->devType() != QInternal::Printer;
    if (rect) {
        rect_ = *rect;
    } else if (target_ && target_->hasClipping()) {
        rect_ = target_->clipBoundingRect().toAlignedRect();
    } else if (device) {
        rect_ = QRect(0, 0, device->width(), device->height());
    }
    const QColor background = target_ && target_->background().style() != Qt::NoBrush
                                  ? target_->background().color()
                                  : QColor(Qt::white);
    if (isMemDC_ && !rect_.isEmpty()) {
        const qreal ratio = device->devicePixelRatioF();
        bitmap_ = QPixmap(rect_.size() * ratio);
        bitmap_.setDevicePixelRatio(ratio);
        bitmap_.fill(background);
        memory_.begin(&bitmap_);
        memory_.setRenderHints(target_->renderHints());
        memory_.setFont(target_->font());
        memory_.setPen(target_->pen());
        memory_.setBackground(target_->background());
        // Callers draw in the target's coordinates.
        memory_.translate(-rect_.topLeft());
    } else if (target_) {
        isMemDC_ = false;
        target_->fillRect(rect_, background);
    }
}

const QPixmap& CMemDC::pixmap() {
    if (memory_.isActive()) memory_.end();
    return bitmap_;
}

CMemDC::~CMemDC() {
    if (memory_.isActive()) memory_.end();
    if (isMemDC_ && copyBack_ && target_ && !bitmap_.isNull()) {
        target_->drawPixmap(rect_.topLeft(), bitmap_);
    }
}
