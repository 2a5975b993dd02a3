// The interactive half of the main window: pointer input, the animation timer, the commands the
// buttons start, and the update worker's reports.
#pragma once

#include <windows.h>

// What the window's commands do outside the window. The program uses the real operations;
// tests put recorders in their place.
struct MainWindowCommands {
    void (*openLink)(const char* address);
    void (*launchGame)();
    void (*openInfoDialog)(HWND owner);
    bool (*startUpdateWorker)(HWND window);
};
extern MainWindowCommands mainWindowCommands;

// Opens an address in the default browser ("open", SW_SHOWNORMAL; the result is not examined).
void OpenLinkInBrowser(const char* address);

// Marks a run as started (button "CANCEL", bar empty) and starts the worker. `repaint` is false
// while the window is being created. If the worker cannot start, the run is marked ended again
// and the status line says so, so the button never stays at "CANCEL" with nothing running.
void StartUpdateRun(HWND window, bool repaint);

void OnLButtonDown(HWND window, LPARAM lParam);
void OnLButtonUp(HWND window);
void OnMouseMove(HWND window, LPARAM lParam);
// True when it set the hand cursor.
bool OnSetCursor(HWND window);
void OnTimer(HWND window);
void OnUpdateProgress(HWND window, WPARAM wParam, LPARAM lParam);
void OnUpdateStatus(HWND window, LPARAM lParam);
void OnUpdateFinished(HWND window, WPARAM wParam);

// Shown when the update thread cannot be started.
constexpr wchar_t kWorkerStartFailedText[] = L"Error: Cannot start the update.";
