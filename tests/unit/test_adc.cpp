// The converter model, driven through the core's register subjects and cycle
// counter on the in-memory host: references, codes, clamping, the error
// rule, ADLAR, free-running sampling, deferral, the wrap, channel claims.
#include "components/analog/ADC.h"
#include "test_core_fixture.h"

using namespace adc;

namespace {

// A part with two converter channels and the converter's registers.
const std::string kAdcPart =
    PartXml(Reg("ADCL", "$04") + Reg("ADCH", "$05") + Reg("ADCSRA", "$06") + Reg("ADMUX", "$07") +
                Reg("SFIOR", "$30"),
            "<PACKAGES>[PDIP]</PACKAGES><PDIP>"
            "<PIN1><NAME>[PA0:ADC0]</NAME></PIN1>"
            "<PIN2><NAME>[PA1:ADC1]</NAME></PIN2></PDIP>");

constexpr uint8_t kRefsAvcc = 0x40;
constexpr uint8_t kRefsInternal = 0xC0;

class AdcTest : public CoreTest {
protected:
    void SetUp() override {
        InstallAdcModel(view);
        Session("Test", kAdcPart);
        ASSERT_NE(model(), nullptr);
        target().cycleCounter = 100;
        Refresh();
    }

    ADC* model() { return view->AdcModel(); }

    // The program writes a register; the next refresh shows it to the model.
    void ProgramWrites(int index, uint8_t value) {
        target().Io()[static_cast<size_t>(index)] = value;
        Refresh();
    }
    void RunTo(uint32_t cycle) {
        target().cycleCounter = cycle;
        Refresh();
    }
    ResultPair Result() { return {target().Io()[kAdch], target().Io()[kAdcl]}; }
    int ResultCode() {
        const ResultPair r = Result();
        return r.high * 256 + r.low;
    }
    // A single conversion of `admux` with prescaler bits `adps`.
    ResultPair SingleConversion(uint8_t admux, uint8_t adps = 0) {
        ProgramWrites(kAdmux, admux);
        ProgramWrites(kAdcsra, kAden | adps);
        ProgramWrites(kAdcsra, kAden | kAdsc | adps);  // start: the model samples
        ProgramWrites(kAdcsra, kAden | adps);          // the simulator ends it
        return Result();
    }
};

}  // namespace

TEST(AdcRules, ReferenceTable) {
    const double aref = 3.3, avcc = 5.0, internal = 2.56;
    EXPECT_FALSE(ReferenceVolts(0, false, aref, avcc, internal));
    EXPECT_EQ(ReferenceVolts(0, true, aref, avcc, internal), aref);
    EXPECT_EQ(ReferenceVolts(1, false, aref, avcc, internal), avcc);
    EXPECT_EQ(ReferenceVolts(1, true, aref, avcc, internal), aref);
    EXPECT_FALSE(ReferenceVolts(2, false, aref, avcc, internal));
    EXPECT_FALSE(ReferenceVolts(2, true, aref, avcc, internal));
    EXPECT_EQ(ReferenceVolts(3, false, aref, avcc, internal), internal);
    EXPECT_EQ(ReferenceVolts(3, true, aref, avcc, internal), aref);
    // A reference of 0 V cannot divide: no conversion.
    EXPECT_FALSE(ReferenceVolts(1, false, aref, 0.0, internal));
}

TEST(AdcRules, CodesClampAndNegativeDifferentialIsTwosComplement) {
    EXPECT_EQ(SingleEndedCode(2.5, 5.0, 3), 509);
    EXPECT_EQ(SingleEndedCode(0.0, 5.0, 3), 0);   // at or below the error: left alone
    EXPECT_EQ(SingleEndedCode(0.01, 5.0, 3), 2);  // code 2 <= error 3
    EXPECT_EQ(SingleEndedCode(9.0, 5.0, 3), 1023);
    EXPECT_EQ(SingleEndedCode(-1.0, 5.0, 3), 0);

    EXPECT_EQ(DifferentialCode(-1.25, 5.0, 1), -128);
    EXPECT_EQ(DifferentialCode(1.0, 2.56, 10), 511);     // clamped
    EXPECT_EQ(DifferentialCode(-1.0, 2.56, 200), -512);  // clamped
    EXPECT_EQ(RightAdjusted(-128), (ResultPair{0x03, 0x80}));
    EXPECT_EQ(RightAdjusted(-512), (ResultPair{0x02, 0x00}));
    EXPECT_EQ(RightAdjusted(511), (ResultPair{0x01, 0xFF}));

    EXPECT_EQ(ToLeftAdjusted({0x02, 0xFF}), (ResultPair{0xBF, 0xC0}));
    EXPECT_EQ(ToRightAdjusted({0xBF, 0xC0}), (ResultPair{0x02, 0xFF}));
}

