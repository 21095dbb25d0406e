// "Configure Hitachi LCD..." (dialog template 259): display size, zoom,
// interface width, register kind, and the pins of E, RS, R/W and the data
// lines.
//
// Each line's pin is chosen from a list of the part's pins ("PB4"; R/W also
// "none": tied to ground). The data lines are either consecutive pins of one
// port ("Connect at:" and "High nibble", the lists of D0..D7 then show the
// pins that means) or, with "Pin by pin" ticked, each on a pin of its own.
// Below, a table shows the wiring port by port, bit 7 on the left; a pin
// two lines share shows both, in red.
//
// run() loads the working copy into the controls and runs the dialog
// modally. OK checks the whole form first: a value out of range keeps the
// dialog open and says what to change in the message line (control 1022);
// only a valid form is stored into the working copy.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "components/lcd/LcdConfig.h"
#include "components/lcd/LcdWiring.h"
#include "contract/ResourceIds.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

// The wiring by port as a table: one row per port a line is on, columns
// bits 7 to 0, each cell the line (or lines) on that pin.
class LcdWiringModel : public QAbstractTableModel {
public:
    explicit LcdWiringModel(QObject* parent) : QAbstractTableModel(parent) {}
    // `ports`: the port list the configuration's positions index.
    void setWiring(const LcdConfig& config, const std::vector<std::string>& ports);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<lcdwire::PortRow> rows_;
    std::vector<std::string> ports_;
};

class frm_LCD_configure : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString message READ message)
public:
    static constexpr int kTemplate = ids::lcd::kSettingsTemplate;
    static constexpr int kScreenSize = ids::lcd::kScreenSize;
    static constexpr int kLines = ids::lcd::kLines;
    static constexpr int kZoom = ids::lcd::kZoom;
    static constexpr int kFourBit = ids::lcd::kFourBitInterface;
    static constexpr int kUsePinRegister = ids::lcd::kUsePinRegister;
    static constexpr int kDataPort = ids::lcd::kDataPort;
    static constexpr int kHighNibble = ids::lcd::kHighNibble;
    static constexpr int kPinByPin = ids::lcd::kPinByPin;
    static constexpr int kEnablePin = ids::lcd::kEnablePin;
    static constexpr int kRsPin = ids::lcd::kRsPin;
    static constexpr int kRwPin = ids::lcd::kRwPin;
    static constexpr int kDataPin0 = ids::lcd::kDataPin0;
    static constexpr int kWiringTable = ids::lcd::kWiringTable;
    static constexpr int kTrace = ids::lcd::kTrace;
    static constexpr int kMessage = ids::lcd::kMessage;

    explicit frm_LCD_configure(QWidget* parent);

    // The working copy.
    LcdConfig config;

    // Port register names (those containing "PIN"); the lists sort them.
    void setPortList(const std::vector<std::string>& names);
    const std::vector<std::string>& portList() const { return ports_; }

    // QDialog::Accepted or QDialog::Rejected.
    int run();
    void accept() override;

    // The message line's text (empty while the form is valid).
    QString message() const;
    const LcdWiringModel* wiring() const { return wiring_; }

private:
    void loadControls();
    // Reads the controls into `out`; false with a message when a value is
    // not a number or out of range.
    bool readControls(LcdConfig* out, std::string* problem) const;
    // The wiring the controls show now (valid or not).
    LcdConfig shownWiring() const;
    // Enables the lists that apply, lets the data lists follow the data
    // port while not pin by pin, and refreshes the table.
    void followControls();
    void fillPinList(QComboBox* box, bool none);
    void selectPin(QComboBox* box, LcdPin pin);
    static LcdPin pinOf(const QComboBox* box);
    QComboBox* lineBox(int line) const;

    std::vector<std::string> ports_;
    QLineEdit* screenSize_;
    QComboBox* lines_;
    QLineEdit* zoom_;
    QCheckBox* fourBit_;
    QCheckBox* usePin_;
    QComboBox* dataPort_;
    QCheckBox* highNibble_;
    QCheckBox* pinByPin_;
    QComboBox* enablePin_;
    QComboBox* rsPin_;
    QComboBox* rwPin_;
    std::array<QComboBox*, 8> dataPins_{};
    QCheckBox* trace_;
    QTableView* table_;
    LcdWiringModel* wiring_;
    QLabel* message_;
    bool loading_ = false;
};
