#include "components/analog/pp_general_slider.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/CLEDView.h"
#include "framework/Controls.h"
#include "framework/PinLabels.h"

pp_general_slider::pp_general_slider(QWidget* parent, bool withReference)
    : PropertyPage(parent, ids::slider::kGeneralPage,
                   QStringLiteral("Analog / Digital Converter")) {
    auto* layout = new QVBoxLayout(this);
    auto* converter = new QGroupBox(QStringLiteral("A/D Converter"), this);
    auto* row = new QHBoxLayout(converter);
    row->addWidget(new QLabel(QStringLiteral("Connect at"), converter));
    list_ = new QComboBox(converter);
    SetControlId(list_, ids::slider::kChannelList);
    row->addWidget(list_, 1);
    layout->addWidget(converter);
    noChannel_ = new QLabel(
        QStringLiteral("Every channel is connected to another component; this one keeps its "
                       "channel."),
        this);
    SetControlId(noChannel_, ids::slider::kNoFreeChannel);
    noChannel_->setWordWrap(true);
    noChannel_->hide();
    layout->addWidget(noChannel_);

    references_ = new QButtonGroup(this);
    if (!withReference) {
        layout->addStretch(1);
        return;
    }
    auto* referenceGroup = new QGroupBox(QStringLiteral("Reference Voltage"), this);
    auto* column = new QVBoxLayout(referenceGroup);
    const struct {
        int id;
        const char* text;
    } choices[] = {{ids::slider::kUseAref, "Use AREF"},
                   {ids::slider::kUseAvcc, "Use AVCC"},
                   {ids::slider::kUseInternalVref, "Use internal VREF (2.56V)"}};
    for (int value = 0; value < 3; ++value) {
        auto* radio = new QRadioButton(QString::fromUtf8(choices[value].text), referenceGroup);
        SetControlId(radio, choices[value].id);
        references_->addButton(radio, value);
        if (choices[value].id == ids::slider::kUseInternalVref) internal_ = radio;
        column->addWidget(radio, 0, Qt::AlignLeft);
    }
    layout->addWidget(referenceGroup);
    layout->addStretch(1);
}

void pp_general_slider::loadControls() {
    list_->clear();
    int selected = -1;
    // "ADC0 (A0)" on a board that names the channel.
    const CLEDView* core = CoreOf(this);
    for (int c : channels) {
        if (c == channel) selected = list_->count();
        list_->addItem(core ? QString::fromStdString(core->ChannelLabel(c))
                            : QStringLiteral("ADC%1").arg(c),
                       c);
    }
    list_->setCurrentIndex(selected >= 0 ? selected : (list_->count() > 0 ? 0 : -1));
    noChannel_->setVisible(channels.empty());
    if (internal_) {
        internal_->setText(QStringLiteral("Use internal VREF (%1V)").arg(internalVolts));
    }
    if (QAbstractButton* radio = references_->button(reference)) radio->setChecked(true);
}

bool pp_general_slider::saveControls() {
    if (list_->currentIndex() >= 0) channel = list_->currentData().toInt();
    if (references_->checkedId() >= 0) reference = references_->checkedId();
    return true;
}
