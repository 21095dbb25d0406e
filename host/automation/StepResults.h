// The three ways a scenario step ends: done, a check that does not hold, or
// an error of the scenario or the set-up. Shared by every file of steps:
// `using namespace steps;` brings the result types and the three makers.
#pragma once

#include <QString>

#include "host/automation/ScenarioExecutor.h"

namespace steps {

using Result = ScenarioExecutor::Result;
using Outcome = ScenarioExecutor::Outcome;

inline Result ok(const QString& message) { return {Outcome::Ok, message}; }
inline Result failed(const QString& message) { return {Outcome::Failed, message}; }
inline Result error(const QString& message) { return {Outcome::Error, message}; }

}  // namespace steps
