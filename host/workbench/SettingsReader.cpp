#include "host/workbench/SettingsReader.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>

#include "contract/ResourceIds.h"
#include "host/workbench/HostBench.h"

namespace sc = quill::scenario;

namespace driver {

namespace {

// Keeps the settings dialog that reading or applying opens off the screen,
// so that saving a lab or starting a recording does not flash a dialog per
// window: the first dialog shown while this lives is marked
// WA_DontShowOnScreen at its show event (Qt still makes it the modal
// window and runs its event loop, so it is answered as before) and loses
// the mark again when this ends. A dialog that one opens in turn (a message
// box) shows as always: someone may have to answer it.
class UnseenDialog : public QObject {
public:
    UnseenDialog() { qApp->installEventFilter(this); }
    ~UnseenDialog() override {
        qApp->removeEventFilter(this);
        if (dialog_) dialog_->setAttribute(Qt::WA_DontShowOnScreen, false);
    }
    UnseenDialog(const UnseenDialog&) = delete;
    UnseenDialog& operator=(const UnseenDialog&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!marked_ && event->type() == QEvent::Show) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog && dialog->isWindow()) {
                marked_ = true;
                dialog_ = dialog;
                dialog->setAttribute(Qt::WA_DontShowOnScreen, true);
            }
        }
        return false;
    }

private:
    bool marked_ = false;
    QPointer<QDialog> dialog_;
};

// The letter of a port as a combo box lists it ("PINB", "PORTB", "B").
QString portLetter(const QComboBox* combo) {
    if (!combo || combo->currentIndex() < 0) return {};
    QString text = combo->currentText().trimmed().toUpper();
    for (const char* prefix : {"PORT", "PIN", "DDR"}) {
        if (text.startsWith(prefix)) {
            text = text.mid(static_cast<int>(qstrlen(prefix)));
            break;
        }
    }
    return text.size() == 1 && text[0].isLetter() ? text : QString();
}

// The value of the first ticked button among `choices`.
QString checkedChoice(QWidget* root, const std::vector<sc::FieldChoice>& choices) {
    for (const sc::FieldChoice& c : choices) {
        auto* button = qobject_cast<QAbstractButton*>(findControl(root, c.control));
        if (button && button->isEnabled() && button->isChecked())
            return QString::fromStdString(c.value);
    }
    return {};
}

