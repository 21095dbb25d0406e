#include "core/ClockChoice.h"

#include <cmath>
#include <cstdio>

#include "platform/text.h"

namespace {

std::string Megahertz(double mhz) {
    char text[48];
    std::snprintf(text, sizeof text, "%f MHz", mhz);
    return text;
}

}  // namespace

ClockChoice ChooseClock(bool predefined, const std::string& predefinedValue, double simulatorMHz) {
    ClockChoice choice;
    choice.simulatorMHz = simulatorMHz;
    choice.inUseMHz = simulatorMHz;
    if (predefined) {
        const double mhz = quill::text::LeadingNumber(predefinedValue);
        if (mhz > 0.0) {
            choice.inUseMHz = mhz;
            choice.predefined = true;
        }
    }
    return choice;
}

bool ClockChoice::differs() const {
    // Texts with six decimals: equal to a hertz is equal.
    return predefined && std::abs(inUseMHz - simulatorMHz) >= 0.5e-6;
}

std::string ClockChoice::inUseText() const {
    if (!predefined) return Megahertz(inUseMHz) + ", the simulator's";
    if (!differs()) return Megahertz(inUseMHz) + ", predefined (the simulator's as well)";
    return Megahertz(inUseMHz) + ", predefined (the simulator runs at " +
           Megahertz(simulatorMHz) + ")";
}

std::string ClockChoice::differenceText() const {
    if (!differs()) return {};
    return "The predefined clock, " + Megahertz(inUseMHz) + ", differs from the simulator's, " +
           Megahertz(simulatorMHz) + ": the converter and the Capacity Measurement time against " +
           Megahertz(inUseMHz) + ", the program runs at " + Megahertz(simulatorMHz) + ".";
}
