#include "host/automation/ScenarioSteps.h"

#include <QDir>
#include <QMetaProperty>
#include <QPointer>
#include <QWidget>
#include <cmath>

#include "contract/ResourceIds.h"
#include "host/workbench/HostBench.h"
#include "host/workbench/SettingsReader.h"
#include "host/automation/StepResults.h"
#include "host/scenario/SettingKeys.h"
#include "host/sim/SimTarget.h"

namespace sc = quill::scenario;

namespace {

using namespace steps;

// The setup identifier of the command that opens a window of that kind.
const char* commandIdOf(sc::ComponentKind kind) { return kCommands[sc::commandOf(kind)].id; }

// The dialog changes of a `settings` line, through the shared key table.
std::vector<driver::DialogInput> dialogInputs(const sc::SettingsCommand& s) {
    return driver::dialogInputs(sc::settingFields(s.kind), sc::settingPairs(s));
}
template <typename SheetCommand>
std::vector<driver::DialogInput> sheetInputs(const char* sheet, const SheetCommand& c) {
    return driver::dialogInputs(*sc::sheetFields(sheet), sc::settingPairs(c));
}

QString text(const std::string& s) { return QString::fromStdString(s); }

ScenarioExecutor::LcdCheck lcdCheck(const sc::LcdLineCondition& c) {
    return {text(c.window), c.line, text(c.text), false, 0};
}
ScenarioExecutor::LcdCheck lcdCheck(const sc::LcdCursorCondition& c) {
    return {text(c.window), c.none ? -1 : c.line, {}, true, c.column};
}
ScenarioExecutor::LcdCheck lcdCheck(const sc::LcdProtocolCondition& c) {
    return {text(c.window), 0, {}, false, 0, true, c.warned};
}

}  // namespace

ScenarioSteps::ScenarioSteps(HostBench& bench, ScenarioExecutor& executor, const sc::Script& script,
                             QString screenshots)
    : bench_(bench), executor_(executor), script_(script), screenshots_(std::move(screenshots)) {}

// ---- set-up

Result ScenarioSteps::run(const sc::PartCommand&) {
    return {Outcome::Ok, "applied before the program started"};
}

Result ScenarioSteps::run(const sc::FirmwareCommand&) {
    if (firmwareOverridden)
        return {Outcome::Ok,
                QString("--firmware runs %1 instead").arg(text(bench_.config().firmware))};
    return {Outcome::Ok, "applied before the program started"};
}

Result ScenarioSteps::run(const sc::FrequencyCommand&) {
    return {Outcome::Ok, "applied before the program started"};
}

Result ScenarioSteps::run(const sc::BoardCommand& c) {
    return {Outcome::Ok, QString("%1 at %2 MHz, applied before the program started")
                             .arg(text(c.part))
                             .arg(c.hertz / 1e6)};
}

// ---- components

Result ScenarioSteps::run(const sc::OpenCommand& c) {
    Result r = executor_.open(commandIdOf(c.kind));
    if (r.outcome == Outcome::Ok && !driver::findForm(bench_, text(c.window))) {
        return {Outcome::Error,
                QString("no window \"%1\" after opening it (open: %2)")
                    .arg(text(c.window), driver::componentNames(bench_).join(", "))};
    }
    return r;
}

Result ScenarioSteps::run(const sc::SettingsCommand& c) {
    return executor_.configure(text(c.window), dialogInputs(c));
}

Result ScenarioSteps::run(const sc::GeneralCommand& c) {
    return executor_.pluginSettings(sheetInputs("general", c));
}

Result ScenarioSteps::run(const sc::ElectricalCommand& c) {
    return executor_.pluginSettings(sheetInputs("electrical", c));
}

Result ScenarioSteps::run(const sc::ClickCommand& c) {
    const int lever =
        c.kind == sc::ComponentKind::Switch ? ids::sw::kPicture : ids::knightrider::kSwitch;
    return executor_.click(text(c.window), lever);
}

Result ScenarioSteps::run(const sc::KeyCommand& c) {
    const int id = ids::keypad::KeyControlOf(c.key);
    if (id < 0) return {Outcome::Error, QString("no keypad key '%1'").arg(c.key)};
    return executor_.hold(text(c.window), id, c.press);
}

Result ScenarioSteps::run(const sc::SetSliderCommand& c) {
    const QString window = text(c.window);
    if (c.millivolts) {
        return executor_.typeAndRelease(window, ids::slider::kMillivoltEdit,
                                        QString::number(static_cast<long>(std::lround(c.value))),
                                        ids::slider::kTrackbar);
    }
    return executor_.slide(window, ids::slider::kTrackbar, static_cast<int>(std::lround(c.value)));
}

