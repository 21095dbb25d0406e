#include "debugaids/frm_Logger_configure.h"

#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/CLEDView.h"
#include "debugaids/pp_logger_configuration.h"
#include "debugaids/pp_output_layout.h"
#include "framework/Controls.h"
#include "framework/ModalRunner.h"

frm_Logger_configure::frm_Logger_configure(CLEDView* core, const std::vector<int>& selection,
                                           const LoggerLayout& layout, QWidget* parent)
    : QDialog(parent), core_(core), layout_(layout) {
    setObjectName("frm_Logger_configure");
    setWindowTitle("Configure \"Logger\"...");
    setModal(true);

    auto* box = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    configuration_ = new pp_logger_configuration(tabs_);
    outputLayout_ = new pp_output_layout(tabs_);
    tabs_->addTab(configuration_, "Configuration");
    tabs_->addTab(outputLayout_, "Output layout");
    box->addWidget(tabs_);
    auto* buttons = OkCancelButtons(this);
    box->addWidget(buttons);

    std::vector<std::string> available;
    std::vector<std::string> chosen;
    if (core_) {
        // Every name the part gives, also those sharing an address.
        available = core_->AllRegisterNames();
        for (int index : selection) {
            std::string name = core_->GetRegisterName(index);
            if (!name.empty()) chosen.push_back(name);
        }
    }
    configuration_->setRegisters(available, chosen);
    names_ = configuration_->chosenNames();
    outputLayout_->load(layout_);
}

namespace {

// Layouts chosen in the logger sheet, waiting for the OK of the Settings
// sheet whose page opened it.
struct KeptLayout {
    QPointer<QWidget> page;
    CLEDView* core;
    LoggerLayout layout;
};
std::vector<KeptLayout>& keptLayouts() {
    static std::vector<KeptLayout> list;
    return list;
}

void dropClosedPages() {
    auto& list = keptLayouts();
    list.erase(
        std::remove_if(list.begin(), list.end(), [](const KeptLayout& k) { return !k.page; }),
        list.end());
}

}  // namespace

bool frm_Logger_configure::ConfigureFromSettings(QWidget* page, CLEDView* core,
                                                 RegisterSet* registers) {
    if (!core || !registers) return false;
    dropClosedPages();
    std::vector<int> selection;
    registers->forEach([&](int i) { selection.push_back(i); });
    // A second opening on the same page starts from what the first chose.
    LoggerLayout layout = core->Logger().layout();
    for (const KeptLayout& k : keptLayouts()) {
        if (k.page == page && k.core == core) layout = k.layout;
    }
    frm_Logger_configure sheet(core, selection, layout, page);
    if (sheet.run() != QDialog::Accepted) return false;
    registers->clear();
    // Any register of the part's bank, extended I/O included.
    for (int index : sheet.registerIndices()) {
        if (index >= 0 && index < kMaxRegisterBank) registers->set(index);
    }
    auto& list = keptLayouts();
    list.erase(
        std::remove_if(list.begin(), list.end(),
                       [&](const KeptLayout& k) { return k.page == page && k.core == core; }),
        list.end());
    list.push_back({page, core, sheet.layout()});
    return true;
}

void frm_Logger_configure::ApplyKeptLayout(CLEDView* core) {
    dropClosedPages();
    auto& list = keptLayouts();
    for (auto it = list.begin(); it != list.end();) {
        if (it->core == core) {
            core->Logger().layout() = it->layout;
            it = list.erase(it);
        } else {
            ++it;
        }
    }
}

int frm_Logger_configure::run() { return RunModal(this); }

void frm_Logger_configure::accept() {
    names_ = configuration_->chosenNames();
    layout_ = outputLayout_->store();
    QDialog::accept();
}

std::vector<int> frm_Logger_configure::registerIndices() const {
    std::vector<int> indices;
    if (!core_) return indices;
    for (const std::string& name : names_) {
        // Every name the part description gives counts, also one that
        // shares its address with another (the dump shows the address's
        // first name).
        const int index = core_->FindRegister(name);
        if (index >= 0 && std::find(indices.begin(), indices.end(), index) == indices.end())
            indices.push_back(index);
    }
    return indices;
}
