#include "components/digital/frm_Switch.h"

#include <QVBoxLayout>
#include <algorithm>

#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"

frm_Switch_configure::frm_Switch_configure(QWidget* parent)
    : SinglePortSettingsDialog(parent, frm_Switch::kSettingsTemplate,
                               QStringLiteral("Configure Switch..."), ids::sw::kPortCombo,
                               QStringLiteral("Switch behaviour Active low.")) {}

frm_Switch::frm_Switch(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 60, 75, commandIndex, kCommands[kCmdSwitch].baseName, dialogId),
      ports_(core, "PIN", "frm_Switch") {
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
    onBitmap_ = LoadBitmap(bitmap::kSwitchOn, devicePixelRatioF());
    offBitmap_ = LoadBitmap(bitmap::kSwitchOff, devicePixelRatioF());
    pin_ = 0;
    ports_.follow([this] {
        settings_->setPortList(ports_.list());
        input_.rebind(ports_);
        updateWiring();
    });
    // Port A, or the part's first port when it has none.
    input_.bindDefault(ports_, 'A', UsePin);
    settings_->port = std::max(0, ports_.positionOf(input_.choice().letter));
    updateWiring();
}

void frm_Switch::updateWiring() {
    showWiring(input_.bound()
                   ? PinLabel(input_.choice().letter, pin_) + (activeLow_ ? ", active low" : "")
                   : PinLabel(0, 0));
}

void frm_Switch::toggle() {
    const auto flipped = input_.toggle(pin_);
    if (!flipped) return;  // not connected
    // The picture shows the new level, written or not (an output pin in
    // UseDdrAndPort): green lever = bit 1 when active high, bit 0 when
    // active low.
    const bool showOn = flipped->level != activeLow_;
    picture_->setBitmap(showOn ? bitmap::kSwitchOn : bitmap::kSwitchOff,
                        showOn ? onBitmap_ : offBitmap_);
    update();
}

void frm_Switch::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Switch::configure() {
    if (settings_->run() == QDialog::Accepted) {
        input_.bind(ports_, ports_.letterAt(settings_->port), settings_->mode);
        activeLow_ = settings_->activeLow;
        pin_ = ClampPin(settings_->pin);
        updateWiring();
    }
    // Closing the dialog, by OK or by Cancel, flips the bound pin once.
    toggle();
}
