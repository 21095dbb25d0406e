#include "components/digital/frm_Knightrider.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"

frm_Knightrider_configure::frm_Knightrider_configure(QWidget* parent)
    : PortSettingsDialog(parent, frm_Knightrider::kSettingsTemplate,
                         QStringLiteral("Configure \"Knight Rider\" plugin...")) {
    pin = 7;
    mode = 0;
    auto* layout = new QVBoxLayout(this);

    auto* bar = new QGroupBox(QStringLiteral("LED Bar"), this);
    auto* barRow = new QHBoxLayout(bar);
    barRow->addWidget(new QLabel(QStringLiteral("Output port"), bar));
    barRow->addWidget(makePortCombo(ids::knightrider::kOutputPortCombo, &outputPort), 1);
    layout->addWidget(bar);

    auto* switchGroup = new QGroupBox(QStringLiteral("Switch"), this);
    auto* switchLayout = new QVBoxLayout(switchGroup);
    auto* inputRow = new QHBoxLayout;
    inputRow->addWidget(new QLabel(QStringLiteral("Input port"), switchGroup));
    QComboBox* input = makePortCombo(ids::knightrider::kInputPortCombo, &inputPort);
    inputRow->addWidget(input, 1);
    switchLayout->addLayout(inputRow);
    switchLayout->addWidget(makePinGroup(QString(), QStringLiteral("Connect the switch at:")));
    labelPinsBy(input);
    layout->addWidget(switchGroup);

    layout->addWidget(makeModeGroup(QStringLiteral("Port behaviour"),
                                    QStringLiteral("Use DDRx and PORTx registers.")));
    layout->addWidget(makeButtons());
}

frm_Knightrider::frm_Knightrider(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 375, 135, commandIndex, kCommands[kCmdKnightRider].baseName,
                 dialogId),
      ports_(core, "PORT", "frm_Knightrider"),
      output_([this] { onLevelChanged(); }, /*showsOnly=*/true) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 6, 20, 6);
    layout->setSpacing(4);
    title_ = new PictureControl(this, kTitle);
    title_->setBitmap(bitmap::kKnightTitle);
    layout->addWidget(title_, 0, Qt::AlignHCenter);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    for (int bit = 7; bit >= 0; --bit) {
        auto* picture = new PictureControl(this, kFirstSegment + (7 - bit));
        picture->setBitmap(bitmap::kSegmentDark);
        segment_[static_cast<size_t>(bit)] = picture;
        row->addWidget(picture);
    }
    row->addStretch(1);
    switchPicture_ = new PictureControl(this, kSwitch, true);
    switchPicture_->setBitmap(bitmap::kSwitchOff);
    row->addWidget(switchPicture_);
    layout->addLayout(row);
    layout->addStretch(1);
    settings_ = new frm_Knightrider_configure(this);
    connect(switchPicture_, &PictureControl::clicked, this, [this] {
        guarded("frm_Knightrider::OnStnClickedSwitch()", [this] { toggleSwitch(); });
    });
    create(dialogId, hostWindow());
}

frm_Knightrider::~frm_Knightrider() = default;

void frm_Knightrider::initDialog() {
    PluginForm::initDialog();
    core()->Log("frm_Knightrider::OnInitDialog()", "Start.");
    inputPin_ = 7;
    const qreal ratio = devicePixelRatioF();
    litBitmap_ = LoadBitmap(bitmap::kSegmentLit, ratio);
    darkBitmap_ = LoadBitmap(bitmap::kSegmentDark, ratio);
    switchOnBitmap_ = LoadBitmap(bitmap::kSwitchOn, ratio);
    switchOffBitmap_ = LoadBitmap(bitmap::kSwitchOff, ratio);
    ports_.follow([this] {
        guarded("frm_Knightrider::refreshPortMap()", [this] {
            settings_->setPortList(ports_.list());
            output_.rebind(ports_);
            input_.rebind(ports_);
            updateWiring();
        });
    });
    // The bar starts on the register named PORTA (or the first port of a
    // part without port A), read directly; binding shows its present value.
    // The switch starts on port B, pin 7.
    output_.bindDefault(ports_, 'A', UsePin, "PORT");
    input_.bindDefault(ports_, 'B', UsePin);
    settings_->outputPort = std::max(0, ports_.positionOf(output_.choice().letter));
    settings_->inputPort = std::max(0, ports_.positionOf(input_.choice().letter));
    updateWiring();
}

void frm_Knightrider::updateWiring() {
    const std::string bar = output_.bound() ? std::string("port ") + output_.choice().letter
                                            : PinLabel(0, 0);
    showWiring(bar + ", switch " + (input_.bound() ? PinLabel(input_.choice().letter, inputPin_)
                                                    : PinLabel(0, 0)));
}

void frm_Knightrider::showBar(uint8_t byte) {
    // The segments show shown_ (all dark from the start): only those whose
    // bit changed are told.
    const unsigned changed = static_cast<unsigned>(byte ^ shown_);
    shown_ = byte;
    for (int bit = 0; bit < 8; ++bit) {
        if (!((changed >> bit) & 1)) continue;
        const bool lit = ((byte >> bit) & 1) != 0;
        PictureControl* picture = segment_[static_cast<size_t>(bit)];
        picture->setBitmap(lit ? bitmap::kSegmentLit : bitmap::kSegmentDark,
                           lit ? litBitmap_ : darkBitmap_);
    }
}

void frm_Knightrider::onLevelChanged() {
    guarded(
        useDdrAndPort() ? "frm_Knightrider::onPortChanged()" : "frm_Knightrider::onPinChanged()",
        [this] { showBar(output_.level()); });
}

void frm_Knightrider::toggleSwitch() {
    const auto flipped = input_.toggle(inputPin_);
    // An output pin is not an input: the switch neither moves nor writes.
    if (flipped && flipped->written) {
        switchPicture_->setBitmap(flipped->level ? bitmap::kSwitchOn : bitmap::kSwitchOff,
                                  flipped->level ? switchOnBitmap_ : switchOffBitmap_);
    }
    update();
}

void frm_Knightrider::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Knightrider::configure() {
    if (settings_->run() == QDialog::Accepted) {
        // Both combo boxes list "PORTx" names; the letters are the listed
        // ones. The mode is shared by bar and switch.
        const int mode = settings_->mode;
        inputPin_ = ClampPin(settings_->pin);
        input_.bind(ports_, ports_.letterAt(settings_->inputPort), mode);
        if (!output_.bind(ports_, ports_.letterAt(settings_->outputPort), mode)) showBar(0);
        updateWiring();
    }
    update();
}
