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
    // bitmap already shown does nothing.
    void setBitmap(int resourceId, const QPixmap& pixmap);
    int bitmapId() const { return bitmapId_; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int bitmapId_ = 0;
    QPixmap pixmap_;
    qint64 pixmapKey_ = 0;
    bool reportsClicks_;
};
