#include "components/analog/frm_Slider.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSlider>
#include <QVBoxLayout>

#include "components/analog/ADC.h"
#include "components/analog/ChannelScale.h"
#include "components/analog/pp_ElectricalCharacteristics.h"
#include "components/analog/pp_general_slider.h"
#include "framework/Controls.h"
#include "framework/ModalRunner.h"

// The sheet "Configure "Analog/Digital Converter"...": the channel and
// reference page, then the electrical characteristics.
class frm_Slider_configure : public PropertySheet {
public:
    explicit frm_Slider_configure(QWidget* parent)
        : PropertySheet(parent, QStringLiteral("Configure \"Analog/Digital Converter\"...")) {
        general = new pp_general_slider(this);
        electrical = new pp_ElectricalCharacteristics(this);
        addPage(general);
        addPage(electrical);
    }
    pp_general_slider* general;
    pp_ElectricalCharacteristics* electrical;
};

frm_Slider::frm_Slider(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 62, 422, commandIndex, "Slider", dialogId) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 4, 3, 4);
    auto* top = new QHBoxLayout;
    millivolts_ = new QLineEdit(this);
    SetControlId(millivolts_, ids::slider::kMillivoltEdit);
    millivolts_->setMaxLength(4);
    millivolts_->setValidator(new QIntValidator(0, 9999, millivolts_));
    // Four digits must fit the narrow window: a compact box and font.
    QFont small = font();
    small.setPixelSize(11);
    millivolts_->setFont(small);
    millivolts_->setTextMargins(0, 0, 0, 0);
    millivolts_->setStyleSheet(QStringLiteral("padding: 0px 1px"));
    millivolts_->setFixedWidth(34);
    top->setSpacing(2);
    top->addWidget(millivolts_);
    auto* unit = new QLabel(QStringLiteral("mV"), this);
    unit->setFont(small);
    top->addWidget(unit);
    layout->addLayout(top);

    trackbar_ = new QSlider(Qt::Vertical, this);
    SetControlId(trackbar_, ids::slider::kTrackbar);
    trackbar_->setRange(0, 100);  // the top is 100 %
    trackbar_->setTickPosition(QSlider::TicksLeft);
    trackbar_->setTickInterval(10);
    trackbar_->setPageStep(10);
    trackbar_->installEventFilter(this);
    layout->addWidget(trackbar_, 1, Qt::AlignHCenter);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(2);
    auto* pos = new QLabel(QStringLiteral("Pos:"), this);
    pos->setFont(small);
    bottom->addWidget(pos);
    percentText_ = new QLabel(QStringLiteral("50"), this);
    percentText_->setFont(small);
    SetControlId(percentText_, ids::slider::kPercentText);
    bottom->addWidget(percentText_);
    layout->addLayout(bottom);
    status_ = new QLabel(this);
    SetControlId(status_, ids::slider::kStatus);
    status_->setWordWrap(true);
    status_->hide();
    layout->addWidget(status_);

    connect(trackbar_, &QSlider::valueChanged, this, &frm_Slider::scrolled);
    connect(millivolts_, &QLineEdit::textEdited, this, &frm_Slider::typedMillivolts);
    create(dialogId, hostWindow());
}

frm_Slider::~frm_Slider() {
    if (ADC* adc = model()) adc->ReleaseChannel(channel_);
}

ADC* frm_Slider::model() const { return core()->AdcModel(); }

QString frm_Slider::percentText() const { return percentText_->text(); }

int frm_Slider::channelValue() const {
    ADC* adc = model();
    Value<uint32_t>* channel = adc ? adc->GetChannel(channel_) : nullptr;
    return channel ? static_cast<int>(channel->get()) : -1;
}

int frm_Slider::channelMillivolts() const {
    ADC* adc = model();
    if (!adc || !adc->GetChannel(channel_)) return -1;
    return adc->ChannelMillivolts(channel_, ownFullScaleVolts());
}

double frm_Slider::ownFullScaleVolts() const {
    // The part's own supply and internal reference: Vcc on a part whose
    // converter has no AVcc, the fixed 1.1 V on one without the adjustable
    // 2.56 V reference.
    const ADC* adc = model();
    return channelscale::FullScaleVolts(
        reference_, core()->ExternalArefApplied()->get() != 0, core()->ExternalAref()->get(),
        adc ? adc->SupplyVolts() : core()->AVcc()->get(),
        adc ? adc->InternalVolts() : core()->InternalReference()->get());
}

void frm_Slider::watchReference() {
    // The registers holding the program's reference choice are the
    // current part's: bound again when the part changes.
    refsWatch_.clear();
    if (ADC* adc = model()) {
        for (const auto& [reg, mask] : adc->ReferenceRegisters()) {
            refsWatch_.push_back(std::make_unique<CallOnBitsChange<frm_Slider, uint8_t>>(
                reg, this, &frm_Slider::showMillivolts, mask));
        }
    }
}

void frm_Slider::partChanged() {
    watchReference();
    showMillivolts();
}

