// Slider, Capacity Measurement and Beerbasement windows: channel claims and
// resolution through the current converter model, release-to-write,
// typed millivolts, the capacity dialog's validation, the oscillator on its
// pin, the cellar's pictures.
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include "components/analog/ADC.h"
#include "components/analog/frm_Beerbasement.h"
#include "components/analog/frm_Capacity_Measurement.h"
#include "components/analog/frm_Slider.h"
#include "components/analog/pp_Beerbasement_config.h"
#include "components/analog/pp_general_slider.h"
#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class AnalogTest : public QuillUiTest {
protected:
    ADC* adc() { return core()->AdcModel(); }
    uint32_t channelValue(int c) { return adc()->GetChannel(c)->get(); }
    static void releaseOn(QSlider* slider) {
        QTest::mouseRelease(slider, Qt::LeftButton, {}, slider->rect().center());
    }
    // Runs "Settings..." of `form`; `answer` gets the sheet.
    void configure(PluginForm* form, const std::function<void(QDialog*)>& answer) {
        answerDialogs([answer](QDialog* d) { answer(d); });
        triggerMenu(form, PluginForm::kSettingsCommand);
    }
};

}  // namespace

TEST_F(AnalogTest, SlidersClaimFreeChannelsAndWriteOnRelease) {
    ASSERT_NE(adc(), nullptr);
    auto* first = open<frm_Slider>(kCmdSlider);
    auto* second = open<frm_Slider>(kCmdSlider);
    EXPECT_EQ(first->channel(), 0);
    EXPECT_EQ(second->channel(), 1);
    EXPECT_TRUE(adc()->IsClaimed(0));
    EXPECT_EQ(first->percentText(), "50%");
    EXPECT_EQ(first->millivoltEdit()->text(), "1280");

    first->trackbar()->setValue(100);  // scrolling shows, writes nothing
    EXPECT_EQ(first->percentText(), "100%");
    EXPECT_EQ(first->millivoltEdit()->text(), "2560");
    EXPECT_EQ(channelValue(0), 0u);
    releaseOn(first->trackbar());
    EXPECT_EQ(channelValue(0), 100u);

    // Typed millivolts move the trackbar, rounded; above full scale the
    // text becomes the full scale. The channel waits for the release.
    first->millivoltEdit()->clear();
    QTest::keyClicks(first->millivoltEdit(), "3000");
    EXPECT_EQ(first->millivoltEdit()->text(), "2560");
    EXPECT_EQ(first->trackbar()->value(), 100);
    first->millivoltEdit()->clear();
    QTest::keyClicks(first->millivoltEdit(), "1203");
    EXPECT_EQ(first->trackbar()->value(), 47);
    EXPECT_EQ(channelValue(0), 100u);
    releaseOn(first->trackbar());
    EXPECT_EQ(channelValue(0), 47u);

    // Closing releases the claim.
    delete second;
    EXPECT_FALSE(adc()->IsClaimed(1));
}

