// Which clock the converter and the oscillator time against: the Settings
// sheet's predefined value when it chooses one (a positive number), else
// the simulator's, and the texts that say so.
#pragma once

#include <string>

struct ClockChoice {
    double inUseMHz = 1.0;
    double simulatorMHz = 1.0;
    bool predefined = false;  // the predefined value is in use

    bool operator==(const ClockChoice&) const = default;

    // The predefined clock is in use and is not the simulator's.
    bool differs() const;
    // "16.000000 MHz, the simulator's" or "4.000000 MHz, predefined (the
    // simulator runs at 16.000000 MHz)".
    std::string inUseText() const;
    // The output line for a predefined clock that differs; empty otherwise.
    std::string differenceText() const;
};

ClockChoice ChooseClock(bool predefined, const std::string& predefinedValue, double simulatorMHz);
