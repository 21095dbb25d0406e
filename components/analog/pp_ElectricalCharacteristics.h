// The page "Electrical Characteristics": Vcc, Vref, AVcc and ARef on linked
// trackbars (hundredths of a volt) and "Enable external voltage on AREF
// pin.". Shown by the Settings sheet and the configuration sheets of the
// Slider and the Beerbasement; a thin view over ElectricalModel.
#pragma once

#include "components/analog/ElectricalModel.h"
#include "framework/PropertySheet.h"

class CLEDView;
class QCheckBox;
class QLabel;
class QSlider;

class pp_ElectricalCharacteristics : public PropertyPage {
    Q_OBJECT
public:
    static constexpr int kTemplate = 239;
    static constexpr int kVcc = 262, kVref = 263, kAvcc = 264, kAref = 265;
    static constexpr int kExternalAref = 266;
    static constexpr int kVccText = 271, kVrefText = 272, kAvccText = 273, kArefText = 274;
    static constexpr int kVrefUpper = 275, kAvccLower = 276, kAvccUpper = 277;

    explicit pp_ElectricalCharacteristics(QWidget* parent);

    // Volts, stored in hundredths (rounded).
    void SetVoltages(double vcc, double vref, double avcc, double aref);
    void SetExternalAref(bool applied);
    // The core's settings into the page, and back.
    void LoadFrom(CLEDView* core);
    void StoreInto(CLEDView* core) const;

    const ElectricalModel& values() const { return model_; }

    void loadControls() override;
    bool saveControls() override;

private:
    void moved(int control, int position);
    void showValues();

    ElectricalModel model_;
    QSlider* vcc_;
    QSlider* vref_;
    QSlider* avcc_;
    QSlider* aref_;
    QCheckBox* external_;
    QLabel* vccText_;
    QLabel* vrefText_;
    QLabel* avccText_;
    QLabel* arefText_;
    QLabel* vrefUpper_;
    QLabel* avccLower_;
    QLabel* avccUpper_;
    bool updating_ = false;
};