QString readField(QWidget* root, const sc::SettingField& f) {
    QWidget* control = f.control ? findControl(root, f.control) : nullptr;
    // A trackbar with an enabling check box is read while disabled: it is
    // filled in by ticking the box first.
    const bool readDisabled = f.kind == sc::FieldKind::Volts && f.enabler;
    if (f.control && (!control || (!control->isEnabled() && !readDisabled))) return {};
    switch (f.kind) {
        case sc::FieldKind::Port:
            return portLetter(qobject_cast<QComboBox*>(control));
        case sc::FieldKind::Text: {
            QString text;
            if (auto* combo = qobject_cast<QComboBox*>(control)) {
                // "ADC0 (A0)" is read as ADC0: a board's name beside it.
                text = combo->currentText().section(" (", 0, 0);
            } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
                text = edit->text();
            }
            text = text.trimmed();
            const QString prefix = QString::fromStdString(f.prefix);
            if (!text.startsWith(prefix, Qt::CaseInsensitive)) return {};
            text = text.mid(prefix.size());
            // A value with a blank or a quote would not stay one word.
            if (text.contains(' ') || text.contains('"')) return {};
            return text;
        }
        case sc::FieldKind::Check: {
            auto* box = qobject_cast<QAbstractButton*>(control);
            if (!box) return {};
            return QString::fromStdString(box->isChecked() ? f.on : f.off);
        }
        case sc::FieldKind::Radios:
            return checkedChoice(root, f.choices);
        case sc::FieldKind::PortPinCombos: {
            const QString port = portLetter(qobject_cast<QComboBox*>(control));
            auto* pin = qobject_cast<QComboBox*>(findControl(root, f.pinCombo));
            if (port.isEmpty() || !pin || !pin->isEnabled() || pin->currentIndex() < 0) return {};
            return port + pin->currentText().trimmed();
        }
        case sc::FieldKind::PinCombo: {
            auto* combo = qobject_cast<QComboBox*>(control);
            if (!combo || combo->currentIndex() < 0) return {};
            // A port pin ("B4") goes with its P, as the pin radios' do, so
            // that a board line before it does not make it a board's name
            // ("A0" is PF0 on a Mega); "none" stays as it is.
            const QString pin = combo->currentData().toString();
            const bool portPin =
                pin.size() == 2 && pin[0].isLetter() && pin[1] >= '0' && pin[1] <= '7';
            return portPin ? "P" + pin : pin;
        }
        case sc::FieldKind::PortPinRadios: {
            const QString port = portLetter(qobject_cast<QComboBox*>(control));
            const QString pin = checkedChoice(root, f.choices);
            // With its P, so that a board line before it does not make it
            // a board's name.
            return port.isEmpty() || pin.isEmpty() ? QString() : "P" + port + pin;
        }
        case sc::FieldKind::PinList: {
            // "PD7 (D7)" is read as PD7: the port pin means the same with
            // or without a board.
            QStringList pins;
            for (const sc::FieldChoice& c : f.choices) {
                auto* combo = qobject_cast<QComboBox*>(findControl(root, c.control));
                if (!combo || !combo->isEnabled() || combo->currentIndex() < 0) return {};
                pins << combo->currentText().section(' ', 0, 0).trimmed();
            }
            return pins.join(',');
        }
        case sc::FieldKind::Volts: {
            auto* trackbar = qobject_cast<QAbstractSlider*>(control);
            if (!trackbar) return {};
            const int h = trackbar->value();
            return QString("%1.%2").arg(h / 100).arg(h % 100, 2, 10, QChar('0'));
        }
    }
    return {};
}

// A Switch flips its pin whenever its settings dialog closes, by OK or
// Cancel; a click on its lever flips it back.
void undoClosingFlip(HostBench& bench, const QString& name) {
    if (sc::kindOfWindow(name.toStdString()) != sc::ComponentKind::Switch) return;
    QWidget* form = findForm(bench, name);
    if (QWidget* lever = form ? findControl(form, ids::sw::kPicture) : nullptr) click(lever);
}

}  // namespace

sc::SettingPairs readDialog(QDialog* dialog, const std::vector<sc::SettingField>& fields) {
    sc::SettingPairs pairs;
    for (const sc::SettingField& f : fields) {
        QWidget* root = dialog;
        if (f.page != 0) root = dialog->findChild<QWidget*>(QString("page_%1").arg(f.page));
        if (!root) continue;
        const QString value = readField(root, f);
        if (!value.isEmpty()) pairs.emplace_back(f.key, value.toStdString());
    }
    return pairs;
}

std::vector<DialogInput> dialogInputs(const std::vector<sc::SettingField>& fields,
                                      const sc::SettingPairs& pairs) {
    std::vector<DialogInput> in;
    for (const sc::SettingInput& i : sc::settingInputs(fields, pairs))
        in.push_back({i.control, QString::fromStdString(i.value), i.page});
    return in;
}