Result ScenarioSteps::run(const sc::SetTemperatureCommand& c) {
    return executor_.slide(text(c.window), ids::beerbasement::kTrackbar, c.celsius);
}

// ---- time

Result ScenarioSteps::run(const sc::WaitCyclesCommand& c) { return executor_.waitCycles(c.cycles); }

Result ScenarioSteps::run(const sc::WaitTimeCommand& c) {
    return executor_.waitMilliseconds(c.milliseconds);
}

Result ScenarioSteps::run(const sc::WaitUntilCommand& c) {
    return executor_.waitUntil(
        [&] {
            return std::visit([this](const auto& condition) { return holds(condition); },
                              c.condition);
        },
        c.timeoutCycles, text(sc::describe(sc::ExpectCommand{c.condition})),
        lcdMoved(c.condition));
}

std::function<bool()> ScenarioSteps::lcdMoved(const sc::Condition& condition) {
    // Reading an LCD's lines, cursor, findings or picture after every
    // instruction made a wait for the display the slowest step of a run.
    // What the panel shows changes only with the controller's state, which
    // its count "stateChanges" follows (and with Qt's events, after which
    // the wait looks anyway).
    const std::string* window = std::visit(
        [](const auto& c) -> const std::string* {
            if constexpr (requires { c.window; }) {
                return &c.window;
            } else {
                return nullptr;
            }
        },
        condition);
    QWidget* found = window ? executor_.lcdPanel(text(*window)) : nullptr;
    const QMetaObject* meta = found ? found->metaObject() : nullptr;
    const QMetaProperty count =
        meta ? meta->property(meta->indexOfProperty("stateChanges")) : QMetaProperty();
    if (!count.isValid()) return {};  // no LCD there: the check says so each time
    return [panel = QPointer<QWidget>(found), count, seen = ~0ULL]() mutable {
        if (!panel) return true;
        const qulonglong now = count.read(panel).toULongLong();
        if (now == seen) return false;
        seen = now;
        return true;
    };
}

Result ScenarioSteps::run(const sc::ResetCommand&) { return executor_.reset(); }

// ---- checks and output

Result ScenarioSteps::run(const sc::ExpectCommand& c) {
    return std::visit([this](const auto& condition) { return check(condition); }, c.condition);
}

Result ScenarioSteps::run(const sc::ExpectMemoryCommand& c) {
    Machine* machine = bench_.debugger().machine();
    if (!machine || !bench_.debugger().debugging())
        return {Outcome::Error, "the program is not being debugged"};
    const QString where = QString::asprintf("0x%04X", c.address);
    // The data space runs from 0 to RAMEND: the registers, the I/O space,
    // extended I/O where the part has it, then SRAM.
    const auto part = machine->simulator();
    const uint32_t size = part ? part->memorySize(kMemoryData) : 0;
    uint8_t byte = 0;
    if ((part && c.address >= size) || !machine->readMemory(kMemoryData, c.address, &byte, 1)) {
        const QString range = size ? QString::asprintf(" (0x0000 to 0x%04X)", size - 1) : QString();
        return {Outcome::Error, QString("%1 is outside the data memory of the %2%3")
                                    .arg(where, text(bench_.config().part), range)};
    }
    const auto hex = [](unsigned v) { return QString::asprintf("0x%02X", v); };
    const auto bits = [](unsigned v) { return QString("%1").arg(v, 8, 2, QChar('0')); };
    if ((byte & c.mask) == (c.value & c.mask)) return {Outcome::Ok, where + " is " + hex(byte)};
    if (c.mask == 0xFF)
        return {Outcome::Failed,
                QString("%1 is %2 (%3), expected %4 (%5)")
                    .arg(where, hex(byte), bits(byte), hex(c.value), bits(c.value))};
    return {Outcome::Failed, QString("%1 is %2, expected %3 in the bits %4")
                                 .arg(where, hex(byte), hex(c.value), hex(c.mask))};
}

Result ScenarioSteps::run(const sc::ExpectLedCommand& c) {
    return executor_.expectLed(text(c.window), c.on ? 1 : 0);
}

Result ScenarioSteps::run(const sc::ExpectBarCommand& c) {
    return executor_.expectBar(text(c.window), c.segments);
}

Result ScenarioSteps::run(const sc::ExpectOutputCommand& c) {
    return executor_.expectOutput(text(c.text));
}

Result ScenarioSteps::run(const sc::ExpectFileCommand& c) {
    return executor_.expectFile(text(c.path), text(c.text));
}

