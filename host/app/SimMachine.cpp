#include "host/app/HostSetup.h"

MachineFactory SimulatorFactory() { return {}; }