std::optional<sc::SettingPairs> readSettingPairs(HostBench& bench, const QString& name,
                                                 QString* error) {
    sc::SettingPairs pairs;
    auto read = [&pairs](const std::vector<sc::SettingField>& fields) {
        // The table itself, not the parameter naming it, outlives this call.
        return [&pairs, table = &fields](QDialog* dialog) {
            pairs = readDialog(dialog, *table);
            dialog->reject();
        };
    };
    if (const std::vector<sc::SettingField>* sheet = sc::sheetFields(name.toStdString())) {
        bool opened = false;
        QString why;
        UnseenDialog unseen;
        const bool ran =
            runDialog([&] { opened = bench.openPluginSettings(); }, read(*sheet), &why);
        QApplication::processEvents();
        if (!opened) {
            *error = "the plug-in offers no settings (command CFG)";
            return std::nullopt;
        }
        if (!ran) {
            *error = "plug-in settings: " + why;
            return std::nullopt;
        }
        return pairs;
    }
    QWidget* form = findForm(bench, name);
    if (!form) {
        *error = QString("no window \"%1\" (open: %2)").arg(name, componentNames(bench).join(", "));
        return std::nullopt;
    }
    const std::optional<sc::ComponentKind> kind = sc::kindOfWindow(name.toStdString());
    if (!kind || sc::settingFields(*kind).empty()) {
        *error = QString("window \"%1\" has no settings").arg(name);
        return std::nullopt;
    }
    QString why;
    UnseenDialog unseen;
    const bool ran =
        runMenuDialog(form, menu::kSettingsCommand, read(sc::settingFields(*kind)), &why);
    if (ran) undoClosingFlip(bench, name);
    QApplication::processEvents();
    if (!ran) {
        *error = QString("settings of \"%1\": %2").arg(name, why);
        return std::nullopt;
    }
    return pairs;
}

bool applySettings(HostBench& bench, const QString& name, const std::string& text, QString* error,
                   bool flipBack) {
    const std::string window_name = name.toStdString();
    const bool sheet = sc::sheetFields(window_name) != nullptr;
    // The parser knows a window by the number in its name ("LED 2" is the
    // second LED opened).
    sc::ParseOptions options;
    if (!sheet) {
        int count = 1;
        const std::optional<sc::ComponentKind> kind = sc::kindOfWindow(window_name, &count);
        if (!kind) {
            *error = QString("window \"%1\" has no settings").arg(name);
            return false;
        }
        options.openWindows.assign(static_cast<std::size_t>(count), *kind);
    }
    const sc::ParseResult parsed =
        sc::parse(sc::settingsLine(window_name, {}) + text, window_name, options);
    if (!parsed.ok()) {
        *error = QString::fromStdString(parsed.errors.front().message);
        return false;
    }
    if (parsed.script.steps.size() != 1) {
        *error = QString("settings of \"%1\": not one line of settings").arg(name);
        return false;
    }
    std::vector<DialogInput> inputs;
    const sc::Command& command = parsed.script.steps.front().command;
    if (const auto* s = std::get_if<sc::SettingsCommand>(&command)) {
        inputs = dialogInputs(sc::settingFields(s->kind), sc::settingPairs(*s));
    } else if (const auto* e = std::get_if<sc::ElectricalCommand>(&command)) {
        inputs = dialogInputs(*sc::sheetFields("electrical"), sc::settingPairs(*e));
    } else if (const auto* g = std::get_if<sc::GeneralCommand>(&command)) {
        inputs = dialogInputs(*sc::sheetFields("general"), sc::settingPairs(*g));
    }
    bool filled = false;
    QString why;
    bool ran = false;
    bool opened = true;
    auto fill = [&](QDialog* dialog) { filled = fillDialog(dialog, inputs, &why); };
    UnseenDialog unseen;
    if (sheet) {
        ran = runDialog([&] { opened = bench.openPluginSettings(); }, fill, &why);
    } else if (QWidget* form = findForm(bench, name)) {
        ran = runMenuDialog(form, menu::kSettingsCommand, fill, &why);
        if (ran && flipBack) undoClosingFlip(bench, name);
    } else {
        why = QString("no window \"%1\" (open: %2)").arg(name, componentNames(bench).join(", "));
    }
    QApplication::processEvents();
    if (!opened) why = "the plug-in offers no settings (command CFG)";
    if (!opened || !ran || !filled) {
        *error = QString("settings of \"%1\": %2").arg(name, why);
        return false;
    }
    return true;
}

std::optional<std::string> readSettings(HostBench& bench, const QString& name, QString* error) {
    std::optional<sc::SettingPairs> pairs = readSettingPairs(bench, name, error);
    if (!pairs) return std::nullopt;
    return sc::formatSettings(*pairs);
}

}  // namespace driver
