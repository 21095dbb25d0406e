#include "components/analog/frm_Capacity_Measurement.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "framework/PinLabels.h"
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/Controls.h"
#include "framework/ModalRunner.h"
#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"

// ---- dlg_Capacity_configure

dlg_Capacity_configure::dlg_Capacity_configure(QWidget* parent) : QDialog(parent) {
    setProperty("dialogId", kTemplate);
    setObjectName(QStringLiteral("dialog_%1").arg(kTemplate));
    setWindowTitle(QStringLiteral("Configure Capacity Measurement"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(new QLabel(QStringLiteral("Connect to IC-pin:"), this));
    ports_ = new QComboBox(this);
    SetControlId(ports_, kPort);
    portRow->addWidget(ports_, 1);
    layout->addLayout(portRow);
    connect(ports_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) port = index;
    });

    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(new QLabel(QStringLiteral("Capacitor 'Cx' value:"), this));
    capacitance_ = new QLineEdit(this);
    SetControlId(capacitance_, kCapacitance);
    capacitance_->setMaxLength(5);
    valueRow->addWidget(capacitance_);
    valueRow->addWidget(new QLabel(QStringLiteral("nF."), this));
    layout->addLayout(valueRow);

    layout->addWidget(new QLabel(QStringLiteral("Connect to PIN:"), this));
    auto* grid = new QGridLayout;
    pins_ = new QButtonGroup(this);
    for (int i = 0; i < 8; ++i) {
        auto* radio = new QRadioButton(QStringLiteral("Pin %1").arg(i), this);
        SetControlId(radio, kPinIds[i]);
        pins_->addButton(radio, i);
        grid->addWidget(radio, i % 4, i / 4, Qt::AlignLeft);
    }
    layout->addLayout(grid);
    LabelPinsBy(ports_, pins_);
    error_ = new QLabel(this);
    SetControlId(error_, kError);
    error_->setStyleSheet(QStringLiteral("color: #b00000"));
    error_->hide();
    layout->addWidget(error_);

    auto* buttons = OkCancelButtons(this);
    layout->addWidget(buttons);
}

int dlg_Capacity_configure::run() {
    const int confirmedPort = port;
    // The list is emptied before it is refilled: opening the dialog twice
    // shows every port once.
    ports_->blockSignals(true);
    ports_->clear();
    for (const std::string& name : portList) ports_->addItem(QString::fromStdString(name));
    ports_->setCurrentIndex(port >= 0 && port < ports_->count() ? port : -1);
    ports_->blockSignals(false);
    RelabelPins(ports_);
    capacitance_->setText(QString::number(capacitance));
    if (QAbstractButton* radio = pins_->button(ClampPin(pin))) radio->setChecked(true);
    error_->hide();
    const int result = RunModal(this);
    if (result != QDialog::Accepted) port = confirmedPort;
    return result;
}

void dlg_Capacity_configure::accept() {
    bool number = false;
    const int nF = capacitance_->text().trimmed().toInt(&number);
    if (!number || nF < 0 || nF > kMaxNanofarads) {
        error_->setText(
            QStringLiteral("Enter a whole number of nF between 0 and %1.").arg(kMaxNanofarads));
        error_->show();
        capacitance_->setFocus();
        return;
    }
    capacitance = nF;
    if (pins_->checkedId() >= 0) pin = pins_->checkedId();
    QDialog::accept();
}

// ---- frm_Capacity_Measurement

frm_Capacity_Measurement::frm_Capacity_Measurement(QWidget* parent, CLEDView* core,
                                                   int commandIndex, int dialogId)
    : PluginForm(parent, core, 289, 320, commandIndex, "Capacity Measurement", dialogId),
      ports_(core, "PIN", "frm_Capacity_Measurement") {
    auto* layout = new QVBoxLayout(this);
    circuit_ = new PictureControl(this, kCircuit);
    circuit_->setBitmap(bitmap::kCapacityCircuit);
    layout->addWidget(circuit_, 0, Qt::AlignHCenter);
    capacitor_ = new PictureControl(this, kCapacitor, true);
    capacitor_->setBitmap(bitmap::kCapacitor);
    capacitor_->setToolTip(QStringLiteral("Click to choose the capacitor and the pin"));
    capacitor_->setCursor(Qt::PointingHandCursor);
    layout->addWidget(capacitor_, 0, Qt::AlignHCenter);
    auto* values = new QGridLayout;
    values->addWidget(new QLabel(QStringLiteral("Capacitor 'Cx' (F) : "), this), 0, 0);
    capacitance_ = new QLabel(QStringLiteral("1000"), this);
    SetControlId(capacitance_, kCapacitanceText);
    values->addWidget(capacitance_, 0, 1);
    values->addWidget(new QLabel(QStringLiteral("Frequency (Hz): "), this), 1, 0);
    frequency_ = new QLabel(QStringLiteral("4002"), this);
    SetControlId(frequency_, kFrequencyText);
    values->addWidget(frequency_, 1, 1);
    layout->addLayout(values);
    status_ = new QLabel(this);
    SetControlId(status_, kStatus);
    status_->setStyleSheet(QStringLiteral("color: #b00000"));
    status_->setWordWrap(true);
    layout->addWidget(status_);
    layout->addStretch(1);
    settings_ = new dlg_Capacity_configure(this);
    connect(capacitor_, &PictureControl::clicked, this, [this] { configure(); });
    create(dialogId, hostWindow());
}

