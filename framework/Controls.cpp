#include "framework/Controls.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

void SetControlId(QObject* control, int id) {
    if (!control) return;
    control->setProperty("controlId", id);
    control->setObjectName(QStringLiteral("id_%1").arg(id));
}

int ControlId(const QObject* control) {
    if (!control) return -1;
    const QVariant id = control->property("controlId");
    return id.isValid() ? id.toInt() : -1;
}

QWidget* findControl(QWidget* root, int id) {
    if (!root) return nullptr;
    if (ControlId(root) == id) return root;
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (ControlId(child) == id) return child;
    }
    return nullptr;
}

QDialogButtonBox* OkCancelButtons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    SetControlId(buttons->button(QDialogButtonBox::Ok), 1);
    SetControlId(buttons->button(QDialogButtonBox::Cancel), 2);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
