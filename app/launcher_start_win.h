// Start-up, from GDI+ to the shown main window.
#pragma once

#include <windows.h>

#include <functional>

#include "ui/main_window_win.h"

// The two steps that make the window; tests put failing ones in their place.
struct LauncherStartSteps {
    std::function<bool(HINSTANCE instance)> registerWindowClass = RegisterMainWindowClass;
    std::function<HWND(HINSTANCE instance)> createWindow = CreateMainWindow;
};

// Starts GDI+, extracts the background and the music, makes the desktop shortcut, removes a
// launcher this one replaced, then makes and shows the main window. False when no window could
// be made: what was started and extracted is then released again, as closing the window would.
bool StartLauncher(HINSTANCE instance, const LauncherStartSteps& steps = LauncherStartSteps());
