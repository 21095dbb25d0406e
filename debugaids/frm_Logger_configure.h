// The logger sheet, 'Configure "Logger"...': page "Configuration" (which
// registers) and page "Output layout" (how a dump looks). It starts from the
// plug-in's current choices and only edits a copy: the caller (the Settings
// sheet) takes the result on OK and hands it to the plug-in when the
// Settings sheet itself is confirmed.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "debugaids/RegisterLogger.h"

class CLEDView;
class QTabWidget;
class pp_logger_configuration;
class pp_output_layout;

class frm_Logger_configure : public QDialog {
    Q_OBJECT
public:
    // `selection` (I/O indices) and `layout` are what the sheet starts from.
    frm_Logger_configure(CLEDView* core, const std::vector<int>& selection,
                         const LoggerLayout& layout, QWidget* parent = nullptr);

    // Runs the sheet modally (through the modal runner); on OK the results
    // below hold what the user chose. Returns QDialog::Accepted or Rejected.
    int run();

    // Names of "Log to file." when OK was pressed, top to bottom.
    const std::vector<std::string>& registerNames() const { return names_; }
    // Those names as I/O indices; names the part does not know are left out.
    std::vector<int> registerIndices() const;
    const LoggerLayout& layout() const { return layout_; }

    pp_logger_configuration* configurationPage() const { return configuration_; }
    pp_output_layout* layoutPage() const { return outputLayout_; }

    void accept() override;

    // ---- The Settings sheet's side
    // "Configure..." of the logger group on `page`: runs the sheet from
    // `registers` (any of the part's bank) and the plug-in's layout; on OK
    // replaces `registers` and keeps the layout for `page`. True on OK.
    static bool ConfigureFromSettings(QWidget* page, CLEDView* core, RegisterSet* registers);
    // OK of the Settings sheet: the layout kept for a page of that sheet
    // (still open) goes to the plug-in. Layouts of sheets that were
    // cancelled (their pages are gone) are dropped.
    static void ApplyKeptLayout(CLEDView* core);

private:
    CLEDView* core_;
    QTabWidget* tabs_;
    pp_logger_configuration* configuration_;
    pp_output_layout* outputLayout_;
    std::vector<std::string> names_;
    LoggerLayout layout_;
};
