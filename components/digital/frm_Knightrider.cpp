#include "components/digital/frm_Knightrider.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

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
    barRow->addWidget(makePortCombo(226, &outputPort), 1);
    layout->addWidget(bar);

    auto* switchGroup = new QGroupBox(QStringLiteral("Switch"), this);
    auto* switchLayout = new QVBoxLayout(switchGroup);
    auto* inputRow = new QHBoxLayout;
    inputRow->addWidget(new QLabel(QStringLiteral("Input port"), switchGroup));
    inputRow->addWidget(makePortCombo(227, &inputPort), 1);
    switchLayout->addLayout(inputRow);
    switchLayout->addWidget(makePinGroup(QString(), QStringLiteral("Connect the switch at:")));
    layout->addWidget(switchGroup);

    layout->addWidget(makeModeGroup(QStringLiteral("Port behaviour"),
                                    QStringLiteral("Use DDRx and PORTx registers.")));
    layout->addWidget(makeButtons());
}

frm_Knightrider::frm_Knightrider(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 375, 135, commandIndex, kCommands[kCmdKnightRider].baseName,
                 dialogId) {
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
        picture->setProperty("lit", false);
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
    refreshPortMap();
    outputAddress_ = portMap_.lookup("PORTA");
    useDdrAndPort_ = false;
    inputPinAddress_ = portMap_.lookup("PINB");
    inputDdrAddress_ = portMap_.lookup("DDRB");
    inputPin_ = 7;
    const qreal ratio = devicePixelRatioF();
    litBitmap_ = LoadBitmap(bitmap::kSegmentLit, ratio);
    darkBitmap_ = LoadBitmap(bitmap::kSegmentDark, ratio);
    switchOnBitmap_ = LoadBitmap(bitmap::kSwitchOn, ratio);
    switchOffBitmap_ = LoadBitmap(bitmap::kSwitchOff, ratio);
    mapObserver_ =
        std::make_unique<Watcher>(core()->UpdateRequest(), this, &frm_Knightrider::refreshPortMap);
    // The bar starts on the register named "PORTA", read directly.
    pinObserver_ =
        std::make_unique<Watcher>(ioRegister(outputAddress_), this, &frm_Knightrider::onPinChanged);
    inputPinSubjectDirect_ = ioRegister(inputPinAddress_);
    inputDdrSubject_ = ioRegister(inputDdrAddress_);
    inputPinSubject_ = ioRegister(inputPinAddress_);
    // Show the port's present value rather than an unlit bar until the
    // next change.
    onPinChanged();
}

void frm_Knightrider::refreshPortMap() {
    guarded("frm_Knightrider::refreshPortMap()", [this] {
        PortTables tables = BuildPortTables(
            core()->GetAvailableRegistersByName(PortRegisterPatterns()), "PORT",
            [this](const std::string& name) { return core()->GetRegisterAddress(name); });
        portMap_ = std::move(tables.map);
        settings_->setPortList(tables.list);
    });
}

void frm_Knightrider::showBar(uint8_t byte) {
    shown_ = byte;
    for (int bit = 0; bit < 8; ++bit) {
        const bool lit = ((byte >> bit) & 1) != 0;
        PictureControl* picture = segment_[static_cast<size_t>(bit)];
        picture->setBitmap(lit ? bitmap::kSegmentLit : bitmap::kSegmentDark,
                           lit ? litBitmap_ : darkBitmap_);
        picture->setProperty("lit", lit);
    }
    update();
}

void frm_Knightrider::onPinChanged() {
    guarded("frm_Knightrider::onPinChanged()", [this] {
        if (pinObserver_) showBar(pinObserver_->value());
    });
}

void frm_Knightrider::onPortChanged() {
    guarded("frm_Knightrider::onPortChanged()", [this] {
        if (!portObserver_ || !ddrObserver_) return;
        showBar(OutputLevel(UseDdrAndPort, 0, ddrObserver_->value(), portObserver_->value()));
    });
}

void frm_Knightrider::toggleSwitch() {
    const uint8_t mask = static_cast<uint8_t>(1u << ClampPin(inputPin_));
    GatedValue<uint8_t>* pinSubject = useDdrAndPort_ ? inputPinSubject_ : inputPinSubjectDirect_;
    if (!pinSubject) return;
    // An output pin is not an input: the switch neither moves nor writes.
    if (useDdrAndPort_ && inputDdrSubject_ && (inputDdrSubject_->get() & mask) != 0) {
        update();
        return;
    }
    const uint8_t byte = pinSubject->get();
    if (byte & mask) {
        switchPicture_->setBitmap(bitmap::kSwitchOff, switchOffBitmap_);
        pinSubject->set(static_cast<uint8_t>(byte & ~mask));
    } else {
        switchPicture_->setBitmap(bitmap::kSwitchOn, switchOnBitmap_);
        pinSubject->set(static_cast<uint8_t>(byte | mask));
    }
    update();
}

void frm_Knightrider::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Knightrider::configure() {
    if (settings_->run() == QDialog::Accepted) {
        useDdrAndPort_ = settings_->mode == UseDdrAndPort;
        const std::vector<std::string>& ports = settings_->portList();
        // Both combo boxes list "PORTx" names; the letter is the listed one.
        const char out = PortLetter(ports, settings_->outputPort);
        if (useDdrAndPort_) {
            outputDdrAddress_ = portMap_.lookup(PortRegisterName("DDR", out));
            outputAddress_ = portMap_.lookup(PortRegisterName("PORT", out));
        } else {
            outputAddress_ = portMap_.lookup(PortRegisterName("PIN", out));
        }
        const char in = PortLetter(ports, settings_->inputPort);
        if (useDdrAndPort_) inputDdrAddress_ = portMap_.lookup(PortRegisterName("DDR", in));
        inputPinAddress_ = portMap_.lookup(PortRegisterName("PIN", in));
        inputPin_ = ClampPin(settings_->pin);
        if (useDdrAndPort_) {
            pinObserver_.reset();
            ddrObserver_.reset();
            ddrObserver_ = std::make_unique<Watcher>(ioRegister(outputDdrAddress_), this,
                                                     &frm_Knightrider::onPortChanged);
            portObserver_.reset();
            portObserver_ = std::make_unique<Watcher>(ioRegister(outputAddress_), this,
                                                      &frm_Knightrider::onPortChanged);
            inputDdrSubject_ = ioRegister(inputDdrAddress_);
            inputPinSubject_ = ioRegister(inputPinAddress_);
            onPortChanged();
        } else {
            ddrObserver_.reset();
            portObserver_.reset();
            pinObserver_.reset();
            pinObserver_ = std::make_unique<Watcher>(ioRegister(outputAddress_), this,
                                                     &frm_Knightrider::onPinChanged);
            inputPinSubjectDirect_ = ioRegister(inputPinAddress_);
            onPinChanged();
        }
    }
    update();
}
