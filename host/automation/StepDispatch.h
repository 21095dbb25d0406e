// Runs a scenario's steps: each kind of step has one handler, in one of
// three sets (ScenarioSteps for the components, time and checks,
// InstrumentSteps for serial lines and signals, ScenarioDebugCommands for
// source-level debugging), and every step goes to the set whose `run`
// takes its kind. A wait is bracketed for the instruments, which measure
// over the edges of the previous one.
#pragma once

#include <QString>
#include <concepts>
#include <variant>

#include "host/automation/InstrumentSteps.h"
#include "host/automation/ScenarioExecutor.h"
#include "host/automation/ScenarioSteps.h"
#include "host/automation/ScenarioDebugCommands.h"
#include "host/scenario/Scenario.h"

class HostBench;

class StepDispatch {
public:
    using Result = ScenarioExecutor::Result;

    // `screenshots` is the --screenshots folder (empty: none given).
    StepDispatch(HostBench& bench, const quill::scenario::Script& script, QString screenshots)
        : executor_(bench, QString()),
          steps_(bench, executor_, script, std::move(screenshots)),
          instruments_(bench, executor_),
          debug_(bench, executor_) {}

    ScenarioExecutor& executor() { return executor_; }
    InstrumentSteps& instruments() { return instruments_; }
    ScenarioSteps& steps() { return steps_; }

    Result run(const quill::scenario::Command& command) {
        const bool wait = quill::scenario::isWait(command);
        if (wait) instruments_.waitBegins();
        Result r = std::visit([this](const auto& c) { return handle(c); }, command);
        if (wait) instruments_.waitEnds();
        return r;
    }

private:
    template <typename Handlers, typename T>
    static constexpr bool kRuns = requires(Handlers& h, const T& c) {
        { h.run(c) } -> std::same_as<Result>;
    };

    template <typename T>
    Result handle(const T& c) {
        constexpr bool own = kRuns<ScenarioSteps, T>;
        constexpr bool instrument = kRuns<InstrumentSteps, T>;
        constexpr bool debug = kRuns<ScenarioDebugCommands, T>;
        static_assert(int(own) + int(instrument) + int(debug) == 1,
                      "every kind of step has its handler in exactly one set");
        if constexpr (own) {
            return steps_.run(c);
        } else if constexpr (instrument) {
            return instruments_.run(c);
        } else {
            return debug_.run(c);
        }
    }

    ScenarioExecutor executor_;
    ScenarioSteps steps_;
    InstrumentSteps instruments_;
    ScenarioDebugCommands debug_;
};
