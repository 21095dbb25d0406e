// The Beerbasement's temperature sensor: a 20 kOhm NTC thermistor on the
// ground side of a divider with a 47 kOhm resistor from a 5 V supply. The
// divider's output, in millivolts, feeds a converter channel.
//
// The thermistor's table covers -10..70 degrees Celsius; every lookup is
// limited to it, so no temperature reads outside the table.
#pragma once

#include <cstdint>

namespace thermistor {

constexpr int kMinCelsius = -10;
constexpr int kMaxCelsius = 70;
constexpr double kNominalOhms = 20000.0;  // at 25 degrees
constexpr double kSeriesOhms = 47000.0;
constexpr double kSupplyMillivolts = 5000.0;

int ClampCelsius(int celsius);
// R(T) / R(25 degrees) for the clamped temperature.
double Ratio(int celsius);
double ResistanceOhms(int celsius);
// trunc(R / (series + R) x 5000).
uint32_t DividerMillivolts(int celsius);

}  // namespace thermistor