double frm_Slider::fullScaleVolts() const {
    const ADC* adc = model();
    return adc ? adc->ProgramReferenceVolts().value_or(ownFullScaleVolts()) : ownFullScaleVolts();
}

QString frm_Slider::status() const { return status_->isVisible() ? status_->text() : QString(); }

void frm_Slider::setStatus(const QString& text) {
    status_->setText(text);
    status_->setVisible(!text.isEmpty());
    if (text.isEmpty()) return;
    core()->Log("frm_Slider", text.toStdString());
    if (!core()->General().warningsDisabled && isVisible()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Slider"), text, QMessageBox::Ok,
                        this);
        RunModal(&box);
    }
}

void frm_Slider::initDialog() {
    PluginForm::initDialog();
    // A free channel rather than channel 0 for everyone.
    if (ADC* adc = model()) {
        channel_ = adc->FirstFreeChannel();
        adc->ClaimChannel(channel_);
    }
    updateWiring();
    percent_ = 50;
    watchReference();
    partWatch_ = std::make_unique<CallOnWrite<frm_Slider>>(core()->UpdateRequest(), this,
                                                           &frm_Slider::partChanged);
    for (Subject* setting : std::initializer_list<Subject*>{
             core()->AVcc(), core()->Vcc(), core()->InternalReference(), core()->ExternalAref(),
             core()->ExternalArefApplied()}) {
        settingsWatch_.push_back(std::make_unique<CallOnWrite<frm_Slider>>(
            setting, this, &frm_Slider::showMillivolts));
    }
    updating_ = true;
    trackbar_->setValue(percent_);
    updating_ = false;
    scrolled(percent_);
    if (channel_ < 0) {
        status_->setText(model() ? QStringLiteral("Every channel is taken.")
                                 : QStringLiteral("No converter."));
        status_->show();
    }
}

void frm_Slider::scrolled(int position) {
    percent_ = position;
    percentText_->setText(QStringLiteral("%1%").arg(percent_));
    if (!updating_) showMillivolts();
}

void frm_Slider::showMillivolts() {
    const QString text =
        QString::number(channelscale::PercentToMillivolts(percent_, fullScaleVolts()));
    if (text != millivolts_->text()) millivolts_->setText(text);
}

void frm_Slider::released() {
    guarded("frm_Slider::released()", [this] {
        ADC* adc = model();
        Value<uint32_t>* channel = adc ? adc->GetChannel(channel_) : nullptr;
        if (!channel) return;
        adc->ClaimChannel(channel_);  // a model built since holds the claim too
        channel->set(static_cast<uint32_t>(percent_));
    });
}

void frm_Slider::typedMillivolts(const QString& text) {
    bool number = false;
    double mv = text.toDouble(&number);
    if (!number) return;
    const double fullScale = fullScaleVolts();
    const double fullMillivolts = fullScale * 1000.0;
    if (mv >= fullMillivolts) {
        mv = fullMillivolts;
        millivolts_->setText(QString::asprintf("%.0f", fullMillivolts));
    }
    updating_ = true;
    trackbar_->setValue(channelscale::MillivoltsToPercent(mv, fullScale));
    updating_ = false;
}

bool frm_Slider::eventFilter(QObject* watched, QEvent* event) {
    // The trackbar gives up the mouse: after a drag or a click on its
    // groove, as the channel is written on release.
    // The value is already set by then (the trackbar tracks the drag).
    if (watched == trackbar_ && event->type() == QEvent::MouseButtonRelease) released();
    return PluginForm::eventFilter(watched, event);
}

void frm_Slider::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Slider::configure() {
    frm_Slider_configure sheet(this);
    ADC* adc = model();
    // The slider's own channel and the free ones, its own preselected: OK
    // without a change keeps it.
    if (adc) sheet.general->channels = adc->OfferedChannels(channel_);
    sheet.general->channel = channel_;
    sheet.general->reference = reference_;
    if (adc) sheet.general->internalVolts = adc->InternalNominalVolts();
    sheet.electrical->LoadFrom(core());
    if (core()->ExternalArefApplied()->get()) sheet.general->reference = channelscale::UseAref;
    if (sheet.run() != QDialog::Accepted) {
        update();
        return;
    }
    sheet.electrical->StoreInto(core());
    reference_ = sheet.general->reference;

    const int chosen = sheet.general->channels.empty() ? -1 : sheet.general->channel;
    if (chosen < 0) {
        setStatus(
            QStringLiteral("Every converter channel is connected to another component; "
                           "the slider keeps its channel."));
    } else if (chosen != channel_) {
        if (adc) {
            adc->ReleaseChannel(channel_);
            adc->ClaimChannel(chosen);
        }
        channel_ = chosen;
        updateWiring();
        setStatus(QString());
        // A new channel starts at the bottom and keeps its value until the
        // next release.
        updating_ = true;
        trackbar_->setValue(0);
        updating_ = false;
        scrolled(0);
        return;
    }
    showMillivolts();
    update();
}
