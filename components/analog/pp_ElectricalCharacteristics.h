// The page "Electrical Characteristics": Vcc, Vref, AVcc and ARef on linked
// trackbars (hundredths of a volt) and "Enable external voltage on AREF
// pin.". Shown by the Settings sheet and the configuration sheets of the
// Slider and the Beerbasement; a thin view over ElectricalModel.
#pragma once

#include "components/analog/ElectricalModel.h"
#include "contract/ResourceIds.h"
#include "framework/PropertySheet.h"

class CLEDView;
class QCheckBox;
class QLabel;
class QSlider;

class pp_ElectricalCharacteristics : public PropertyPage {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::electrical::kPage;
    static constexpr int kVcc = ids::electrical::kVcc;
    static constexpr int kVref = ids::electrical::kVref;
    static constexpr int kAvcc = ids::electrical::kAvcc;
    static constexpr int kAref = ids::electrical::kAref;
    static constexpr int kExternalAref = ids::electrical::kExternalAref;
    static constexpr int kVccText = ids::electrical::kVccText;
    static constexpr int kVrefText = ids::electrical::kVrefText;
    static constexpr int kAvccText = ids::electrical::kAvccText;
    static constexpr int kArefText = ids::electrical::kArefText;
    static constexpr int kVrefUpper = ids::electrical::kVrefUpperText;
    static constexpr int kAvccLower = ids::electrical::kAvccLowerText;
    static constexpr int kAvccUpper = ids::electrical::kAvccUpperText;

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