TEST_F(AnalogTest, SliderConfigurationKeepsOrMovesItsChannel) {
    auto* other = open<frm_Slider>(kCmdSlider);
    auto* slider = open<frm_Slider>(kCmdSlider);
    ASSERT_EQ(other->channel(), 0);
    ASSERT_EQ(slider->channel(), 1);
    // Its own channel is listed and preselected: OK keeps it. AVCC as the
    // reference: typed 1000 mV at 5.0 V is 20 %.
    configure(slider, [](QDialog* d) {
        auto* list = findControlAs<QComboBox>(d, ids::slider::kChannelList);
        EXPECT_EQ(list->itemText(0), "ADC1");  // ADC0 belongs to the other slider
        EXPECT_EQ(list->currentText(), "ADC1");
        clickControl(d, ids::slider::kUseAvcc);
        clickControl(d, 1);
    });
    EXPECT_EQ(slider->channel(), 1);
    EXPECT_DOUBLE_EQ(slider->fullScaleVolts(), 5.0);
    slider->millivoltEdit()->clear();
    QTest::keyClicks(slider->millivoltEdit(), "1000");
    EXPECT_EQ(slider->trackbar()->value(), 20);

    configure(slider, [](QDialog* d) {
        auto* list = findControlAs<QComboBox>(d, ids::slider::kChannelList);
        list->setCurrentIndex(list->findText("ADC3"));
        clickControl(d, 1);
    });
    EXPECT_EQ(slider->channel(), 3);
    EXPECT_FALSE(adc()->IsClaimed(1));
    EXPECT_TRUE(adc()->IsClaimed(3));
    EXPECT_EQ(slider->percentText(), "0%");

    // Every channel claimed elsewhere: the slider keeps its channel and
    // says why.
    core()->General().warningsDisabled = true;
    for (int c = 0; c < adc()->ChannelCount(); ++c) {
        if (c != 3) adc()->ClaimChannel(c);
    }
    delete slider;  // frees channel 3 too
    adc()->ClaimChannel(3);
    auto* late = open<frm_Slider>(kCmdSlider);
    EXPECT_EQ(late->channel(), -1);
    configure(late, [](QDialog* d) {
        EXPECT_EQ(findControlAs<QComboBox>(d, ids::slider::kChannelList)->count(), 0);
        clickControl(d, 1);
    });
    EXPECT_EQ(late->channel(), -1);
    EXPECT_TRUE(late->status().contains("keeps its channel")) << late->status().toStdString();
    late->trackbar()->setValue(80);
    releaseOn(late->trackbar());  // drives nothing, touches no channel
    EXPECT_EQ(channelValue(3), 0u);
}

// The millivolt box and the converter-true millivolts follow the reference
// ADMUX selects and the settings; the slider's own choice counts only while
// the program selects none.
TEST_F(AnalogTest, SliderMillivoltsFollowTheProgramsReference) {
    auto* slider = open<frm_Slider>(kCmdSlider);
    releaseOn(slider->trackbar());  // 50 % on ADC0
    auto shown = [slider] { return slider->millivoltEdit()->text(); };
    EXPECT_EQ(shown(), "1280");  // ADMUX 0 converts nothing: the internal 2.56 V chosen
    drive("ADMUX", 0x40);        // AVCC
    EXPECT_EQ(shown(), "2500");
    EXPECT_EQ(slider->channelMillivolts(), 2500);
    core()->AVcc()->set(4.0);
    EXPECT_EQ(shown(), "2000");
    drive("ADMUX", 0xC0);  // internal reference
    EXPECT_EQ(shown(), "1280");
    core()->InternalReference()->set(2.0);
    EXPECT_EQ(shown(), "1000");
    EXPECT_EQ(slider->channelMillivolts(), 1000);
    slider->millivoltEdit()->clear();
    QTest::keyClicks(slider->millivoltEdit(), "1500");  // 75 % of 2.0 V
    EXPECT_EQ(slider->trackbar()->value(), 75);
    drive("ADMUX", 0x80);  // reserved: the slider's own choice again
    EXPECT_EQ(shown(), "1500");
}

// Stop and Start Debugging build a new converter model: it keeps what the
// windows feed (values, the cellar's millivolts, both claims), and the
// slider resolves its channel number through it.
TEST_F(AnalogTest, SliderFollowsAReplacedConverterModel) {
    auto* slider = open<frm_Slider>(kCmdSlider);
    auto* bb = open<frm_Beerbasement>(kCmdBeerbasement);
    slider->trackbar()->setValue(60);
    releaseOn(slider->trackbar());
    const ADC* before = adc();
    for (int event : {104, 101, 103}) core()->HandleEvent(event, nullptr);
    ASSERT_NE(adc(), before);
    EXPECT_EQ(channelValue(0), 60u);
    EXPECT_EQ(channelValue(1), 2003u);
    EXPECT_TRUE(adc()->IsMillivoltMode(1));
    EXPECT_FALSE(adc()->IsMillivoltMode(0));
    EXPECT_TRUE(adc()->IsClaimed(0) && adc()->IsClaimed(1));
    EXPECT_EQ(open<frm_Slider>(kCmdSlider)->channel(), 2);

    slider->trackbar()->setValue(70);
    releaseOn(slider->trackbar());
    EXPECT_EQ(channelValue(0), 70u);
    EXPECT_EQ(bb->channelValue(), 2003);
}

