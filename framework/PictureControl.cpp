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
    bitmapId_ = resourceId;
    setProperty("bitmapId", resourceId);
    setPixmap(pixmap);
    if (!pixmap.isNull()) setFixedSize(pixmap.deviceIndependentSize().toSize());
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
    if (reportsClicks_ && event->button() == Qt::LeftButton) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::mousePressEvent(event);
}
