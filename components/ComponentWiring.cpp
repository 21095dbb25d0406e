#include "components/ComponentWiring.h"

#include <QApplication>

#include "about/CAboutDlg.h"
#include "components/analog/ADC.h"
#include "components/analog/frm_Beerbasement.h"
#include "components/analog/frm_Capacity_Measurement.h"
#include "components/analog/frm_Settings.h"
#include "components/analog/frm_Slider.h"
#include "components/digital/frm_Keypad.h"
#include "components/digital/frm_Knightrider.h"
#include "components/digital/frm_LED.h"
#include "components/digital/frm_Stackview.h"
#include "components/digital/frm_Switch.h"
#include "components/lcd/frm_LCD.h"
#include "core/CLEDView.h"
#include "debugaids/frm_Logger_configure.h"
#include "framework/PluginForm.h"

void WireComponents(CLEDView* core) {
    if (!core) return;
    // One line per command: the window class built for it. Without a
    // QApplication the factories return null and the core logs that.
    core->SetComponentFactory(kCmdKnightRider, MakeFormFactory<frm_Knightrider>());
    core->SetComponentFactory(kCmdLed, MakeFormFactory<frm_LED>());
    core->SetComponentFactory(kCmdSwitch, MakeFormFactory<frm_Switch>());
    core->SetComponentFactory(kCmdKeypad, MakeFormFactory<frm_Keypad>());
    core->SetComponentFactory(kCmdStackView, MakeFormFactory<frm_Stackview>());
    core->SetComponentFactory(kCmdLcd, MakeFormFactory<frm_LCD>());
    core->SetComponentFactory(kCmdCapacityMeasurement, MakeFormFactory<frm_Capacity_Measurement>());
    core->SetComponentFactory(kCmdSlider, MakeFormFactory<frm_Slider>());
    core->SetComponentFactory(kCmdBeerbasement, MakeFormFactory<frm_Beerbasement>());
    core->SetModalCommand(kCmdSettings, [](CLEDView* c) {
        if (WidgetsAvailable()) frm_Settings::Run(c);
    });
    InstallAdcModel(core);
    // The register logger's sheet behind "Configure..." of the Settings
    // sheet's Logger group.
    SetLoggerSheetHooks(
        {&frm_Logger_configure::ConfigureFromSettings, &frm_Logger_configure::ApplyKeptLayout});
    core->SetModalCommand(kCmdAbout, [](CLEDView*) {
        if (!WidgetsAvailable()) return;
        CAboutDlg box(QApplication::activeWindow());
        box.run();
    });
}