TEST(AdcRules, PrescalerAndErrorRule) {
    EXPECT_EQ(PrescalerFactor(0), 2);
    EXPECT_EQ(PrescalerFactor(1), 2);
    EXPECT_EQ(PrescalerFactor(2), 4);
    EXPECT_EQ(PrescalerFactor(0xFF), 128);
    EXPECT_EQ(ConversionError(999999.0, 0), 2);
    EXPECT_EQ(ConversionError(999999.0, 7), 3);
    EXPECT_EQ(ConversionError(1000000.0, 2), 3);
    EXPECT_EQ(ConversionError(1000000.0, 1), 4);
}

TEST(AdcRules, InputTable) {
    EXPECT_EQ(SelectInput(5).kind, InputSelection::SingleEnded);
    const InputSelection d = SelectInput(13);
    EXPECT_EQ(d.kind, InputSelection::Differential);
    EXPECT_EQ(d.positive, 3);
    EXPECT_EQ(d.negative, 2);
    EXPECT_EQ(d.gain, 10);
    EXPECT_EQ(SelectInput(21).positive, 5);
    EXPECT_EQ(SelectInput(21).negative, 1);
    EXPECT_EQ(SelectInput(29).negative, 2);
    EXPECT_EQ(SelectInput(30).kind, InputSelection::Bandgap);
    EXPECT_EQ(SelectInput(31).kind, InputSelection::Ground);
}

// 50 % of AVcc 5.0 V, 4 MHz clock, prescaler 2: 512 less an error of 3 or 4.
TEST_F(AdcTest, SingleConversionOfHalfScale) {
    model()->GetChannel(0)->set(50);
    const ResultPair r = SingleConversion(kRefsAvcc);
    EXPECT_EQ(r.high, 1);
    EXPECT_TRUE(r.low == 0xFC || r.low == 0xFD) << int(r.low);
    // The model never touches ADSC or ADIF: those belong to the simulator.
    EXPECT_EQ(target().Io()[kAdcsra], kAden);
}

TEST_F(AdcTest, ReferenceSelectionsWithoutConversionWriteZero) {
    model()->GetChannel(0)->set(50);
    target().Io()[kAdch] = 0x55;
    EXPECT_EQ(SingleConversion(0x80), (ResultPair{0, 0}));  // REFS 2
    target().Io()[kAdch] = 0x55;
    EXPECT_EQ(SingleConversion(0x00), (ResultPair{0, 0}));  // REFS 0 without AREF
    view->ExternalArefApplied()->set(1);
    view->ExternalAref()->set(5.0);
    SingleConversion(0x00);
    EXPECT_GT(ResultCode(), 500);
}

TEST_F(AdcTest, MillivoltChannelsBandgapGroundAndMissingChannels) {
    model()->SetMillivoltMode(1);
    model()->GetChannel(1)->set(1280);  // 1.28 V against 2.56 V: 512
    SingleConversion(kRefsInternal | 1);
    EXPECT_GE(ResultCode(), 508);
    EXPECT_LE(ResultCode(), 510);

    SingleConversion(kRefsInternal | 30);  // 1.22 V bandgap: 488 less the error
    EXPECT_GE(ResultCode(), 484);
    EXPECT_LE(ResultCode(), 486);
    SingleConversion(kRefsInternal | 31);
    EXPECT_EQ(ResultCode(), 0);
    // The part has two channels: ADC5 reads 0 V, nothing outside the table.
    model()->GetChannel(0)->set(100);
    SingleConversion(kRefsInternal | 5);
    EXPECT_EQ(ResultCode(), 0);
    EXPECT_EQ(model()->GetChannel(5), nullptr);
}

