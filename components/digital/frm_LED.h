// LED: one pin of the simulated part shown as a green light.
#pragma once

#include <QPixmap>
#include <memory>

#include "framework/PluginForm.h"
#include "framework/PortBinding.h"
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

    // Rebuilds the port map and the settings dialog's port list.
    void refreshPortMap();
    // Observer callbacks.
    void onPinChanged();
    void onPortChanged();

    bool isLit() const { return lit_; }
    PictureControl* picture() const { return picture_; }
    frm_LED_configure* settings() const { return settings_; }
    const PortMap& portMap() const { return portMap_; }
    // Register indices currently watched.
    int pinAddress() const { return pinAddress_; }
    int ddrAddress() const { return ddrAddress_; }
    int pin() const { return pin_; }
    bool useDdrAndPort() const { return useDdrAndPort_; }
    bool activeLow() const { return activeLow_; }

protected:
    void initDialog() override;
    void onCommand(int id) override;

private:
    using Watcher = CallOnChange<frm_LED, uint8_t>;
    void showPin(uint8_t byte);
    void configure();

    PictureControl* picture_;
    frm_LED_configure* settings_;
    QPixmap litBitmap_, darkBitmap_;
    bool activeLow_ = false;
    bool useDdrAndPort_ = false;
    int pinAddress_ = 0;
    int pin_ = 7;
    int ddrAddress_ = 0;
    bool lit_ = false;
    std::unique_ptr<Watcher> portObserver_, ddrObserver_, pinObserver_, mapObserver_;
    PortMap portMap_;
};
