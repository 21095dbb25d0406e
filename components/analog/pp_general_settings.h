// The page "General" of the Settings sheet: the clock, the converter and
// the register logger's options.
//
// The page starts from the plug-in's current settings (so OK without a
// change keeps them, logging included) and stores them back on OK. The
// register logger plugs in through LoggerSheetHooks (frm_Settings.h):
// "Configure..." of the Logger group opens the logger's own sheet, which
// replaces the registers to log.
#pragma once

#include <array>
#include <string>

#include "core/CLEDView.h"
#include "framework/PropertySheet.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class pp_general_settings : public PropertyPage {
    Q_OBJECT
public:
    static constexpr int kTemplate = 242;
    static constexpr int kLoggerConfigure = 304, kAdcConfigure = 307, kBrowse = 317;
    static constexpr int kDisableWarnings = 310, kEnableAdc = 306;
    static constexpr int kClockAuto = 254, kClockPredefined = 237, kClockValue = 313;
    static constexpr int kDirectory = 309, kEnableLogging = 305, kFileName = 314;
    static constexpr int kLogToWindow = 326, kLogToFile = 308;
    static constexpr int kError = 318;  // why OK was refused

    pp_general_settings(QWidget* parent, CLEDView* core);

    // Fields, exchanged with the controls.
    GeneralSettings general;
    bool logEnabled = false;
    bool logToFile = false;
    std::string directory, fileName;
    std::array<bool, 64> registers{};

    void LoadFrom(CLEDView* core);
    void StoreInto(CLEDView* core) const;

    void loadControls() override;
    bool saveControls() override;

    // The clock values offered: 1 to 32 MHz, six decimals, right-aligned.
    static QStringList ClockChoices();

signals:
    // "Configure..." of the converter group: its settings are the electrical
    // characteristics.
    void converterConfigureRequested();

private:
    void configureLogger();
    void browseDirectory();

    CLEDView* core_;
    QCheckBox* disableWarnings_;
    QCheckBox* enableAdc_;
    QButtonGroup* clockChoice_;
    QComboBox* clockValue_;
    QLineEdit* directory_;
    QCheckBox* enableLogging_;
    QLineEdit* fileName_;
    QButtonGroup* destination_;
    QPushButton* loggerConfigure_;
    QLabel* error_;
};
