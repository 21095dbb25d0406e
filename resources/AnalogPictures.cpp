#include "resources/AnalogPictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <cmath>

namespace analogpictures {

namespace {

const QColor kWire(30, 30, 30);

void wire(QPainter& p, std::initializer_list<QPointF> points) {
    p.setPen(QPen(kWire, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPolygonF line;
    for (const QPointF& point : points) line << point;
    p.drawPolyline(line);
}

void dot(QPainter& p, QPointF at) {
    p.setPen(Qt::NoPen);
    p.setBrush(kWire);
    p.drawEllipse(at, 2.6, 2.6);
}

void label(QPainter& p, QRectF box, const QString& text, int flags = Qt::AlignCenter,
           qreal size = 9.0, bool bold = false) {
    QFont font = p.font();
    font.setPointSizeF(size);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(kWire);
    p.drawText(box, flags, text);
}

// A resistor body between a and b (vertical or horizontal).
void resistor(QPainter& p, QPointF a, QPointF b, const QString& name) {
    const bool vertical = std::abs(a.x() - b.x()) < 0.5;
    const QPointF mid = (a + b) / 2;
    const QSizeF body = vertical ? QSizeF(10, 26) : QSizeF(26, 10);
    const QRectF rect(mid - QPointF(body.width() / 2, body.height() / 2), body);
    if (vertical) {
        wire(p, {a, QPointF(a.x(), rect.top())});
        wire(p, {QPointF(b.x(), rect.bottom()), b});
        label(p, QRectF(rect.right() + 3, rect.top(), 60, rect.height()), name,
              Qt::AlignLeft | Qt::AlignVCenter);
    } else {
        wire(p, {a, QPointF(rect.left(), a.y())});
        wire(p, {QPointF(rect.right(), b.y()), b});
        label(p, QRectF(rect.left() - 10, rect.top() - 16, rect.width() + 20, 14), name);
    }
    p.setPen(QPen(kWire, 1.4));
    p.setBrush(QColor(250, 235, 200));
    p.drawRect(rect);
}

// A capacitor from top (a) down to ground level (b), plates across the middle.
void capacitorDown(QPainter& p, QPointF a, QPointF b, const QString& name,
                   const QColor& accent = kWire, bool labelLeft = false) {
    const qreal mid = (a.y() + b.y()) / 2;
    wire(p, {a, QPointF(a.x(), mid - 3)});
    wire(p, {QPointF(b.x(), mid + 3), b});
    p.setPen(QPen(accent, 2.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(a.x() - 9, mid - 3), QPointF(a.x() + 9, mid - 3));
    p.drawLine(QPointF(a.x() - 9, mid + 3), QPointF(a.x() + 9, mid + 3));
    if (labelLeft) {
        label(p, QRectF(a.x() - 71, mid - 8, 60, 16), name, Qt::AlignRight | Qt::AlignVCenter);
    } else {
        label(p, QRectF(a.x() + 11, mid - 8, 60, 16), name, Qt::AlignLeft | Qt::AlignVCenter);
    }
}

void ground(QPainter& p, QPointF at) {
    p.setPen(QPen(kWire, 1.6));
    p.drawLine(at - QPointF(8, 0), at + QPointF(8, 0));
    p.drawLine(at + QPointF(-5, 3), at + QPointF(5, 3));
    p.drawLine(at + QPointF(-2, 6), at + QPointF(2, 6));
}

}  // namespace

// An NE555 in astable connection: R1 and R2 (12 kOhm) from Vcc to the
// timing node, the fixed 10 nF and Cx in parallel to ground, 10 nF on the
// control input and a 12 kOhm load on the output, which goes to the pin.
void circuit555(QPainter& p, QSizeF s) {
    const qreal w = s.width();
    const qreal top = 18, bottomRail = s.height() - 18;
    // Supply rail.
    wire(p, {QPointF(20, top), QPointF(w - 20, top)});
    label(p, QRectF(20, 1, 60, 14), QStringLiteral("+Vcc"), Qt::AlignLeft | Qt::AlignVCenter, 8.5,
          true);
    // The chip.
    const QRectF chip(118, 46, 80, 100);
    QLinearGradient body(chip.topLeft(), chip.bottomLeft());
    body.setColorAt(0, QColor(70, 70, 76));
    body.setColorAt(1, QColor(35, 35, 40));
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(body);
    p.drawRoundedRect(chip, 3, 3);
    // The type above the package, clear of the pin names inside it.
    label(p, QRectF(chip.left(), chip.top() - 17, chip.width(), 15), QStringLiteral("NE555"),
          Qt::AlignCenter, 9.5, true);
    p.setPen(QColor(235, 235, 235));
    QFont font = p.font();
    font.setPointSizeF(6.5);
    font.setBold(false);
    p.setFont(font);
    const struct {
        qreal y;
        const char* text;
        bool left;
    } pins[] = {{58, "DIS 7", true},  {90, "THR 6", true},  {122, "TRG 2", true},
                {58, "8 VCC", false}, {74, "4 RST", false}, {106, "3 OUT", false},
                {138, "5 CV", false}};
    for (const auto& pin : pins) {
        const QRectF box = pin.left ? QRectF(chip.left() + 3, pin.y - 6, 40, 12)
                                    : QRectF(chip.right() - 43, pin.y - 6, 40, 12);
        p.drawText(box, (pin.left ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                   QString::fromUtf8(pin.text));
    }
    // VCC and reset to the rail.
    wire(p, {QPointF(chip.right(), 58), QPointF(chip.right() + 12, 58),
             QPointF(chip.right() + 12, top)});
    wire(p, {QPointF(chip.right(), 74), QPointF(chip.right() + 12, 74),
             QPointF(chip.right() + 12, 58)});
    dot(p, QPointF(chip.right() + 12, top));
    // R1 from the rail to the discharge node, R2 on to the timing node.
    const qreal x = 60;
    resistor(p, QPointF(x, top), QPointF(x, 58), QStringLiteral("R1 12k"));
    dot(p, QPointF(x, top));
    wire(p, {QPointF(x, 58), QPointF(chip.left(), 58)});
    dot(p, QPointF(x, 58));
    resistor(p, QPointF(x, 58), QPointF(x, 100), QStringLiteral("R2 12k"));
    // Timing node: threshold and trigger tied together.
    wire(p, {QPointF(x, 100), QPointF(x, 122), QPointF(chip.left(), 122)});
    wire(p, {QPointF(chip.left() - 14, 90), QPointF(chip.left(), 90)});
    wire(p, {QPointF(chip.left() - 14, 90), QPointF(chip.left() - 14, 122)});
    dot(p, QPointF(chip.left() - 14, 122));
    dot(p, QPointF(x, 122));
    // C0 and Cx in parallel to ground.
    wire(p, {QPointF(x, 122), QPointF(x, 140)});
    wire(p, {QPointF(16, 140), QPointF(x, 140)});
    dot(p, QPointF(x, 140));
    capacitorDown(p, QPointF(16, 140), QPointF(16, bottomRail), QStringLiteral("10n"));
    capacitorDown(p, QPointF(x, 140), QPointF(x, bottomRail), QStringLiteral("Cx"),
                  QColor(200, 30, 30));
    // Control voltage: 10 nF to ground.
    wire(p, {QPointF(chip.right(), 138), QPointF(chip.right() + 12, 138)});
    capacitorDown(p, QPointF(chip.right() + 12, 138), QPointF(chip.right() + 12, bottomRail),
                  QStringLiteral("10n"), kWire, true);
    // Output: load to ground and the line to the microcontroller's pin.
    const qreal out = w - 34;
    wire(p, {QPointF(chip.right(), 106), QPointF(w - 8, 106)});
    dot(p, QPointF(out, 106));
    resistor(p, QPointF(out, 106), QPointF(out, bottomRail), QStringLiteral("12k"));
    label(p, QRectF(w - 62, 88, 56, 14), QStringLiteral("to pin"), Qt::AlignRight, 8.0, true);
    p.setPen(Qt::NoPen);
    p.setBrush(kWire);
    p.drawPolygon(QPolygonF() << QPointF(w - 4, 106) << QPointF(w - 11, 102)
                              << QPointF(w - 11, 110));
    // Ground rail.
    wire(p, {QPointF(16, bottomRail), QPointF(out, bottomRail)});
    ground(p, QPointF(w / 2, bottomRail));
    wire(p, {QPointF(w / 2, bottomRail), QPointF(w / 2, bottomRail)});
}

// The capacitor under measurement as a part: a red film capacitor.
void capacitor(QPainter& p, QSizeF s) {
    const qreal w = s.width(), h = s.height();
    const QRectF body(w * 0.22, h * 0.12, w * 0.56, h * 0.56);
    p.setPen(QPen(QColor(120, 120, 120), 1.6));
    p.drawLine(QPointF(w * 0.38, body.bottom()), QPointF(w * 0.38, h - 2));
    p.drawLine(QPointF(w * 0.62, body.bottom()), QPointF(w * 0.62, h - 2));
    QLinearGradient fill(body.topLeft(), body.topRight());
    fill.setColorAt(0, QColor(150, 20, 20));
    fill.setColorAt(0.45, QColor(235, 70, 60));
    fill.setColorAt(1, QColor(140, 15, 15));
    p.setPen(QPen(QColor(90, 10, 10), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(body, 6, 6);
    label(p, body, QStringLiteral("Cx"), Qt::AlignCenter, 10, true);
}

namespace {

enum class Weather { Normal, Cold, Hot };

// A barrel on its cradle at `at` (bottom centre).
void barrel(QPainter& p, QPointF at, qreal size) {
    const QRectF body(at.x() - size * 0.6, at.y() - size, size * 1.2, size * 0.9);
    QLinearGradient wood(body.topLeft(), body.bottomLeft());
    wood.setColorAt(0, QColor(170, 110, 55));
    wood.setColorAt(0.5, QColor(140, 85, 40));
    wood.setColorAt(1, QColor(95, 55, 25));
    p.setPen(QPen(QColor(60, 35, 15), 1.2));
    p.setBrush(wood);
    p.drawRoundedRect(body, size * 0.35, size * 0.45);
    p.setPen(QPen(QColor(70, 70, 70), 2.0));
    for (qreal f : {0.25, 0.75}) {
        p.drawLine(QPointF(body.left() + body.width() * f, body.top() + 2),
                   QPointF(body.left() + body.width() * f, body.bottom() - 2));
    }
    p.setBrush(QColor(190, 140, 80));
    p.setPen(QPen(QColor(60, 35, 15), 1.0));
    p.drawEllipse(QPointF(body.right() - 4, body.center().y()), size * 0.12, size * 0.3);
    p.setBrush(QColor(80, 50, 25));
    p.drawRect(QRectF(body.left() + 4, body.bottom(), body.width() - 8, size * 0.1));
}

void beerGlass(QPainter& p, QPointF at) {
    const QRectF glass(at.x() - 7, at.y() - 22, 14, 22);
    p.setPen(QPen(QColor(120, 120, 120), 1.0));
    p.setBrush(QColor(240, 180, 40));
    p.drawRect(glass);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(glass.left() - 1, glass.top() - 5, glass.width() + 2, 8));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(glass.right() - 3, glass.top() + 4, 9, 11), -90 * 16, 180 * 16);
}

// A figure standing at `feet`, dressed for the weather.
void figure(QPainter& p, QPointF feet, Weather weather) {
    const qreal x = feet.x();
    const QColor skin(245, 205, 170);
    const QColor shirt = weather == Weather::Cold  ? QColor(40, 80, 170)
                         : weather == Weather::Hot ? QColor(250, 250, 250)
                                                   : QColor(30, 140, 70);
    // Legs.
    p.setPen(QPen(weather == Weather::Hot ? skin.darker(110) : QColor(40, 40, 80), 5, Qt::SolidLine,
                  Qt::RoundCap));
    p.drawLine(QPointF(x - 5, feet.y() - 32), QPointF(x - 7, feet.y()));
    p.drawLine(QPointF(x + 5, feet.y() - 32), QPointF(x + 7, feet.y()));
    if (weather == Weather::Hot) {  // shorts
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 120, 30));
        p.drawRect(QRectF(x - 10, feet.y() - 38, 20, 12));
    }
    // Body.
    p.setPen(QPen(shirt.darker(140), 1.0));
    p.setBrush(shirt);
    const qreal coat = weather == Weather::Cold ? 4 : 0;
    p.drawRoundedRect(QRectF(x - 11 - coat, feet.y() - 66, 22 + 2 * coat, 32 + coat), 5, 5);
    // Arms.
    p.setPen(QPen(weather == Weather::Cold ? shirt : skin, 4.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x - 11 - coat, feet.y() - 60), QPointF(x - 20 - coat, feet.y() - 40));
    p.drawLine(QPointF(x + 11 + coat, feet.y() - 60), QPointF(x + 20 + coat, feet.y() - 42));
    // Head.
    const QPointF head(x, feet.y() - 76);
    p.setPen(QPen(skin.darker(130), 1.0));
    p.setBrush(skin);
    p.drawEllipse(head, 10, 10);
    p.setPen(QPen(Qt::black, 1.2));
    p.drawPoint(head + QPointF(-3.5, -1.5));
    p.drawPoint(head + QPointF(3.5, -1.5));
    switch (weather) {
        case Weather::Cold: {
            // Woolly hat with a bobble, a scarf, a shivering mouth.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(200, 30, 40));
            p.drawChord(QRectF(head.x() - 11, head.y() - 14, 22, 18), 0, 180 * 16);
            p.setBrush(Qt::white);
            p.drawEllipse(head + QPointF(0, -14), 3.5, 3.5);
            p.setBrush(QColor(200, 30, 40));
            p.drawRect(QRectF(x - 12, feet.y() - 68, 24, 6));
            p.drawRect(QRectF(x + 4, feet.y() - 64, 6, 16));
            p.setPen(QPen(Qt::black, 1.0));
            p.setBrush(Qt::NoBrush);
            QPainterPath zigzag(head + QPointF(-4, 5));
            for (int i = 1; i <= 4; ++i) zigzag.lineTo(head + QPointF(-4 + i * 2, i % 2 ? 3.5 : 5));
            p.drawPath(zigzag);
            break;
        }
        case Weather::Hot: {
            // Sun hat, sweat drops, a tired mouth.
            p.setPen(QPen(QColor(150, 110, 40), 1.0));
            p.setBrush(QColor(240, 210, 120));
            p.drawEllipse(QRectF(head.x() - 16, head.y() - 10, 32, 7));
            p.drawChord(QRectF(head.x() - 9, head.y() - 19, 18, 18), 0, 180 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(90, 170, 255));
            for (QPointF d : {QPointF(13, 0), QPointF(-14, 3), QPointF(15, 9)}) {
                p.drawEllipse(head + d, 2.0, 3.0);
            }
            p.setPen(QPen(Qt::black, 1.0));
            p.setBrush(Qt::NoBrush);
            p.drawLine(head + QPointF(-3, 5), head + QPointF(3, 5));
            break;
        }
        case Weather::Normal: {
            p.setPen(QPen(Qt::black, 1.0));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(head.x() - 4.5, head.y() - 1, 9, 8), -20 * 16, -140 * 16);
            beerGlass(p, QPointF(x + 22, feet.y() - 34));
            break;
        }
    }
}

void cellar(QPainter& p, QSizeF s, Weather weather) {
    const qreal w = s.width(), h = s.height();
    const qreal floor = h * 0.82;
    // Stone vault.
    QLinearGradient wall(0, 0, 0, floor);
    switch (weather) {
        case Weather::Cold:
            wall.setColorAt(0, QColor(200, 225, 245));
            wall.setColorAt(1, QColor(150, 185, 215));
            break;
        case Weather::Hot:
            wall.setColorAt(0, QColor(255, 200, 120));
            wall.setColorAt(1, QColor(230, 140, 80));
            break;
        case Weather::Normal:
            wall.setColorAt(0, QColor(205, 195, 175));
            wall.setColorAt(1, QColor(165, 150, 125));
            break;
    }
    QPainterPath vault;
    vault.moveTo(4, floor);
    vault.lineTo(4, h * 0.32);
    vault.quadTo(w / 2, -h * 0.12, w - 4, h * 0.32);
    vault.lineTo(w - 4, floor);
    vault.closeSubpath();
    p.setPen(QPen(QColor(90, 80, 70), 2.0));
    p.setBrush(wall);
    p.drawPath(vault);
    // Bricks.
    p.save();
    p.setClipPath(vault);
    p.setPen(QPen(QColor(0, 0, 0, 40), 1.0));
    for (int row = 0; row * 14 < floor; ++row) {
        const qreal y = floor - row * 14;
        p.drawLine(QPointF(0, y), QPointF(w, y));
        for (qreal x = (row % 2) * 16; x < w; x += 32)
            p.drawLine(QPointF(x, y), QPointF(x, y - 14));
    }
    p.restore();
    // Floor.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 95, 80));
    p.drawRect(QRectF(4, floor, w - 8, h - floor - 2));
    // Barrels along the left wall, the figure on the right.
    barrel(p, QPointF(w * 0.22, floor), 40);
    barrel(p, QPointF(w * 0.22, floor - 40), 34);
    figure(p, QPointF(w * 0.68, floor + 4), weather);

    if (weather == Weather::Cold) {
        // Icicles from the vault and falling snow.
        p.setPen(QPen(QColor(150, 190, 230), 1.0));
        p.setBrush(QColor(235, 248, 255));
        for (qreal x = w * 0.2; x < w * 0.85; x += 18) {
            const qreal y = h * 0.32 - (1 - std::pow((x - w / 2) / (w / 2), 2)) * h * 0.2 + 2;
            p.drawPolygon(QPolygonF() << QPointF(x - 4, y) << QPointF(x + 4, y)
                                      << QPointF(x, y + 14 + std::fmod(x, 9.0)));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (int i = 0; i < 18; ++i) {
            p.drawEllipse(
                QPointF(std::fmod(i * 37.0, w - 20) + 10, 50 + std::fmod(i * 23.0, floor - 60)),
                2.0, 2.0);
        }
    } else if (weather == Weather::Hot) {
        // A blazing sun in the vault.
        const QPointF sun(w * 0.5, h * 0.2);
        QRadialGradient glow(sun, 34);
        glow.setColorAt(0, QColor(255, 255, 150));
        glow.setColorAt(0.6, QColor(255, 210, 40));
        glow.setColorAt(1, QColor(255, 150, 0, 0));
        p.setPen(QPen(QColor(255, 170, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 12; ++i) {
            const qreal a = i * M_PI / 6;
            p.drawLine(sun + QPointF(std::cos(a) * 22, std::sin(a) * 22),
                       sun + QPointF(std::cos(a) * 34, std::sin(a) * 34));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(sun, 22, 22);
    } else {
        // A lamp hanging from the vault.
        const QPointF lamp(w * 0.5, h * 0.2);
        p.setPen(QPen(QColor(60, 60, 60), 1.2));
        p.drawLine(QPointF(lamp.x(), 4), lamp);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 240, 170));
        p.drawEllipse(lamp + QPointF(0, 5), 6, 7);
    }
}

}  // namespace

void cellarNormal(QPainter& p, QSizeF s) { cellar(p, s, Weather::Normal); }
void cellarCold(QPainter& p, QSizeF s) { cellar(p, s, Weather::Cold); }
void cellarHot(QPainter& p, QSizeF s) { cellar(p, s, Weather::Hot); }

}  // namespace analogpictures
