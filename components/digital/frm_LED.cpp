#include "components/digital/frm_LED.h"

#include <QVBoxLayout>
#include <algorithm>

#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"

frm_LED_configure::frm_LED_configure(QWidget* parent)
    : SinglePortSettingsDialog(parent, frm_LED::kSettingsTemplate,
                               QStringLiteral("Configure LED..."), ids::led::kPortCombo,
                               QStringLiteral("LED behaviour Active low.")) {}

frm_LED::frm_LED(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 60, 75, commandIndex, kCommands[kCmdLed].baseName, dialogId),
      ports_(core, "PIN", "frm_LED"),
      output_([this] { onLevelChanged(); }, /*showsOnly=*/true) {
    picture_ = new PictureControl(this, kPicture);
    picture_->setBitmap(bitmap::kLedDark);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture_, 0, Qt::AlignCenter);
    settings_ = new frm_LED_configure(this);
    create(dialogId, hostWindow());
}

frm_LED::~frm_LED() = default;

void frm_LED::initDialog() {
    PluginForm::initDialog();
    litBitmap_ = LoadBitmap(bitmap::kLedLit, devicePixelRatioF());
    darkBitmap_ = LoadBitmap(bitmap::kLedDark, devicePixelRatioF());
    settings_->pin = 7;
    pin_ = 7;
    // The LED shows one pin: changes of the port's other pins pass it by.
    output_.setInterest(static_cast<uint8_t>(1u << pin_));
    ports_.follow([this] { portsRefilled(); });
    // Port A, or the part's first port when it has none. Binding shows the
    // pin's present level: a window opened mid-session must not show a
    // stale state.
    output_.bindDefault(ports_, 'A', UsePin);
    settings_->port = std::max(0, ports_.positionOf(output_.choice().letter));
    updateWiring();
}

void frm_LED::updateWiring() {
    showWiring(output_.bound()
                   ? PinLabel(output_.choice().letter, pin_) + (activeLow_ ? ", active low" : "")
                   : PinLabel(0, 0));
}

void frm_LED::portsRefilled() {
    guarded("frm_LED::refreshPortMap()", [this] {
        settings_->setPortList(ports_.list());
        output_.rebind(ports_);
        updateWiring();
    });
}

void frm_LED::showPin(uint8_t byte) {
    // An LED that is not connected stays dark, active low or not.
    lit_ = output_.bound() && PinLit(byte, pin_, activeLow_);
    // Showing the bitmap already shown costs nothing (in UseDdrAndPort a
    // change of DDRx or PORTx need not change the light).
    picture_->setBitmap(lit_ ? bitmap::kLedLit : bitmap::kLedDark, lit_ ? litBitmap_ : darkBitmap_);
}

void frm_LED::onLevelChanged() {
    guarded(useDdrAndPort() ? "frm_LED::onPortChanged()" : "frm_LED::onPinChanged()",
            [this] { showPin(output_.level()); });
}

void frm_LED::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_LED::configure() {
    if (settings_->run() != QDialog::Accepted) {
        update();
        return;
    }
    pin_ = ClampPin(settings_->pin);
    activeLow_ = settings_->activeLow;
    output_.setInterest(static_cast<uint8_t>(1u << pin_));
    // Binding replaces the watchers of the old mode, so they cannot redraw
    // the LED from the old register, and shows the new state at once.
    if (!output_.bind(ports_, ports_.letterAt(settings_->port), settings_->mode)) showPin(0);
    updateWiring();
    update();
}
