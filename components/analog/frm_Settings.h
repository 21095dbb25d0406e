// The plug-in's Settings sheet (command 6): the pages "General" and
// "Electrical Characteristics", started from the plug-in's current
// settings. OK stores both pages into the plug-in object and applies the
// logger options; Cancel changes nothing.
#pragma once

#include <functional>

#include "framework/PropertySheet.h"

class CLEDView;
class RegisterSet;
class pp_ElectricalCharacteristics;
class pp_general_settings;

// Where the register logger's own sheet plugs into the Settings sheet (OK
// of the Settings sheet hands the logger options to
// CLEDView::ApplyLoggerChoice).
struct LoggerSheetHooks {
    // "Configure..." of the Logger group: the logger's sheet edits the
    // registers to log; true when the user confirmed it with OK. Empty: the
    // button is disabled.
    std::function<bool(QWidget* parent, CLEDView* core, RegisterSet* registers)> configure;
    // Runs after OK of the Settings sheet handed the logger options over
    // (the logger sheet's layout, kept until then, goes to the plug-in).
    std::function<void(CLEDView* core)> apply;
};
void SetLoggerSheetHooks(LoggerSheetHooks hooks);
const LoggerSheetHooks& GetLoggerSheetHooks();

class frm_Settings : public PropertySheet {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Configure \"QuillComponents\"...";

    frm_Settings(QWidget* parent, CLEDView* core);

    pp_general_settings* general() const { return general_; }
    pp_ElectricalCharacteristics* electrical() const { return electrical_; }

    // The command: builds the sheet, runs it modally and on OK stores and
    // applies its settings.
    static void Run(CLEDView* core);

private:
    pp_general_settings* general_;
    pp_ElectricalCharacteristics* electrical_;
};
