// LED: one pin of the simulated part shown as a green light.
#pragma once

#include <QPixmap>
#include <memory>

#include "framework/PinBinding.h"
#include "framework/PluginForm.h"
#include "framework/PortSettingsDialog.h"

class PictureControl;

// Settings dialog 222: port combo box 244, pin, mode, active low.
class frm_LED_configure : public SinglePortSettingsDialog {
    Q_OBJECT
public:
    explicit frm_LED_configure(QWidget* parent);
};

class frm_LED : public PluginForm {
    Q_OBJECT
public:
    static constexpr int kPicture = ids::led::kPicture;
    static constexpr int kTemplate = ids::led::kTemplate;
    static constexpr int kSettingsTemplate = ids::led::kSettingsTemplate;

    frm_LED(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_LED() override;

    // Refills the port list and binds again (also on every UpdateRequest).
    void refreshPortMap() { ports_.refresh(); }

    bool isLit() const { return lit_; }
    PictureControl* picture() const { return picture_; }
    frm_LED_configure* settings() const { return settings_; }
    const PortMap& portMap() const { return ports_.map(); }
    const OutputPort& output() const { return output_; }
    // Register indices currently watched: PINx (or PORTx) and DDRx; -1
    // when not connected.
    int pinAddress() const { return output_.levelIndex(); }
    int ddrAddress() const { return output_.ddrIndex(); }
    int pin() const { return pin_; }
    bool useDdrAndPort() const { return output_.choice().mode == UseDdrAndPort; }
    bool activeLow() const { return activeLow_; }

protected:
    void initDialog() override;
    void onCommand(int id) override;

private:
    void portsRefilled();
    void onLevelChanged();
    void showPin(uint8_t byte);
    void configure();
    // Shows the pin and its sense in the window's caption.
    void updateWiring();

    PictureControl* picture_;
    frm_LED_configure* settings_;
    QPixmap litBitmap_, darkBitmap_;
    bool activeLow_ = false;
    int pin_ = 7;
    bool lit_ = false;
    PortRegisters ports_;
    OutputPort output_;
};
