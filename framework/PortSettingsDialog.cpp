#include "framework/PortSettingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "framework/Controls.h"
#include "framework/ModalRunner.h"
#include "framework/PinLabels.h"
#include "framework/PortBinding.h"

PortSettingsDialog::PortSettingsDialog(QWidget* parent, int templateId, const QString& caption)
    : QDialog(parent) {
    setProperty("dialogId", templateId);
    setObjectName(QStringLiteral("dialog_%1").arg(templateId));
    setWindowTitle(caption);
    setModal(true);
}

QComboBox* PortSettingsDialog::makePortCombo(int id, int* field) {
    auto* box = new QComboBox(this);
    SetControlId(box, id);
    box->setMinimumContentsLength(6);
    combos_.push_back({box, field});
    connect(box, &QComboBox::currentIndexChanged, this, [field](int index) {
        if (index >= 0) *field = index;
    });
    return box;
}

QGroupBox* PortSettingsDialog::makePinGroup(const QString& title, const QString& label) {
    auto* group = new QGroupBox(title, this);
    auto* layout = new QVBoxLayout(group);
    if (!label.isEmpty()) layout->addWidget(new QLabel(label, group));
    auto* grid = new QGridLayout;
    pins_ = new QButtonGroup(this);
    for (int i = 0; i < 8; ++i) {
        auto* radio = new QRadioButton(QStringLiteral("Pin %1").arg(i), group);
        SetControlId(radio, control::kPin0 + i);
        pins_->addButton(radio, i);
        grid->addWidget(radio, i % 4, i / 4);
    }
    layout->addLayout(grid);
    return group;
}

void PortSettingsDialog::labelPinsBy(QComboBox* port) {
    if (pins_) LabelPinsBy(port, pins_);
}

QGroupBox* PortSettingsDialog::makeModeGroup(const QString& title, const QString& ddrText) {
    auto* group = new QGroupBox(title, this);
    auto* layout = new QVBoxLayout(group);
    modes_ = new QButtonGroup(this);
    auto* usePin = new QRadioButton(QStringLiteral("Use PIN register."), group);
    SetControlId(usePin, control::kUsePin);
    auto* useDdr = new QRadioButton(ddrText, group);
    SetControlId(useDdr, control::kUseDdrAndPort);
    modes_->addButton(usePin, UsePin);
    modes_->addButton(useDdr, UseDdrAndPort);
    layout->addWidget(usePin);
    layout->addWidget(useDdr);
    return group;
}

QCheckBox* PortSettingsDialog::makeActiveLowCheck(const QString& text) {
    activeLowCheck_ = new QCheckBox(text, this);
    SetControlId(activeLowCheck_, control::kActiveLow);
    return activeLowCheck_;
}

QDialogButtonBox* PortSettingsDialog::makeButtons() { return OkCancelButtons(this); }

void PortSettingsDialog::loadControls() {
    for (const PortCombo& combo : combos_) {
        const int stored = *combo.field;
        combo.box->blockSignals(true);
        combo.box->clear();
        for (const std::string& name : portList_) combo.box->addItem(QString::fromStdString(name));
        combo.box->setCurrentIndex(stored >= 0 && stored < combo.box->count() ? stored : -1);
        combo.box->blockSignals(false);
        RelabelPins(combo.box);
    }
    if (pins_) {
        if (QAbstractButton* radio = pins_->button(ClampPin(pin))) radio->setChecked(true);
    }
    if (modes_) {
        if (QAbstractButton* radio = modes_->button(mode == UseDdrAndPort ? 1 : 0)) {
            radio->setChecked(true);
        }
    }
    if (activeLowCheck_) activeLowCheck_->setChecked(activeLow);
}

void PortSettingsDialog::saveControls() {
    if (pins_ && pins_->checkedId() >= 0) pin = pins_->checkedId();
    if (modes_ && modes_->checkedId() >= 0) mode = modes_->checkedId();
    if (activeLowCheck_) activeLow = activeLowCheck_->isChecked();
}

void PortSettingsDialog::accept() {
    saveControls();
    QDialog::accept();
}

int PortSettingsDialog::run() {
    std::vector<int> confirmed;
    for (const PortCombo& combo : combos_) confirmed.push_back(*combo.field);
    loadControls();
    const int result = RunModal(this);
    if (result != QDialog::Accepted) {
        for (size_t i = 0; i < combos_.size(); ++i) *combos_[i].field = confirmed[i];
    }
    return result;
}

SinglePortSettingsDialog::SinglePortSettingsDialog(QWidget* parent, int templateId,
                                                   const QString& caption, int comboId,
                                                   const QString& activeLowText)
    : PortSettingsDialog(parent, templateId, caption) {
    auto* layout = new QVBoxLayout(this);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(new QLabel(QStringLiteral("Port:"), this));
    QComboBox* portCombo = makePortCombo(comboId, &port);
    portRow->addWidget(portCombo, 1);
    layout->addLayout(portRow);
    layout->addWidget(makePinGroup(QStringLiteral("Pin")));
    labelPinsBy(portCombo);
    layout->addWidget(makeModeGroup(QStringLiteral("Port behaviour"),
                                    QStringLiteral("Use DDRx and PORTx register.")));
    layout->addWidget(makeActiveLowCheck(activeLowText));
    layout->addWidget(makeButtons());
}
