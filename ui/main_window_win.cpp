#include "ui/main_window_win.h"

#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>

#include "base/launcher_folder_win.h"
#include "base/scoped_win.h"
#include "game/game_launch_win.h"
#include "resources/resource_files_win.h"
#include "resources/resource_ids.h"
#include "ui/draw_primitives_win.h"
#include "ui/launcher_resources_win.h"
#include "ui/launcher_state_win.h"
#include "ui/main_window_commands_win.h"
#include "ui/main_window_input_win.h"
#include "ui/main_window_paint_win.h"
#include "ui/main_window_update_win.h"
#include "ui/window_placement.h"
#include "update/run/update_worker_win.h"

namespace {

constexpr int32_t kStartVolume = 30;

// The layout of the new size, with the status label in its place: the label is a window of its
// own, so it moves here and not while painting.
void OnSize(HWND window) {
    const ClientSize size = ReadClientSize(window);
    launcherState.layout = ComputeLauncherLayout(size.width, size.height);
    UpdateBackgroundCache(ScopedWindowDc(window).Get(), launcherState.layout, launcherState.resources);
    const LayoutRect label = launcherState.layout[LauncherElement::kStatusLabel];
    if (launcherState.statusLabel)
        MoveWindow(launcherState.statusLabel, label.left, label.top, label.right - label.left, label.bottom - label.top,
                   TRUE);
    RequestRepaint(window);
}

// Fonts, the layout, the status label, the pictures, an update run when the client is there, the
// music and the animation timer.
void OnCreate(HWND window) {
    InitCommonControls();
    launcherState.mainWindow = window;
    CreateLauncherResources(GetModuleHandleW(nullptr), launcherState.resources);
    const ClientSize size = ReadClientSize(window);
    launcherState.layout = ComputeLauncherLayout(size.width, size.height);
    const LayoutRect label = launcherState.layout[LauncherElement::kStatusLabel];
    launcherState.statusLabel =
        CreateWindowExW(0, L"STATIC", kWelcomeText, WS_CHILD | WS_VISIBLE | SS_CENTER, label.left, label.top,
                        label.right - label.left, label.bottom - label.top, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusLabelId)), nullptr, nullptr);
    SendMessageW(launcherState.statusLabel, WM_SETFONT, reinterpret_cast<WPARAM>(launcherState.resources.statusFont),
                 TRUE);

    UpdateBackgroundCache(ScopedWindowDc(window).Get(), launcherState.layout, launcherState.resources);

    launcherState.gameReady = false;
    if (IsGameClientPresent(GetLauncherFolder()))
        StartUpdateRun(window, false);

    launcherState.musicVolume = kStartVolume;
    StartMusic();
    SetTimer(window, kAnimationTimerId, kAnimationTimerPeriodMs, nullptr);
}

// A run under way is cancelled and its worker waited for before anything goes. The music device
// lets go of its file before the file is deleted, and the pictures go before GDI+ does.
void OnDestroy() {
    EndUpdateRun();
    StopMusic();
    // The label goes before its font.
    DestroyWindow(launcherState.statusLabel);
    launcherState.statusLabel = nullptr;
    FreeLauncherResources(launcherState.resources);
    ReleaseStartUpResources();
    PostQuitMessage(0);
}

}  // namespace

void ReleaseStartUpResources() {
    if (launcherState.gdiplusToken)
        Gdiplus::GdiplusShutdown(launcherState.gdiplusToken);
    launcherState.gdiplusToken = 0;
    if (!launcherState.musicPath.empty())
        DeleteFileW(launcherState.musicPath.c_str());
    launcherState.musicPath.clear();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            break;
        case WM_DESTROY:
            OnDestroy();
            break;
        case WM_SIZE:
            OnSize(window);
            break;
        case WM_PAINT:
            OnPaint(window);
            break;
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam));
        case WM_SETCURSOR:
            if (OnSetCursor(window))
                return TRUE;
            break;
        case WM_TIMER:
            OnTimer(window);
            break;
        case WM_MOUSEMOVE:
            OnMouseMove(window, lParam);
            break;
        case WM_LBUTTONDOWN:
            OnLButtonDown(window, lParam);
            break;
        case WM_LBUTTONUP:
            OnLButtonUp(window);
            break;
        case WM_UPDATE_PROGRESS:
            OnUpdateProgress(window, wParam, lParam);
            break;
        case WM_UPDATE_STATUS:
            OnUpdateStatus(window, lParam);
            break;
        case WM_UPDATE_FINISHED:
            OnUpdateFinished(window, wParam);
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    windowClass.hCursor = LoadCursorA(nullptr, SystemCursorId(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    RECT outer{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&outer, kMainWindowStyle, FALSE);
    const int outerWidth = outer.right - outer.left;
    const int outerHeight = outer.bottom - outer.top;
    const WindowPlacement place =
        CentreOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), outerWidth, outerHeight);
    return CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kMainWindowStyle, place.x, place.y, outerWidth,
                           outerHeight, nullptr, nullptr, instance, nullptr);
}
