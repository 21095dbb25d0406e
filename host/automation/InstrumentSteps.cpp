#include "host/automation/InstrumentSteps.h"

#include <QApplication>
#include <cmath>

#include "host/workbench/HostBench.h"
#include "host/automation/StepResults.h"
#include "host/instruments/InstrumentHub.h"
#include "host/instruments/Signals.h"
#include "host/instruments/TerminalDock.h"

namespace sc = quill::scenario;
namespace in = quill::instruments;

namespace {

using namespace steps;

// Received text for a message: escapes for control bytes, the end kept
// when it is long.
QString shownText(const std::string& bytes) {
    std::string text = in::printableText(bytes);
    std::string escaped;
    for (char c : text) {
        if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else {
            escaped += c;
        }
    }
    if (escaped.size() > 200) escaped = "..." + escaped.substr(escaped.size() - 200);
    return QString::fromStdString(escaped);
}

}  // namespace

InstrumentSteps::InstrumentSteps(HostBench& bench, ScenarioExecutor& executor)
    : bench_(bench), executor_(executor) {}

std::optional<Result> InstrumentSteps::prepare(const sc::Script& script) {
    std::vector<in::Signal> measured;
    for (const sc::Step& step : script.steps) {
        std::string name;
        if (const auto* f = std::get_if<sc::ExpectFrequencyCommand>(&step.command))
            name = f->signal;
        if (const auto* d = std::get_if<sc::ExpectDutyCommand>(&step.command)) name = d->signal;
        if (name.empty()) continue;
        auto signal = in::parseSignal(name, nullptr);
        bool known = false;
        for (const in::Signal& s : measured) known = known || s.name == signal->name;
        if (signal && !known) measured.push_back(*signal);
    }
    if (measured.empty()) return std::nullopt;
    QString why;
    if (!bench_.instruments().watch(measured, &why)) return error(why);
    return std::nullopt;
}

void InstrumentSteps::waitBegins() { bench_.instruments().waitBegins(); }

void InstrumentSteps::waitEnds() { bench_.instruments().waitEnds(); }

Result InstrumentSteps::startWaveform(const QString& path, const QString& signalList) {
    QString why;
    if (!bench_.instruments().startWaveform(path, signalList, &why)) return error(why);
    return ok(QString("recording %1 into %2").arg(signalList, path));
}

Result InstrumentSteps::stopWaveform(const QString& path) {
    QString message;
    const QString file = path.isEmpty() ? scriptWaveform_ : path;
    if (file.isEmpty()) return error("no record waveform came before");
    if (!bench_.instruments().stopWaveform(&message, file)) return error(message);
    return ok(message);
}

Result InstrumentSteps::run(const sc::SendSerialCommand& c) {
    QString why;
    in::UsartLink* link = bench_.instruments().usart(c.usart, &why);
    if (!link) return error(why);
    link->send(c.bytes);
    return ok(QString("queued %1 bytes for %2 at %3 baud")
                  .arg(c.bytes.size())
                  .arg(QString::fromStdString(link->name()))
                  .arg(std::lround(link->baud())));
}

Result InstrumentSteps::run(const sc::OpenTerminalCommand& c) {
    QString why;
    in::InstrumentHub& hub = bench_.instruments();
    in::UsartLink* link = hub.usart(c.usart, &why);
    if (!link) return error(why);
    in::TerminalDock* dock = hub.terminal(link->number());
    if (!dock) return error(QString("no serial terminal for %1").arg(QString::fromStdString(link->name())));
    dock->show();
    dock->raise();
    return ok(QString("showed the serial terminal of %1").arg(QString::fromStdString(link->name())));
}

Result InstrumentSteps::run(const sc::ExpectSerialCommand& c) {
    in::InstrumentHub& hub = bench_.instruments();
    QString why;
    in::UsartLink* link = hub.usart(c.usart, &why);
    if (!link) return error(why);
    std::string seen;
    if (hub.matchSerial(*link, c.text, &seen))
        return ok(
            QString("%1 sent \"%2\"")
                .arg(QString::fromStdString(link->name()), QString::fromStdString(c.written)));
    return failed(QString("%1 sent no \"%2\" after the previous match; it sent \"%3\"")
                      .arg(QString::fromStdString(link->name()), QString::fromStdString(c.written),
                           shownText(seen)));
}

Result InstrumentSteps::run(const sc::WaitSerialCommand& c) {
    in::InstrumentHub& hub = bench_.instruments();
    QString why;
    in::UsartLink* link = hub.usart(c.serial.usart, &why);
    if (!link) return error(why);
    // Looked for only when something new arrived.
    uint64_t seenEnd = UINT64_MAX;
    return executor_.waitUntil(
        [&]() -> std::optional<bool> {
            if (link->transmitted().end() == seenEnd) return false;
            seenEnd = link->transmitted().end();
            return hub.matchSerial(*link, c.serial.text, nullptr);
        },
        c.timeoutCycles, QString("serial \"%1\"").arg(QString::fromStdString(c.serial.written)));
}

Result InstrumentSteps::run(const sc::RecordWaveformCommand& c) {
    Result r = startWaveform(QString::fromStdString(c.path), QString::fromStdString(c.signalList));
    if (r.outcome == Outcome::Ok) scriptWaveform_ = QString::fromStdString(c.path);
    return r;
}

Result InstrumentSteps::run(const sc::StopWaveformCommand&) { return stopWaveform(); }

Result InstrumentSteps::run(const sc::ExpectFrequencyCommand& c) {
    QString why;
    const QString name = QString::fromStdString(c.signal);
    auto m = bench_.instruments().measure(name, &why);
    if (!m) return failed(why);
    const double off = 100.0 * (m->frequencyHz / c.hertz - 1.0);
    const QString what = QString("%1 runs at %2 Hz over %3 periods (%4%5 % from %6 Hz)")
                             .arg(name)
                             .arg(m->frequencyHz, 0, 'f', 2)
                             .arg(m->periods)
                             .arg(off >= 0 ? "+" : "")
                             .arg(off, 0, 'f', 2)
                             .arg(c.hertz);
    if (std::abs(off) <= c.tolerancePercent) return ok(what);
    return failed(what + QString(", more than the tolerance of %1 %").arg(c.tolerancePercent));
}

Result InstrumentSteps::run(const sc::ExpectDutyCommand& c) {
    QString why;
    const QString name = QString::fromStdString(c.signal);
    auto m = bench_.instruments().measure(name, &why, in::InstrumentHub::Wanted::Duty);
    if (!m) return failed(why);
    const QString what = m->periods == 0
                             ? QString("%1 stayed %2 over the previous wait: %3 % (expected %4 %)")
                                   .arg(name, m->dutyPercent > 0 ? "high" : "low")
                                   .arg(m->dutyPercent, 0, 'f', 2)
                                   .arg(c.percent)
                             : QString("%1 is high %2 % of %3 periods (expected %4 %)")
                                   .arg(name)
                                   .arg(m->dutyPercent, 0, 'f', 2)
                                   .arg(m->periods)
                                   .arg(c.percent);
    if (std::abs(m->dutyPercent - c.percent) <= c.tolerancePercent) return ok(what);
    return failed(what + QString(", more than %1 points off").arg(c.tolerancePercent));
}
