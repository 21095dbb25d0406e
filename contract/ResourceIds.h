// The resource numbers of the module: dialog templates, controls, bitmaps,
// menus, menu commands and timers. The windows create their controls under
// these numbers and a host or a scenario finds a control by its number to
// drive the window as a user would, so both sides take them from here.
// Components that are still to come have their numbers reserved here too,
// so that every number has exactly one home. Toolkit-free and header-only.
//
// Dialog templates of the component windows are in contract/Commands.h
// (CommandInfo::dialogId); the constants below repeat them only by name.
#pragma once

#include <array>

#include "contract/Commands.h"

// ---- Bitmaps
namespace bitmap {
// Component pictures.
constexpr int kLedDark = 220;          // 25 x 25
constexpr int kLedLit = 221;           // 25 x 25
constexpr int kSwitchOff = 204;        // 30 x 30, lever down, red
constexpr int kSwitchOn = 205;         // 30 x 30, lever up, green
constexpr int kSegmentDark = 201;      // 25 x 16
constexpr int kSegmentLit = 202;       // 25 x 16
constexpr int kKnightTitle = 203;      // 329 x 56
constexpr int kStackPointers = 261;    // 80 x 16: blank, SP, XR, YR, ZR
constexpr int kCapacityCircuit = 215;  // the NE555 circuit
constexpr int kCapacitor = 268;        // the capacitor symbol, opens the settings
constexpr int kCellarNormal = 275;     // Beerbasement pictures
constexpr int kCellarCold = 276;
constexpr int kCellarHot = 277;
constexpr int kLcdFont5x10 = 279;  // 256 glyphs of 5 x 10
constexpr int kLcdFont5x8 = 280;   // 256 glyphs of 5 x 8
constexpr int kLcdCursors = 282;   // 4 cursor images of 5 x 10
// Toolbar buttons, 16 x 16.
constexpr int kToolKnightRider = 5001;
constexpr int kToolCapacity = 234;
constexpr int kToolLed = 235;
constexpr int kToolSwitch = 236;
constexpr int kToolSlider = 266;
constexpr int kToolKeypad = 242;
constexpr int kToolStackView = 267;
constexpr int kToolBeerbasement = 269;
constexpr int kToolLcd = 288;
constexpr int kToolAutostep = 281;
}  // namespace bitmap

// ---- Menus
namespace menu {
constexpr int kComponentMenu = 209;      // one popup: "Settings..."
constexpr int kStackViewMenu = 262;      // View, Auto scroll, Reverse list
constexpr int kSettingsCommand = 32771;  // "Settings..." of menu 209
// Menu 262.
constexpr int kReverseList = 32780;
constexpr int kShowStackPointer = 32781;  // column toggles, View submenu
constexpr int kShowX = 32782;
constexpr int kShowY = 32783;
constexpr int kShowZ = 32784;
constexpr int kShowAddress = 32785;
constexpr int kShowDecimal = 32786;
constexpr int kShowHex = 32787;
constexpr int kShowBinary = 32788;
constexpr int kShowAscii = 32789;
constexpr int kFollowSP = 32790;  // Auto scroll submenu
constexpr int kFollowX = 32791;
constexpr int kFollowY = 32792;
constexpr int kFollowZ = 32793;
constexpr int kFollowNone = 32794;
}  // namespace menu

