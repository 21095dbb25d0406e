#include "components/lcd/frm_LCD_configure.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "framework/Controls.h"
#include "framework/ModalRunner.h"
#include "framework/PortBinding.h"

namespace {

// An item's pin as a number: port position * 8 + bit, -1 for "none".
constexpr int kPinRole = Qt::UserRole + 1;

int PinNumber(LcdPin pin) { return pin.port < 0 ? -1 : pin.port * 8 + pin.bit; }

QComboBox* MakeCombo(QWidget* parent, int id) {
    auto* box = new QComboBox(parent);
    SetControlId(box, id);
    return box;
}

// A whole decimal number, or nothing.
bool ReadNumber(const QLineEdit* edit, int* out) {
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    if (ok) *out = v;
    return ok;
}

}  // namespace

void LcdWiringModel::setWiring(const LcdConfig& config, const std::vector<std::string>& ports) {
    beginResetModel();
    rows_ = lcdwire::PortRows(config);
    ports_ = ports;
    endResetModel();
}

int LcdWiringModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LcdWiringModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 8; }

QVariant LcdWiringModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    // Bit 7 on the left, as a port's bits are written.
    const std::string& cell =
        rows_[static_cast<std::size_t>(index.row())].lines[static_cast<std::size_t>(7 - index.column())];
    switch (role) {
        case Qt::DisplayRole: return QString::fromStdString(cell);
        case Qt::TextAlignmentRole: return int(Qt::AlignCenter);
        case Qt::ForegroundRole:
            if (cell.find('+') != std::string::npos) return QColor(200, 0, 0);
            return {};
        default: return {};
    }
}