TEST_F(AdcTest, DifferentialInputs) {
    model()->GetChannel(0)->set(20);
    model()->GetChannel(1)->set(60);
    // MUX 16: ADC0 - ADC1, gain 1: -40 % of 512 = -204.8 -> -204.
    EXPECT_EQ(SingleConversion(kRefsAvcc | 16), RightAdjusted(-204));
    EXPECT_EQ(SingleConversion(kRefsAvcc | 17), (ResultPair{0, 0}));  // ADC1 - ADC1
    // MUX 9: ADC1 - ADC0, gain 10, clamped to 511.
    EXPECT_EQ(SingleConversion(kRefsAvcc | 9), RightAdjusted(511));
    EXPECT_EQ(SingleConversion(kRefsAvcc | 10), (ResultPair{0, 0}));  // ADC0 - ADC0
}

// The same seed gives the same errors; the low bit of the draws varies.
TEST_F(AdcTest, ErrorComesFromASeedablePrivateGenerator) {
    model()->GetChannel(0)->set(50);
    auto sequence = [this] {
        model()->SeedRandom(42);
        std::vector<int> codes;
        for (int i = 0; i < 12; ++i) {
            SingleConversion(kRefsAvcc);
            codes.push_back(ResultCode());
        }
        return codes;
    };
    const std::vector<int> first = sequence();
    EXPECT_EQ(sequence(), first);
    EXPECT_NE(std::count(first.begin(), first.end(), 509), 0);
    EXPECT_NE(std::count(first.begin(), first.end(), 508), 0);
}

TEST_F(AdcTest, AdlarRejustifiesOnceAndIsTrackedWhileDisabled) {
    ProgramWrites(kAdcsra, kAden);
    target().Io()[kAdch] = 0x02;
    target().Io()[kAdcl] = 0xFF;
    ProgramWrites(kAdmux, kRefsAvcc | kAdlar);
    EXPECT_EQ(Result(), (ResultPair{0xBF, 0xC0}));
    ProgramWrites(kAdmux, kRefsAvcc);
    EXPECT_EQ(Result(), (ResultPair{0x02, 0xFF}));

    // ADLAR set before ADEN: nothing to re-justify then, and enabling the
    // converter later does not shift the (already left-adjusted) result.
    ProgramWrites(kAdcsra, 0);
    ProgramWrites(kAdmux, kRefsAvcc | kAdlar);
    EXPECT_EQ(Result(), (ResultPair{0x02, 0xFF}));
    model()->GetChannel(0)->set(100);
    ProgramWrites(kAdcsra, kAden | kAdsc);
    const ResultPair left = Result();
    EXPECT_EQ(left.low & 0x3F, 0);                  // left-adjusted: low six bits clear
    ProgramWrites(kAdmux, kRefsAvcc | kAdlar | 1);  // another ADMUX write, ADLAR kept
    EXPECT_EQ(Result(), left);
}

// Free running: armed by the ADSC edge, sampling every 14 x prescaler
// cycles; clearing ADIF neither re-arms nor stretches the period; the
// model never raises ADIF.
TEST_F(AdcTest, FreeRunningSamplesOnItsOwnTimer) {
    RunTo(1000);
    model()->GetChannel(0)->set(25);
    ProgramWrites(kAdmux, kRefsAvcc);
    ProgramWrites(kAdcsra, kAden | kAdate | kAdsc | 1);  // prescaler 2: period 28
    ASSERT_TRUE(model()->FreeRunningArmed());
    const uint32_t due = model()->NextDueCycle();
    EXPECT_EQ(due, 1028u);
    const int first = ResultCode();
    EXPECT_NEAR(first, 256, 4);

    model()->GetChannel(0)->set(75);
    RunTo(1020);
    ProgramWrites(kAdcsra, kAden | kAdate | kAdsc | kAdif | 1);  // simulator raised ADIF
    ProgramWrites(kAdcsra, kAden | kAdate | kAdsc | 1);          // program cleared it
    EXPECT_EQ(model()->NextDueCycle(), due);
    RunTo(1027);
    EXPECT_EQ(ResultCode(), first);
    RunTo(1028);
    EXPECT_NEAR(ResultCode(), 768, 4);
    EXPECT_EQ(model()->NextDueCycle(), 1056u);
    EXPECT_EQ(target().Io()[kAdcsra] & kAdif, 0);

    // Switching the converter off stops the sampling; the next start is a
    // fresh edge (as after a reset).
    ProgramWrites(kAdcsra, 0);
    EXPECT_FALSE(model()->FreeRunningArmed());
    ProgramWrites(kAdcsra, kAden | kAdate | kAdsc | 1);
    EXPECT_TRUE(model()->FreeRunningArmed());
}