// ---- Controls, per window
namespace ids {

// The settings dialogs of the pin-bound components (templates 222, 231, 207).
namespace port_settings {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kPin0 = 228;  // "Pin 0" .. "Pin 7" = 228 .. 235
constexpr int kUsePin = 236;
constexpr int kUseDdrAndPort = 237;
constexpr int kActiveLow = 353;
}  // namespace port_settings

namespace led {
constexpr int kTemplate = kCommands[kCmdLed].dialogId;
constexpr int kSettingsTemplate = 222;
constexpr int kPicture = 243;
constexpr int kPortCombo = 244;
}  // namespace led

namespace sw {
constexpr int kTemplate = kCommands[kCmdSwitch].dialogId;
constexpr int kSettingsTemplate = 231;
constexpr int kPicture = 221;  // the lever; a click toggles
constexpr int kPortCombo = 227;
}  // namespace sw

namespace knightrider {
constexpr int kTemplate = kCommands[kCmdKnightRider].dialogId;
constexpr int kSettingsTemplate = 207;
constexpr int kTitle = 203;
constexpr int kFirstSegment = 211;  // bit 7, leftmost; 218 is bit 0
constexpr int kSwitch = 221;
constexpr int kOutputPortCombo = 226;
constexpr int kInputPortCombo = 227;
}  // namespace knightrider

namespace keypad {
constexpr int kTemplate = kCommands[kCmdKeypad].dialogId;
// Key buttons in row-major order: 1 2 3 / 4 5 6 / 7 8 9 / * 0 #.
struct KeyControl {
    char character;
    int controlId;
};
inline constexpr std::array<KeyControl, 12> kKeyControls{{
    {'1', 293},
    {'2', 292},
    {'3', 282},
    {'4', 296},
    {'5', 283},
    {'6', 294},
    {'7', 297},
    {'8', 284},
    {'9', 295},
    {'*', 298},
    {'0', 442},
    {'#', 299},
}};
// The control of the key typed by `c`, or -1.
constexpr int KeyControlOf(char c) {
    for (const KeyControl& key : kKeyControls) {
        if (key.character == c) return key.controlId;
    }
    return -1;
}
// The wiring dialog behind "Settings..." (an addition of this module's).
constexpr int kSettingsTemplate = 460;
constexpr int kPinWiring = 461;   // check box: wired pin by pin (else the fixed wiring)
constexpr int kFirstColumn = 462;  // pin combo boxes of columns 0..2: 462..464
constexpr int kFirstRow = 465;     // pin combo boxes of rows 0..3: 465..468
constexpr int kMessage = 469;      // why OK was refused
}  // namespace keypad

namespace stackview {
constexpr int kTemplate = kCommands[kCmdStackView].dialogId;
constexpr int kList = 345;
}  // namespace stackview

namespace lcd {
constexpr int kTemplate = kCommands[kCmdLcd].dialogId;
constexpr int kDisplay = 361;   // the panel
constexpr int kBlinkTimer = 2;  // on the panel, 500 ms
constexpr int kBlinkPeriodMs = 500;
constexpr int kSettingsTemplate = 259;  // "Configure Hitachi LCD..."
constexpr int kScreenSize = 1002;
constexpr int kLines = 1006;
constexpr int kZoom = 344;
constexpr int kFourBitInterface = 1015;
constexpr int kUsePinRegister = 362;
constexpr int kDataPort = 1007;
constexpr int kHighNibble = 1016;
// E, RS and R/W: each one list of the part's pins (R/W also "none", tied
// to ground), where the template had a port and a pin list.
constexpr int kEnablePin = 1009;
constexpr int kRsPin = 1017;
constexpr int kRwPin = 1019;
constexpr int kTrace = 1021;    // "Trace to result.txt"
constexpr int kMessage = 1022;  // why OK was refused
// Added: "Pin by pin" (the data lines each on a pin of its own), the pin
// lists of D0..D7 (kDataPin0 + n) and the wiring table.
constexpr int kPinByPin = 1023;
constexpr int kDataPin0 = 1024;
constexpr int kWiringTable = 1032;
}  // namespace lcd

namespace slider {
constexpr int kTemplate = kCommands[kCmdSlider].dialogId;
constexpr int kTrackbar = 260;
constexpr int kPercentText = 261;
constexpr int kMillivoltEdit = 295;
constexpr int kGeneralPage = 240;  // "Analog / Digital Converter"
constexpr int kChannelList = 267;
constexpr int kUseAref = 297;
constexpr int kUseAvcc = 237;
constexpr int kUseInternalVref = 296;
// Added to the templates: why a slider drives no channel, and the page's
// note that every channel is taken.
constexpr int kStatus = 2001;
constexpr int kNoFreeChannel = 2002;
}  // namespace slider

namespace capacity {
constexpr int kTemplate = kCommands[kCmdCapacityMeasurement].dialogId;
constexpr int kFrequencyText = 242;
constexpr int kCapacitanceText = 240;
constexpr int kCapacitor = 351;  // picture, a click opens the settings
constexpr int kSettingsTemplate = 217;
constexpr int kPortCombo = 241;
constexpr int kCapacitanceEdit = 240;
// "Pin 0" .. "Pin 7"; not consecutive.
inline constexpr std::array<int, 8> kPins{352, 229, 230, 231, 232, 233, 234, 235};
constexpr int kMaxNanofarads = 1000;
// Added to the templates: the circuit picture, the window's status (the
// oscillator stopped, the port missing) and why the dialog refused its input.
constexpr int kCircuit = 2010;
constexpr int kStatus = 2011;
constexpr int kError = 2012;
}  // namespace capacity

namespace beerbasement {
constexpr int kTemplate = kCommands[kCmdBeerbasement].dialogId;
constexpr int kCellar = 360;
constexpr int kTrackbar = 260;
constexpr int kStatusLed = 249;
constexpr int kHeaterLed = 357;
constexpr int kCoolerLed = 358;
constexpr int kTemperatureText = 359;
constexpr int kSettingsPage = 236;  // "General"
constexpr int kHeaterPort = 355;
constexpr int kCoolerPort = 245;
constexpr int kStatusPort = 244;
// "Pin 0" .. "Pin 7" of each group.
inline constexpr std::array<int, 8> kHeaterPins{356, 229, 230, 231, 232, 233, 234, 235};
inline constexpr std::array<int, 8> kCoolerPins{236, 237, 238, 239, 240, 241, 242, 243};
inline constexpr std::array<int, 8> kStatusPins{256, 257, 258, 259, 260, 261, 262, 263};
constexpr int kUsePin = 250;
constexpr int kUseDdrAndPort = 251;
// Added to the template: why no channel receives the temperature.
constexpr int kStatus = 2020;
}  // namespace beerbasement

// The Settings sheet (command CFG): "General" page and the electrical page
// that the Slider and Beerbasement sheets show as well.
namespace settings {
constexpr int kGeneralPage = 242;
constexpr int kConfigureLogger = 304;
constexpr int kConfigureConverter = 307;
constexpr int kBrowseDirectory = 317;
constexpr int kDisableWarnings = 310;
constexpr int kEnableConverter = 306;
constexpr int kDetectClock = 254;
constexpr int kPredefinedClock = 237;
constexpr int kClockValue = 313;
constexpr int kDirectory = 309;
constexpr int kEnableLogging = 305;
constexpr int kFileName = 314;
constexpr int kLogToWindow = 326;
constexpr int kLogToFile = 308;
// Added to the template: why OK was refused.
constexpr int kError = 2030;
// Added to the template: the log file's size limit in MB (0: none).
constexpr int kLogSizeLimit = 2031;
// Added to the template: the clock in use.
constexpr int kClockInUse = 2032;
}  // namespace settings

namespace electrical {
constexpr int kPage = 239;
constexpr int kVref = 263;
constexpr int kVcc = 262;
constexpr int kAvcc = 264;
constexpr int kAref = 265;
constexpr int kExternalAref = 266;
constexpr int kArefText = 274;
constexpr int kAvccText = 273;
constexpr int kVccText = 271;
constexpr int kVrefText = 272;
constexpr int kVrefUpperText = 275;
constexpr int kAvccUpperText = 277;
constexpr int kAvccLowerText = 276;
}  // namespace electrical

// The register logger's sheet.
namespace logger {
constexpr int kLogGeneralRegisters = 318;
constexpr int kLogCpuRegisters = 320;
constexpr int kAvailable = 321;
constexpr int kChosen = 322;
constexpr int kAdd = 323;
constexpr int kClear = 324;
constexpr int kRemove = 325;
constexpr int kPrecedeByComment = 330;
constexpr int kCommentText = 331;
constexpr int kPrecedeByCycleCounter = 332;
constexpr int kPrecedeByRunningTime = 333;
constexpr int kInsertDisassembly = 334;
constexpr int kHexValues = 335;
constexpr int kOctalValues = 336;
constexpr int kBinaryValues = 337;
}  // namespace logger

namespace autostep {
constexpr int kTimer = 1;  // on the host's main window
constexpr int kPeriodMs = 100;
}  // namespace autostep

namespace about {
constexpr int kTemplate = 283;
constexpr int kVersionText = 2831;  // "Version 1.0.0.1"
constexpr int kOk = 1;
}  // namespace about

}  // namespace ids
