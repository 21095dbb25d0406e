#include "components/analog/pp_ElectricalCharacteristics.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "framework/Controls.h"

namespace {

QSlider* makeTrackbar(QWidget* parent, int id) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    SetControlId(slider, id);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(10);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setMinimumWidth(180);
    return slider;
}

QLabel* makeText(QWidget* parent, int id, const QString& text = QString()) {
    auto* label = new QLabel(text, parent);
    SetControlId(label, id);
    return label;
}

QString text(int hundredths) { return QString::fromStdString(ElectricalModel::Text(hundredths)); }

}  // namespace

pp_ElectricalCharacteristics::pp_ElectricalCharacteristics(QWidget* parent)
    : PropertyPage(parent, kTemplate, QStringLiteral("Electrical Characteristics")) {
    vcc_ = makeTrackbar(this, kVcc);
    vref_ = makeTrackbar(this, kVref);
    // Vref is the part's adjustable internal reference (nominal 2.56 V); a
    // part's fixed 1.1 V reference does not follow it.
    vref_->setToolTip(QStringLiteral(
        "The internal 2.56 V reference. A fixed 1.1 V reference is not changed here."));
    avcc_ = makeTrackbar(this, kAvcc);
    aref_ = makeTrackbar(this, kAref);
    external_ = new QCheckBox(QStringLiteral("Enable external voltage on AREF pin."), this);
    SetControlId(external_, kExternalAref);
    vccText_ = makeText(this, kVccText);
    vrefText_ = makeText(this, kVrefText);
    avccText_ = makeText(this, kAvccText);
    arefText_ = makeText(this, kArefText);
    vrefUpper_ = makeText(this, kVrefUpper, QStringLiteral("AVCC"));
    avccLower_ = makeText(this, kAvccLower);
    avccUpper_ = makeText(this, kAvccUpper);

    auto* layout = new QVBoxLayout(this);
    auto row = [this, layout](const QString& title, QWidget* lower, QSlider* slider, QWidget* upper,
                              const QString& selected, QLabel* value) {
        auto* group = new QGroupBox(title, this);
        auto* grid = new QGridLayout(group);
        grid->addWidget(lower, 0, 0);
        grid->addWidget(slider, 0, 1);
        grid->addWidget(upper, 0, 2);
        auto* line = new QHBoxLayout;
        line->addWidget(new QLabel(selected, group));
        line->addWidget(value);
        line->addStretch(1);
        grid->addLayout(line, 1, 1);
        layout->addWidget(group);
    };
    row(QStringLiteral("Vcc"), new QLabel(QStringLiteral("2.7"), this), vcc_,
        new QLabel(QStringLiteral("5.5"), this), QStringLiteral("Selected Vcc:"), vccText_);
    row(QStringLiteral("Vref"), new QLabel(QStringLiteral("2.0"), this), vref_, vrefUpper_,
        QStringLiteral("Selected Vref:"), vrefText_);
    row(QStringLiteral("AVcc"), avccLower_, avcc_, avccUpper_, QStringLiteral("Selected AVcc:"),
        avccText_);
    layout->addWidget(external_, 0, Qt::AlignLeft);
    row(QStringLiteral("ARef"), new QLabel(QStringLiteral("2.0"), this), aref_,
        new QLabel(QStringLiteral("5.5"), this), QStringLiteral("Selected voltage:"), arefText_);
    layout->addStretch(1);

    for (QSlider* slider : {vcc_, vref_, avcc_, aref_}) {
        connect(slider, &QSlider::valueChanged, this,
                [this, slider](int position) { moved(ControlId(slider), position); });
    }
    connect(external_, &QCheckBox::toggled, this, [this](bool on) {
        if (updating_) return;
        model_.externalAref = on;
        showValues();
    });
}

void pp_ElectricalCharacteristics::SetVoltages(double vcc, double vref, double avcc, double aref) {
    model_.vcc = ElectricalModel::ToHundredths(vcc);
    model_.vref = ElectricalModel::ToHundredths(vref);
    model_.avcc = ElectricalModel::ToHundredths(avcc);
    model_.aref = ElectricalModel::ToHundredths(aref);
}

void pp_ElectricalCharacteristics::SetExternalAref(bool applied) { model_.externalAref = applied; }

void pp_ElectricalCharacteristics::LoadFrom(CLEDView* core) { model_.LoadFrom(core); }

void pp_ElectricalCharacteristics::StoreInto(CLEDView* core) const { model_.StoreInto(core); }

void pp_ElectricalCharacteristics::loadControls() {
    // The trackbars limit the stored values to their ranges, as the page
    // shows them.
    model_.Clamp();
    showValues();
}

bool pp_ElectricalCharacteristics::saveControls() {
    model_.externalAref = external_->isChecked();
    return true;
}

void pp_ElectricalCharacteristics::moved(int control, int position) {
    if (updating_) return;
    switch (control) {
        case kVcc:
            model_.MoveVcc(position);
            break;
        case kAvcc:
            model_.MoveAvcc(position);
            break;
        case kVref:
            model_.MoveVref(position);
            break;
        case kAref:
            model_.MoveAref(position);
            break;
        default:
            return;
    }
    showValues();
}

void pp_ElectricalCharacteristics::showValues() {
    updating_ = true;
    vcc_->setRange(ElectricalModel::kVccMin, ElectricalModel::kVccMax);
    vcc_->setValue(model_.vcc);
    aref_->setRange(ElectricalModel::kArefMin, ElectricalModel::kArefMax);
    aref_->setValue(model_.aref);
    avcc_->setRange(model_.avccMin(), model_.avccMax());
    avcc_->setValue(model_.avcc);
    vref_->setRange(ElectricalModel::kVrefMin, model_.vrefMax());
    vref_->setValue(model_.vref);
    external_->setChecked(model_.externalAref);
    aref_->setEnabled(model_.externalAref);
    vccText_->setText(text(model_.vcc));
    vrefText_->setText(text(model_.vref));
    avccText_->setText(text(model_.avcc));
    arefText_->setText(text(model_.aref));
    vrefUpper_->setText(text(model_.vrefMax()));
    avccLower_->setText(text(model_.avccMin()));
    avccUpper_->setText(text(model_.avccMax()));
    updating_ = false;
}
