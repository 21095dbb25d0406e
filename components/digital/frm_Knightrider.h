// Knight Rider: a bar of eight red segments showing one whole output port,
// and a toggle switch on a pin of an input port, under a title picture.
#pragma once

#include <QPixmap>
#include <array>
#include <memory>

#include "framework/PinBinding.h"
#include "framework/PluginForm.h"
#include "framework/PortSettingsDialog.h"

class PictureControl;

// Settings dialog 207: output port combo 226, input port combo 227, the
// switch pin and the register mode.
class frm_Knightrider_configure : public PortSettingsDialog {
    Q_OBJECT
public:
    int outputPort = 0;
    int inputPort = 1;

    explicit frm_Knightrider_configure(QWidget* parent);
};

class frm_Knightrider : public PluginForm {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::knightrider::kTemplate;
    static constexpr int kSettingsTemplate = ids::knightrider::kSettingsTemplate;
    static constexpr int kSwitch = ids::knightrider::kSwitch;
    static constexpr int kTitle = ids::knightrider::kTitle;
    static constexpr int kFirstSegment =
        ids::knightrider::kFirstSegment;  // bit 7, leftmost; 218 is bit 0

    frm_Knightrider(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_Knightrider() override;

    // Refills the port list and binds again (also on every UpdateRequest).
    void refreshPortMap() { ports_.refresh(); }
    // A click on the switch.
    void toggleSwitch();

    // Segment showing bit `bit` (0..7).
    PictureControl* segment(int bit) const { return segment_[static_cast<size_t>(bit)]; }
    PictureControl* switchPicture() const { return switchPicture_; }
    frm_Knightrider_configure* settings() const { return settings_; }
    // The byte the bar shows.
    uint8_t shownByte() const { return shown_; }
    const OutputPort& output() const { return output_; }
    const InputPin& input() const { return input_; }
    // Register indices in use; -1 when not connected.
    int outputAddress() const { return output_.levelIndex(); }
    int outputDdrAddress() const { return output_.ddrIndex(); }
    int inputPinAddress() const { return input_.pinIndex(); }
    int inputPin() const { return inputPin_; }
    bool useDdrAndPort() const { return output_.choice().mode == UseDdrAndPort; }

protected:
    void initDialog() override;
    void onCommand(int id) override;

private:
    void onLevelChanged();
    void showBar(uint8_t byte);
    void configure();
    void updateWiring();

    PictureControl* title_;
    PictureControl* switchPicture_;
    std::array<PictureControl*, 8> segment_{};
    QPixmap litBitmap_, darkBitmap_, switchOnBitmap_, switchOffBitmap_;
    frm_Knightrider_configure* settings_;
    int inputPin_ = 7;
    uint8_t shown_ = 0;
    PortRegisters ports_;
    OutputPort output_;
    InputPin input_;
};