Result ScenarioSteps::run(const sc::ExpectChannelCommand& c) {
    return executor_.expectChannel(text(c.window), c.channel, c.value, c.millivolts);
}

Result ScenarioSteps::run(const sc::ExpectTextCommand& c) {
    return executor_.expectText(text(c.window), c.control, text(c.text));
}

QString ScenarioSteps::screenshotDir(const std::string& directory) const {
    const QString sub = text(directory);
    if (screenshots_.isEmpty()) return sub.isEmpty() ? QString("screenshots") : sub;
    if (sub.isEmpty() || QDir::isAbsolutePath(sub)) return sub.isEmpty() ? screenshots_ : sub;
    return QDir(screenshots_).filePath(sub);
}

Result ScenarioSteps::run(const sc::ScreenshotCommand& c) {
    QString why;
    const QString dir = screenshotDir(c.directory);
    const QStringList files =
        bench_.saveScreenshots(dir, QString("%1-").arg(++shots_, 2, 10, QChar('0')), &why);
    if (!why.isEmpty()) return {Outcome::Error, why};
    return {Outcome::Ok, QString("saved %1 pictures in %2").arg(files.size()).arg(dir)};
}

// ---- debugging aids

Result ScenarioSteps::run(const sc::AutostepCommand& c) { return executor_.autostep(c.on); }

Result ScenarioSteps::run(const sc::ExpectAutostepCommand& c) {
    return executor_.expectAutostep(c.on);
}

Result ScenarioSteps::run(const sc::IdleCommand& c) { return executor_.idle(c.milliseconds); }

Result ScenarioSteps::run(const sc::EventCommand& c) { return executor_.event(c.number); }

Result ScenarioSteps::run(const sc::LoggerCommand& c) {
    ScenarioExecutor::LoggerInputs in;
    if (c.registers) {
        in.registers.emplace();
        for (const std::string& r : *c.registers) in.registers->push_back(text(r));
    }
    if (c.file) in.file = text(*c.file);
    if (c.directory) in.directory = text(*c.directory);
    in.enabled = c.enabled;
    in.toFile = c.toFile;
    in.limitMegabytes = c.limitMegabytes;
    return executor_.logger(in);
}

// ---- conditions

Result ScenarioSteps::check(const sc::PinCondition& c) {
    return executor_.expectRegister(text(c.reg), c.bit, c.level ? 1 : 0);
}

Result ScenarioSteps::check(const sc::RegisterCondition& c) {
    const QString reg = text(c.reg);
    if (c.mask == 0xFF) return executor_.expectRegister(reg, std::nullopt, c.value);
    const auto value = executor_.readIo(executor_.registerIndex(reg));
    if (!value) return {Outcome::Error, QString("unknown register \"%1\"").arg(reg)};
    if ((*value & c.mask) == (c.value & c.mask))
        return {Outcome::Ok, QString("%1 is 0x%2").arg(reg).arg(*value, 2, 16, QChar('0'))};
    return {Outcome::Failed, QString("%1 is 0x%2, expected 0x%3 in the bits 0x%4")
                                 .arg(reg)
                                 .arg(*value, 2, 16, QChar('0'))
                                 .arg(c.value, 2, 16, QChar('0'))
                                 .arg(c.mask, 2, 16, QChar('0'))};
}

Result ScenarioSteps::check(const sc::LcdLineCondition& c) {
    return executor_.expectLcd(lcdCheck(c));
}

Result ScenarioSteps::check(const sc::LcdCursorCondition& c) {
    return executor_.expectLcd(lcdCheck(c));
}

Result ScenarioSteps::check(const sc::LcdProtocolCondition& c) {
    return executor_.expectLcd(lcdCheck(c));
}

Result ScenarioSteps::check(const sc::LcdPictureCondition& c) {
    ScenarioExecutor::LcdCheck check{text(c.window), 0, {}, false, 0};
    check.picture = text(script_.resolvePath(c.path));
    return executor_.expectLcd(check);
}

std::optional<bool> ScenarioSteps::holds(const sc::PinCondition& c) {
    const auto value = executor_.readIo(executor_.registerIndex(text(c.reg)));
    if (!value) return std::nullopt;
    return (((*value >> c.bit) & 1) != 0) == c.level;
}

std::optional<bool> ScenarioSteps::holds(const sc::RegisterCondition& c) {
    const auto value = executor_.readIo(executor_.registerIndex(text(c.reg)));
    if (!value) return std::nullopt;
    return (*value & c.mask) == (c.value & c.mask);
}
