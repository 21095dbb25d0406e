#include "host/app/LcdLines.h"

#include "host/app/SettingsReader.h"
#include "host/scenario/Scenario.h"

namespace sc = quill::scenario;

quill::instruments::LineResolver lcdLineResolver(HostBench& bench) {
    return [&bench](quill::instruments::Signal& signal, std::string* why) {
        std::string name = sc::baseName(sc::ComponentKind::Lcd);
        if (signal.lcd > 1) name += " " + std::to_string(signal.lcd);
        QString error;
        const auto pairs = driver::readSettingPairs(bench, QString::fromStdString(name), &error);
        if (!pairs) {
            *why = signal.name + ": " + error.toStdString();
            return false;
        }
        for (const auto& [key, value] : *pairs) {
            if (key != signal.line) continue;
            if (value == "none") {
                *why = signal.name + ": R/W of \"" + name +
                       "\" is tied to ground (rw=none): it has no pin to record";
                return false;
            }
            // "A1": port letter and bit.
            if (value.size() == 2 && value[0] >= 'A' && value[0] <= 'L' && value[1] >= '0' &&
                value[1] <= '7') {
                signal.port = value[0];
                signal.bit = value[1] - '0';
                return true;
            }
        }
        *why = signal.name + ": the settings of \"" + name + "\" give " + signal.line +
               " no pin";
        return false;
    };
}
