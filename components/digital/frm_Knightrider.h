// Knight Rider: a bar of eight red segments showing one whole output port,
// and a toggle switch on a pin of an input port, under a title picture.
#pragma once

#include <QPixmap>
#include <array>
#include <memory>

#include "framework/PluginForm.h"
#include "framework/PortBinding.h"
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

    void refreshPortMap();
    void onPinChanged();
    void onPortChanged();
    // A click on the switch.
    void toggleSwitch();

    // Segment showing bit `bit` (0..7).
    PictureControl* segment(int bit) const { return segment_[static_cast<size_t>(bit)]; }
    PictureControl* switchPicture() const { return switchPicture_; }
    frm_Knightrider_configure* settings() const { return settings_; }
    // The byte the bar shows.
    uint8_t shownByte() const { return shown_; }
    int outputAddress() const { return outputAddress_; }
    int outputDdrAddress() const { return outputDdrAddress_; }
    int inputPinAddress() const { return inputPinAddress_; }
    int inputPin() const { return inputPin_; }
    bool useDdrAndPort() const { return useDdrAndPort_; }

protected:
    void initDialog() override;
    void onCommand(int id) override;

private:
    using Watcher = CallOnChange<frm_Knightrider, uint8_t>;
    void showBar(uint8_t byte);
    void configure();

    PictureControl* title_;
    PictureControl* switchPicture_;
    std::array<PictureControl*, 8> segment_{};
    QPixmap litBitmap_, darkBitmap_, switchOnBitmap_, switchOffBitmap_;
    frm_Knightrider_configure* settings_;
    int outputAddress_ = 0;
    int outputDdrAddress_ = 0;
    int inputPinAddress_ = 0;
    int inputPin_ = 7;
    int inputDdrAddress_ = 0;
    bool useDdrAndPort_ = false;
    uint8_t shown_ = 0;
    std::unique_ptr<Watcher> portObserver_, ddrObserver_, pinObserver_, mapObserver_;
    GatedValue<uint8_t>* inputPinSubject_ = nullptr;
    GatedValue<uint8_t>* inputDdrSubject_ = nullptr;
    GatedValue<uint8_t>* inputPinSubjectDirect_ = nullptr;
    PortMap portMap_;
};
