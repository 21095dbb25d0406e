#include "components/digital/frm_Switch.h"

#include <QVBoxLayout>

#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"

frm_Switch_configure::frm_Switch_configure(QWidget* parent)
    : SinglePortSettingsDialog(parent, frm_Switch::kSettingsTemplate,
                               QStringLiteral("Configure Switch..."), 227,
                               QStringLiteral("Switch behaviour Active low.")) {}

frm_Switch::frm_Switch(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 60, 75, commandIndex, kCommands[kCmdSwitch].baseName, dialogId) {
    picture_ = new PictureControl(this, kPicture, true);
    picture_->setBitmap(bitmap::kSwitchOff);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture_, 0, Qt::AlignCenter);
    settings_ = new frm_Switch_configure(this);
    connect(picture_, &PictureControl::clicked, this,
            [this] { guarded("frm_Switch::OnStnClicked()", [this] { toggle(); }); });
    create(dialogId, hostWindow());
}

frm_Switch::~frm_Switch() = default;

void frm_Switch::initDialog() {
    PluginForm::initDialog();
    refreshPortMap();
    onBitmap_ = LoadBitmap(bitmap::kSwitchOn, devicePixelRatioF());
    offBitmap_ = LoadBitmap(bitmap::kSwitchOff, devicePixelRatioF());
    useDdrAndPort_ = false;
    pinSubject_ = ioRegister(portMap_.lookup("PINA"));
    ddrSubject_ = ioRegister(portMap_.lookup("DDRA"));
    pin_ = 0;
}

void frm_Switch::refreshPortMap() {
    PortTables tables = BuildPortTables(
        core()->GetAvailableRegistersByName(PortRegisterPatterns()), "PIN",
        [this](const std::string& name) { return core()->GetRegisterAddress(name); });
    portMap_ = std::move(tables.map);
    settings_->setPortList(tables.list);
}

void frm_Switch::toggle() {
    if (!pinSubject_ || !ddrSubject_) return;
    const uint8_t byte = pinSubject_->get();
    const bool wasSet = ((byte >> pin_) & 1) != 0;
    // The picture shows the new level: green lever = bit 1 when active
    // high, bit 0 when active low.
    const bool showOn = wasSet == activeLow_;
    picture_->setBitmap(showOn ? bitmap::kSwitchOn : bitmap::kSwitchOff,
                        showOn ? onBitmap_ : offBitmap_);
    const auto written = InputWrite(useDdrAndPort_ ? UseDdrAndPort : UsePin, pin_, !wasSet, byte,
                                    ddrSubject_->get());
    if (written) pinSubject_->set(*written);
    update();
}

void frm_Switch::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Switch::configure() {
    if (settings_->run() == QDialog::Accepted) {
        useDdrAndPort_ = settings_->mode == UseDdrAndPort;
        const char letter = PortLetter(settings_->portList(), settings_->port);
        pinSubject_ = ioRegister(portMap_.lookup(PortRegisterName("PIN", letter)));
        ddrSubject_ = ioRegister(portMap_.lookup(PortRegisterName("DDR", letter)));
        activeLow_ = settings_->activeLow;
        pin_ = ClampPin(settings_->pin);
    }
    // Closing the dialog, by OK or by Cancel, flips the bound pin once.
    toggle();
}
