// Where the instruments find a Hitachi LCD's control lines (LCD.E, LCD.RS,
// LCD.RW; LCD2.E for the second LCD window): the pins are the component's
// own settings, so they are read from its window's settings dialog (opened
// and cancelled as a user would) when a recording starts, not assumed.
#pragma once

#include "host/instruments/Signals.h"

class HostBench;

// Resolves an LCD line to the pin the LCD window's settings give it now.
// Fails, saying so, when that window is not open.
quill::instruments::LineResolver lcdLineResolver(HostBench& bench);
