// A static picture control: shows one of the module's bitmaps and, when
// asked to, reports left clicks. The property "bitmapId" names the bitmap
// shown, so tests and tools can tell what the control displays.
//
// The control paints its bitmap itself and repaints at the display's rate
// (DisplayRate): a light that changes with every refresh during Run costs
// a number and a pointer per change, not a label update and a repaint.
#pragma once

#include <QLabel>
#include <QPixmap>

#include "framework/DisplayRate.h"

class PictureControl : public QLabel {
    Q_OBJECT
    // A declared property, not a dynamic one: setting a dynamic property
    // searches the meta-object on every change, and a light on a busy
    // port changes with nearly every refresh.
    Q_PROPERTY(int bitmapId READ bitmapId)
public:
    PictureControl(QWidget* parent, int controlId, bool reportsClicks = false);

    // Shows bitmap `resourceId` (drawn for this screen's pixel ratio).
    void setBitmap(int resourceId);
    // Shows an already loaded bitmap and records its number. Showing the
    // bitmap already shown does nothing, and costs no call into the toolkit:
    // a light on a busy port is told its state on many refreshes. A new
    // pixmap for the same number (one loaded for another screen) is shown.
    void setBitmap(int resourceId, const QPixmap& pixmap) {
        if (resourceId != bitmapId_ || !showing(pixmap)) showPixmap(resourceId, pixmap);
    }
    int bitmapId() const { return bitmapId_; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Whether `pixmap` shares its data with the one shown. The control's
    // copy holds a reference to that data, so no other pixmap's data can
    // have its address.
    bool showing(const QPixmap& pixmap) {
        return const_cast<QPixmap&>(pixmap).data_ptr() == pixmap_.data_ptr();
    }
    void showPixmap(int resourceId, const QPixmap& pixmap);

    int bitmapId_ = 0;
    QPixmap pixmap_;
    QSize size_;  // pixmap_'s size, invalid for a null pixmap
    // The pixmap shown before pixmap_ and its size: a light alternates
    // between two pictures.
    QPixmap previous_;
    QSize previousSize_;
    QSize fixedSize_;  // the size the control was last fixed to
    DisplayRate::Waiting waiting_;
    bool reportsClicks_;
};
