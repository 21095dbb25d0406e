#include "host/workbench/LcdLines.h"

#include "host/workbench/SettingsReader.h"
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
            // "PA1": the port letter and the bit after the P.
            const std::string pin = value.size() == 3 && value[0] == 'P' ? value.substr(1) : value;
            if (pin.size() == 2 && pin[0] >= 'A' && pin[0] <= 'L' && pin[1] >= '0' &&
                pin[1] <= '7') {
                signal.port = pin[0];
                signal.bit = pin[1] - '0';
                return true;
            }
        }
        *why = signal.name + ": the settings of \"" + name + "\" give " + signal.line +
               " no pin";
        return false;
    };
}
