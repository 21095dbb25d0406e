#include "framework/PictureControl.h"

#include <QMouseEvent>

#include "framework/Controls.h"
#include "resources/Bitmaps.h"

PictureControl::PictureControl(QWidget* parent, int controlId, bool reportsClicks)
    : QLabel(parent), reportsClicks_(reportsClicks) {
    SetControlId(this, controlId);
    setAlignment(Qt::AlignCenter);
    if (reportsClicks_) setCursor(Qt::PointingHandCursor);
}

void PictureControl::setBitmap(int resourceId) {
    setBitmap(resourceId, LoadBitmap(resourceId, devicePixelRatioF()));
}

void PictureControl::setBitmap(int resourceId, const QPixmap& pixmap) {
    if (resourceId == bitmapId_ && pixmap.cacheKey() == this->pixmap().cacheKey()) return;
    bitmapId_ = resourceId;
    setPixmap(pixmap);
    if (!pixmap.isNull()) {
        const QSize size = pixmap.deviceIndependentSize().toSize();
        if (size != minimumSize() || size != maximumSize()) setFixedSize(size);
    }
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
    if (reportsClicks_ && event->button() == Qt::LeftButton) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::mousePressEvent(event);
}
