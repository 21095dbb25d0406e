// Hitachi LCD: an HD44780U character display driven through port pins.
//
// The window holds the controller and its bus interface (LcdBus), the
// panel (Display) above a one-pane status bar that shows the controller's
// latest status text, and the dialog "Configure Hitachi LCD...". The
// window grows to fit the panel when lines, columns or zoom need more room
// than its 300 x 140 pixels. Closing the window releases the controller
// and every observer it holds.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/lcd/Display.h"
#include "components/lcd/LcdBus.h"
#include "components/lcd/frm_LCD_configure.h"
#include "framework/DisplayRate.h"
#include "framework/PinBinding.h"
#include "framework/PluginForm.h"

class QStatusBar;
class LcdStatusLine;
class LcdProtocolLine;

class frm_LCD : public PluginForm, private HD44780U::Panel, private LcdPorts, private LcdClock {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::lcd::kTemplate;
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 140;

    frm_LCD(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_LCD() override;

    // Applies the current settings: wiring, layout, zoom and size.
    void applyConfig();
    // Shows the data port and the control pins in the window's caption.
    void updateWiring();
    // Replaces the settings (what OK in the dialog does) and applies them.
    void setConfig(const LcdConfig& config);
    const LcdConfig& config() const { return config_; }

    LcdBus* bus() const { return bus_.get(); }
    lcd::Display* display() const { return display_; }
    frm_LCD_configure* settings() const { return settings_; }
    QString statusText() const;
    // The protocol checker's summary in the status bar; empty when nothing
    // was found since the last reset.
    QString protocolText() const;
    const std::vector<std::string>& portList() const { return portList_; }

protected:
    void initDialog() override;
    void onCommand(int id) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // HD44780U::Panel
    void status(const char* text) override;
    void redraw() override;
    void startBlinkTimer() override;
    // A first finding of its kind goes to the host's output once.
    void protocolFinding(LcdProtocol::Kind kind, bool first) override;
    void protocolReset() override;
    // LcdClock: the core's cycle count (as of the refresh) and clock.
    uint32_t cycles() const override;
    double cyclesPerMicrosecond() const override;
    // LcdPorts: a port position names the port of that entry of the sorted
    // port list, its letter taken from the listed name (the pin-binding
    // helper); a register the part does not have is left out, with a line
    // in the output.
    PortSubjects registers(int portPosition) override;
    void refresh() override;

    // WM_CHANGESTATUSBAR: the status pane shows `text` (none when null).
    void changeStatusBar(const char* text);
    void refreshPortTables();
    void configure();
    void layoutChildren();

    lcd::Display* display_ = nullptr;
    DisplayRate::Waiting displayWaiting_;  // display_ is a child: never outlives this
    QStatusBar* statusBar_ = nullptr;
    LcdStatusLine* statusText_ = nullptr;
    LcdProtocolLine* protocolLine_ = nullptr;
    frm_LCD_configure* settings_ = nullptr;
    std::unique_ptr<LcdBus> bus_;
    LcdConfig config_;
    PortRegisters ports_;
    std::vector<std::string> portList_;  // ports_.list(), sorted
};

// The status bar's text: one of the controller's fixed status texts,
// painted from the latest one at paint time. The controller changes it
// during every bus cycle; it repaints at the display's rate.
class LcdStatusLine : public QWidget {
public:
    explicit LcdStatusLine(QWidget* parent) : QWidget(parent) {}
    void setText(const char* text);
    QString text() const { return text_ ? QString::fromLatin1(text_) : QString(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const char* text_ = nullptr;
    DisplayRate::Waiting waiting_;
};

// The protocol checker's findings at the right of the status bar, in dark
// red, formatted when painted; hidden while there are none.
class LcdProtocolLine : public QWidget {
public:
    explicit LcdProtocolLine(QWidget* parent) : QWidget(parent) {}
    void setProtocol(const LcdProtocol* protocol) { protocol_ = protocol; }
    // A finding was noted or the findings were cleared.
    void changed();
    QString text() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    const LcdProtocol* protocol_ = nullptr;
    DisplayRate::Waiting waiting_;
};