TEST_F(AnalogTest, CapacityDefaultsValidationAndTheOscillatorPin) {
    auto* cm = open<frm_Capacity_Measurement>(kCmdCapacityMeasurement);
    ASSERT_NE(cm, nullptr);
    EXPECT_EQ(cm->frequencyText(), "2005.01");  // 4 MHz
    EXPECT_EQ(cm->capacitanceText(), "0.000000010");
    EXPECT_EQ(cm->pinAddress(), address("PINB"));

    answerDialogs([](QDialog* d) {
        auto* value = findControlAs<QLineEdit>(d, dlg_Capacity_configure::kCapacitance);
        EXPECT_EQ(value->text(), "10");
        value->setText("1001");
        clickControl(d, 1);
        EXPECT_TRUE(d->isVisible()) << "more than 1000 nF is refused";
        value->setText("100");
        auto* ports = findControlAs<QComboBox>(d, dlg_Capacity_configure::kPort);
        EXPECT_EQ(ports->count(), 4);  // refilled, not appended
        ports->setCurrentIndex(ports->findText("PINC"));
        clickControl(d, dlg_Capacity_configure::kPinIds[3]);
        clickControl(d, 1);
    });
    leftClick(findControl(cm, frm_Capacity_Measurement::kCapacitor));
    EXPECT_DOUBLE_EQ(cm->cx(), 1e-7);
    EXPECT_EQ(cm->pinAddress(), address("PINC"));
    // 110 nF at 4 MHz: 7318 cycles high, 3659 low.
    EXPECT_EQ(cm->oscillator().timing().high, 7318u);
    EXPECT_EQ(cm->oscillator().timing().low, 3659u);

    const uint32_t start = cm->oscillator().nextCycle() - 3659;
    host().target().cycleCounter = start + 3658;
    refresh();
    EXPECT_EQ(io("PINC") & 0x08, 0);
    host().target().cycleCounter = start + 3659;
    refresh();
    EXPECT_EQ(io("PINC") & 0x08, 0x08);
    host().target().cycleCounter = start + 3659 + 7318;
    refresh();
    EXPECT_EQ(io("PINC") & 0x08, 0);
}

// On a part without port A the dialog shows the bound port by its letter
// (PINB is the first entry there): OK after changing only Cx keeps PB6.
class AnalogAtmega8Test : public AnalogTest {
protected:
    AnalogAtmega8Test() { partName = "ATmega8"; }
};

TEST_F(AnalogAtmega8Test, CapacityDialogShowsTheBoundPort) {
    auto* cm = open<frm_Capacity_Measurement>(kCmdCapacityMeasurement);
    ASSERT_EQ(cm->pinAddress(), address("PINB"));
    answerDialogs([](QDialog* d) {
        EXPECT_EQ(findControlAs<QComboBox>(d, dlg_Capacity_configure::kPort)->currentText(),
                  "PINB");
        findControlAs<QLineEdit>(d, dlg_Capacity_configure::kCapacitance)->setText("100");
        clickControl(d, 1);
    });
    leftClick(findControl(cm, frm_Capacity_Measurement::kCapacitor));
    EXPECT_DOUBLE_EQ(cm->cx(), 1e-7);
    EXPECT_EQ(cm->pinAddress(), address("PINB"));
    EXPECT_EQ(cm->pin(), 6);
}

// On an ATtiny85 the lists run to its four channels, "Use AVCC" is Vcc (the
// part has no AVcc pin), and the millivolts follow REFS2 as well.
class AnalogAttiny85Test : public AnalogTest {
protected:
    AnalogAttiny85Test() { partName = "ATtiny85"; }
};