TEST_F(AdcTest, FreeRunningDueTimeAcrossTheWrapOfTheCycleCount) {
    RunTo(0xFFFFFFF0u);
    ProgramWrites(kAdmux, kRefsAvcc);
    ProgramWrites(kAdcsra, kAden | kAdate | kAdsc | 1);
    EXPECT_EQ(model()->NextDueCycle(), 0x0000000Cu);
    model()->GetChannel(0)->set(100);
    const int before = ResultCode();
    RunTo(0xFFFFFFFEu);  // before the due time, although numerically larger
    EXPECT_EQ(ResultCode(), before);
    RunTo(0x0000000Cu);  // due, although numerically smaller
    EXPECT_GT(ResultCode(), 1000);
}

// Every register change reaches the model during a refresh: the conversion
// is deferred and carried out right after it, once.
TEST_F(AdcTest, ConversionDuringARefreshIsDeferredNotDropped) {
    model()->GetChannel(0)->set(50);
    ProgramWrites(kAdmux, kRefsAvcc);
    target().Io()[kAdcsra] = kAden | kAdsc;
    target().writes.clear();
    Refresh();
    EXPECT_FALSE(model()->ConversionPending());
    EXPECT_EQ(Result().high, 1);
    EXPECT_FALSE(view->IsRefreshing());
}

TEST_F(AdcTest, QueriesUseTheCachedSimulatorFlag) {
    model()->GetChannel(0)->set(50);
    const size_t before = services().messages.size();
    for (int i = 0; i < 5; ++i) SingleConversion(kRefsAvcc);
    EXPECT_EQ(services().messages.size(), before);  // no target round trip, no output line
}

TEST_F(AdcTest, SettingsGovernTheConverterAndItsClock) {
    model()->GetChannel(0)->set(50);
    view->General().adcEnabled = false;
    target().Io()[kAdch] = 0x77;
    SingleConversion(kRefsAvcc);
    EXPECT_EQ(Result().high, 0x77);
    view->General().adcEnabled = true;

    // A predefined 1 MHz clock with prescaler 2: a 500 kHz converter clock,
    // so the error is 2 or 3.
    view->General().clockPredefined = true;
    view->General().clockValue = "  1.000000";
    EXPECT_DOUBLE_EQ(view->ClockMHz(), 1.0);
    SingleConversion(kRefsAvcc);
    EXPECT_TRUE(ResultCode() == 509 || ResultCode() == 510) << ResultCode();
    view->General().clockValue = "none";  // not a number: the detected clock
    EXPECT_DOUBLE_EQ(view->ClockMHz(), 4.0);

    // REFS 3 uses the internal reference setting.
    view->InternalReference()->set(2.0);
    SingleConversion(kRefsInternal);  // 50 % of 2.0 V against 2.0 V
    EXPECT_NEAR(ResultCode(), 508, 2);
}

TEST_F(AdcTest, ChannelClaimsAndFlagsIgnoreIndicesOutside) {
    EXPECT_EQ(model()->ChannelCount(), 2);
    EXPECT_EQ(model()->FirstFreeChannel(), 0);
    model()->ClaimChannel(0);
    EXPECT_EQ(model()->FirstFreeChannel(), 1);
    model()->ClaimChannel(1);
    EXPECT_EQ(model()->FirstFreeChannel(), -1);
    model()->ReleaseChannel(0);
    EXPECT_EQ(model()->FirstFreeChannel(), 0);
    model()->ClaimChannel(7);
    model()->SetMillivoltMode(-1);
    EXPECT_FALSE(model()->IsClaimed(7));
    EXPECT_FALSE(model()->IsMillivoltMode(-1));
}

TEST_F(AdcTest, NewSessionReplacesTheModelAndReleasesItsWatchers) {
    const int32_t watchers = view->IORegister(kAdcsra)->activeCount();
    view->HandleEvent(kEventTargetReady, nullptr);
    ASSERT_NE(model(), nullptr);
    EXPECT_EQ(view->IORegister(kAdcsra)->activeCount(), watchers);
}

TEST_F(AdcTest, InertWithoutTheSimulator) {
    view->HandleEvent(kEventSessionEnded, nullptr);
    EXPECT_FALSE(model()->IsEnabled());
    EXPECT_EQ(model()->SelectedChannel(), 0);
    EXPECT_EQ(model()->PrescalerFactor(), 1);
}
