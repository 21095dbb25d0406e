// Switch: a toggle switch on one input pin; each click flips the pin's bit
// in PINx. The switch does not watch its registers; its port list follows
// UpdateRequest so that a change of part rebinds it.
#pragma once

#include <QPixmap>

#include "framework/PinBinding.h"
#include "framework/PluginForm.h"
#include "framework/PortSettingsDialog.h"

class PictureControl;

// Settings dialog 231: port combo box 227, pin, mode, active low.
class frm_Switch_configure : public SinglePortSettingsDialog {
    Q_OBJECT
public:
    explicit frm_Switch_configure(QWidget* parent);
};

class frm_Switch : public PluginForm {
    Q_OBJECT
public:
    static constexpr int kPicture = ids::sw::kPicture;
    static constexpr int kTemplate = ids::sw::kTemplate;
    static constexpr int kSettingsTemplate = ids::sw::kSettingsTemplate;

    frm_Switch(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_Switch() override;

    // Flips the bound pin (a click on the picture).
    void toggle();

    PictureControl* picture() const { return picture_; }
    frm_Switch_configure* settings() const { return settings_; }
    const PortMap& portMap() const { return ports_.map(); }
    const InputPin& input() const { return input_; }
    int pin() const { return pin_; }
    bool useDdrAndPort() const { return input_.choice().mode == UseDdrAndPort; }
    bool activeLow() const { return activeLow_; }

protected:
    void initDialog() override;
    void onCommand(int id) override;

private:
    void configure();
    void updateWiring();

    PictureControl* picture_;
    frm_Switch_configure* settings_;
    QPixmap onBitmap_, offBitmap_;
    int pin_ = 0;
    bool activeLow_ = false;
    PortRegisters ports_;
    InputPin input_;
};