TEST_F(AnalogAttiny85Test, SliderListsFourChannelsAndTakesVccForAvcc) {
    auto* slider = open<frm_Slider>(kCmdSlider);
    releaseOn(slider->trackbar());  // 50 % on ADC0
    core()->Vcc()->set(4.0);
    core()->AVcc()->set(5.0);
    drive("ADMUX", 0xC0);  // REFS 011 is reserved: the slider's own choice counts
    configure(slider, [](QDialog* d) {
        auto* list = findControlAs<QComboBox>(d, ids::slider::kChannelList);
        EXPECT_EQ(list->count(), 4);
        EXPECT_EQ(list->itemText(3), "ADC3");
        EXPECT_EQ(findControlAs<QAbstractButton>(d, ids::slider::kUseInternalVref)->text(),
                  "Use internal VREF (2.56V)");
        clickControl(d, ids::slider::kUseAvcc);
        clickControl(d, 1);
    });
    EXPECT_DOUBLE_EQ(slider->fullScaleVolts(), 4.0);
    releaseOn(slider->trackbar());
    auto shown = [slider] { return slider->millivoltEdit()->text(); };
    slider->trackbar()->setValue(50);
    EXPECT_EQ(shown(), "2000");
    drive("ADMUX", 0x00);  // Vcc, the program's choice
    core()->Vcc()->set(3.0);
    EXPECT_EQ(shown(), "1500");
    drive("ADMUX", 0x80);  // 010: the fixed 1.1 V
    EXPECT_EQ(shown(), "550");
    drive("ADMUX", 0x90);  // 110: REFS2 alone moves it to 2.56 V
    EXPECT_EQ(shown(), "1280");
}

// On an ATmega2560 the Beerbasement and the Slider reach ADC8..ADC15, and
// the cellar's millivolts go to a conversion of ADC15 (MUX5 in ADCSRB).
class AnalogAtmega2560Test : public AnalogTest {
protected:
    AnalogAtmega2560Test() { partName = "ATmega2560"; }
    void prepareHost(memhost::InMemoryHost& h) override { h.target().SetLayout(0x200, 8192); }
};

TEST_F(AnalogAtmega2560Test, ChannelListsRunToAdc15) {
    auto* slider = open<frm_Slider>(kCmdSlider);
    auto* bb = open<frm_Beerbasement>(kCmdBeerbasement);
    EXPECT_EQ(slider->channel(), 0);
    configure(bb, [](QDialog* d) {
        auto* list = findControlAs<QComboBox>(d, ids::slider::kChannelList);
        EXPECT_EQ(list->count(), 15);  // ADC0 is the slider's
        list->setCurrentIndex(list->findText("ADC15"));
        clickControl(d, 1);
    });
    ASSERT_EQ(bb->channel(), 15);
    bb->trackbar()->setValue(25);
    releaseOn(bb->trackbar());
    EXPECT_EQ(channelValue(15), 1492u);
    drive("ADCSRB", 0x08);   // MUX5
    drive("ADMUX", 0x47);    // AVcc, MUX 100111: ADC15
    drive("ADCSRA", 0x80);
    drive("ADCSRA", 0xC0);   // start: 1.492 V of 5 V
    const int code = io("ADCH") * 256 + io("ADCL");
    EXPECT_LE(code, 305);
    EXPECT_GE(code, 301);
}

// Without a clock frequency the oscillator stops with a status instead of
// toggling the pin on every instruction.
TEST_F(AnalogTest, CapacityStopsWithoutAClockFrequency) {
    auto* cm = open<frm_Capacity_Measurement>(kCmdCapacityMeasurement);
    host().target().frequency = "0";
    core()->HandleEvent(18, nullptr);  // detect again, registers start over
    EXPECT_FALSE(cm->oscillator().running());
    EXPECT_TRUE(cm->status().contains("stopped")) << cm->status().toStdString();
    const uint8_t before = io("PINB");
    for (uint32_t c = 10; c < 60; c += 10) {
        host().target().cycleCounter = c;
        refresh();
    }
    EXPECT_EQ(io("PINB"), before);
}

