#include "components/analog/frm_Settings.h"

#include "components/analog/pp_ElectricalCharacteristics.h"
#include "components/analog/pp_general_settings.h"
#include "core/CLEDView.h"

namespace {

LoggerSheetHooks& hooks() {
    static LoggerSheetHooks instance;
    return instance;
}

}  // namespace

void SetLoggerSheetHooks(LoggerSheetHooks h) { hooks() = std::move(h); }

const LoggerSheetHooks& GetLoggerSheetHooks() { return hooks(); }

frm_Settings::frm_Settings(QWidget* parent, CLEDView* core)
    : PropertySheet(parent, QString::fromUtf8(kCaption)) {
    general_ = new pp_general_settings(this, core);
    electrical_ = new pp_ElectricalCharacteristics(this);
    addPage(general_);
    addPage(electrical_);
    general_->LoadFrom(core);
    electrical_->LoadFrom(core);
    connect(general_, &pp_general_settings::converterConfigureRequested, this,
            [this] { showPage(electrical_); });
}

void frm_Settings::Run(CLEDView* core) {
    if (!core) return;
    frm_Settings sheet(nullptr, core);
    if (sheet.run() != QDialog::Accepted) return;
    sheet.electrical()->StoreInto(core);
    sheet.general()->StoreInto(core);
    if (GetLoggerSheetHooks().apply) GetLoggerSheetHooks().apply(core);
}
