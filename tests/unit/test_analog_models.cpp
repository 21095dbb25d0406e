// The oscillator timing of Capacity Measurement, the Beerbasement's
// thermistor divider and the linked values of the electrical page.
#include <gtest/gtest.h>

#include <cstdio>

#include "components/analog/ElectricalModel.h"
#include "components/analog/RcOscillator.h"
#include "components/analog/Thermistor.h"

namespace {

std::string FrequencyText(const OscillatorTiming& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%4.2f", t.frequencyHz);
    return text;
}

}  // namespace

TEST(Oscillator, CyclesAt4And1MHz) {
    const OscillatorTiming at4 = ComputeOscillatorTiming(1e-8, 1e-8, 12000, 4e6);
    EXPECT_EQ(at4.high, 1330u);
    EXPECT_EQ(at4.low, 665u);
    EXPECT_EQ(at4.total, 1995u);
    EXPECT_EQ(FrequencyText(at4), "2005.01");

    const OscillatorTiming at1 = ComputeOscillatorTiming(1e-8, 1e-8, 12000, 1e6);
    EXPECT_EQ(at1.high, 332u);
    EXPECT_EQ(at1.low, 166u);
    EXPECT_EQ(at1.total, 498u);
    EXPECT_EQ(FrequencyText(at1), "2008.03");

    // 0 nF leaves C0: the oscillator still runs.
    EXPECT_TRUE(ComputeOscillatorTiming(0.0, 1e-8, 12000, 1e6).runs());
}

TEST(Oscillator, EdgesOnePerCallFromTheLowPhase) {
    RcOscillator osc;
    osc.Restart(ComputeOscillatorTiming(1e-8, 1e-8, 12000, 4e6), 1000);
    EXPECT_FALSE(osc.high());
    EXPECT_EQ(osc.nextCycle(), 1665u);
    EXPECT_FALSE(osc.Advance(1664));
    EXPECT_EQ(osc.Advance(1665), true);  // equal to the next cycle: toggles
    EXPECT_EQ(osc.nextCycle(), 1665u + 1330u);
    // A long gap produces one edge per call, catching up later.
    EXPECT_EQ(osc.Advance(100000), false);
    EXPECT_EQ(osc.nextCycle(), 1665u + 1330u + 665u);
    EXPECT_EQ(osc.Advance(100000), true);
}

TEST(Oscillator, DueTimesAcrossTheWrap) {
    RcOscillator osc;
    osc.Restart(ComputeOscillatorTiming(1e-8, 1e-8, 12000, 4e6), 0xFFFFFF00u);
    EXPECT_EQ(osc.nextCycle(), 665u - 256u);
    EXPECT_FALSE(osc.Advance(0xFFFFFFFFu));  // larger, but before the due time
    EXPECT_FALSE(osc.Advance(100));
    EXPECT_EQ(osc.Advance(409), true);
}

// Without a clock frequency the phases would be 0 cycles long and the pin
// would toggle on every instruction: the oscillator stops instead.
TEST(Oscillator, FrequencyZeroStops) {
    const OscillatorTiming none = ComputeOscillatorTiming(1e-8, 1e-8, 12000, 0.0);
    EXPECT_FALSE(none.runs());
    EXPECT_EQ(none.frequencyHz, 0.0);
    RcOscillator osc;
    osc.Restart(none, 10);
    EXPECT_FALSE(osc.running());
    EXPECT_FALSE(osc.Advance(10));
    EXPECT_FALSE(osc.Advance(1000000));
}

TEST(Thermistor, DividerMillivoltsWithinAndOutsideTheTable) {
    EXPECT_EQ(thermistor::DividerMillivolts(-10), 3509u);
    EXPECT_EQ(thermistor::DividerMillivolts(15), 2003u);
    EXPECT_EQ(thermistor::DividerMillivolts(25), 1492u);
    EXPECT_EQ(thermistor::DividerMillivolts(40), 923u);
    EXPECT_DOUBLE_EQ(thermistor::ResistanceOhms(25), 20000.0);
    EXPECT_EQ(thermistor::DividerMillivolts(-40), thermistor::DividerMillivolts(-10));
    EXPECT_EQ(thermistor::DividerMillivolts(200), thermistor::DividerMillivolts(70));
    EXPECT_DOUBLE_EQ(thermistor::Ratio(70), 0.1752);
    EXPECT_DOUBLE_EQ(thermistor::Ratio(-2147483647 - 1), 5.535);
}

TEST(Electrical, HundredthsRoundTrip) {
    EXPECT_EQ(ElectricalModel::ToHundredths(2.56), 256);
    EXPECT_EQ(ElectricalModel::ToHundredths(4.02), 402);
    EXPECT_EQ(ElectricalModel::ToHundredths(5.10), 510);
    EXPECT_EQ(ElectricalModel::ToHundredths(402 / 100.0), 402);
    EXPECT_EQ(ElectricalModel::Text(402), "4.02");
}

// AVcc follows Vcc; the internal reference (what REFS = 3 converts
// against) moves only with its own trackbar.
TEST(Electrical, LinkedTrackbarsLeaveTheInternalReference) {
    ElectricalModel m;
    m.MoveVcc(490);
    m.MoveVcc(500);
    EXPECT_EQ(m.avcc, 500);
    EXPECT_EQ(m.vref, 256);
    m.MoveVcc(330);
    EXPECT_EQ(m.avcc, 330);
    EXPECT_EQ(m.avccMin(), 300);
    EXPECT_EQ(m.avccMax(), 360);
    EXPECT_EQ(m.vref, 256);
    m.MoveAvcc(900);  // limited to Vcc + 0.30
    EXPECT_EQ(m.avcc, 360);
    EXPECT_EQ(m.vref, 256);
    m.MoveVref(300);
    EXPECT_EQ(m.vref, 300);

    // AVcc lowered below Vref: the trackbar reaches up to Vref, and
    // opening the page again keeps it.
    m.MoveVcc(270);
    EXPECT_EQ(m.vref, 300);
    EXPECT_EQ(m.vrefMax(), 300);
    m.Clamp();
    EXPECT_EQ(m.vref, 300);
    m.MoveVref(250);
    EXPECT_EQ(m.vrefMax(), 270);
    m.MoveVref(400);
    EXPECT_EQ(m.vref, 270);
}
