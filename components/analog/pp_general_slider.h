// The page "Analog / Digital Converter" of the Slider's and the
// Beerbasement's configuration sheets: the channel to connect ("ADC3") and
// the reference voltage the Slider's millivolt display uses while the
// program selects none.
#pragma once

#include <vector>

#include "contract/ResourceIds.h"
#include "framework/PropertySheet.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;

class pp_general_slider : public PropertyPage {
    Q_OBJECT
public:
    // Without the reference group when the owner uses only the channel
    // (the Beerbasement).
    explicit pp_general_slider(QWidget* parent, bool withReference = true);

    // Fields: the channels offered (ascending), the selected channel (-1:
    // none) and the reference choice (channelscale::Reference).
    std::vector<int> channels;
    int channel = -1;
    int reference = 2;
    // The internal reference the part offers (named on its radio button).
    double internalVolts = 2.56;

    void loadControls() override;
    bool saveControls() override;

private:
    QComboBox* list_;
    QButtonGroup* references_;
    QLabel* noChannel_;
    QAbstractButton* internal_ = nullptr;
};
