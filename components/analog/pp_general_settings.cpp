#include "components/analog/pp_general_settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "components/analog/frm_Settings.h"
#include "framework/Controls.h"
#include "framework/ModalRunner.h"

namespace {

template <typename T>
T* numbered(T* control, int id) {
    SetControlId(control, id);
    return control;
}

}  // namespace

QStringList pp_general_settings::ClockChoices() {
    // As the clock list has always shown them: one-digit values led by two
    // blanks.
    return {
        QStringLiteral("  1.000000"), QStringLiteral("  2.000000"), QStringLiteral("  4.000000"),
        QStringLiteral("  8.000000"), QStringLiteral("16.000000"),  QStringLiteral("20.000000"),
        QStringLiteral("24.000000"),  QStringLiteral("28.000000"),  QStringLiteral("32.000000")};
}

pp_general_settings::pp_general_settings(QWidget* parent, CLEDView* core)
    : PropertyPage(parent, kTemplate, QStringLiteral("General")), core_(core) {
    auto* layout = new QVBoxLayout(this);

    auto* clock = new QGroupBox(QStringLiteral("Clock"), this);
    auto* clockLayout = new QGridLayout(clock);
    clockChoice_ = new QButtonGroup(this);
    auto* detect =
        numbered(new QRadioButton(QStringLiteral("Detect automatically."), clock), kClockAuto);
    auto* predefined = numbered(new QRadioButton(QStringLiteral("Use predefined value."), clock),
                                kClockPredefined);
    clockChoice_->addButton(detect, 0);
    clockChoice_->addButton(predefined, 1);
    clockValue_ = numbered(new QComboBox(clock), kClockValue);
    clockValue_->setEditable(true);
    clockValue_->setInsertPolicy(QComboBox::InsertAlphabetically);
    clockValue_->addItems(ClockChoices());
    clockLayout->addWidget(detect, 0, 0, 1, 3, Qt::AlignLeft);
    clockLayout->addWidget(predefined, 1, 0, Qt::AlignLeft);
    clockLayout->addWidget(clockValue_, 1, 1);
    clockLayout->addWidget(new QLabel(QStringLiteral("Mhz."), clock), 1, 2);
    clockInUse_ = numbered(new QLabel(clock), kClockInUse);
    clockLayout->addWidget(clockInUse_, 2, 0, 1, 3, Qt::AlignLeft);
    layout->addWidget(clock);
    connect(clockChoice_, &QButtonGroup::idClicked, this, [this] { showClockInUse(); });
    connect(clockValue_, &QComboBox::currentTextChanged, this, [this] { showClockInUse(); });

    auto* converter = new QGroupBox(QStringLiteral("Analog to Digital Converter"), this);
    auto* converterLayout = new QHBoxLayout(converter);
    enableAdc_ =
        numbered(new QCheckBox(QStringLiteral("Enable Analog to Digital Converter."), converter),
                 kEnableAdc);
    auto* adcConfigure =
        numbered(new QPushButton(QStringLiteral("Configure..."), converter), kAdcConfigure);
    converterLayout->addWidget(enableAdc_, 0, Qt::AlignLeft);
    converterLayout->addStretch(1);
    converterLayout->addWidget(adcConfigure);
    layout->addWidget(converter);
    connect(adcConfigure, &QPushButton::clicked, this,
            &pp_general_settings::converterConfigureRequested);

    auto* logger = new QGroupBox(QStringLiteral("Logger"), this);
    auto* loggerLayout = new QGridLayout(logger);
    enableLogging_ =
        numbered(new QCheckBox(QStringLiteral("Enable logging."), logger), kEnableLogging);
    loggerConfigure_ =
        numbered(new QPushButton(QStringLiteral("Configure..."), logger), kLoggerConfigure);
    destination_ = new QButtonGroup(this);
    auto* toWindow =
        numbered(new QRadioButton(QStringLiteral("Log to window."), logger), kLogToWindow);
    auto* toFile = numbered(new QRadioButton(QStringLiteral("Log to file."), logger), kLogToFile);
    destination_->addButton(toWindow, 0);
    destination_->addButton(toFile, 1);
    directory_ = numbered(new QLineEdit(logger), kDirectory);
    auto* browse = numbered(new QPushButton(QStringLiteral("..."), logger), kBrowse);
    browse->setMaximumWidth(32);
    fileName_ = numbered(new QLineEdit(logger), kFileName);
    loggerLayout->addWidget(enableLogging_, 0, 0, 1, 2, Qt::AlignLeft);
    loggerLayout->addWidget(loggerConfigure_, 0, 2);
    loggerLayout->addWidget(toWindow, 1, 0, 1, 3, Qt::AlignLeft);
    loggerLayout->addWidget(toFile, 2, 0, 1, 3, Qt::AlignLeft);
    loggerLayout->addWidget(new QLabel(QStringLiteral("Directory"), logger), 3, 0);
    loggerLayout->addWidget(directory_, 3, 1);
    loggerLayout->addWidget(browse, 3, 2);
    loggerLayout->addWidget(new QLabel(QStringLiteral("Filename"), logger), 4, 0);
    loggerLayout->addWidget(fileName_, 4, 1, 1, 2);
    // A log file stops growing at this size: a long run that changes a
    // chosen register often would otherwise fill the disk.
    logLimit_ = numbered(new QSpinBox(logger), kLogSizeLimit);
    logLimit_->setRange(0, 1 << 20);
    logLimit_->setSuffix(QStringLiteral(" MB"));
    logLimit_->setSpecialValueText(QStringLiteral("no limit"));
    loggerLayout->addWidget(new QLabel(QStringLiteral("Size limit"), logger), 5, 0);
    loggerLayout->addWidget(logLimit_, 5, 1, 1, 2);
    layout->addWidget(logger);

    disableWarnings_ = numbered(new QCheckBox(QStringLiteral("Disable warning dialog(s)."), this),
                                kDisableWarnings);
    layout->addWidget(disableWarnings_, 0, Qt::AlignLeft);
    error_ = numbered(new QLabel(this), kError);
    error_->setStyleSheet(QStringLiteral("color: #b00000"));
    error_->hide();
    layout->addWidget(error_);
    layout->addStretch(1);

    connect(loggerConfigure_, &QPushButton::clicked, this, &pp_general_settings::configureLogger);
    connect(browse, &QPushButton::clicked, this, &pp_general_settings::browseDirectory);
}

