#include "host/recorder/ui/RecorderController.h"

#include <QMainWindow>
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <cmath>
#include <functional>

#include "contract/Commands.h"
#include "contract/ResourceIds.h"
#include "host/workbench/ComponentDriver.h"
#include "host/workbench/DockClient.h"
#include "host/session/HostSetup.h"
#include "host/workbench/HostBench.h"
#include "host/session/PartRegisters.h"
#include "host/workbench/SettingsReader.h"
#include "host/scenario/SettingKeys.h"
#include "platform/files.h"

namespace sc = quill::scenario;
using quill::recorder::Activity;

namespace {

// The kind of a component form, by the dialog template it was built from.
std::optional<sc::ComponentKind> kindOf(const QObject* form) {
    const QVariant dialog = form ? form->property("dialogId") : QVariant();
    if (!dialog.isValid()) return std::nullopt;
    for (const CommandInfo& info : kCommands) {
        if (info.dialogId != 0 && info.dialogId == dialog.toInt())
            return static_cast<sc::ComponentKind>(info.command);
    }
    return std::nullopt;
}

// The component form inside a dock (the dialog the plug-in put there).
QWidget* formIn(QDockWidget* dock) {
    QWidget* client = dock ? dock->widget() : nullptr;
    return client ? client->findChild<QDialog*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The form a control belongs to: its closest ancestor built from a
// component's dialog template.
QWidget* formOf(QObject* control) {
    for (QObject* o = control; o; o = o->parent()) {
        if (kindOf(o)) return qobject_cast<QWidget*>(o);
    }
    return nullptr;
}

bool hasChecks(sc::ComponentKind kind) {
    return kind == sc::ComponentKind::Led || kind == sc::ComponentKind::KnightRider ||
           kind == sc::ComponentKind::Lcd || kind == sc::ComponentKind::Slider ||
           kind == sc::ComponentKind::Beerbasement;
}

const char* const kHookedProperty = "quillRecorderHooked";

// Watches every object's events for dialogs that close (a filter on the
// application, kept apart from the filters on the component windows).
class ClosingDialogs : public QObject {
public:
    ClosingDialogs(QObject* parent, std::function<void(QDialog*)> closed)
        : QObject(parent), closed_(std::move(closed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && !kindOf(dialog))
                closed_(dialog);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(QDialog*)> closed_;
};

}  // namespace

RecorderController::RecorderController(HostBench& window, QMenu* debugMenu)
    : QObject(&window.mainWidget()), window_(window) {
    setObjectName("scenarioRecorder");
    debugMenu->addSeparator();
    record_ = debugMenu->addAction("Record &scenario...", this, [this] { recordDialog(); });
    record_->setObjectName("recordScenario");
    stop_ = debugMenu->addAction("Stop recording", this, [this] { stopDialog(); });
    stop_->setObjectName("stopRecording");
    registerCheck_ =
        debugMenu->addAction("Add register check...", this, [this] { registerCheckDialog(); });
    registerCheck_->setObjectName("addRegisterCheck");

    status_ = new QLabel("<b style='color:#c00000'>Recording</b>");
    status_->setObjectName("recordingStatus");
    status_->setToolTip("A scenario is being recorded: Debug > Stop recording writes it.");
    window.mainWidget().statusBar()->addPermanentWidget(status_);
    status_->hide();

    connect(&window.events(), &BenchEvents::componentWindowOpened, this, [this](QDockWidget* dock) {
        // The form goes into the dock once this returns to the plug-in.
        const uint64_t at = cycles();
        QPointer<QDockWidget> guard(dock);
        QTimer::singleShot(0, this, [this, guard, at] {
            if (guard) watch(guard, at);
        });
    });
    connect(&window.events(), &BenchEvents::debugCommand, this, [this](BenchEvents::DebugCommand command) {
        if (!recording_) return;
        switch (command) {
            case BenchEvents::DebugCommand::Run:
                recording_->note(Activity::Run);
                break;
            case BenchEvents::DebugCommand::Break:
                recording_->note(Activity::Break);
                break;
            case BenchEvents::DebugCommand::Step:
                recording_->note(Activity::Step);
                break;
            case BenchEvents::DebugCommand::Reset:
                record(sc::ResetCommand{});
                break;
        }
    });
    connect(&window.events(), &BenchEvents::sessionChanged, this, &RecorderController::sessionChanged);
    updateActions();
}

RecorderController::~RecorderController() = default;

uint64_t RecorderController::cycles() const {
    Machine* machine = window_.debugger().machine();
    return machine && window_.debugger().debugging() ? machine->cycles() : 0;
}

void RecorderController::record(const sc::Command& command) {
    if (recording_) recording_->add(cycles(), command);
}

void RecorderController::updateActions() {
    const bool on = recording_.has_value();
    record_->setEnabled(!on);
    stop_->setEnabled(on);
    registerCheck_->setEnabled(on);
    status_->setVisible(on);
}

// ------------------------------------------------------------ recording

bool RecorderController::start(const QString& path, QString* error) {
    if (recording_) {
        *error = "a scenario is already being recorded";
        return false;
    }
    // A file the recording may not replace is said now, not after it.
    if (const std::string why =
            quill::files::replaceRefusal(path.toStdString(), quill::recorder::Recording::kFileKind);
        !why.empty()) {
        *error = QString::fromStdString(why);
        return false;
    }
    // The file replays from the program's start: the recording starts there.
    if (window_.debugger().debugging()) {
        window_.resetTarget();
    } else if (!window_.startDebugging(error)) {
        *error = "cannot record without a program: " + *error;
        return false;
    }
    // The windows already open, with their settings as they are now, read
    // from their dialogs before the recording exists (the reader's own
    // clicks are no user's): a replay opens them in the same order, so
    // that they get the same names.
    struct Opened {
        sc::ComponentKind kind;
        std::string title, settings;
    };
    std::vector<Opened> opened;
    for (QDockWidget* dock : window_.componentDocks()) {
        const auto kind = kindOf(formIn(dock));
        if (!kind) continue;
        Opened o{*kind, DockClient::nameOf(dock).toStdString(), {}};
        QString why;
        if (!sc::settingFields(*kind).empty()) {
            const auto text = driver::readSettings(window_, DockClient::nameOf(dock), &why);
            if (text)
                o.settings = *text;
            else
                window_.hostMessage(
                    QString("Recording: the settings of \"%1\" are not recorded: %2")
                        .arg(DockClient::nameOf(dock), why));
        }
        opened.push_back(std::move(o));
    }
    const SessionConfig& config = window_.config();
    quill::recorder::ScenarioSetUp setUp;
    setUp.part = config.part;
    setUp.firmware = config.firmware;
    setUp.hertz = static_cast<uint32_t>(std::lround(config.frequencyMHz * 1e6));
    // A board line chooses the board's part and clock: only a session that
    // runs as the board at the board's clock is recorded as one.
    if (const std::optional<quill::boards::Board> board = SessionBoard(config);
        board && board->hertz == setUp.hertz)
        setUp.board = board->name;
    recording_.emplace(setUp);
    path_ = path;
    windowSettings_.clear();
    for (const Opened& o : opened) {
        recording_->add(0, sc::OpenCommand{o.kind, o.title});
        if (!o.settings.empty()) recording_->addSettings(0, o.title, o.settings);
        windowSettings_[o.title] = o.settings;
    }
    // Settings dialogs confirmed from now on are recorded when they close.
    dialogs_ = new ClosingDialogs(this, [this](QDialog* dialog) {
        if (recording_) dialogClosed(dialog);
    });
    qApp->installEventFilter(dialogs_);
    sheets_.clear();
    updateActions();
    window_.hostMessage(QString("Recording a scenario into %1.").arg(path));
    return true;
}

bool RecorderController::stop(QString* error) {
    if (!recording_) {
        *error = "no scenario is being recorded";
        return false;
    }
    const std::string file = path_.toStdString();
    const std::string text = recording_->text(file);
    std::string why;
    if (!quill::files::replaceFile(file, text, quill::recorder::Recording::kFileKind, &why)) {
        *error = QString::fromStdString(why);
        return false;
    }
    // What was written must read back: a recording the parser refuses
    // would only fail later, in the replay.
    const sc::ParseResult parsed = sc::parse(text, file);
    for (const sc::Diagnostic& d : parsed.errors)
        window_.hostMessage(QString::fromStdString("Recorded scenario: " + d.text()));
    window_.hostMessage(
        QString("Scenario recorded: %1 (%2 lines).").arg(path_).arg(recording_->lines().size()));
    recording_.reset();
    delete dialogs_;
    updateActions();
    return true;
}

void RecorderController::sessionChanged() {
    // A scenario runs on one session: when it ends, so does the recording.
    if (!recording_ || window_.debugger().debugging()) return;
    // Where the file cannot be written, another place is asked for; only a
    // user who cancels that lets the recording go.
    stopDialog();
    if (!recording_) return;
    window_.hostMessage("The recorded scenario was not saved.");
    recording_.reset();
    delete dialogs_;
    updateActions();
}

// ------------------------------------------------------- the windows

void RecorderController::watch(QDockWidget* dock, uint64_t openedAt) {
    QWidget* form = formIn(dock);
    const std::optional<sc::ComponentKind> kind = kindOf(form);
    if (!kind) return;
    if (recording_)
        recording_->add(openedAt, sc::OpenCommand{*kind, DockClient::nameOf(dock).toStdString()});
    if (form->property(kHookedProperty).toBool()) return;
    form->setProperty(kHookedProperty, true);
    // The context menu gets "Add check" each time it is about to show (a
    // component may replace its menu).
    form->installEventFilter(this);
    switch (*kind) {
        case sc::ComponentKind::Switch:
        case sc::ComponentKind::KnightRider: {
            // The lever reports a click with its own signal.
            QWidget* lever = driver::findControl(form, ids::sw::kPicture);
            if (lever && lever->metaObject()->indexOfSignal("clicked()") >= 0)
                connect(lever, SIGNAL(clicked()), this, SLOT(leverClicked()));
            break;
        }
        case sc::ComponentKind::Keypad:
            for (const ids::keypad::KeyControl& key : ids::keypad::kKeyControls) {
                auto* button =
                    qobject_cast<QAbstractButton*>(driver::findControl(form, key.controlId));
                if (!button) continue;
                const char character = key.character;
                // clicked() is the user's: a click, or Space on the key.
                connect(button, &QAbstractButton::clicked, this, [this, button, character] {
                    record(sc::KeyCommand{windowOf(button).toStdString(), character,
                                          button->isChecked()});
                });
            }
            break;
        case sc::ComponentKind::Slider:
        case sc::ComponentKind::Beerbasement:
            // The channel is written when the trackbar is let go.
            if (QWidget* trackbar = driver::findControl(form, ids::slider::kTrackbar))
                trackbar->installEventFilter(this);
            break;
        default:
            break;
    }
}

QString RecorderController::windowOf(const QObject* control) const {
    for (QDockWidget* dock : window_.componentDocks()) {
        for (const QObject* o = control; o; o = o->parent()) {
            if (o == dock) return DockClient::nameOf(dock);
        }
    }
    return {};
}

void RecorderController::leverClicked() {
    QWidget* form = formOf(sender());
    if (auto kind = kindOf(form)) record(sc::ClickCommand{windowOf(form).toStdString(), *kind});
}

bool RecorderController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu) {
        addCheckItem(qobject_cast<QWidget*>(watched));
    } else if (event->type() == QEvent::MouseButtonRelease && recording_) {
        auto* trackbar = qobject_cast<QAbstractSlider*>(watched);
        const auto kind = kindOf(formOf(watched));
        if (trackbar && kind) {
            const std::string name = windowOf(trackbar).toStdString();
            if (*kind == sc::ComponentKind::Slider) {
                record(sc::SetSliderCommand{name, static_cast<double>(trackbar->value()), false});
            } else {
                record(sc::SetTemperatureCommand{name, trackbar->value()});
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void RecorderController::dialogClosed(QDialog* dialog) {
    const uint64_t at = cycles();
    const bool accepted = dialog->result() == QDialog::Accepted;
    QWidget* form = formOf(dialog->parent());
    const auto kind = kindOf(form);
    if (kind && !accepted) {
        // A Switch's dialog flips its pin when it closes, by Cancel too:
        // what a click of the lever does.
        if (*kind == sc::ComponentKind::Switch &&
            !driver::readDialog(dialog, sc::settingFields(*kind)).empty())
            recording_->add(at, sc::ClickCommand{windowOf(form).toStdString(), *kind});
        return;
    }
    if (!accepted) return;
    if (kind) {
        const std::string name = windowOf(form).toStdString();
        const sc::SettingPairs pairs = driver::readDialog(dialog, sc::settingFields(*kind));
        const std::string text = sc::formatSettings(pairs);
        if (!pairs.empty()) {
            recording_->addSettings(at, name, text);
        } else if (!windowSettings_[name].empty()) {
            // Back on what reads back as no settings after settings that
            // did read back: the replay needs the line that restores it.
            const sc::SettingPairs restore = sc::restoringPairs(*kind);
            if (!restore.empty()) recording_->addSettings(at, name, sc::formatSettings(restore));
        }
        windowSettings_[name] = text;
    }
    // The plug-in's Settings sheet, or its electrical page in a component's
    // sheet: what changed since the last time.
    for (const char* sheet : {"electrical", "general"}) {
        const std::vector<sc::SettingField>* fields = sc::sheetFields(sheet);
        const sc::SettingPairs pairs =
            fields ? driver::readDialog(dialog, *fields) : sc::SettingPairs{};
        const std::string text = sc::formatSettings(pairs);
        if (pairs.empty() || sheets_[sheet] == text) continue;
        sheets_[sheet] = text;
        recording_->addSettings(at, sheet, text);
    }
}

void RecorderController::addCheckItem(QWidget* form) {
    const auto kind = kindOf(form);
    if (!kind || !hasChecks(*kind)) return;
    auto* menu = form->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    if (!menu) return;
    QAction* item = menu->findChild<QAction*>("addCheck", Qt::FindDirectChildrenOnly);
    if (!item) {
        // The host's own item: it carries no command number, so the
        // component's menu handler passes it by.
        menu->addSeparator();
        item = menu->addAction(kAddCheckText);
        item->setObjectName("addCheck");
        QPointer<QWidget> guard(form);
        connect(item, &QAction::triggered, this, [this, guard] {
            QString error;
            if (guard && !addCheck(windowOf(guard), &error))
                window_.hostMessage("Add check: " + error);
        });
    }
    item->setEnabled(recording_.has_value());
    item->setToolTip(recording_ ? QString("Records what this window shows now as a check")
                                : QString("Start recording first (Debug > Record scenario...)"));
}

// ------------------------------------------------------------- checks

bool RecorderController::addCheck(const QString& name, QString* error) {
    if (!recording_) {
        *error = "no scenario is being recorded (Debug > Record scenario...)";
        return false;
    }
    QWidget* form = driver::findForm(window_, name);
    const auto kind = kindOf(form);
    const std::string window = name.toStdString();
    const uint64_t at = cycles();
    switch (kind.value_or(sc::ComponentKind::StackView)) {
        case sc::ComponentKind::Led: {
            const int shown = driver::bitmapIdOf(driver::findControl(form, ids::led::kPicture));
            if (shown != bitmap::kLedLit && shown != bitmap::kLedDark) break;
            return recording_->add(at, sc::ExpectLedCommand{window, shown == bitmap::kLedLit});
        }
        case sc::ComponentKind::KnightRider: {
            // Bit 7 is the leftmost segment.
            uint8_t segments = 0;
            for (int i = 0; i < 8; ++i) {
                const int shown = driver::bitmapIdOf(
                    driver::findControl(form, ids::knightrider::kFirstSegment + i));
                if (shown != bitmap::kSegmentLit && shown != bitmap::kSegmentDark) {
                    *error = QString("\"%1\" shows no bar").arg(name);
                    return false;
                }
                if (shown == bitmap::kSegmentLit) segments |= static_cast<uint8_t>(0x80 >> i);
            }
            return recording_->add(at, sc::ExpectBarCommand{window, segments});
        }
        case sc::ComponentKind::Lcd: {
            QWidget* panel = driver::findControl(form, ids::lcd::kDisplay);
            const QVariant lines = panel ? panel->property("visibleLines") : QVariant();
            if (!lines.isValid()) break;
            // Every line the panel shows (an empty one too: it must stay so).
            const QStringList text = lines.toStringList();
            for (int i = 0; i < text.size(); ++i) {
                recording_->add(at, sc::ExpectCommand{sc::LcdLineCondition{window, i + 1,
                                                                           text[i].toStdString()}});
            }
            return true;
        }
        case sc::ComponentKind::Slider:
        case sc::ComponentKind::Beerbasement: {
            const QVariant channel = form->property("channel");
            const QVariant value = form->property("channelValue");
            if (!channel.isValid() || !value.isValid()) break;
            if (channel.toInt() < 0 || value.toInt() < 0) {
                *error = QString("\"%1\" drives no converter channel").arg(name);
                return false;
            }
            return recording_->add(at,
                                   sc::ExpectChannelCommand{window, -1, value.toDouble(), false});
        }
        default:
            break;
    }
    *error = form ? QString("\"%1\" shows nothing a scenario can check").arg(name)
                  : QString("no component window \"%1\" is open").arg(name);
    return false;
}

bool RecorderController::addRegisterCheck(const QString& name, QString* error) {
    if (!recording_) {
        *error = "no scenario is being recorded (Debug > Record scenario...)";
        return false;
    }
    // The scenario's own way of reading a register, by the part's names.
    std::string why;
    const std::optional<PartRegisters> registers =
        PartRegisters::load(window_.config().installDirectory, window_.config().part, &why);
    const std::optional<uint8_t> value =
        registers ? ReadBankRegister(window_.debugger().target(), registers->index(name.toStdString()))
                  : std::nullopt;
    if (!value) {
        *error = QString("cannot read the register \"%1\" of %2")
                     .arg(name, QString::fromStdString(window_.config().part));
        return false;
    }
    return recording_->add(cycles(), sc::ExpectCommand{sc::RegisterCondition{
                                         name.toUpper().toStdString(), *value, 0xFF}});
}

// ------------------------------------------------------------ dialogs

void RecorderController::recordDialog() {
    QString path = QFileDialog::getSaveFileName(&window_.mainWidget(), "Record scenario", QString(),
                                                "Scenarios (*.scn);;All files (*)");
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += ".scn";
    QString error;
    if (!start(path, &error)) {
        window_.hostMessage("Record scenario: " + error);
        QMessageBox::warning(&window_.mainWidget(), "Record scenario", error);
    }
}

void RecorderController::stopDialog() {
    QString error;
    while (recording_ && !stop(&error)) {
        // The file cannot be written there: another place, or go on recording.
        window_.hostMessage("Stop recording: " + error);
        const QString other =
            QFileDialog::getSaveFileName(&window_.mainWidget(), QString("Save the recording (%1)").arg(error),
                                         path_, "Scenarios (*.scn);;All files (*)");
        if (other.isEmpty()) return;
        path_ = other;
    }
}

void RecorderController::registerCheckDialog() {
    std::string why;
    const auto registers =
        PartRegisters::load(window_.config().installDirectory, window_.config().part, &why);
    QStringList names;
    if (registers) {
        for (const auto& [name, index] : registers->all()) names << QString::fromStdString(name);
    }
    bool ok = false;
    const QString name = QInputDialog::getItem(&window_.mainWidget(), "Add register check",
                                               "Record the value this register holds now:", names,
                                               names.indexOf("PORTA"), true, &ok);
    if (!ok || name.isEmpty()) return;
    QString error;
    if (!addRegisterCheck(name.trimmed(), &error)) {
        window_.hostMessage("Add register check: " + error);
        QMessageBox::warning(&window_.mainWidget(), "Add register check", error);
    }
}
