#include "components/digital/frm_LED.h"

#include <QVBoxLayout>

#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"

frm_LED_configure::frm_LED_configure(QWidget* parent)
    : SinglePortSettingsDialog(parent, frm_LED::kSettingsTemplate,
                               QStringLiteral("Configure LED..."), 244,
                               QStringLiteral("LED behaviour Active low.")) {}

frm_LED::frm_LED(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 60, 75, commandIndex, kCommands[kCmdLed].baseName, dialogId) {
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
    refreshPortMap();
    litBitmap_ = LoadBitmap(bitmap::kLedLit, devicePixelRatioF());
    darkBitmap_ = LoadBitmap(bitmap::kLedDark, devicePixelRatioF());
    settings_->pin = 7;
    pinAddress_ = portMap_.lookup("PINA");
    useDdrAndPort_ = false;
    pin_ = 7;
    mapObserver_ =
        std::make_unique<Watcher>(core()->UpdateRequest(), this, &frm_LED::refreshPortMap);
    pinObserver_ = std::make_unique<Watcher>(ioRegister(pinAddress_), this, &frm_LED::onPinChanged);
    // Show the pin's present level rather than a dark LED until the next
    // change: a window opened mid-session must not show a stale state.
    onPinChanged();
}

void frm_LED::refreshPortMap() {
    guarded("frm_LED::refreshPortMap()", [this] {
        PortTables tables = BuildPortTables(
            core()->GetAvailableRegistersByName(PortRegisterPatterns()), "PIN",
            [this](const std::string& name) { return core()->GetRegisterAddress(name); });
        portMap_ = std::move(tables.map);
        settings_->setPortList(tables.list);
    });
}

void frm_LED::showPin(uint8_t byte) {
    lit_ = PinLit(byte, pin_, activeLow_);
    picture_->setBitmap(lit_ ? bitmap::kLedLit : bitmap::kLedDark, lit_ ? litBitmap_ : darkBitmap_);
    picture_->setProperty("lit", lit_);
    update();
}

void frm_LED::onPinChanged() {
    guarded("frm_LED::onPinChanged()", [this] {
        if (!pinObserver_) return;
        showPin(pinObserver_->value());
    });
}

void frm_LED::onPortChanged() {
    guarded("frm_LED::onPortChanged()", [this] {
        if (!portObserver_ || !ddrObserver_) return;
        showPin(OutputLevel(UseDdrAndPort, 0, ddrObserver_->value(), portObserver_->value()));
    });
}

void frm_LED::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_LED::configure() {
    if (settings_->run() != QDialog::Accepted) {
        update();
        return;
    }
    useDdrAndPort_ = settings_->mode == UseDdrAndPort;
    const char letter = PortLetter(settings_->portList(), settings_->port);
    if (useDdrAndPort_) {
        ddrAddress_ = portMap_.lookup(PortRegisterName("DDR", letter));
        pinAddress_ = portMap_.lookup(PortRegisterName("PORT", letter));
    } else {
        pinAddress_ = portMap_.lookup(PortRegisterName("PIN", letter));
    }
    pin_ = ClampPin(settings_->pin);
    activeLow_ = settings_->activeLow;
    // The observers of the mode no longer in use go, so they cannot redraw
    // the LED from the old register.
    if (useDdrAndPort_) {
        pinObserver_.reset();
        ddrObserver_.reset();
        ddrObserver_ =
            std::make_unique<Watcher>(ioRegister(ddrAddress_), this, &frm_LED::onPortChanged);
        portObserver_.reset();
        portObserver_ =
            std::make_unique<Watcher>(ioRegister(pinAddress_), this, &frm_LED::onPortChanged);
        onPortChanged();
    } else {
        ddrObserver_.reset();
        portObserver_.reset();
        pinObserver_.reset();
        pinObserver_ =
            std::make_unique<Watcher>(ioRegister(pinAddress_), this, &frm_LED::onPinChanged);
        onPinChanged();
    }
    update();
}
