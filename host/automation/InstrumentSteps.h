// The scenario commands of the instruments (serial lines, waveform files,
// frequency and duty checks), run against the main window's InstrumentHub.
// The headless runner hands their steps here, and tells it when a wait
// begins and ends: frequency and duty are measured over the edges of the
// previous wait.
#pragma once

#include <optional>

#include "host/automation/ScenarioExecutor.h"
#include "host/scenario/Scenario.h"

class HostBench;

class InstrumentSteps {
public:
    InstrumentSteps(HostBench& bench, ScenarioExecutor& executor);

    // Records the signals the script measures; an error when the part does
    // not have one of them.
    std::optional<ScenarioExecutor::Result> prepare(const quill::scenario::Script& script);
    // The handlers of the instruments' steps.
    using Result = ScenarioExecutor::Result;
    Result run(const quill::scenario::SendSerialCommand& c);
    Result run(const quill::scenario::OpenTerminalCommand& c);
    Result run(const quill::scenario::ExpectSerialCommand& c);
    Result run(const quill::scenario::WaitSerialCommand& c);
    Result run(const quill::scenario::RecordWaveformCommand& c);
    Result run(const quill::scenario::StopWaveformCommand& c);
    Result run(const quill::scenario::ExpectFrequencyCommand& c);
    Result run(const quill::scenario::ExpectDutyCommand& c);
    // A wait begins and ends: frequency and duty are measured over its edges.
    void waitBegins();
    void waitEnds();
    // --vcd FILE --signals LIST
    ScenarioExecutor::Result startWaveform(const QString& path, const QString& signalList);
    // Closes that file (the scenario's own when empty).
    ScenarioExecutor::Result stopWaveform(const QString& path = {});

private:
    QString scriptWaveform_;  // the file of the scenario's record waveform
    HostBench& bench_;
    ScenarioExecutor& executor_;
};