void pp_general_settings::LoadFrom(CLEDView* core) {
    general = core->General();
    const RegisterLogger& log = core->Logger();
    logEnabled = log.enabled();
    logToFile = log.toFile();
    directory = log.directory();
    fileName = log.fileName();
    registers = log.bankSelection();
    logLimitMegabytes = static_cast<int>(log.limitBytes() >> 20);
}

void pp_general_settings::StoreInto(CLEDView* core) const {
    core->SetGeneral(general);
    LoggerChoice choice;
    registers.forEach([&](int i) { choice.registers.push_back(i); });
    choice.enabled = logEnabled;
    choice.toFile = logToFile;
    choice.fileName = fileName;
    choice.directory = directory;
    choice.limitBytes = static_cast<uint64_t>(logLimitMegabytes) << 20;
    core->ApplyLoggerChoice(choice);
}

void pp_general_settings::loadControls() {
    disableWarnings_->setChecked(general.warningsDisabled);
    enableAdc_->setChecked(general.adcEnabled);
    clockChoice_->button(general.clockPredefined ? 1 : 0)->setChecked(true);
    clockValue_->setCurrentText(QString::fromStdString(general.clockValue));
    enableLogging_->setChecked(logEnabled);
    destination_->button(logToFile ? 1 : 0)->setChecked(true);
    directory_->setText(QString::fromStdString(directory));
    fileName_->setText(QString::fromStdString(fileName));
    logLimit_->setValue(logLimitMegabytes);
    loggerConfigure_->setEnabled(static_cast<bool>(GetLoggerSheetHooks().configure));
    error_->hide();
    showClockInUse();
}

void pp_general_settings::showClockInUse() {
    const ClockChoice clock = ChooseClock(clockChoice_->checkedId() == 1,
                                          clockValue_->currentText().toStdString(),
                                          core_->Clock().simulatorMHz);
    clockInUse_->setText(QStringLiteral("In use: ") + QString::fromStdString(clock.inUseText()));
}

bool pp_general_settings::saveControls() {
    const bool predefined = clockChoice_->checkedId() == 1;
    const QString clock = clockValue_->currentText();
    bool number = false;
    const double mhz = clock.trimmed().toDouble(&number);
    if (predefined && (!number || mhz <= 0.0 || mhz > 100.0)) {
        refuse(QStringLiteral("The predefined clock must be a number of MHz above 0 and at most 100."));
        clockValue_->setFocus();
        return false;
    }
    // A log file the logger may not write keeps the sheet open with the
    // reason (the file the log already goes to is its own).
    const bool toFile = destination_->checkedId() == 1;
    if (enableLogging_->isChecked() && toFile) {
        const std::string dir = directory_->text().toStdString();
        const std::string path = RegisterLogger::FilePath(fileName_->text().toStdString(), dir);
        const std::string why = path == core_->Logger().openFile()
                                    ? std::string()
                                    : RegisterLogger::CheckTarget(path, !dir.empty());
        if (!why.empty()) {
            refuse(QString::fromStdString(why));
            fileName_->setFocus();
            return false;
        }
    }
    general.warningsDisabled = disableWarnings_->isChecked();
    general.adcEnabled = enableAdc_->isChecked();
    general.clockPredefined = predefined;
    general.clockValue = clock.toStdString();
    logEnabled = enableLogging_->isChecked();
    logToFile = destination_->checkedId() == 1;
    directory = directory_->text().toStdString();
    fileName = fileName_->text().toStdString();
    logLimitMegabytes = logLimit_->value();
    error_->hide();
    setProperty("message", QString());
    return true;
}

void pp_general_settings::refuse(const QString& why) {
    error_->setText(why);
    error_->setWordWrap(true);
    error_->show();
    setProperty("message", why);
}

void pp_general_settings::configureLogger() {
    const LoggerSheetHooks& hooks = GetLoggerSheetHooks();
    if (!hooks.configure) return;
    RegisterSet edited = registers;
    if (hooks.configure(this, core_, &edited)) registers = edited;
}

void pp_general_settings::browseDirectory() {
    QFileDialog chooser(this, QStringLiteral("Directory of the log file"), directory_->text());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly, true);
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    if (RunModal(&chooser) == QDialog::Accepted && !chooser.selectedFiles().isEmpty()) {
        directory_->setText(chooser.selectedFiles().constFirst());
    }
}
