#include "resources/Bitmaps.h"

#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <map>

#include "resources/AnalogPictures.h"

namespace {

using Painter = void (*)(QPainter&, QSizeF);

// ---- Component pictures

void ledDisc(QPainter& p, QSizeF s, bool lit) {
    const QPointF c(s.width() / 2, s.height() / 2);
    const qreal r = s.width() / 2 - 1.0;
    if (lit) {
        QRadialGradient glow(c, r + 1.0);
        glow.setColorAt(0.75, QColor(80, 255, 80, 140));
        glow.setColorAt(1.0, QColor(80, 255, 80, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, r + 1.0, r + 1.0);
    }
    // Bezel.
    QLinearGradient bezel(0, 0, 0, s.height());
    bezel.setColorAt(0, QColor(200, 200, 200));
    bezel.setColorAt(1, QColor(90, 90, 90));
    p.setBrush(bezel);
    p.setPen(Qt::NoPen);
    p.drawEllipse(c, r - 0.5, r - 0.5);
    // Lens.
    const qreal lens = r - 2.5;
    QRadialGradient body(c - QPointF(lens * 0.3, lens * 0.3), lens * 1.3);
    if (lit) {
        body.setColorAt(0, QColor(220, 255, 220));
        body.setColorAt(0.35, QColor(70, 240, 70));
        body.setColorAt(1, QColor(10, 150, 10));
    } else {
        body.setColorAt(0, QColor(70, 110, 70));
        body.setColorAt(0.5, QColor(25, 70, 25));
        body.setColorAt(1, QColor(10, 40, 10));
    }
    p.setBrush(body);
    p.setPen(QPen(lit ? QColor(0, 110, 0) : QColor(5, 30, 5), 0.8));
    p.drawEllipse(c, lens, lens);
    // Highlight.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, lit ? 190 : 70));
    p.drawEllipse(QPointF(c.x() - lens * 0.35, c.y() - lens * 0.4), lens * 0.28, lens * 0.2);
}

void ledDark(QPainter& p, QSizeF s) { ledDisc(p, s, false); }
void ledLit(QPainter& p, QSizeF s) { ledDisc(p, s, true); }

void toggleSwitch(QPainter& p, QSizeF s, bool up) {
    const qreal w = s.width(), h = s.height();
    // Mounting plate.
    QLinearGradient plate(0, 0, 0, h);
    plate.setColorAt(0, QColor(235, 235, 235));
    plate.setColorAt(1, QColor(170, 170, 170));
    p.setPen(QPen(QColor(110, 110, 110), 1.0));
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(3.5, 3.5, w - 7, h - 7), 3, 3);
    // Hex nut around the pivot.
    const QPointF c(w / 2, h / 2);
    QRadialGradient nut(c - QPointF(1.5, 1.5), 7);
    nut.setColorAt(0, QColor(250, 250, 250));
    nut.setColorAt(1, QColor(120, 120, 120));
    p.setBrush(nut);
    p.setPen(QPen(QColor(80, 80, 80), 0.8));
    p.drawEllipse(c, 6.0, 6.0);
    // Lever from the pivot to the tip.
    const QPointF tip(c.x(), up ? 6.5 : h - 6.5);
    QPen lever(QColor(90, 90, 90), 3.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(lever);
    p.drawLine(c, tip);
    QRadialGradient ball(tip - QPointF(1.2, 1.2), 5.0);
    const QColor colour = up ? QColor(30, 190, 40) : QColor(220, 30, 30);
    ball.setColorAt(0, colour.lighter(170));
    ball.setColorAt(1, colour.darker(130));
    p.setBrush(ball);
    p.setPen(QPen(colour.darker(180), 0.8));
    p.drawEllipse(tip, 4.5, 4.5);
}

void switchOff(QPainter& p, QSizeF s) { toggleSwitch(p, s, false); }
void switchOn(QPainter& p, QSizeF s) { toggleSwitch(p, s, true); }

void segment(QPainter& p, QSizeF s, bool lit) {
    const QRectF r(1.5, 1.5, s.width() - 3, s.height() - 3);
    QLinearGradient body(0, r.top(), 0, r.bottom());
    if (lit) {
        body.setColorAt(0, QColor(255, 150, 130));
        body.setColorAt(0.45, QColor(255, 30, 20));
        body.setColorAt(1, QColor(170, 0, 0));
    } else {
        body.setColorAt(0, QColor(110, 60, 60));
        body.setColorAt(1, QColor(55, 20, 20));
    }
    p.setPen(QPen(QColor(40, 10, 10), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(r, 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, lit ? 110 : 35));
    p.drawRoundedRect(QRectF(r.left() + 2, r.top() + 1.5, r.width() - 4, r.height() * 0.3), 1.5,
                      1.5);
}

void segmentDark(QPainter& p, QSizeF s) { segment(p, s, false); }
void segmentLit(QPainter& p, QSizeF s) { segment(p, s, true); }

void knightTitle(QPainter& p, QSizeF s) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setItalic(true);
    font.setPixelSize(40);
    QPainterPath path;
    path.addText(0, 0, font, QStringLiteral("Knight Rider"));
    // Fit the text into the picture with a small margin, keeping its shape.
    const QRectF bounds = path.boundingRect();
    const qreal scale =
        std::min((s.width() - 12) / bounds.width(), (s.height() - 10) / bounds.height());
    QTransform t;
    t.translate(s.width() / 2, s.height() / 2);
    t.scale(scale, scale);
    t.translate(-bounds.center().x(), -bounds.center().y());
    const QPainterPath text = t.map(path);
    p.setPen(QPen(QColor(220, 0, 0), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(text);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(text);
}

// One pointer marker: an arrow pointing right with a two-letter label.
void pointerArrow(QPainter& p, QRectF cell, QColor colour, const QString& label) {
    QPolygonF arrow;
    const qreal l = cell.left(), t = cell.top();
    arrow << QPointF(l + 0.5, t + 3.5) << QPointF(l + 10, t + 3.5) << QPointF(l + 10, t + 0.5)
          << QPointF(l + 15.5, t + 8) << QPointF(l + 10, t + 15.5) << QPointF(l + 10, t + 12.5)
          << QPointF(l + 0.5, t + 12.5);
    p.setPen(QPen(colour.darker(200), 1.0));
    p.setBrush(colour);
    p.drawPolygon(arrow);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(7);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(l + 0.5, t + 3.5, 11, 9), Qt::AlignCenter, label);
}

void stackPointers(QPainter& p, QSizeF s) {
    p.fillRect(QRectF(QPointF(0, 0), s), Qt::white);  // white is the mask colour
    pointerArrow(p, QRectF(16, 0, 16, 16), QColor(255, 230, 0), QStringLiteral("SP"));
    pointerArrow(p, QRectF(32, 0, 16, 16), QColor(40, 200, 40), QStringLiteral("XR"));
    pointerArrow(p, QRectF(48, 0, 16, 16), QColor(70, 120, 255), QStringLiteral("YR"));
    pointerArrow(p, QRectF(64, 0, 16, 16), QColor(230, 40, 230), QStringLiteral("ZR"));
}

// ---- Toolbar buttons (16 x 16)

void toolKnightRider(QPainter& p, QSizeF) {
    for (int i = 0; i < 4; ++i) {
        const QColor c = (i == 1) ? QColor(255, 30, 20) : QColor(90, 30, 30);
        p.setPen(QPen(c.darker(160), 0.8));
        p.setBrush(c);
        p.drawRoundedRect(QRectF(0.5 + i * 4, 5.5, 3, 5), 0.8, 0.8);
    }
}

void toolCapacity(QPainter& p, QSizeF) {
    p.setPen(QPen(Qt::black, 1.4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(1, 8), QPointF(6.5, 8));
    p.drawLine(QPointF(9.5, 8), QPointF(15, 8));
    p.setPen(QPen(QColor(0, 70, 200), 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(6.5, 2), QPointF(6.5, 14));
    p.drawLine(QPointF(9.5, 2), QPointF(9.5, 14));
}

void toolLed(QPainter& p, QSizeF s) { ledDisc(p, s, true); }

void toolSwitch(QPainter& p, QSizeF) {
    p.setPen(QPen(QColor(70, 70, 70), 1.0));
    p.setBrush(QColor(210, 210, 210));
    p.drawRoundedRect(QRectF(1.5, 5.5, 13, 8), 2, 2);
    p.setPen(QPen(QColor(70, 70, 70), 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 9.5), QPointF(11, 2.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 190, 40));
    p.drawEllipse(QPointF(11, 2.5), 2.2, 2.2);
}

void toolSlider(QPainter& p, QSizeF) {
    p.setPen(QPen(QColor(80, 80, 80), 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
    p.setPen(QPen(QColor(30, 30, 30), 1.0));
    p.setBrush(QColor(0, 120, 215));
    p.drawRoundedRect(QRectF(3.5, 8.5, 9, 4), 1, 1);
}

void toolKeypad(QPainter& p, QSizeF) {
    p.setPen(QPen(QColor(60, 60, 60), 0.8));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) {
            p.setBrush(r == 3 && c == 1 ? QColor(0, 120, 215) : QColor(225, 225, 225));
            p.drawRect(QRectF(1.5 + c * 4.5, 0.5 + r * 3.8, 3.6, 3));
        }
}

void toolStackView(QPainter& p, QSizeF) {
    p.setPen(QPen(QColor(80, 80, 80), 0.8));
    for (int r = 0; r < 4; ++r) {
        p.setBrush(r == 2 ? QColor(255, 230, 0) : QColor(245, 245, 245));
        p.drawRect(QRectF(5.5, 0.5 + r * 3.8, 10, 3.4));
    }
    QPolygonF arrow;
    arrow << QPointF(0.5, 9.5) << QPointF(4.5, 9.5) << QPointF(4.5, 8) << QPointF(5.5, 10.3)
          << QPointF(4.5, 12.5) << QPointF(4.5, 11) << QPointF(0.5, 11);
    p.setBrush(QColor(220, 30, 30));
    p.setPen(Qt::NoPen);
    p.drawPolygon(arrow);
}

void toolBeerbasement(QPainter& p, QSizeF) {
    p.setPen(QPen(QColor(120, 80, 0), 1.0));
    p.setBrush(QColor(240, 180, 20));
    p.drawRect(QRectF(3.5, 4.5, 8, 10));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(11.5, 6.5, 3, 5), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(2.5, 1.5, 10, 4.5));
}

void toolLcd(QPainter& p, QSizeF) {
    p.setPen(QPen(QColor(40, 40, 40), 1.0));
    p.setBrush(QColor(150, 200, 40));
    p.drawRect(QRectF(0.5, 3.5, 15, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 50, 10));
    for (int c = 0; c < 4; ++c) {
        p.drawRect(QRectF(2 + c * 3.3, 5, 2.4, 2.4));
        if (c < 2) p.drawRect(QRectF(2 + c * 3.3, 8.5, 2.4, 2.4));
    }
}

void toolAutostep(QPainter& p, QSizeF) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 140, 60));
    QPolygonF play;
    play << QPointF(1.5, 2) << QPointF(9, 8) << QPointF(1.5, 14);
    p.drawPolygon(play);
    p.setBrush(QColor(0, 90, 180));
    p.drawRect(QRectF(10.5, 2, 2, 12));
    p.drawRect(QRectF(13.5, 2, 2, 12));
}

struct Entry {
    QSize size;
    Painter paint;
    bool whiteBackground;
};

const std::map<int, Entry>& table() {
    static const std::map<int, Entry> entries{
        {bitmap::kLedDark, {QSize(25, 25), ledDark, true}},
        {bitmap::kLedLit, {QSize(25, 25), ledLit, true}},
        {bitmap::kSwitchOff, {QSize(30, 30), switchOff, true}},
        {bitmap::kSwitchOn, {QSize(30, 30), switchOn, true}},
        {bitmap::kSegmentDark, {QSize(25, 16), segmentDark, true}},
        {bitmap::kSegmentLit, {QSize(25, 16), segmentLit, true}},
        {bitmap::kKnightTitle, {QSize(329, 56), knightTitle, true}},
        {bitmap::kStackPointers, {QSize(80, 16), stackPointers, true}},
        {bitmap::kCapacityCircuit, {QSize(270, 190), analogpictures::circuit555, true}},
        {bitmap::kCapacitor, {QSize(40, 40), analogpictures::capacitor, true}},
        {bitmap::kCellarNormal, {QSize(220, 230), analogpictures::cellarNormal, true}},
        {bitmap::kCellarCold, {QSize(220, 230), analogpictures::cellarCold, true}},
        {bitmap::kCellarHot, {QSize(220, 230), analogpictures::cellarHot, true}},
        {bitmap::kToolKnightRider, {QSize(16, 16), toolKnightRider, false}},
        {bitmap::kToolCapacity, {QSize(16, 16), toolCapacity, false}},
        {bitmap::kToolLed, {QSize(16, 16), toolLed, false}},
        {bitmap::kToolSwitch, {QSize(16, 16), toolSwitch, false}},
        {bitmap::kToolSlider, {QSize(16, 16), toolSlider, false}},
        {bitmap::kToolKeypad, {QSize(16, 16), toolKeypad, false}},
        {bitmap::kToolStackView, {QSize(16, 16), toolStackView, false}},
        {bitmap::kToolBeerbasement, {QSize(16, 16), toolBeerbasement, false}},
        {bitmap::kToolLcd, {QSize(16, 16), toolLcd, false}},
        {bitmap::kToolAutostep, {QSize(16, 16), toolAutostep, false}},
    };
    return entries;
}

}  // namespace

QSize BitmapSize(int resourceId) {
    auto found = table().find(resourceId);
    return found == table().end() ? QSize() : found->second.size;
}

QPixmap LoadBitmap(int resourceId, qreal devicePixelRatio) {
    auto found = table().find(resourceId);
    if (found == table().end() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return QPixmap();
    }
    if (!(devicePixelRatio > 0)) devicePixelRatio = 1.0;
    const Entry& entry = found->second;
    QPixmap pixmap(entry.size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    // Component pictures sit on the white window background; toolbar
    // buttons are transparent so the host's toolbar shows through.
    pixmap.fill(entry.whiteBackground ? QColor(Qt::white) : QColor(Qt::transparent));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    entry.paint(painter, QSizeF(entry.size));
    painter.end();
    return pixmap;
}

const QList<int>& BitmapIds() {
    static const QList<int> ids = [] {
        QList<int> list;
        for (const auto& [id, entry] : table()) list.push_back(id);
        return list;
    }();
    return ids;
}

extern "C" __attribute__((visibility("default"))) bool QuillLoadBitmap(int resourceId,
                                                                       double devicePixelRatio,
                                                                       QPixmap* out) {
    if (!out) return false;
    *out = LoadBitmap(resourceId, devicePixelRatio);
    return !out->isNull();
}
