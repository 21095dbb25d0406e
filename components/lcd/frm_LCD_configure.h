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

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class frm_LCD_configure : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 259;
    static constexpr int kScreenSize = 1002;
    static constexpr int kLines = 1006;
    static constexpr int kZoom = 344;
    static constexpr int kFourBit = 1015;
    static constexpr int kUsePinRegister = 362;
    static constexpr int kDataPort = 1007;
    static constexpr int kHighNibble = 1016;
    static constexpr int kEnablePort = 1009;
    static constexpr int kEnablePin = 1010;
    static constexpr int kRsPort = 1017;
    static constexpr int kRsPin = 1018;
    static constexpr int kRwPort = 1019;
    static constexpr int kRwPin = 1020;
    static constexpr int kTrace = 1021;
    static constexpr int kMessage = 1022;

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
