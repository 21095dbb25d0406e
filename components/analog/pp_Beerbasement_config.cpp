#include "components/analog/pp_Beerbasement_config.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>

#include "framework/PinLabels.h"
#include <QVBoxLayout>

#include "framework/Controls.h"
#include "framework/PortBinding.h"

int pp_Beerbasement_config::PinControl(int kind, int pin) {
    const auto p = static_cast<size_t>(ClampPin(pin));
    switch (kind) {
        case 0:
            return ids::beerbasement::kHeaterPins[p];
        case 1:
            return ids::beerbasement::kCoolerPins[p];
        default:
            return ids::beerbasement::kStatusPins[p];
    }
}

pp_Beerbasement_config::pp_Beerbasement_config(QWidget* parent)
    : PropertyPage(parent, kTemplate, QStringLiteral("General")) {
    auto* layout = new QVBoxLayout(this);
    const struct {
        const char* title;
        const char* connect;
        int combo;
    } outputs[3] = {{"Heater", "Connect the Heater at:", kHeaterPort},
                    {"Cooler", "Connect the Cooler at:", kCoolerPort},
                    {"Status", "Connect the Status LED at:", kStatusPort}};
    auto* row = new QHBoxLayout;
    for (int kind = 0; kind < 3; ++kind) {
        auto* group = new QGroupBox(QString::fromUtf8(outputs[kind].title), this);
        auto* column = new QVBoxLayout(group);
        column->addWidget(new QLabel(QStringLiteral("Output port"), group));
        QComboBox* combo = new QComboBox(group);
        SetControlId(combo, outputs[kind].combo);
        ports_[static_cast<size_t>(kind)] = combo;
        column->addWidget(combo);
        connect(combo, &QComboBox::currentIndexChanged, this, [this, kind](int index) {
            if (index >= 0) port[static_cast<size_t>(kind)] = index;
        });
        column->addWidget(new QLabel(QString::fromUtf8(outputs[kind].connect), group));
        auto* grid = new QGridLayout;
        auto* buttons = new QButtonGroup(this);
        for (int p = 0; p < 8; ++p) {
            auto* radio = new QRadioButton(QStringLiteral("Pin %1").arg(p), group);
            SetControlId(radio, PinControl(kind, p));
            buttons->addButton(radio, p);
            grid->addWidget(radio, p % 4, p / 4, Qt::AlignLeft);
        }
        pins_[static_cast<size_t>(kind)] = buttons;
        LabelPinsBy(combo, buttons);
        column->addLayout(grid);
        row->addWidget(group);
    }
    layout->addLayout(row);
    auto* behaviourGroup = new QGroupBox(QStringLiteral("Behaviour"), this);
    auto* behaviourRow = new QHBoxLayout(behaviourGroup);
    behaviour_ = new QButtonGroup(this);
    auto* usePin = new QRadioButton(QStringLiteral("PIN reg."), behaviourGroup);
    SetControlId(usePin, kPinBehaviour);
    auto* useDdr = new QRadioButton(QStringLiteral("DDRx && PORTx reg."), behaviourGroup);
    SetControlId(useDdr, kDdrBehaviour);
    behaviour_->addButton(usePin, 0);
    behaviour_->addButton(useDdr, 1);
    behaviourRow->addWidget(usePin);
    behaviourRow->addWidget(useDdr);
    behaviourRow->addStretch(1);
    layout->addWidget(behaviourGroup);
    layout->addStretch(1);
}

void pp_Beerbasement_config::loadControls() {
    for (size_t kind = 0; kind < 3; ++kind) {
        QComboBox* combo = ports_[kind];
        const int stored = port[kind];
        combo->blockSignals(true);
        combo->clear();
        for (const std::string& name : portList) combo->addItem(QString::fromStdString(name));
        combo->setCurrentIndex(stored >= 0 && stored < combo->count() ? stored : -1);
        combo->blockSignals(false);
        RelabelPins(combo);
        if (QAbstractButton* radio = pins_[kind]->button(ClampPin(pin[kind]))) {
            radio->setChecked(true);
        }
    }
    behaviour_->button(behaviour == 1 ? 1 : 0)->setChecked(true);
}

bool pp_Beerbasement_config::saveControls() {
    for (size_t kind = 0; kind < 3; ++kind) {
        if (pins_[kind]->checkedId() >= 0) pin[kind] = pins_[kind]->checkedId();
    }
    behaviour = behaviour_->checkedId() == 1 ? 1 : 0;
    return true;
}
