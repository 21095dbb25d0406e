#include "components/analog/frm_Beerbasement.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "components/analog/ADC.h"
#include "components/analog/Thermistor.h"
#include "components/analog/pp_Beerbasement_config.h"
#include "components/analog/pp_ElectricalCharacteristics.h"
#include "components/analog/pp_general_slider.h"
#include "framework/Controls.h"
#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"

namespace {

// The sheet "Configure "Beerbasement"...": outputs, channel, electrical
// characteristics.
class frm_Beerbasement_Configure : public PropertySheet {
public:
    explicit frm_Beerbasement_Configure(QWidget* parent)
        : PropertySheet(parent, QStringLiteral("Configure \"Beerbasement\"...")) {
        outputs = new pp_Beerbasement_config(this);
        converter = new pp_general_slider(this, false);
        electrical = new pp_ElectricalCharacteristics(this);
        addPage(outputs);
        addPage(converter);
        addPage(electrical);
    }
    pp_Beerbasement_config* outputs;
    pp_general_slider* converter;
    pp_ElectricalCharacteristics* electrical;
};

}  // namespace

frm_Beerbasement::frm_Beerbasement(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 340, 340, commandIndex, "Beerbasement", dialogId),
      ports_(core, "PIN", "frm_Beerbasement"),
      cellarPicture_(bitmap::kCellarNormal) {
    for (int kind = 0; kind < 3; ++kind) {
        outputs_[static_cast<size_t>(kind)] =
            std::make_unique<OutputPort>([this, kind] { OnOutput(kind); });
    }
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    trackbar_ = new QSlider(Qt::Vertical, this);
    SetControlId(trackbar_, ids::beerbasement::kTrackbar);
    // The top is the warmest: -10..40 degrees, one step per degree.
    trackbar_->setRange(-10, 40);
    trackbar_->setTickPosition(QSlider::TicksBothSides);
    trackbar_->setTickInterval(5);
    trackbar_->setPageStep(5);
    trackbar_->installEventFilter(this);
    left->addWidget(trackbar_, 1, Qt::AlignHCenter);
    temperatureText_ = new QLabel(QStringLiteral("50°C"), this);
    SetControlId(temperatureText_, ids::beerbasement::kTemperatureText);
    temperatureText_->setAlignment(Qt::AlignCenter);
    left->addWidget(temperatureText_);
    layout->addLayout(left);

    auto* right = new QVBoxLayout;
    cellar_ = new PictureControl(this, ids::beerbasement::kCellar);
    cellar_->setBitmap(cellarPicture_);
    right->addWidget(cellar_, 0, Qt::AlignHCenter);
    auto* leds = new QGridLayout;
    const struct {
        int id;
        const char* caption;
    } outputs[3] = {{ids::beerbasement::kHeaterLed, "Heater"},
                    {ids::beerbasement::kCoolerLed, "Cooler"},
                    {ids::beerbasement::kStatusLed, "Active"}};
    for (int kind = 0; kind < 3; ++kind) {
        auto* led = new PictureControl(this, outputs[kind].id);
        led->setBitmap(bitmap::kLedDark);
        ledPictures_[static_cast<size_t>(kind)] = led;
        leds->addWidget(led, 0, kind, Qt::AlignHCenter);
        auto* caption = new QLabel(QString::fromUtf8(outputs[kind].caption), this);
        caption->setAlignment(Qt::AlignHCenter);
        leds->addWidget(caption, 1, kind);
    }
    right->addLayout(leds);
    status_ = new QLabel(this);
    SetControlId(status_, ids::beerbasement::kStatus);
    status_->setStyleSheet(QStringLiteral("color: #b00000"));
    status_->setWordWrap(true);
    status_->hide();
    right->addWidget(status_);
    right->addStretch(1);
    layout->addLayout(right, 1);

    connect(trackbar_, &QSlider::valueChanged, this, &frm_Beerbasement::setTemperature);
    create(dialogId, hostWindow());
}

frm_Beerbasement::~frm_Beerbasement() {
    if (ADC* adc = model()) adc->ReleaseChannel(channel_);
}

ADC* frm_Beerbasement::model() const { return core()->AdcModel(); }

uint32_t frm_Beerbasement::sensorMillivolts() const {
    return thermistor::DividerMillivolts(temperature_);
}

int frm_Beerbasement::cellarBitmap() const { return cellarPicture_; }

int frm_Beerbasement::channelValue() const {
    ADC* adc = model();
    Value<uint32_t>* channel = adc ? adc->GetChannel(channel_) : nullptr;
    return channel ? static_cast<int>(channel->get()) : -1;
}

int frm_Beerbasement::channelMillivolts() const {
    ADC* adc = model();
    if (!adc || !adc->GetChannel(channel_)) return -1;
    // The channel holds millivolts: no reference applies.
    return adc->ChannelMillivolts(channel_, 0.0);
}

QString frm_Beerbasement::temperatureText() const { return temperatureText_->text(); }

QString frm_Beerbasement::status() const {
    return status_->isVisible() ? status_->text() : QString();
}

