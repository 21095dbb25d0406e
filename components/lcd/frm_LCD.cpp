#include "components/lcd/frm_LCD.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QStatusBar>
#include <QToolTip>
#include <algorithm>

#include "components/lcd/LcdWiring.h"
#include "framework/DisplayRate.h"
#include "framework/WindowMessages.h"

frm_LCD::frm_LCD(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, kWidth, kHeight, commandIndex, kCommands[kCmdLcd].baseName,
                 dialogId),
      ports_(core, "PIN", "frm_LCD") {
    display_ = new lcd::Display(this, nullptr);
    settings_ = new frm_LCD_configure(this);
    statusBar_ = new QStatusBar(this);
    statusBar_->setSizeGripEnabled(false);
    statusText_ = new LcdStatusLine(statusBar_);
    statusBar_->addWidget(statusText_, 1);
    protocolLine_ = new LcdProtocolLine(statusBar_);
    statusBar_->addPermanentWidget(protocolLine_, 1);
    protocolLine_->hide();
    create(dialogId, hostWindow());
}

// The observers go before the controller and the panel they call.
frm_LCD::~frm_LCD() { bus_.reset(); }

void frm_LCD::initDialog() {
    PluginForm::initDialog();
    refreshPortTables();
    bus_ =
        std::make_unique<LcdBus>(static_cast<HD44780U::Panel*>(this), static_cast<LcdPorts*>(this),
                                 core() ? core()->UpdateRequest() : nullptr);
    bus_->setClock(static_cast<LcdClock*>(this));
    protocolLine_->setProtocol(&bus_->controller().protocol());
    display_->setBus(bus_.get());
    if (core()) core()->Log("frm_LCD::OnInitDialog()", "Called.");
    applyConfig();
}

void frm_LCD::refreshPortTables() {
    ports_.refresh();
    // The dialog lists the ports sorted; a position means the same port
    // to the dialog and to the bus.
    portList_ = ports_.list();
    std::sort(portList_.begin(), portList_.end());
    settings_->setPortList(portList_);
}

void frm_LCD::refresh() { refreshPortTables(); }

PortSubjects frm_LCD::registers(int portPosition) {
    if (portPosition < 0 || portPosition >= static_cast<int>(portList_.size())) return {};
    const char letter = PortLetter(portList_, portPosition);
    return {ports_.subject("PIN", letter), ports_.subject("DDR", letter),
            ports_.subject("PORT", letter)};
}

void frm_LCD::updateWiring() {
    // Positions in the sorted list the dialog and the bus use.
    auto letter = [this](int position) {
        return position >= 0 && position < static_cast<int>(portList_.size())
                   ? PortLetter(portList_, position)
                   : '\0';
    };
    auto pin = [&](int line) {
        const LcdPin p = lcdwire::LinePin(config_, line);
        return p.port < 0 ? std::string("none") : PinLabel(letter(p.port), p.bit);
    };
    std::string data;
    if (config_.pinByPin) {
        // Each data line's pin, in line order: "D4-D7 PD5 PD4 PD3 PD2".
        const int first = config_.fourBitInterface ? 4 : 0;
        data = "D" + std::to_string(first) + "-D7";
        for (int d = first; d < 8; ++d) data += " " + pin(lcdwire::kD0 + d);
    } else {
        const char port = letter(config_.dataPort);
        const int top = config_.fourBitInterface && !config_.highNibble ? 3 : 7;
        const int bottom = config_.fourBitInterface && config_.highNibble ? 4 : 0;
        data = "data " + PinLabel(port, top) + "-" + PinLabel(port, bottom).substr(port ? 2 : 0);
    }
    showWiring(data + ", RS " + pin(lcdwire::kRS) + ", E " + pin(lcdwire::kE) + ", RW " +
               pin(lcdwire::kRW));
}

void frm_LCD::applyConfig() {
    updateWiring();
    if (!bus_) return;
    guarded("frm_LCD::applyConfig()", [this] { bus_->applyConfig(config_); });
    if (const char* why = bus_->trace().error(); why[0]) core()->Log("frm_LCD::applyConfig()", why);
    display_->setZoom(config_.zoom);
    const QSize panel =
        LcdPanelSize(bus_->ram().lineCount(), bus_->ram().columns()) * display_->zoom();
    setFormSize(std::max(kWidth, panel.width() + 16),
                std::max(kHeight, panel.height() + lcd::Display::kStatusBarShare + 16));
    layoutChildren();
    update();
}

