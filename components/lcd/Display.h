// The LCD panel: draws what the controller's memory shows, with the cursor
// and its blink, at a chosen zoom.
//
// The panel picture is 3 + 7 * columns by 4 + 15 * lines pixels (115 by 34
// for 16 x 2): a raised edge, a light-green face, one 5-pixel-wide cell
// every 7 pixels across and every 15 pixels down, the first at (2, 2).
// It is stretched by the zoom without smoothing and centred in the area
// above the status bar (at (0, 0) when it does not fit).
//
// The cursor blinks through the registered message "BLINKCURSOR", which a
// 500 ms timer sends to the panel.
#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QPoint>
#include <QStringList>
#include <QWidget>

#include "components/lcd/HD44780U.h"
#include "components/lcd/LcdScreen.h"
#include "contract/ResourceIds.h"

class LcdBus;

// Size of the unzoomed panel picture for a layout.
QSize LcdPanelSize(int lines, int columns);

// The unzoomed panel picture of `text` with the display flags. Cells draw
// their character's glyph from the character ROM (5x10 glyphs with the tall
// font); codes 0x00..0x0F draw the program's pattern from `cgram` (5x8:
// code & 7 selects eight rows at 8 * (code & 7); 5x10: (code >> 1) & 3
// selects eleven rows at 16 * ((code >> 1) & 3)), the last row being the
// cursor row. With the cursor on, the cursor cell shows an underline below
// the character, or with blink on, alternately a block (blink phase true)
// and the character. With the display off only the empty face is drawn.
QImage RenderLcdPanel(const ScreenText& text, const HD44780U::DisplayState& display,
                      const std::array<uint8_t, DisplayRam::kCgramSize>& cgram, bool blinkPhase);

// In a namespace of its own: X11's headers, which Qt's platform headers
// pull in, declare a global "Display".
namespace lcd {

class Display : public QWidget {
    Q_OBJECT
    // The visible lines, trailing blanks removed (every line empty while
    // the display is off; a character code is a Latin-1 character, CGRAM
    // codes included), and the cursor cell (line, column from 0; -1, -1
    // when none), read by scenarios.
    Q_PROPERTY(QStringList visibleLines READ visibleLines)
    Q_PROPERTY(QPoint cursorCell READ cursorCell)
    // What the protocol checker noted since the last reset; empty when
    // nothing.
    Q_PROPERTY(QString protocolReport READ protocolReport)
    // The unzoomed panel as it would be painted now.
    Q_PROPERTY(QImage panelImage READ panelImage)
    // The controller's count of bus cycles, configurations and resets
    // (LcdBus::stateChanges): a scenario waiting for the panel to show
    // something looks again only when it moved or Qt's events ran.
    Q_PROPERTY(qulonglong stateChanges READ stateChanges)
public:
    static constexpr int kControlId = ids::lcd::kDisplay;
    static constexpr int kBlinkTimer = ids::lcd::kBlinkTimer;
    static constexpr int kBlinkPeriodMs = ids::lcd::kBlinkPeriodMs;
    // The status bar's share of the window's height.
    static constexpr int kStatusBarShare = 20;

    // Draws `bus`'s memory and display flags; blank until it has one.
    Display(QWidget* parent, const LcdBus* bus);
    void setBus(const LcdBus* bus);

    void setZoom(int zoom);
    int zoom() const { return zoom_; }
    bool blinkPhase() const { return blinkPhase_; }
    bool blinkTimerActive() const { return blinkTimer_.isActive(); }
    void startBlinkTimer();

    // The unzoomed picture as it would be painted now.
    QImage panelImage() const;
    // Where the zoomed picture goes, in this widget's coordinates.
    QRect panelRect() const;

    QStringList visibleLines() const;
    QPoint cursorCell() const;
    QString protocolReport() const;
    qulonglong stateChanges() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    const LcdBus* bus_;
    int zoom_ = 1;
    bool blinkPhase_ = false;
    QBasicTimer blinkTimer_;
    mutable ScreenText text_;
};

}  // namespace lcd
