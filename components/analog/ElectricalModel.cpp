#include "components/analog/ElectricalModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/CLEDView.h"

int ElectricalModel::ToHundredths(double volts) {
    if (!std::isfinite(volts)) return 0;
    return static_cast<int>(std::lround(volts * 100.0));
}

std::string ElectricalModel::Text(int hundredths) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", hundredths / 100.0);
    return text;
}

void ElectricalModel::LoadFrom(CLEDView* core) {
    vcc = ToHundredths(core->Vcc()->get());
    vref = ToHundredths(core->InternalReference()->get());
    avcc = ToHundredths(core->AVcc()->get());
    aref = ToHundredths(core->ExternalAref()->get());
    externalAref = core->ExternalArefApplied()->get() != 0;
}

void ElectricalModel::StoreInto(CLEDView* core) const {
    core->Vcc()->set(vcc / 100.0);
    core->InternalReference()->set(vref / 100.0);
    core->AVcc()->set(avcc / 100.0);
    core->ExternalAref()->set(aref / 100.0);
    core->ExternalArefApplied()->set(externalAref ? 1 : 0);
}

void ElectricalModel::Clamp() {
    vcc = std::clamp(vcc, kVccMin, kVccMax);
    aref = std::clamp(aref, kArefMin, kArefMax);
    avcc = std::clamp(avcc, avccMin(), avccMax());
    // Vref is not limited to AVcc: the page shows it as stored (the
    // trackbar reaches up to it), as opening a sheet must not move it.
    vref = std::clamp(vref, kVrefMin, kVccMax + kAvccSpread);
}

void ElectricalModel::MoveVcc(int position) {
    vcc = std::clamp(position, kVccMin, kVccMax);
    avcc = (avccMin() + avccMax()) / 2;
}

void ElectricalModel::MoveAvcc(int position) {
    avcc = std::clamp(position, avccMin(), avccMax());
}

void ElectricalModel::MoveVref(int position) { vref = std::clamp(position, kVrefMin, vrefMax()); }

void ElectricalModel::MoveAref(int position) { aref = std::clamp(position, kArefMin, kArefMax); }
