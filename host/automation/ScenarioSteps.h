// The handlers of the scenario's steps on the components, time, checks and
// debugging aids: one `run` per kind of step, each turning the parsed
// command into the executor's operation. The instruments' steps
// (InstrumentSteps) and the source-level debugging steps
// (ScenarioDebugCommands) have theirs in the same form; StepDispatch hands
// every step to the one set that runs its kind.
#pragma once

#include <QString>
#include <optional>

#include "host/automation/ScenarioExecutor.h"
#include "host/scenario/Scenario.h"

class HostBench;

class ScenarioSteps {
public:
    using Result = ScenarioExecutor::Result;

    // `screenshots` is the --screenshots folder (empty: none given).
    ScenarioSteps(HostBench& bench, ScenarioExecutor& executor,
                  const quill::scenario::Script& script, QString screenshots);

    // The scenario's firmware line gave way to --firmware: its step says so.
    bool firmwareOverridden = false;

    // ---- set-up: applied before the program started
    Result run(const quill::scenario::PartCommand& c);
    Result run(const quill::scenario::FirmwareCommand& c);
    Result run(const quill::scenario::FrequencyCommand& c);
    Result run(const quill::scenario::BoardCommand& c);
    // ---- components
    Result run(const quill::scenario::OpenCommand& c);
    Result run(const quill::scenario::SettingsCommand& c);
    Result run(const quill::scenario::GeneralCommand& c);
    Result run(const quill::scenario::ElectricalCommand& c);
    Result run(const quill::scenario::ClickCommand& c);
    Result run(const quill::scenario::KeyCommand& c);
    Result run(const quill::scenario::SetSliderCommand& c);
    Result run(const quill::scenario::SetTemperatureCommand& c);
    // ---- time
    Result run(const quill::scenario::WaitCyclesCommand& c);
    Result run(const quill::scenario::WaitTimeCommand& c);
    Result run(const quill::scenario::WaitUntilCommand& c);
    Result run(const quill::scenario::ResetCommand& c);
    // ---- checks and output
    Result run(const quill::scenario::ExpectCommand& c);
    Result run(const quill::scenario::ExpectMemoryCommand& c);
    Result run(const quill::scenario::ExpectLedCommand& c);
    Result run(const quill::scenario::ExpectBarCommand& c);
    Result run(const quill::scenario::ExpectOutputCommand& c);
    Result run(const quill::scenario::ExpectFileCommand& c);
    Result run(const quill::scenario::ExpectChannelCommand& c);
    Result run(const quill::scenario::ExpectTextCommand& c);
    Result run(const quill::scenario::ScreenshotCommand& c);
    // ---- debugging aids
    Result run(const quill::scenario::AutostepCommand& c);
    Result run(const quill::scenario::ExpectAutostepCommand& c);
    Result run(const quill::scenario::IdleCommand& c);
    Result run(const quill::scenario::EventCommand& c);
    Result run(const quill::scenario::LoggerCommand& c);

private:
    // A condition of `expect` and `wait until`: its check, and whether it
    // holds now (nothing when it cannot be read).
    Result check(const quill::scenario::PinCondition& c);
    Result check(const quill::scenario::RegisterCondition& c);
    Result check(const quill::scenario::LcdLineCondition& c);
    Result check(const quill::scenario::LcdCursorCondition& c);
    Result check(const quill::scenario::LcdProtocolCondition& c);
    Result check(const quill::scenario::LcdPictureCondition& c);
    std::optional<bool> holds(const quill::scenario::PinCondition& c);
    std::optional<bool> holds(const quill::scenario::RegisterCondition& c);
    template <typename LcdCondition>
    std::optional<bool> holds(const LcdCondition& c) {
        return check(c).outcome == ScenarioExecutor::Outcome::Ok;
    }
    QString screenshotDir(const std::string& directory) const;
    // For a condition on a Hitachi LCD window: whether its controller's
    // state moved since last asked (ScenarioExecutor::waitUntil's `moved`);
    // empty for any other condition.
    std::function<bool()> lcdMoved(const quill::scenario::Condition& condition);

    HostBench& bench_;
    ScenarioExecutor& executor_;
    const quill::scenario::Script& script_;
    QString screenshots_;
    int shots_ = 0;
};
