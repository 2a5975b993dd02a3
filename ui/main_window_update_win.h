// The update run as the main window sees it: starting one, and the worker's three reports.
#pragma once

#include <windows.h>

// Shown when the update thread cannot be started.
constexpr wchar_t kWorkerStartFailedText[] = L"Error: Cannot start the update.";

// Marks a run as started (button "CANCEL", bar empty) and starts the worker. `repaint` is false
// while the window is being created. If the worker cannot start, the run is marked ended again
// and the status line says so, so the button never stays at "CANCEL" with nothing running.
void StartUpdateRun(HWND window, bool repaint);

// How long closing the window waits for a run's worker to end after its CANCEL.
constexpr DWORD kWorkerEndWaitMs = 3000;
// For the window's end: CANCEL for the run under way, and a wait of at most kWorkerEndWaitMs for
// its worker, so that nothing it holds is torn down under it.
void EndUpdateRun();

void OnUpdateProgress(HWND window, WPARAM wParam, LPARAM lParam);
void OnUpdateStatus(HWND window, LPARAM lParam);
void OnUpdateFinished(HWND window, WPARAM wParam);
