// The page "General" of the Beerbasement's configuration sheet: the port and
// pin of the heater, the cooler and the status LED, and the behaviour
// ("PIN reg." or "DDRx && PORTx reg.").
#pragma once

#include <array>
#include <string>
#include <vector>

#include "contract/ResourceIds.h"
#include "framework/PropertySheet.h"

class QButtonGroup;
class QComboBox;

class pp_Beerbasement_config : public PropertyPage {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::beerbasement::kSettingsPage;
    static constexpr int kHeaterPort = ids::beerbasement::kHeaterPort;
    static constexpr int kCoolerPort = ids::beerbasement::kCoolerPort;
    static constexpr int kStatusPort = ids::beerbasement::kStatusPort;
    static constexpr int kPinBehaviour = ids::beerbasement::kUsePin;
    static constexpr int kDdrBehaviour = ids::beerbasement::kUseDdrAndPort;

    explicit pp_Beerbasement_config(QWidget* parent);

    // Fields: the port list (names with "PIN"), for heater, cooler and
    // status the port position and the pin, and the behaviour (0, 1).
    std::vector<std::string> portList;
    std::array<int, 3> port{0, 0, 0};
    std::array<int, 3> pin{0, 0, 0};
    int behaviour = 0;

    // The control number of pin `pin` (0..7) of output `kind` (0..2).
    static int PinControl(int kind, int pin);

    void loadControls() override;
    bool saveControls() override;

private:
    std::array<QComboBox*, 3> ports_{};
    std::array<QButtonGroup*, 3> pins_{};
    QButtonGroup* behaviour_;
};
