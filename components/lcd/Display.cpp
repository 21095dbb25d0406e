#include "components/lcd/Display.h"

#include <QCoreApplication>
#include <QPainter>

#include "components/lcd/LcdBus.h"
#include "framework/Controls.h"
#include "framework/WindowMessages.h"
#include "resources/LcdGlyphs.h"

namespace {
constexpr int kCellPitchX = 7;
constexpr int kCellPitchY = 15;
constexpr int kFirstCell = 2;
constexpr uint8_t kCgramCodes = 0x10;  // 0x00..0x0F show CGRAM patterns
const QRgb kFace = qRgb(215, 255, 215);
const QRgb kInk = qRgb(0, 0, 0);
const QRgb kLight = qRgb(255, 255, 255);
const QRgb kShadow = qRgb(128, 128, 128);

void DrawRows(QImage& image, int x0, int y0, const uint8_t* rows, int height) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < 5; ++x) {
            if ((rows[y] >> (4 - x)) & 1) image.setPixel(x0 + x, y0 + y, kInk);
        }
    }
}
}  // namespace

QSize LcdPanelSize(int lines, int columns) {
    return QSize(3 + kCellPitchX * columns, 4 + kCellPitchY * lines);
}

QImage RenderLcdPanel(const ScreenText& text, const HD44780U::DisplayState& display,
                      const std::array<uint8_t, DisplayRam::kCgramSize>& cgram, bool blinkPhase) {
    const QSize size = LcdPanelSize(text.lines, text.columns);
    QImage image(size, QImage::Format_RGB32);
    image.fill(kFace);
    // Raised edge: light on the top and left, shadow on the bottom and right.
    // The shadow owns the bottom-left and top-right corners.
    for (int x = 0; x < size.width(); ++x) image.setPixel(x, 0, kLight);
    for (int y = 0; y < size.height(); ++y) image.setPixel(0, y, kLight);
    for (int x = 0; x < size.width(); ++x) image.setPixel(x, size.height() - 1, kShadow);
    for (int y = 0; y < size.height(); ++y) image.setPixel(size.width() - 1, y, kShadow);
    if (!display.displayOn) return image;
    const bool tall = display.tallFont();
    for (int l = 0; l < text.lines; ++l) {
        for (int c = 0; c < text.columns; ++c) {
            const int x = kFirstCell + c * kCellPitchX, y = kFirstCell + l * kCellPitchY;
            const uint8_t code = text.cells[l][c];
            const bool cursorHere =
                display.cursorOn && l == text.cursorLine && c == text.cursorColumn;
            if (cursorHere && display.blinkOn && blinkPhase) {
                DrawRows(image, x, y, lcdglyphs::kCursor[tall ? 3 : 2], 10);
                continue;
            }
            if (code < kCgramCodes) {
                // A pattern of the program's own: 8 or 11 rows, cursor row included.
                if (tall) {
                    DrawRows(image, x, y, &cgram[16 * ((code >> 1) & 3)], 11);
                } else {
                    DrawRows(image, x, y, &cgram[8 * (code & 7)], 8);
                }
            } else if (tall) {
                DrawRows(image, x, y, lcdglyphs::kFont5x10[code], 10);
            } else {
                DrawRows(image, x, y, lcdglyphs::kFont5x8[code], 8);
            }
            if (cursorHere && !display.blinkOn) DrawRows(image, x, y, lcdglyphs::kCursor[1], 10);
        }
    }
    return image;
}

namespace lcd {

Display::Display(QWidget* parent, const LcdBus* bus) : QWidget(parent), bus_(bus) {
    SetControlId(this, kControlId);
}

void Display::setBus(const LcdBus* bus) {
    bus_ = bus;
    update();
}

void Display::setZoom(int zoom) {
    zoom_ = std::clamp(zoom, 1, 16);
    update();
}

void Display::startBlinkTimer() { blinkTimer_.start(kBlinkPeriodMs, this); }

QImage Display::panelImage() const {
    if (!bus_) return QImage();
    VisibleText(bus_->ram(), bus_->display().shift, &text_);
    return RenderLcdPanel(text_, bus_->display(), bus_->ram().cgram, blinkPhase_);
}

QRect Display::panelRect() const {
    if (!bus_) return QRect();
    const QSize size = LcdPanelSize(bus_->ram().lineCount(), bus_->ram().columns()) * zoom_;
    const QWidget* form = parentWidget();
    const int w = form ? form->width() : width();
    const int h = form ? form->height() : height() + kStatusBarShare;
    int x = w / 2 - size.width() / 2;
    int y = (h - kStatusBarShare) / 2 - size.height() / 2;
    if (x < 0 || y < 0) x = y = 0;
    return QRect(QPoint(x, y), size);
}

QStringList Display::visibleLines() const {
    if (!bus_) return {};
    VisibleText(bus_->ram(), bus_->display().shift, &text_);
    QStringList lines;
    const bool on = bus_->display().displayOn;
    for (int l = 0; l < text_.lines; ++l)
        lines << (on ? QString::fromLatin1(LineText(text_, l)) : QString());
    return lines;
}

QPoint Display::cursorCell() const {
    if (!bus_ || !bus_->display().cursorOn || !bus_->display().displayOn) return QPoint(-1, -1);
    VisibleText(bus_->ram(), bus_->display().shift, &text_);
    return QPoint(text_.cursorLine, text_.cursorColumn);
}

QString Display::protocolReport() const {
    if (!bus_) return QString();
    return QString::fromStdString(bus_->controller().protocol().summary());
}

qulonglong Display::stateChanges() const { return bus_ ? bus_->stateChanges() : 0; }

bool Display::event(QEvent* event) {
    if (event->type() == EventTypeOf(BlinkCursorMessage())) {
        blinkPhase_ = !blinkPhase_;
        update();
        return true;
    }
    return QWidget::event(event);
}

void Display::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blinkTimer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    WindowMessageEvent blink(BlinkCursorMessage());
    QCoreApplication::sendEvent(this, &blink);
}

void Display::paintEvent(QPaintEvent*) {
    if (!bus_) return;
    const QImage image = panelImage();
    const QRect target = panelRect();
    QPainter painter(this);
    painter.drawImage(target.topLeft(),
                      image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

}  // namespace lcd
