// Capacity Measurement: an astable 555 whose timing capacitor is the
// capacitor under measurement, Cx, driving an input pin with a square wave
// timed against the simulator's cycle counter (RcOscillator). The window
// shows the circuit, Cx in farads and the generated frequency in hertz.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "components/analog/RcOscillator.h"
#include "contract/ResourceIds.h"
#include "framework/CycleCountValue.h"
#include "framework/PinBinding.h"
#include "framework/PluginForm.h"

class PictureControl;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;

// Dialog 217 "Configure Capacity Measurement": the port (combo 241, the
// part's PINx registers), Cx in nF (edit 240, 0..1000) and the pin (radios
// 352, 229..235).
class dlg_Capacity_configure : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::capacity::kSettingsTemplate;
    static constexpr int kPort = ids::capacity::kPortCombo;
    static constexpr int kCapacitance = ids::capacity::kCapacitanceEdit;
    static constexpr int kError = ids::capacity::kError;
    static constexpr const std::array<int, 8>& kPinIds = ids::capacity::kPins;
    static constexpr int kMaxNanofarads = ids::capacity::kMaxNanofarads;

    explicit dlg_Capacity_configure(QWidget* parent);

    std::vector<std::string> portList;
    int capacitance = 0;  // nF
    int pin = 6;
    int port = 1;  // position in portList

    // Fields -> controls, run modally, controls -> fields on OK.
    int run();
    void accept() override;

private:
    QComboBox* ports_;
    QLineEdit* capacitance_;
    QButtonGroup* pins_;
    QLabel* error_;
};

class frm_Capacity_Measurement : public PluginForm {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::capacity::kTemplate;
    static constexpr int kCircuit = ids::capacity::kCircuit;
    static constexpr int kCapacitor = ids::capacity::kCapacitor;
    static constexpr int kCapacitanceText = ids::capacity::kCapacitanceText;
    static constexpr int kFrequencyText = ids::capacity::kFrequencyText;
    static constexpr int kStatus = ids::capacity::kStatus;
    static constexpr double kC0 = 1e-8;
    static constexpr int kOhms = 12000;
    static constexpr const char* kLogLabel = "frm_Capacity_Measurement::Recalculate()";

    frm_Capacity_Measurement(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_Capacity_Measurement() override;

    void Recalculate();
    void OnCycleCounter();
    // The count of the next edge; false while the oscillator is stopped.
    bool NextEdge(uint32_t* due) const;
    void OnRegisterMapChanged();

    double cx() const { return cx_; }
    int pin() const { return pin_; }
    // The PINx register driven; -1 when the chosen port does not exist.
    int pinAddress() const { return output_.bound() ? output_.pinIndex() : -1; }
    const RcOscillator& oscillator() const { return oscillator_; }
    dlg_Capacity_configure* settings() const { return settings_; }
    QString frequencyText() const;
    QString capacitanceText() const;
    QString status() const;

protected:
    void initDialog() override;
    void onCommand(int id) override;

private:
    void configure();

    PictureControl* circuit_;
    PictureControl* capacitor_;
    QLabel* frequency_;
    QLabel* capacitance_;
    QLabel* status_;
    dlg_Capacity_configure* settings_;
    RcOscillator oscillator_;
    double cx_ = 1e-8;
    int pin_ = 6;
    PortRegisters ports_;
    InputPin output_;
    // Acts only from the oscillator's next edge on, and says so, so that a
    // host may leave out the refreshes before it.
    std::unique_ptr<CallWhenDue<frm_Capacity_Measurement>> cycleObserver_;
};