frm_Capacity_Measurement::~frm_Capacity_Measurement() = default;

QString frm_Capacity_Measurement::frequencyText() const { return frequency_->text(); }
QString frm_Capacity_Measurement::capacitanceText() const { return capacitance_->text(); }
QString frm_Capacity_Measurement::status() const { return status_->text(); }

void frm_Capacity_Measurement::initDialog() {
    PluginForm::initDialog();
    // The port list and the pin follow every refill of the register map
    // (a reset, a new part); the timing then starts over.
    ports_.follow([this] { OnRegisterMapChanged(); });
    output_.bindDefault(ports_, 'B', UsePin);
    cycleObserver_ = std::make_unique<CallWhenDue<frm_Capacity_Measurement>>(
        core()->CycleCounter(), this, &frm_Capacity_Measurement::OnCycleCounter,
        &frm_Capacity_Measurement::NextEdge);
    Recalculate();
}

void frm_Capacity_Measurement::Recalculate() {
    // Every change of the wiring comes here: the pin it drives.
    showWiring(PinLabel(output_.bound() ? output_.choice().letter : 0, pin_));
    const double clockHz = core()->ClockMHz() * 1e6;
    char line[160];
    // The timing is trace; a reason the oscillator drives nothing is not.
    auto log = [this, &line] { core()->Trace(kLogLabel, line); };
    std::snprintf(line, sizeof line, "Frequency = %f.", clockHz);
    log();
    const OscillatorTiming timing = ComputeOscillatorTiming(cx_, kC0, kOhms, clockHz);
    std::snprintf(line, sizeof line, "Cycles (HIGH) = %u.", timing.high);
    log();
    std::snprintf(line, sizeof line, "Cycles (LOW) = %u.", timing.low);
    log();
    std::snprintf(line, sizeof line, "Generated period = %u.", timing.total);
    log();
    std::snprintf(line, sizeof line, "Generated frequency = %f.", timing.frequencyHz);
    log();
    const uint32_t now = core()->CycleCounter()->get();
    std::snprintf(line, sizeof line, "Current cyclecounter = %u.", now);
    log();
    oscillator_.Restart(timing, now);
    std::snprintf(line, sizeof line,
                  "Current cyclecounter + Cycles low = Next cycle => %u + %u = %u.", now,
                  timing.low, oscillator_.nextCycle());
    log();

    frequency_->setText(QString::asprintf("%4.2f", timing.frequencyHz));
    capacitance_->setText(QString::asprintf("%.9f", cx_));
    QString why;
    if (!timing.runs()) {
        why = QStringLiteral("Oscillator stopped: the clock frequency is unknown.");
    } else if (!output_.bound()) {
        why = QStringLiteral("Port %1 does not exist on this part; no pin is driven.")
                  .arg(QChar(output_.choice().letter));
    }
    status_->setText(why);
    if (!why.isEmpty()) core()->Log(kLogLabel, why.toStdString());
    update();
}

void frm_Capacity_Measurement::OnCycleCounter() {
    guarded("frm_Capacity_Measurement::OnCycleCounter()", [this] {
        const std::optional<bool> level = oscillator_.Advance(core()->CycleCounter()->get());
        if (level) output_.write(pin_, *level);
    });
}

bool frm_Capacity_Measurement::NextEdge(uint32_t* due) const {
    // Advance() changes nothing before the next edge's count.
    if (!oscillator_.running()) return false;
    *due = oscillator_.nextCycle();
    return true;
}

void frm_Capacity_Measurement::OnRegisterMapChanged() {
    settings_->portList = ports_.list();
    if (output_.choice().letter == 0) return;  // the first refill, before the pin is bound
    output_.rebind(ports_);
    Recalculate();
}

void frm_Capacity_Measurement::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Capacity_Measurement::configure() {
    settings_->capacitance = static_cast<int>(std::lround(1e9 * cx_));
    // The dialog shows the port the oscillator drives, found by its letter:
    // list positions differ between parts (PINC is second on a part
    // without port A), so OK without a change keeps the port.
    settings_->port = std::max(0, ports_.positionOf(output_.choice().letter));
    settings_->pin = pin_;
    if (settings_->run() == QDialog::Accepted) {
        cx_ = settings_->capacitance * 1e-9;
        pin_ = ClampPin(settings_->pin);
        output_.bind(ports_, ports_.letterAt(settings_->port), UsePin);
        Recalculate();
    }
    update();
}
