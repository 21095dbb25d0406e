#include "debugaids/pp_logger_configuration.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "contract/ResourceIds.h"
#include "framework/Controls.h"

namespace {

QListWidget* makeList(QWidget* parent, int id) {
    auto* list = new QListWidget(parent);
    SetControlId(list, id);
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    list->setSortingEnabled(true);
    list->setMinimumHeight(180);
    return list;
}

QPushButton* makeButton(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    SetControlId(button, id);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

pp_logger_configuration::pp_logger_configuration(QWidget* parent) : QWidget(parent) {
    setObjectName("pp_logger_configuration");
    auto* layout = new QVBoxLayout(this);
    logGeneral_ = new QCheckBox("Log general single-byte registers.", this);
    SetControlId(logGeneral_, ids::logger::kLogGeneralRegisters);
    logCpu_ =
        new QCheckBox("Log CPU registers (stack, Program Counter, Cycle Counter, etc).", this);
    SetControlId(logCpu_, ids::logger::kLogCpuRegisters);
    layout->addWidget(logGeneral_);
    layout->addWidget(logCpu_);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Available memory.", this), 0, 0);
    grid->addWidget(new QLabel("Log to file.", this), 0, 2);
    available_ = makeList(this, ids::logger::kAvailable);
    chosen_ = makeList(this, ids::logger::kChosen);
    grid->addWidget(available_, 1, 0);
    grid->addWidget(chosen_, 1, 2);
    auto* buttons = new QVBoxLayout;
    QPushButton* log = makeButton(this, "Log ->", ids::logger::kAdd);
    QPushButton* clear = makeButton(this, "Clear", ids::logger::kClear);
    QPushButton* dontLog = makeButton(this, "<- Don't log", ids::logger::kRemove);
    buttons->addStretch();
    buttons->addWidget(log);
    buttons->addWidget(clear);
    buttons->addWidget(dontLog);
    buttons->addStretch();
    grid->addLayout(buttons, 1, 1);
    layout->addLayout(grid);

    connect(log, &QPushButton::clicked, this, [this] { move(available_, chosen_, true); });
    connect(dontLog, &QPushButton::clicked, this, [this] { move(chosen_, available_, true); });
    connect(clear, &QPushButton::clicked, this, [this] { move(chosen_, available_, false); });
}

void pp_logger_configuration::setRegisters(const std::vector<std::string>& available,
                                           const std::vector<std::string>& chosen) {
    available_->clear();
    chosen_->clear();
    for (const std::string& name : available) {
        if (name.empty()) continue;
        const bool logged = std::find(chosen.begin(), chosen.end(), name) != chosen.end();
        (logged ? chosen_ : available_)->addItem(QString::fromStdString(name));
    }
}

void pp_logger_configuration::move(QListWidget* from, QListWidget* to, bool selectedOnly) {
    for (;;) {
        QListWidgetItem* item = nullptr;
        if (selectedOnly) {
            const auto selected = from->selectedItems();
            if (selected.isEmpty()) break;
            // The first selected item in list order.
            item = *std::min_element(selected.begin(), selected.end(),
                                     [from](QListWidgetItem* a, QListWidgetItem* b) {
                                         return from->row(a) < from->row(b);
                                     });
        } else {
            if (from->count() == 0) break;
            item = from->item(0);
        }
        QListWidgetItem* taken = from->takeItem(from->row(item));
        taken->setSelected(false);
        to->addItem(taken);
    }
}

std::vector<std::string> pp_logger_configuration::chosenNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < chosen_->count(); ++i)
        names.push_back(chosen_->item(i)->text().toStdString());
    return names;
}

bool pp_logger_configuration::logGeneralRegisters() const { return logGeneral_->isChecked(); }
bool pp_logger_configuration::logCpuRegisters() const { return logCpu_->isChecked(); }
