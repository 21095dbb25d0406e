// The three ways a scenario step ends: done, a check that does not hold, or
// an error of the scenario or the set-up. Shared by every file of steps.
#pragma once

#include <QString>

#include "host/app/ScenarioExecutor.h"

namespace steps {

inline ScenarioExecutor::Result ok(const QString& message) {
    return {ScenarioExecutor::Outcome::Ok, message};
}
inline ScenarioExecutor::Result failed(const QString& message) {
    return {ScenarioExecutor::Outcome::Failed, message};
}
inline ScenarioExecutor::Result error(const QString& message) {
    return {ScenarioExecutor::Outcome::Error, message};
}

}  // namespace steps
