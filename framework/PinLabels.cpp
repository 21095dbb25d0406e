#include "framework/PinLabels.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>

#include "framework/PluginForm.h"

const CLEDView* CoreOf(const QObject* object) {
    for (const QObject* o = object; o; o = o->parent()) {
        if (auto* form = qobject_cast<const PluginForm*>(o)) return form->core();
    }
    return nullptr;
}

PortPinLabels::PortPinLabels(QComboBox* port, const std::array<QAbstractButton*, 8>& pins)
    : QObject(port), port_(port), pins_(pins) {
    connect(port, &QComboBox::currentIndexChanged, this, &PortPinLabels::relabel);
}

void PortPinLabels::relabel() {
    const CLEDView* core = CoreOf(port_);
    const QString text = port_->currentText();
    // The port's letter from the listed name ("PINB", "PORTB").
    const char letter = text.isEmpty() ? 0 : text.back().toLatin1();
    const bool named = core && !core->BoardPinNames().board().empty() && letter >= 'A' &&
                       letter <= 'Z';
    for (int bit = 0; bit < 8; ++bit) {
        if (!pins_[bit]) continue;
        pins_[bit]->setText(named ? QString::fromStdString(core->PinLabel(letter, bit))
                                  : QStringLiteral("Pin %1").arg(bit));
    }
}

void LabelPinsBy(QComboBox* port, QButtonGroup* pins) {
    std::array<QAbstractButton*, 8> buttons{};
    for (int bit = 0; bit < 8; ++bit) buttons[bit] = pins->button(bit);
    new PortPinLabels(port, buttons);
}

void RelabelPins(QComboBox* port) {
    if (auto* labels = port ? port->findChild<PortPinLabels*>(QString(), Qt::FindDirectChildrenOnly)
                            : nullptr)
        labels->relabel();
}