TEST_F(AnalogTest, BeerbasementWritesItsChannelAtStartAndOnRelease) {
    auto* slider = open<frm_Slider>(kCmdSlider);
    auto* bb = open<frm_Beerbasement>(kCmdBeerbasement);
    ASSERT_NE(bb, nullptr);
    EXPECT_EQ(slider->channel(), 0);
    EXPECT_EQ(bb->channel(), 1);  // not channel 0 as well
    EXPECT_TRUE(adc()->IsMillivoltMode(1));
    EXPECT_EQ(channelValue(1), 2003u);  // 15 degrees, before any move
    EXPECT_EQ(bb->temperatureText(), "15°C");

    bb->trackbar()->setValue(25);
    EXPECT_EQ(bb->temperatureText(), "25°C");
    EXPECT_EQ(channelValue(1), 2003u);
    releaseOn(bb->trackbar());
    EXPECT_EQ(channelValue(1), 1492u);

    // Moving to channel 7 releases channel 1 and writes the voltage there.
    configure(bb, [](QDialog* d) {
        auto* list = findControlAs<QComboBox>(d, ids::slider::kChannelList);
        list->setCurrentIndex(list->findText("ADC7"));
        clickControl(d, 1);
    });
    EXPECT_EQ(bb->channel(), 7);
    EXPECT_FALSE(adc()->IsClaimed(1));
    EXPECT_FALSE(adc()->IsMillivoltMode(1));
    EXPECT_EQ(channelValue(7), 1492u);
}

TEST_F(AnalogTest, BeerbasementOutputsAndCellarPictures) {
    auto* bb = open<frm_Beerbasement>(kCmdBeerbasement);
    EXPECT_EQ(bb->cellarBitmap(), bitmap::kCellarNormal);
    setIo("PINA", 0x01);  // heater (pin 0 of port A) on
    refresh();
    EXPECT_TRUE(bb->ledOn(frm_Beerbasement::Heater));
    EXPECT_EQ(bb->cellarBitmap(), bitmap::kCellarHot);
    setIo("PINA", 0x00);
    refresh();
    EXPECT_EQ(bb->cellarBitmap(), bitmap::kCellarNormal);

    // Heater C0, cooler C1, status C2 through DDRC and PORTC. The sheet's
    // pages number their controls independently (status pin 6 and the Vcc
    // trackbar are both 262): controls are looked up on their page.
    configure(bb, [](QDialog* d) {
        d->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
        auto* page = d->findChild<QWidget*>("page_236");
        ASSERT_NE(page, nullptr);
        for (int id : {pp_Beerbasement_config::kHeaterPort, pp_Beerbasement_config::kCoolerPort,
                       pp_Beerbasement_config::kStatusPort}) {
            auto* combo = findControlAs<QComboBox>(page, id);
            combo->setCurrentIndex(combo->findText("PINC"));
        }
        leftClick(findControl(page, pp_Beerbasement_config::PinControl(1, 1)));
        leftClick(findControl(page, pp_Beerbasement_config::PinControl(2, 2)));
        leftClick(findControl(page, pp_Beerbasement_config::kDdrBehaviour));
        clickControl(d, 1);
    });
    EXPECT_EQ(bb->wiring().pin[1], 1);
    EXPECT_EQ(bb->wiring().pin[2], 2);
    EXPECT_EQ(bb->wiring().port[0], 2);
    EXPECT_EQ(bb->wiring().behaviour, UseDdrAndPort);
    setIo("DDRC", 0x07);
    setIo("PORTC", 0x02);  // cooler on
    refresh();
    EXPECT_TRUE(bb->ledOn(frm_Beerbasement::Cooler));
    EXPECT_EQ(bb->cellarBitmap(), bitmap::kCellarCold);
    setIo("PORTC", 0x07);  // heater switched on last: hot
    refresh();
    EXPECT_EQ(bb->cellarBitmap(), bitmap::kCellarHot);
    EXPECT_TRUE(bb->ledOn(frm_Beerbasement::Status));
    setIo("DDRC", 0x00);  // set in PORTC but no output: off
    setIo("PORTC", 0x06);
    refresh();
    EXPECT_FALSE(bb->ledOn(frm_Beerbasement::Heater));
    EXPECT_FALSE(bb->ledOn(frm_Beerbasement::Cooler));
    // Each output follows its own new pin, also when nothing else moves.
    setIo("DDRC", 0x07);
    setIo("PORTC", 0x00);
    refresh();
    setIo("PORTC", 0x02);
    refresh();
    EXPECT_TRUE(bb->ledOn(frm_Beerbasement::Cooler));
    EXPECT_FALSE(bb->ledOn(frm_Beerbasement::Status));
}