void frm_Beerbasement::initDialog() {
    PluginForm::initDialog();
    // All three outputs start on PINA pin 0 (the first port when the part
    // has no port A) and follow every refill of the register map.
    ports_.follow([this] {
        for (auto& output : outputs_) output->rebind(ports_);
        updateWiring();
    });
    // Each output shows one pin: changes of the port's other pins pass it by.
    for (size_t kind = 0; kind < 3; ++kind) {
        outputs_[kind]->setInterest(static_cast<uint8_t>(1u << ClampPin(wiring_.pin[kind])));
        outputs_[kind]->bindDefault(ports_, 'A', UsePin);
    }
    trackbar_->setValue(15);
    setTemperature(15);
    updateWiring();
    // A free channel rather than channel 0 for everyone, given the cellar's
    // voltage at once.
    if (ADC* adc = model()) moveToChannel(adc->FirstFreeChannel());
    if (channel_ < 0) {
        status_->setText(model() ? QStringLiteral("Every converter channel is taken.")
                                 : QStringLiteral("No converter: the temperature reaches no "
                                                  "channel."));
        status_->show();
    }
}

void frm_Beerbasement::updateWiring() {
    static constexpr const char* kOutputName[3] = {"heater", "cooler", "active"};
    std::string text = ChannelLabel(channel_);
    for (size_t kind = 0; kind < 3; ++kind) {
        const OutputPort& output = *outputs_[kind];
        text += std::string(", ") + kOutputName[kind] + " " +
                PinLabel(output.bound() ? output.choice().letter : 0, wiring_.pin[kind]);
    }
    showWiring(text);
}

void frm_Beerbasement::bindOutputs() {
    for (size_t kind = 0; kind < 3; ++kind) {
        outputs_[kind]->setInterest(static_cast<uint8_t>(1u << ClampPin(wiring_.pin[kind])));
        // A port the part does not have: that output watches nothing and
        // shows off.
        if (!outputs_[kind]->bind(ports_, ports_.letterAt(wiring_.port[kind]), wiring_.behaviour)) {
            ShowOutput(0, static_cast<int>(kind));
        }
    }
    updateWiring();
}

void frm_Beerbasement::OnOutput(int kind) {
    guarded("frm_Beerbasement::OnOutput()", [this, kind] {
        const OutputPort& output = *outputs_[static_cast<size_t>(kind)];
        if (!output.bound()) return;
        ShowOutput(output.level(), kind);
        update();
    });
}

void frm_Beerbasement::ShowOutput(uint8_t value, int kind) {
    if (kind < 0 || kind > 2) return;
    const size_t k = static_cast<size_t>(kind);
    const bool on = PinLit(value, wiring_.pin[k], false);
    if (leds_[k] == on && ledPictures_[k]->bitmapId() != 0) {
        // Unchanged output: the cellar keeps the picture of the last change.
        return;
    }
    leds_[k] = on;
    ledPictures_[k]->setBitmap(on ? bitmap::kLedLit : bitmap::kLedDark);
    if (kind == Heater) cellarPicture_ = on ? bitmap::kCellarHot : bitmap::kCellarNormal;
    if (kind == Cooler) cellarPicture_ = on ? bitmap::kCellarCold : bitmap::kCellarNormal;
    if (kind != Status) cellar_->setBitmap(cellarPicture_);
}

void frm_Beerbasement::setTemperature(int celsius) {
    temperature_ = thermistor::ClampCelsius(celsius);
    temperatureText_->setText(QStringLiteral("%1°C").arg(temperature_));
}

void frm_Beerbasement::released() { writeChannel(); }

void frm_Beerbasement::writeChannel() {
    guarded("frm_Beerbasement::writeChannel()", [this] {
        ADC* adc = model();
        Value<uint32_t>* channel = adc ? adc->GetChannel(channel_) : nullptr;
        if (!channel) return;
        // A model built since this window claimed the channel: claim it there.
        adc->ClaimChannel(channel_);
        adc->SetMillivoltMode(channel_);
        channel->set(sensorMillivolts());
    });
}

void frm_Beerbasement::moveToChannel(int channel) {
    ADC* adc = model();
    if (!adc || channel < 0 || channel >= adc->ChannelCount()) return;
    if (channel_ >= 0 && channel_ != channel) {
        adc->ClearMillivoltMode(channel_);
        adc->ReleaseChannel(channel_);
    }
    channel_ = channel;
    status_->hide();
    writeChannel();
    updateWiring();
}

bool frm_Beerbasement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == trackbar_ && event->type() == QEvent::MouseButtonRelease) released();
    return PluginForm::eventFilter(watched, event);
}

void frm_Beerbasement::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Beerbasement::configure() {
    frm_Beerbasement_Configure sheet(this);
    sheet.outputs->portList = ports_.list();
    sheet.outputs->port = wiring_.port;
    sheet.outputs->pin = wiring_.pin;
    sheet.outputs->behaviour = wiring_.behaviour;
    if (ADC* adc = model()) sheet.converter->channels = adc->OfferedChannels(channel_);
    sheet.converter->channel = channel_;
    sheet.electrical->LoadFrom(core());
    if (sheet.run() != QDialog::Accepted) {
        update();
        return;
    }
    sheet.electrical->StoreInto(core());
    wiring_.port = sheet.outputs->port;
    wiring_.pin = sheet.outputs->pin;
    wiring_.behaviour = sheet.outputs->behaviour == 1 ? UseDdrAndPort : UsePin;
    bindOutputs();
    if (!sheet.converter->channels.empty()) moveToChannel(sheet.converter->channel);
    update();
}