void frm_LCD::setConfig(const LcdConfig& config) {
    config_ = config;
    applyConfig();
}

void frm_LCD::layoutChildren() {
    const int statusHeight = lcd::Display::kStatusBarShare;
    display_->setGeometry(0, 0, width(), std::max(0, height() - statusHeight));
    statusBar_->setGeometry(0, std::max(0, height() - statusHeight), width(), statusHeight);
}

void frm_LCD::resizeEvent(QResizeEvent* event) {
    PluginForm::resizeEvent(event);
    layoutChildren();
}

void frm_LCD::showEvent(QShowEvent* event) {
    PluginForm::showEvent(event);
    applyConfig();
}

void frm_LCD::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_LCD::configure() {
    settings_->config = config_;
    if (settings_->run() != QDialog::Accepted) return;
    setConfig(settings_->config);
}

void frm_LCD::status(const char* text) {
    // Handled at once by what this window does on WM_CHANGESTATUSBAR: the
    // toolkit's dispatch (application-wide filters and notification), or
    // even a message made and taken apart, would cost more than the rest of
    // a bus cycle, and nothing else handles it.
    changeStatusBar(text);
}

void frm_LCD::changeStatusBar(const char* text) { statusText_->setText(text); }

bool frm_LCD::event(QEvent* event) {
    if (event->type() == EventTypeOf(ChangeStatusBarMessage())) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        changeStatusBar(reinterpret_cast<const char*>(message->wParam()));
        return true;
    }
    return PluginForm::event(event);
}

QString frm_LCD::statusText() const { return statusText_->text(); }

void frm_LCD::redraw() { DisplayRate::Repaint(display_, displayWaiting_); }

void LcdStatusLine::setText(const char* text) {
    if (text == text_) return;
    text_ = text;
    DisplayRate::Repaint(this, waiting_);
}

QSize LcdStatusLine::sizeHint() const { return {100, fontMetrics().height() + 4}; }

void LcdStatusLine::paintEvent(QPaintEvent*) {
    if (!text_) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect area = rect().adjusted(2, 0, -2, 0);
    painter.drawText(
        area, Qt::AlignLeft | Qt::AlignVCenter,
        fontMetrics().elidedText(QString::fromLatin1(text_), Qt::ElideRight, area.width()));
}

void frm_LCD::startBlinkTimer() { display_->startBlinkTimer(); }

void frm_LCD::protocolFinding(LcdProtocol::Kind kind, bool first) {
    if (first) {
        if (core()) {
            core()->Log("HD44780U::MPU_interface::onBusCycle()",
                        bus_->controller().protocol().firstFindingText(kind));
        }
        protocolLine_->show();
    }
    protocolLine_->changed();
}

void frm_LCD::protocolReset() {
    protocolLine_->hide();
    protocolLine_->changed();
}

uint32_t frm_LCD::cycles() const { return core() ? core()->CycleCounter()->get() : 0; }

double frm_LCD::cyclesPerMicrosecond() const { return core() ? core()->ClockMHz() : 1.0; }

QString frm_LCD::protocolText() const { return protocolLine_->text(); }

void LcdProtocolLine::changed() {
    updateGeometry();
    DisplayRate::Repaint(this, waiting_);
}

QString LcdProtocolLine::text() const {
    return protocol_ ? QString::fromStdString(protocol_->summary()) : QString();
}

QSize LcdProtocolLine::sizeHint() const { return {100, fontMetrics().height() + 4}; }

void LcdProtocolLine::paintEvent(QPaintEvent*) {
    const QString summary = text();
    if (summary.isEmpty()) return;
    QPainter painter(this);
    painter.setPen(QColor(160, 0, 0));
    const QRect area = rect().adjusted(2, 0, -2, 0);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(summary, Qt::ElideRight, area.width()));
}

bool LcdProtocolLine::event(QEvent* event) {
    // The whole summary, however narrow the pane.
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        return true;
    }
    return QWidget::event(event);
}
