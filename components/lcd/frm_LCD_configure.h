// "Configure Hitachi LCD..." (dialog template 259): display size, zoom,
// interface width, register kind, and the ports and pins of the data
// lines, E, RS and R/W.
//
// run() loads the working copy into the controls and runs the dialog
// modally. OK checks the whole form first: a value out of range keeps the
// dialog open and says what to change in the message line (control 1022);
// only a valid form is stored into the working copy.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "components/lcd/LcdConfig.h"
#include "contract/ResourceIds.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

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
    static constexpr int kEnablePort = ids::lcd::kEnablePort;
    static constexpr int kEnablePin = ids::lcd::kEnablePin;
    static constexpr int kRsPort = ids::lcd::kRsPort;
    static constexpr int kRsPin = ids::lcd::kRsPin;
    static constexpr int kRwPort = ids::lcd::kRwPort;
    static constexpr int kRwPin = ids::lcd::kRwPin;
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

private:
    void loadControls();
    // Reads the controls into `out`; false with a message when a value is
    // not a number or out of range.
    bool readControls(LcdConfig* out, const char** problem) const;

    std::vector<std::string> ports_;
    QLineEdit* screenSize_;
    QComboBox* lines_;
    QLineEdit* zoom_;
    QCheckBox* fourBit_;
    QCheckBox* usePin_;
    QComboBox* dataPort_;
    QCheckBox* highNibble_;
    QComboBox* enablePort_;
    QComboBox* enablePin_;
    QComboBox* rsPort_;
    QComboBox* rsPin_;
    QComboBox* rwPort_;
    QComboBox* rwPin_;
    QCheckBox* trace_;
    QLabel* message_;
};
