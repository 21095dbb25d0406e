#include "components/analog/Thermistor.h"

#include <array>
#include <cmath>

namespace thermistor {

namespace {

// R(T) / R(25) for -10..70 degrees, one entry per degree.
constexpr std::array<double, kMaxCelsius - kMinCelsius + 1> kRatios{
    5.535,  5.2748, 5.0146, 4.7544, 4.4942, 4.234,  4.0403, 3.8467, 3.653,  3.4594,  // -10..-1
    3.2657, 3.1036, 2.9505, 2.8058, 2.669,  2.5396, 2.4174, 2.3018, 2.1922, 2.0886,  // 0..9
    1.9904, 1.8974, 1.8093, 1.7258, 1.6465, 1.5715, 1.5003, 1.4327, 1.3684, 1.3074,  // 10..19
    1.2495, 1.1944, 1.1421, 1.0923, 1.0451, 1,      0.9573, 0.9166, 0.8778, 0.8409,  // 20..29
    0.8057, 0.7722, 0.7403, 0.7099, 0.6809, 0.6532, 0.6268, 0.6016, 0.5776, 0.5546,  // 30..39
    0.5327, 0.5117, 0.4918, 0.4726, 0.4543, 0.4369, 0.4201, 0.4041, 0.3889, 0.3742,  // 40..49
    0.3602, 0.3467, 0.334,  0.3217, 0.3099, 0.2986, 0.2878, 0.2774, 0.2675, 0.258,   // 50..59
    0.2488, 0.24,   0.2316, 0.2235, 0.2157, 0.2083, 0.2011, 0.1941, 0.1876, 0.1813,  // 60..69
    0.1752};                                                                         // 70

}  // namespace

int ClampCelsius(int celsius) {
    return celsius < kMinCelsius ? kMinCelsius : (celsius > kMaxCelsius ? kMaxCelsius : celsius);
}

double Ratio(int celsius) {
    return kRatios[static_cast<size_t>(ClampCelsius(celsius) - kMinCelsius)];
}

double ResistanceOhms(int celsius) { return Ratio(celsius) * kNominalOhms; }

uint32_t DividerMillivolts(int celsius) {
    const double r = ResistanceOhms(celsius);
    return static_cast<uint32_t>(std::trunc(r / (kSeriesOhms + r) * kSupplyMillivolts));
}

}  // namespace thermistor
