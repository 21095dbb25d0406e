#include "framework/PropertySheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "framework/Controls.h"
#include "framework/ModalRunner.h"

PropertyPage::PropertyPage(QWidget* parent, int templateId, const QString& title)
    : QWidget(parent), title_(title) {
    setProperty("dialogId", templateId);
    setObjectName(QStringLiteral("page_%1").arg(templateId));
}

PropertySheet::PropertySheet(QWidget* parent, const QString& caption) : QDialog(parent) {
    setWindowTitle(caption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_);
    auto* buttons = OkCancelButtons(this);
    layout->addWidget(buttons);
}

void PropertySheet::addPage(PropertyPage* page) {
    pages_.push_back(page);
    tabs_->addTab(page, page->title());
}

void PropertySheet::showPage(PropertyPage* page) { tabs_->setCurrentWidget(page); }

int PropertySheet::run() {
    initSheet();
    for (PropertyPage* page : pages_) page->loadControls();
    return RunModal(this);
}

void PropertySheet::accept() {
    for (PropertyPage* page : pages_) {
        if (!page->saveControls()) {
            // Why, for a caller that answers the sheet without a person.
            setProperty("message", page->property("message"));
            showPage(page);
            return;
        }
    }
    QDialog::accept();
}
