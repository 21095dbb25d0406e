// The settings dialog pattern of the pin-bound components: port combo boxes,
// the radio groups "Pin 0".."Pin 7" (228..235) and "Use PIN register." /
// "Use DDRx and PORTx register." (236, 237), an optional active-low check
// box (353), OK (1) and Cancel (2). Every control carries its number
// (findControl).
//
// The dialog object belongs to its component and keeps its fields between
// openings. run() loads the fields into the controls, runs the dialog
// modally (ModalRunner) and, on OK, stores the controls back into the
// fields. A combo box stores its selection as soon as it changes; Cancel
// puts the port positions back, so the dialog reopens with the last values
// that were confirmed.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGroupBox;

#include "contract/ResourceIds.h"

namespace control = ids::port_settings;

class PortSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Fields exchanged with the controls.
    int pin = 0;
    int mode = 0;
    bool activeLow = false;

    void setPortList(const std::vector<std::string>& list) { portList_ = list; }
    const std::vector<std::string>& portList() const { return portList_; }

    // Returns QDialog::Accepted or QDialog::Rejected.
    int run();

    void accept() override;

protected:
    PortSettingsDialog(QWidget* parent, int templateId, const QString& caption);

    // Building blocks for the layouts.
    QComboBox* makePortCombo(int id, int* field);
    QGroupBox* makePinGroup(const QString& title, const QString& label = QString());
    // The pin group's labels name the pins of the port `port` shows, with
    // the board's names ("PB5 (D13)") when the host runs a board.
    void labelPinsBy(QComboBox* port);
    QGroupBox* makeModeGroup(const QString& title, const QString& ddrText);
    QCheckBox* makeActiveLowCheck(const QString& text);
    QDialogButtonBox* makeButtons();

private:
    void loadControls();
    void saveControls();

    struct PortCombo {
        QComboBox* box;
        int* field;
    };
    std::vector<std::string> portList_;
    std::vector<PortCombo> combos_;
    QButtonGroup* pins_ = nullptr;
    QButtonGroup* modes_ = nullptr;
    QCheckBox* activeLowCheck_ = nullptr;
};

// Templates 222 (LED) and 231 (Switch): one port combo box, the pin and mode
// groups and the active-low check box.
class SinglePortSettingsDialog : public PortSettingsDialog {
    Q_OBJECT
public:
    int port = 0;

protected:
    SinglePortSettingsDialog(QWidget* parent, int templateId, const QString& caption, int comboId,
                             const QString& activeLowText);
};
