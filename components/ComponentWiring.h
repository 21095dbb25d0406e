// Installs the window layer's component factories and modal commands into
// a new plug-in object. Called by the module's class factory.
#pragma once

class CLEDView;

void WireComponents(CLEDView* core);
