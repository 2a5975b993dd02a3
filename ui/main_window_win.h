// The main window: its class, its creation and destruction, and the dispatch of its messages.
#pragma once

#include <windows.h>

constexpr wchar_t kMainWindowClass[] = L"VardenhalUpdaterWnd";
constexpr wchar_t kMainWindowTitle[] = L"Vardenhal Updater";
constexpr int kClientWidth = 1024;
constexpr int kClientHeight = 660;
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kStatusLabelId = 108;
constexpr UINT_PTR kAnimationTimerId = 1;
constexpr UINT kAnimationTimerPeriodMs = 16;
constexpr wchar_t kWelcomeText[] = L"Welcome! Press UPDATE to download files and start your journey.";

// Shuts GDI+ down and deletes the extracted music: the end of the window's destruction, and all
// that a start which made no window has to undo. Once only; a second call does nothing.
void ReleaseStartUpResources();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "VardenhalUpdaterWnd"; false when that fails.
bool RegisterMainWindowClass(HINSTANCE instance);

// Creates the window with a 1024 x 660 client area centred on the screen (WM_CREATE runs inside).
HWND CreateMainWindow(HINSTANCE instance);
