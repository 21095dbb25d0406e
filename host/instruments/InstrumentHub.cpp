#include "host/instruments/InstrumentHub.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "host/instruments/AnalyserDock.h"
#include "host/instruments/TerminalDock.h"
#include "host/sim/SimTarget.h"

namespace quill::instruments {

InstrumentHub::InstrumentHub(QMainWindow* window, DockPlacer place)
    : QObject(window), window_(window), place_(std::move(place)) {
    if (!place_)
        place_ = [window](QDockWidget* dock) { window->addDockWidget(Qt::BottomDockWidgetArea, dock); };
    analyser_ = new AnalyserDock(window);
    place_(analyser_);
    analyser_->hide();
    flush_.setInterval(200);
    connect(&flush_, &QTimer::timeout, this, [this] {
        for (auto& waveform : waveforms_) waveform->flushFile();
    });
}

InstrumentHub::~InstrumentHub() { detach(); }

AnalyserDock* InstrumentHub::analyser() const { return analyser_; }

void InstrumentHub::installMenus(QMenu* file) {
    QAction* record = new QAction("Record waveform...", this);
    record->setObjectName("recordWaveform");
    connect(record, &QAction::triggered, this, &InstrumentHub::askAndRecord);
    QAction* stop = new QAction("Stop waveform", this);
    stop->setObjectName("stopWaveform");
    connect(stop, &QAction::triggered, this, [this] {
        QString text;
        stopWaveform(&text);
        emit message("Stop waveform: " + text);
    });
    const QList<QAction*> actions = file->actions();
    QAction* before = actions.size() >= 2 ? actions[actions.size() - 2] : nullptr;  // the separator
    file->insertAction(before, record);
    file->insertAction(before, stop);
    menu_ = window_->menuBar()->addMenu("&Instruments");
    menu_->addAction(analyser_->toggleViewAction());
}

void InstrumentHub::detach() {
    // Recorders first: they listen to the links.
    QString ignored;
    while (!waveforms_.empty()) stopWaveform(&ignored);
    if (analyser_) analyser_->attach(nullptr, {});
    measured_.reset();
    for (auto& [number, dock] : terminals_)
        if (dock) dock->attach(nullptr);
    links_.clear();
    serialMarks_.clear();
    waited_ = false;
    target_.reset();
}

void InstrumentHub::attach(std::shared_ptr<quill::sim::SimTarget> target) {
    if (target == target_) return;
    detach();
    target_ = std::move(target);
    if (!target_) return;
    links_ = connectUsarts(*target_);
    std::vector<UsartLink*> links;
    for (auto& link : links_) {
        links.push_back(link.get());
        QPointer<TerminalDock>& dock = terminals_[link->number()];
        if (!dock) {
            dock = new TerminalDock(link->number(), window_);
            place_(dock);
            dock->hide();
            if (menu_) menu_->insertAction(analyser_->toggleViewAction(), dock->toggleViewAction());
        }
        dock->attach(link.get());
    }
    if (analyser_) analyser_->attach(target_.get(), links);
}

UsartLink* InstrumentHub::usart(int number, QString* why) const {
    const QString part = target_ ? QString::fromStdString(target_->partName()) : QString();
    if (!target_) {
        *why = "the program is not being debugged";
        return nullptr;
    }
    if (number < 0) {
        if (links_.size() == 1) return links_.front().get();
        *why = links_.empty() ? QString("the %1 has no USART").arg(part)
                              : QString("the %1 has %2 USARTs: name one (USART0 ...)")
                                    .arg(part)
                                    .arg(links_.size());
        return nullptr;
    }
    for (const auto& link : links_)
        if (link->number() == number) return link.get();
    *why = QString("the %1 has no USART%2").arg(part).arg(number);
    return nullptr;
}

void InstrumentHub::catchUp() {
    for (auto& [number, dock] : terminals_)
        if (dock) dock->catchUp();
}

TerminalDock* InstrumentHub::terminal(int number) const {
    auto it = terminals_.find(number);
    return it == terminals_.end() ? nullptr : it->second;
}

bool InstrumentHub::matchSerial(UsartLink& link, const std::string& text, std::string* shown) {
    uint64_t& mark = serialMarks_[&link];
    const SerialBuffer& buffer = link.transmitted();
    if (auto at = buffer.find(text, mark)) {
        mark = *at + text.size();
        return true;
    }
    if (shown) *shown = buffer.text(mark);
    return false;
}

bool InstrumentHub::startWaveform(const QString& path, const QString& signalList, QString* why) {
    if (!target_) {
        *why = "the program is not being debugged";
        return false;
    }
    std::string reason;
    const quill::boards::Board* board = board_ ? &*board_ : nullptr;
    auto wanted =
        parseSignalList(signalList.toStdString(), SignalRecorder::kMaxChannels, &reason, board);
    if (!wanted || !resolveLines(*wanted, lineResolver_, &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    nameByBoard(*wanted, board);
    if (recordingWaveform(path)) {
        *why = QString("%1 is already being written").arg(path);
        return false;
    }
    std::vector<UsartLink*> links;
    for (auto& link : links_) links.push_back(link.get());
    auto recorder = std::make_unique<SignalRecorder>(*target_, links);
    if (!recorder->start(*wanted, &reason) || !recorder->startFile(path.toStdString(), &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    waveforms_.push_back(std::move(recorder));
    flush_.start();
    return true;
}

bool InstrumentHub::stopWaveform(QString* message, const QString& wanted) {
    auto it = waveforms_.end();
    if (wanted.isEmpty()) {
        if (!waveforms_.empty()) it = waveforms_.end() - 1;
    } else {
        it = std::find_if(waveforms_.begin(), waveforms_.end(), [&](const auto& w) {
            return w->filePath() == wanted.toStdString();
        });
    }
    if (it == waveforms_.end()) {
        *message = wanted.isEmpty() ? QString("no waveform is being recorded")
                                    : QString("%1 is not being recorded").arg(wanted);
        return false;
    }
    std::string why;
    const std::string path = (*it)->filePath();
    const uint64_t edges = (*it)->stopFile(&why);
    waveforms_.erase(it);
    if (waveforms_.empty()) flush_.stop();
    if (!why.empty()) {
        *message = QString::fromStdString(why);
        return false;
    }
    *message = QString("wrote %1 edges to %2").arg(edges).arg(QString::fromStdString(path));
    return true;
}

bool InstrumentHub::recordingWaveform(const QString& path) const {
    if (path.isEmpty()) return !waveforms_.empty();
    return std::any_of(waveforms_.begin(), waveforms_.end(),
                       [&](const auto& w) { return w->filePath() == path.toStdString(); });
}

void InstrumentHub::askAndRecord() {
    if (!target_) return;
    const QString path = QFileDialog::getSaveFileName(window_, "Record waveform", "waveform.vcd",
                                                      "Value change dumps (*.vcd)");
    if (path.isEmpty()) return;
    bool ok = false;
    const QString signalList =
        QInputDialog::getText(window_, "Record waveform", "Signals (PA0,PB3,TX,LCD.E):",
                              QLineEdit::Normal, "PB3,TX", &ok);
    if (!ok) return;
    QString why;
    if (!startWaveform(path, signalList, &why)) {
        emit message("Record waveform: " + why);
    } else {
        emit message(QString("Recording %1 into %2").arg(signalList, path));
    }
}

void InstrumentHub::setBoard(std::optional<quill::boards::Board> board) {
    board_ = board;
    analyser_->setBoard(std::move(board));
}

void InstrumentHub::setLineResolver(LineResolver resolver) {
    lineResolver_ = resolver;
    analyser_->setLineResolver(std::move(resolver));
}

bool InstrumentHub::watch(const std::vector<Signal>& wanted, QString* why) {
    if (!target_) {
        *why = "the program is not being debugged";
        return false;
    }
    std::vector<UsartLink*> links;
    for (auto& link : links_) links.push_back(link.get());
    measured_ = std::make_unique<SignalRecorder>(*target_, links);
    std::string reason;
    if (!measured_->start(wanted, &reason)) {
        measured_.reset();
        *why = QString::fromStdString(reason);
        return false;
    }
    return true;
}

void InstrumentHub::waitBegins() {
    if (measured_) waitFrom_ = measured_->now();
}

void InstrumentHub::waitEnds() {
    if (!target_) return;
    if (measured_) waitTo_ = measured_->now();
    waited_ = true;
    for (auto& waveform : waveforms_) waveform->flushFile();
}

std::optional<WaveMeasurement> InstrumentHub::measure(const QString& signal, QString* why,
                                                      Wanted wanted) const {
    const int channel = measured_ ? measured_->channelOf(signal.toStdString()) : -1;
    if (channel < 0) {
        *why = QString("%1 is not recorded").arg(signal);
        return std::nullopt;
    }
    if (!waited_) {
        *why = "no wait came before: the measurement covers the previous wait";
        return std::nullopt;
    }
    std::string reason;
    const EdgeLog& log = measured_->log(static_cast<std::size_t>(channel));
    auto m = wanted == Wanted::Duty
                 ? measureDuty(log, waitFrom_, waitTo_, measured_->clockHz(), &reason)
                 : measureWave(log, waitFrom_, waitTo_, measured_->clockHz(), &reason);
    if (!m) *why = QString("%1 over the previous wait (%2 cycles): %3")
                       .arg(signal)
                       .arg(waitTo_ - waitFrom_)
                       .arg(QString::fromStdString(reason));
    return m;
}

}  // namespace quill::instruments
