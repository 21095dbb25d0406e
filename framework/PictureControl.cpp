#include "framework/PictureControl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "framework/Controls.h"
#include "framework/DisplayRate.h"
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

void PictureControl::showPixmap(int resourceId, const QPixmap& pixmap) {
    bitmapId_ = resourceId;
    if (const_cast<QPixmap&>(pixmap).data_ptr() == previous_.data_ptr()) {
        // A light going back to the picture it showed before: the two
        // change places, without a toolkit call.
        pixmap_.swap(previous_);
        std::swap(size_, previousSize_);
    } else {
        previous_.swap(pixmap_);
        previousSize_ = size_;
        pixmap_ = pixmap;
        size_ = pixmap.isNull() ? QSize() : pixmap.deviceIndependentSize().toSize();
    }
    if (size_.isValid() && size_ != fixedSize_) {
        fixedSize_ = size_;
        setFixedSize(size_);
    }
    DisplayRate::Repaint(this, waiting_);
}

void PictureControl::paintEvent(QPaintEvent* event) {
    if (pixmap_.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QSize size = pixmap_.deviceIndependentSize().toSize();
    const QRect area = contentsRect();
    painter.drawPixmap(QStyle::alignedRect(layoutDirection(), alignment(), size, area), pixmap_);
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
    if (reportsClicks_ && event->button() == Qt::LeftButton) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::mousePressEvent(event);
}
