// Loading the module into a workbench and opening its components by their
// command identifiers, as the menus would.
#pragma once

#include <QString>
#include <string>

#include "host/session/HostOptions.h"
#include "host/workbench/HostBench.h"

// Finds, registers when needed and creates the plug-in, and hands it to the
// bench. False with an explanation when there is no usable module.
bool AttachModule(HostBench& bench, const HostOptions& options, QString* error);

// Runs the command named `id` (KN, LD, STV...) as the menu would.
bool OpenComponent(HostBench& bench, const std::string& id, QString* error);
