#include "components/lcd/frm_LCD_configure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "framework/Controls.h"
#include "framework/ModalRunner.h"

namespace {

QComboBox* MakeCombo(QWidget* parent, int id) {
    auto* box = new QComboBox(parent);
    SetControlId(box, id);
    return box;
}

QComboBox* MakePinCombo(QWidget* parent, int id) {
    QComboBox* box = MakeCombo(parent, id);
    for (int i = 0; i < 8; ++i) box->addItem(QString::asprintf("%i", i));
    return box;
}

QGroupBox* PinGroup(QWidget* parent, const QString& title, QComboBox* port, QComboBox* pin) {
    auto* group = new QGroupBox(title, parent);
    auto* form = new QFormLayout(group);
    form->addRow(QObject::tr("Port:"), port);
    form->addRow(QObject::tr("Pin:"), pin);
    return group;
}

// A whole decimal number, or nothing.
bool ReadNumber(const QLineEdit* edit, int* out) {
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    if (ok) *out = v;
    return ok;
}

}  // namespace

frm_LCD_configure::frm_LCD_configure(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Configure Hitachi LCD..."));
    setProperty("dialogId", kTemplate);

    auto* general = new QGroupBox(tr("General"), this);
    screenSize_ = new QLineEdit(general);
    SetControlId(screenSize_, kScreenSize);
    lines_ = MakeCombo(general, kLines);
    for (const char* item : {"1", "2", "4"}) lines_->addItem(QString::fromLatin1(item));
    zoom_ = new QLineEdit(general);
    SetControlId(zoom_, kZoom);
    fourBit_ = new QCheckBox(tr("4-bits interface"), general);
    SetControlId(fourBit_, kFourBit);
    usePin_ = new QCheckBox(tr("Use PINx reg."), general);
    SetControlId(usePin_, kUsePinRegister);
    trace_ = new QCheckBox(tr("Trace to result.txt"), general);
    SetControlId(trace_, kTrace);
    auto* generalForm = new QFormLayout(general);
    generalForm->addRow(tr("Screen size:"), screenSize_);
    generalForm->addRow(tr("Lines:"), lines_);
    generalForm->addRow(tr("Zoom:"), zoom_);
    generalForm->addRow(fourBit_);
    generalForm->addRow(usePin_);
    generalForm->addRow(trace_);

    auto* data = new QGroupBox(tr("Data"), this);
    dataPort_ = MakeCombo(data, kDataPort);
    highNibble_ = new QCheckBox(tr("High nibble"), data);
    SetControlId(highNibble_, kHighNibble);
    auto* dataForm = new QFormLayout(data);
    dataForm->addRow(tr("Connect at:"), dataPort_);
    dataForm->addRow(highNibble_);

    enablePort_ = MakeCombo(this, kEnablePort);
    enablePin_ = MakePinCombo(this, kEnablePin);
    rsPort_ = MakeCombo(this, kRsPort);
    rsPin_ = MakePinCombo(this, kRsPin);
    rwPort_ = MakeCombo(this, kRwPort);
    rwPin_ = MakePinCombo(this, kRwPin);

    message_ = new QLabel(this);
    SetControlId(message_, kMessage);
    QPalette palette = message_->palette();
    palette.setColor(QPalette::WindowText, QColor(200, 0, 0));
    message_->setPalette(palette);

    auto* buttons = OkCancelButtons(this);  // OK runs accept(), which checks the fields

    auto* grid = new QGridLayout;
    grid->addWidget(general, 0, 0, 2, 1);
    grid->addWidget(data, 0, 1);
    grid->addWidget(PinGroup(this, tr("Enable pin"), enablePort_, enablePin_), 1, 1);
    grid->addWidget(PinGroup(this, tr("RS pin"), rsPort_, rsPin_), 0, 2);
    grid->addWidget(PinGroup(this, tr("R/W! pin"), rwPort_, rwPin_), 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(message_);
    layout->addWidget(buttons);
}

void frm_LCD_configure::setPortList(const std::vector<std::string>& names) {
    ports_ = names;
    std::sort(ports_.begin(), ports_.end());
}

void frm_LCD_configure::loadControls() {
    screenSize_->setText(QString::number(config.screenSize));
    lines_->setCurrentIndex(lines_->findText(QString::asprintf("%i", config.lines)));
    zoom_->setText(QString::number(config.zoom));
    fourBit_->setChecked(config.fourBitInterface);
    usePin_->setChecked(config.usePinRegister);
    highNibble_->setChecked(config.highNibble);
    trace_->setChecked(config.trace);
    for (QComboBox* box : {dataPort_, enablePort_, rsPort_, rwPort_}) {
        box->clear();
        for (const std::string& name : ports_) box->addItem(QString::fromStdString(name));
    }
    dataPort_->setCurrentIndex(config.dataPort);
    enablePort_->setCurrentIndex(config.enablePort);
    rsPort_->setCurrentIndex(config.rsPort);
    rwPort_->setCurrentIndex(config.rwPort);
    enablePin_->setCurrentIndex(config.enablePin);
    rsPin_->setCurrentIndex(config.rsPin);
    rwPin_->setCurrentIndex(config.rwPin);
    message_->clear();
}

bool frm_LCD_configure::readControls(LcdConfig* out, const char** problem) const {
    LcdConfig c = config;
    if (!ReadNumber(screenSize_, &c.screenSize)) {
        *problem = "Screen size must be a whole number.";
        return false;
    }
    if (!ReadNumber(zoom_, &c.zoom)) {
        *problem = "Zoom must be a whole number.";
        return false;
    }
    c.lines = lines_->currentText().toInt();
    c.fourBitInterface = fourBit_->isChecked();
    c.usePinRegister = usePin_->isChecked();
    c.highNibble = highNibble_->isChecked();
    c.trace = trace_->isChecked();
    // A port list that is empty (no part known yet) keeps the stored ports.
    auto port = [](const QComboBox* box, int current) {
        return box->currentIndex() >= 0 ? box->currentIndex() : current;
    };
    c.dataPort = port(dataPort_, c.dataPort);
    c.enablePort = port(enablePort_, c.enablePort);
    c.rsPort = port(rsPort_, c.rsPort);
    c.rwPort = port(rwPort_, c.rwPort);
    c.enablePin = enablePin_->currentIndex();
    c.rsPin = rsPin_->currentIndex();
    c.rwPin = rwPin_->currentIndex();
    if (!ValidLcdConfig(c, problem)) return false;
    *out = c;
    return true;
}

void frm_LCD_configure::accept() {
    const char* problem = nullptr;
    LcdConfig c;
    if (!readControls(&c, &problem)) {
        message_->setText(QString::fromLatin1(problem));
        return;
    }
    config = c;
    QDialog::accept();
}

QString frm_LCD_configure::message() const { return message_->text(); }

int frm_LCD_configure::run() {
    loadControls();
    return RunModal(this);
}
