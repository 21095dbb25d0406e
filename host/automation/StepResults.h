// The three ways a scenario step ends: done, a check that does not hold, or
// an error of the scenario or the set-up. Shared by every file of steps:
// `using namespace steps;` brings the result types and the three makers.
#pragma once

#include <QString>

namespace steps {

enum class Outcome { Ok, Failed, Error };
struct Result {
    Outcome outcome = Outcome::Ok;
    QString message;  // what was checked or done, or why not
};

inline Result ok(const QString& message) { return {Outcome::Ok, message}; }
inline Result failed(const QString& message) { return {Outcome::Failed, message}; }
inline Result error(const QString& message) { return {Outcome::Error, message}; }

}  // namespace steps