QVariant LcdWiringModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return QString::number(7 - section);
    if (section < 0 || section >= static_cast<int>(rows_.size())) return {};
    const char letter = PortLetter(ports_, rows_[static_cast<std::size_t>(section)].port);
    return QString("P%1").arg(QChar(letter));
}

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
    pinByPin_ = new QCheckBox(tr("Pin by pin"), data);
    SetControlId(pinByPin_, kPinByPin);
    auto* dataForm = new QFormLayout(data);
    dataForm->addRow(tr("Connect at:"), dataPort_);
    dataForm->addRow(highNibble_);
    dataForm->addRow(pinByPin_);

    auto* control = new QGroupBox(tr("Control pins"), this);
    enablePin_ = MakeCombo(control, kEnablePin);
    rsPin_ = MakeCombo(control, kRsPin);
    rwPin_ = MakeCombo(control, kRwPin);
    auto* controlForm = new QFormLayout(control);
    controlForm->addRow(tr("E:"), enablePin_);
    controlForm->addRow(tr("RS:"), rsPin_);
    controlForm->addRow(tr("R/W!:"), rwPin_);

    auto* dataLines = new QGroupBox(tr("Data pins"), this);
    auto* dataGrid = new QGridLayout(dataLines);
    for (int d = 0; d < 8; ++d) {
        QComboBox* box = MakeCombo(dataLines, kDataPin0 + d);
        dataPins_[static_cast<std::size_t>(d)] = box;
        // D7..D4 in the first row, D3..D0 below.
        const int row = d < 4 ? 1 : 0, column = 2 * (3 - d % 4);
        dataGrid->addWidget(new QLabel(QString("D%1:").arg(d), dataLines), row, column);
        dataGrid->addWidget(box, row, column + 1);
    }

    auto* wiringBox = new QGroupBox(tr("Wiring"), this);
    wiring_ = new LcdWiringModel(this);
    table_ = new QTableView(wiringBox);
    SetControlId(table_, kWiringTable);
    table_->setModel(wiring_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // As tall as its rows: one per port the lines are on.
    table_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    table_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* wiringLayout = new QVBoxLayout(wiringBox);
    wiringLayout->addWidget(table_);

    message_ = new QLabel(this);
    SetControlId(message_, kMessage);
    QPalette palette = message_->palette();
    palette.setColor(QPalette::WindowText, QColor(200, 0, 0));
    message_->setPalette(palette);

    auto* buttons = OkCancelButtons(this);  // OK runs accept(), which checks the fields

    auto* grid = new QGridLayout;
    grid->addWidget(general, 0, 0, 2, 1);
    grid->addWidget(data, 0, 1);
    grid->addWidget(control, 0, 2);
    grid->addWidget(dataLines, 1, 1, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(wiringBox);
    layout->addWidget(message_);
    layout->addWidget(buttons);

    // Every change of the wiring shows at once in the lists and the table.
    auto follow = [this] {
        if (!loading_) followControls();
    };
    for (QCheckBox* box : {fourBit_, highNibble_, pinByPin_})
        connect(box, &QCheckBox::toggled, this, follow);
    for (QComboBox* box : {dataPort_, enablePin_, rsPin_, rwPin_})
        connect(box, &QComboBox::currentIndexChanged, this, follow);
    for (QComboBox* box : dataPins_) connect(box, &QComboBox::currentIndexChanged, this, follow);
}

void frm_LCD_configure::setPortList(const std::vector<std::string>& names) {
    ports_ = names;
    std::sort(ports_.begin(), ports_.end());
}

void frm_LCD_configure::fillPinList(QComboBox* box, bool none) {
    box->clear();
    if (none) {
        box->addItem(tr("none"), QString("none"));
        box->setItemData(0, -1, kPinRole);
    }
    for (int position = 0; position < static_cast<int>(ports_.size()); ++position) {
        const QChar letter(PortLetter(ports_, position));
        for (int bit = 0; bit < 8; ++bit) {
            box->addItem(QString("P%1%2").arg(letter).arg(bit), QString("%1%2").arg(letter).arg(bit));
            box->setItemData(box->count() - 1, PinNumber({position, bit}), kPinRole);
        }
    }
}

void frm_LCD_configure::selectPin(QComboBox* box, LcdPin pin) {
    box->setCurrentIndex(box->findData(PinNumber(pin), kPinRole));
}

LcdPin frm_LCD_configure::pinOf(const QComboBox* box) {
    const int n = box->currentData(kPinRole).toInt();
    return n < 0 ? LcdPin{} : LcdPin{n / 8, n % 8};
}

QComboBox* frm_LCD_configure::lineBox(int line) const {
    switch (line) {
        case lcdwire::kE: return enablePin_;
        case lcdwire::kRS: return rsPin_;
        case lcdwire::kRW: return rwPin_;
        default: return dataPins_[static_cast<std::size_t>(line - lcdwire::kD0)];
    }
}

void frm_LCD_configure::loadControls() {
    loading_ = true;
    screenSize_->setText(QString::number(config.screenSize));
    lines_->setCurrentIndex(lines_->findText(QString::asprintf("%i", config.lines)));
    zoom_->setText(QString::number(config.zoom));
    fourBit_->setChecked(config.fourBitInterface);
    usePin_->setChecked(config.usePinRegister);
    highNibble_->setChecked(config.highNibble);
    pinByPin_->setChecked(config.pinByPin);
    trace_->setChecked(config.trace);
    dataPort_->clear();
    for (const std::string& name : ports_) dataPort_->addItem(QString::fromStdString(name));
    dataPort_->setCurrentIndex(config.dataPort);
    for (int line = 0; line < lcdwire::kLineCount; ++line) {
        QComboBox* box = lineBox(line);
        fillPinList(box, line == lcdwire::kRW);
        // A data line keeps its own pin while the wiring is consecutive:
        // ticking "Pin by pin" then starts from the pins shown.
        const LcdPin pin = line >= lcdwire::kD0 && config.pinByPin
                               ? config.dataPins[static_cast<std::size_t>(line - lcdwire::kD0)]
                               : lcdwire::LinePin(config, line);
        selectPin(box, pin);
    }
    message_->clear();
    loading_ = false;
    followControls();
}

LcdConfig frm_LCD_configure::shownWiring() const {
    LcdConfig c = config;
    c.fourBitInterface = fourBit_->isChecked();
    c.highNibble = highNibble_->isChecked();
    c.pinByPin = pinByPin_->isChecked();
    // An empty list (no part known yet) keeps the stored pin.
    if (dataPort_->currentIndex() >= 0) c.dataPort = dataPort_->currentIndex();
    for (int line = 0; line < lcdwire::kLineCount; ++line) {
        const QComboBox* box = lineBox(line);
        if (line >= lcdwire::kD0 && (!c.pinByPin || !lcdwire::LineUsed(c, line))) continue;
        if (box->currentIndex() < 0) {
            if (line >= lcdwire::kD0) c.dataPins[static_cast<std::size_t>(line - lcdwire::kD0)] = {};
            continue;
        }
        lcdwire::SetLinePin(c, line, pinOf(box));
    }
    return c;
}

void frm_LCD_configure::followControls() {
    loading_ = true;
    const bool pinByPin = pinByPin_->isChecked();
    const bool four = fourBit_->isChecked();
    dataPort_->setEnabled(!pinByPin);
    highNibble_->setEnabled(!pinByPin);
    const LcdConfig c = shownWiring();
    for (int d = 0; d < 8; ++d) {
        QComboBox* box = dataPins_[static_cast<std::size_t>(d)];
        box->setEnabled(pinByPin && (d >= 4 || !four));
        // Consecutive wiring: the lists show the pins it means.
        if (!pinByPin) selectPin(box, lcdwire::LinePin(c, lcdwire::kD0 + d));
    }
    wiring_->setWiring(shownWiring(), ports_);
    // A message about what was there before no longer applies.
    message_->clear();
    loading_ = false;
}

bool frm_LCD_configure::readControls(LcdConfig* out, std::string* problem) const {
    LcdConfig c = shownWiring();
    if (!ReadNumber(screenSize_, &c.screenSize)) {
        *problem = "Screen size must be a whole number.";
        return false;
    }
    if (!ReadNumber(zoom_, &c.zoom)) {
        *problem = "Zoom must be a whole number.";
        return false;
    }
    c.lines = lines_->currentText().toInt();
    c.usePinRegister = usePin_->isChecked();
    c.trace = trace_->isChecked();
    const char* why = nullptr;
    if (!ValidLcdConfig(c, &why)) {
        *problem = why;
        // Name the lines and the pin they share.
        int first = 0, second = 0;
        if (c.pinByPin && lcdwire::SharedPin(c, &first, &second)) {
            const LcdPin pin = lcdwire::LinePin(c, first);
            *problem = std::string(lcdwire::LineName(first)) + " and " + lcdwire::LineName(second) +
                       " are both on P" + PortLetter(ports_, pin.port) + std::to_string(pin.bit) +
                       ": give each line a pin of its own.";
        }
        return false;
    }
    *out = c;
    return true;
}

void frm_LCD_configure::accept() {
    std::string problem;
    LcdConfig c;
    if (!readControls(&c, &problem)) {
        message_->setText(QString::fromStdString(problem));
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
