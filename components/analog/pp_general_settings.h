// The page "General" of the Settings sheet: the clock, the converter and
// the register logger's options. The Clock group shows the clock in use
// as the controls choose it, beside the simulator's.
//
// The page starts from the plug-in's current settings (so OK without a
// change keeps them, logging included) and stores them back on OK. The
// register logger plugs in through LoggerSheetHooks (frm_Settings.h):
// "Configure..." of the Logger group opens the logger's own sheet, which
// replaces the registers to log.
#pragma once

#include <string>

#include "contract/ResourceIds.h"
#include "core/CLEDView.h"
#include "core/RegisterSet.h"
#include "framework/PropertySheet.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class pp_general_settings : public PropertyPage {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::settings::kGeneralPage;
    static constexpr int kLoggerConfigure = ids::settings::kConfigureLogger;
    static constexpr int kAdcConfigure = ids::settings::kConfigureConverter;
    static constexpr int kBrowse = ids::settings::kBrowseDirectory;
    static constexpr int kDisableWarnings = ids::settings::kDisableWarnings;
    static constexpr int kEnableAdc = ids::settings::kEnableConverter;
    static constexpr int kClockAuto = ids::settings::kDetectClock;
    static constexpr int kClockPredefined = ids::settings::kPredefinedClock;
    static constexpr int kClockValue = ids::settings::kClockValue;
    static constexpr int kDirectory = ids::settings::kDirectory;
    static constexpr int kEnableLogging = ids::settings::kEnableLogging;
    static constexpr int kFileName = ids::settings::kFileName;
    static constexpr int kLogToWindow = ids::settings::kLogToWindow;
    static constexpr int kLogToFile = ids::settings::kLogToFile;
    static constexpr int kError = ids::settings::kError;  // why OK was refused
    static constexpr int kLogSizeLimit = ids::settings::kLogSizeLimit;
    static constexpr int kClockInUse = ids::settings::kClockInUse;

    pp_general_settings(QWidget* parent, CLEDView* core);

    // Fields, exchanged with the controls.
    GeneralSettings general;
    bool logEnabled = false;
    bool logToFile = false;
    std::string directory, fileName;
    RegisterSet registers;  // the registers to log, of the whole bank
    int logLimitMegabytes = static_cast<int>(LoggerChoice::kDefaultLimitBytes >> 20);

    void LoadFrom(CLEDView* core);
    // Stores the general settings and hands the logger choices to the core
    // (which opens or closes the log).
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
    // Shows why OK is refused (also as the page's "message" property).
    void refuse(const QString& why);
    // "In use: ..." for the clock the controls choose.
    void showClockInUse();

    CLEDView* core_;
    QCheckBox* disableWarnings_;
    QCheckBox* enableAdc_;
    QSpinBox* logLimit_ = nullptr;
    QButtonGroup* clockChoice_;
    QComboBox* clockValue_;
    QLabel* clockInUse_;
    QLineEdit* directory_;
    QCheckBox* enableLogging_;
    QLineEdit* fileName_;
    QButtonGroup* destination_;
    QPushButton* loggerConfigure_;
    QLabel* error_;
};
