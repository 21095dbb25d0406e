#include "debugaids/frm_Logger_configure.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), 1);
    SetControlId(buttons->button(QDialogButtonBox::Cancel), 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    box->addWidget(buttons);

    std::vector<std::string> available;
    std::vector<std::string> chosen;
    if (core_) {
        available = core_->GetAvailableRegisters();
        for (int index : selection) {
            std::string name = core_->GetRegisterName(index);
            if (!name.empty()) chosen.push_back(name);
        }
    }
    configuration_->setRegisters(available, chosen);
    names_ = configuration_->chosenNames();
    outputLayout_->load(layout_);
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
        // The lookup answers 0 for a name it does not know: only a name
        // that maps back to itself counts.
        const int index = core_->GetRegisterAddress(name);
        if (core_->GetRegisterName(index) == name) indices.push_back(index);
    }
    return indices;
}
