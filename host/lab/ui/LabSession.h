// Lab files in the main window: what is captured from it, how a lab is
// put back, and the File menu's "Save lab..." and "Open lab...".
#pragma once

#include <QString>
#include <functional>

#include "host/lab/LabFile.h"

class HostBench;

// The window's set-up as a lab: part, clock, firmware, pacing, the
// component windows open (in the order they were opened) and the layout.
quill::lab::Lab CaptureLab(HostBench& window);

// Puts a lab into the window: checks everything first (part known,
// commands offered) and changes nothing when a check fails; then starts a
// session on the lab's program, opens its windows and restores the layout.
// A session that cannot start leaves the previous set-up in place.
bool ApplyLab(HostBench& window, const quill::lab::Lab& lab, QString* error);

// Opens the lab's windows in the running session and restores its layout.
// `stop`, asked before each window, ends the opening early (false, with
// *error saying so): a headless run's time limit.
bool OpenLabWindows(HostBench& window, const quill::lab::Lab& lab, QString* error,
                    const std::function<bool()>& stop = {});

// Loads the lab file and applies it; the reason of a refusal in *error.
bool OpenLabFile(HostBench& window, const QString& path, QString* error);
bool SaveLabFile(HostBench& window, const QString& path, QString* error);

// The File menu's commands: a file dialog, then the above; a refusal is
// shown in a message box and the output pane.
void SaveLabDialog(HostBench& window);
void OpenLabDialog(HostBench& window);
