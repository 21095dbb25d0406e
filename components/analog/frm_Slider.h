// Slider: one vertical trackbar that sets an analog input voltage, as a
// percentage of a full-scale voltage, on one converter channel.
//
// The millivolt box shows the voltage the program's conversion sees: the
// percentage of the reference ADMUX selects, and only while the program
// selects none (or there is no converter), of the slider's own reference
// choice. It follows changes of REFS and of the electrical settings.
//
// The slider holds its channel's number, never a pointer: the channel is
// resolved through the core's current converter model each time, so a
// model rebuilt for a new debug session leaves nothing dangling. It claims
// a free channel when it opens and releases its claim when it moves to
// another channel or closes. The channel is written when the user lets go
// of the trackbar (a typed millivolt value only moves the trackbar).
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "contract/ResourceIds.h"
#include "framework/Observer.h"
#include "framework/PinBinding.h"
#include "framework/PluginForm.h"

class ADC;
class QLabel;
class QLineEdit;
class QSlider;
class frm_Slider_configure;

class frm_Slider : public PluginForm {
    Q_OBJECT
    // For tools that check what the slider feeds (the host's scenarios):
    // the channel number (-1: none), its value (a percentage; -1 when there
    // is no channel) and the millivolts a conversion of it sees.
    Q_PROPERTY(int channel READ channel)
    Q_PROPERTY(int channelValue READ channelValue)
    Q_PROPERTY(int channelMillivolts READ channelMillivolts)
public:
    frm_Slider(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_Slider() override;

    int channel() const { return channel_; }  // -1: none
    int percent() const { return percent_; }
    int channelValue() const;
    int channelMillivolts() const;
    // The full scale the millivolt box uses: the program's reference, or
    // the slider's own choice while the program selects none.
    double fullScaleVolts() const;
    int reference() const { return reference_; }
    QSlider* trackbar() const { return trackbar_; }
    QLineEdit* millivoltEdit() const { return millivolts_; }
    QString percentText() const;
    QString status() const;

    // The user let go of the trackbar: the channel receives the percentage.
    void released();
    // A value typed into the millivolt box (as the box's text changes).
    void typedMillivolts(const QString& text);

protected:
    void initDialog() override;
    void onCommand(int id) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ADC* model() const;
    void scrolled(int position);
    double ownFullScaleVolts() const;
    void watchReference();
    void partChanged();
    void showMillivolts();
    void configure();
    void updateWiring() { showWiring(ChannelLabel(channel_)); }
    void setStatus(const QString& text);

    QSlider* trackbar_;
    QLabel* percentText_;
    QLineEdit* millivolts_;
    QLabel* status_;
    int channel_ = -1;
    int percent_ = 50;
    int reference_ = 2;
    // The reference bits (REFS) and the electrical settings: the full scale
    // follows them; the part's registers are watched again when it changes.
    std::vector<std::unique_ptr<CallOnBitsChange<frm_Slider, uint8_t>>> refsWatch_;
    std::unique_ptr<CallOnWrite<frm_Slider>> partWatch_;
    std::vector<std::unique_ptr<CallOnWrite<frm_Slider>>> settingsWatch_;
    bool updating_ = false;
};
