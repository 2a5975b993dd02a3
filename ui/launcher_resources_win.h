// What the main window draws with, made when it is created and freed when it is destroyed.
#pragma once

#include <windows.h>

#include "ui/launcher_state_win.h"

// The fonts, the decoded pictures (from `module`'s resources) and the status label's brush. A
// picture that cannot be decoded stays null and is drawn as missing.
void CreateLauncherResources(HMODULE module, LauncherResources& resources);

// Everything in `resources`, the caches included; before GDI+ shuts down, and after whatever
// used the fonts is gone.
void FreeLauncherResources(LauncherResources& resources);
