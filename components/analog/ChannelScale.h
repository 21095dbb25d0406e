// Percentages of a full-scale voltage and millivolts, as the Slider shows
// and accepts them. Both directions round, so that a value typed in
// millivolts shows again as typed when the percentage allows it.
#pragma once

#include <algorithm>
#include <cmath>

namespace channelscale {

// The Slider's reference choices.
enum Reference : int { UseAref = 0, UseAvcc = 1, UseInternal = 2 };

// The full-scale voltage of a reference choice: with an external voltage
// on AREF that voltage always; otherwise AREF, AVcc or the internal
// reference by the choice.
inline double FullScaleVolts(int reference, bool externalAref, double arefVolts, double avccVolts,
                             double internalVolts) {
    if (externalAref || reference == UseAref) return arefVolts;
    return reference == UseAvcc ? avccVolts : internalVolts;
}

inline int PercentToMillivolts(int percent, double fullScaleVolts) {
    return static_cast<int>(std::lround(fullScaleVolts * 10.0 * percent));
}

// 0..100; a full scale of 0 V or less gives 0.
inline int MillivoltsToPercent(double millivolts, double fullScaleVolts) {
    if (!(fullScaleVolts > 0.0) || !(millivolts > 0.0)) return 0;
    return static_cast<int>(
        std::clamp(std::lround(millivolts / (fullScaleVolts * 10.0)), 0L, 100L));
}

}  // namespace channelscale
