// Beerbasement: a cellar with a heater, a cooler and a status light on
// three output pins, and a user-set temperature that reaches a converter
// channel through the thermistor divider (Thermistor.h), in millivolts.
//
// The window holds its channel's number and resolves it through the core's
// current converter model; without a converter the temperature reaches no
// channel and the window says so. It claims a free channel when it opens
// and writes the divider's voltage at once, when the user lets go of the
// trackbar and when it moves to another channel, so a program never reads
// a channel that has not been given the cellar's temperature.
#pragma once

#include <QPixmap>
#include <array>
#include <memory>

#include "contract/ResourceIds.h"
#include "framework/PinBinding.h"
#include "framework/PluginForm.h"

class ADC;
class PictureControl;
class QLabel;
class QSlider;

class frm_Beerbasement : public PluginForm {
    Q_OBJECT
    // For tools that check what the cellar feeds (the host's scenarios): the
    // channel number (-1: none), its value in millivolts (-1: none), and
    // the millivolts a conversion of it sees.
    Q_PROPERTY(int channel READ channel)
    Q_PROPERTY(int channelValue READ channelValue)
    Q_PROPERTY(int channelMillivolts READ channelMillivolts)
public:
    enum Kind : int { Heater = 0, Cooler = 1, Status = 2 };

    frm_Beerbasement(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_Beerbasement() override;

    // The three outputs: port (position in the port list), pin, and the
    // register mode shared by all three.
    struct Wiring {
        std::array<int, 3> port{0, 0, 0};
        std::array<int, 3> pin{0, 0, 0};
        int behaviour = UsePin;
    };
    const Wiring& wiring() const { return wiring_; }
    int channel() const { return channel_; }
    int temperature() const { return temperature_; }
    uint32_t sensorMillivolts() const;
    int channelValue() const;
    int channelMillivolts() const;
    bool ledOn(int kind) const { return leds_[static_cast<size_t>(kind)]; }
    int cellarBitmap() const;
    QSlider* trackbar() const { return trackbar_; }
    QString temperatureText() const;
    QString status() const;
    const std::vector<std::string>& portList() const { return ports_.list(); }

    // The user moved the trackbar (display only) / let go of it (channel).
    void setTemperature(int celsius);
    void released();

    // An output's register changed (PINx, or DDRx/PORTx by the behaviour).
    void OnOutput(int kind);
    void ShowOutput(uint8_t value, int kind);

protected:
    void initDialog() override;
    void onCommand(int id) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ADC* model() const;
    void bindOutputs();
    void writeChannel();
    void moveToChannel(int channel);
    void configure();
    void updateWiring();

    QSlider* trackbar_;
    QLabel* temperatureText_;
    QLabel* status_;
    PictureControl* cellar_;
    std::array<PictureControl*, 3> ledPictures_{};
    std::array<bool, 3> leds_{};
    Wiring wiring_;
    PortRegisters ports_;
    std::array<std::unique_ptr<OutputPort>, 3> outputs_;
    int channel_ = -1;
    int temperature_ = 15;
    int cellarPicture_;
};
