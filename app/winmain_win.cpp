// Program entry point: start-up, the message loop, and the exit code.
#include <windows.h>
#include <gdiplus.h>

#include "base/launcher_folder_win.h"
#include "resources/resource_files_win.h"
#include "resources/resource_ids.h"
#include "shell/desktop_shortcut_win.h"
#include "ui/launcher_state_win.h"
#include "ui/main_window_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Gdiplus::GdiplusStartupInput gdiplusInput;  // version 1, no debug callback, nothing suppressed
    Gdiplus::GdiplusStartup(&launcherState.gdiplusToken, &gdiplusInput, nullptr);

    launcherState.backgroundPath = ExtractResourceToTemp(instance, IDR_BACKGROUND_JPEG, L"vhl_bg.jpg");
    launcherState.musicPath = ExtractResourceToTemp(instance, IDR_MUSIC_MP3, L"vhl_music.mp3");
    CreateDesktopShortcut(GetUserDesktopFolder(), GetExecutablePath());

    // Without a window nothing would ever post WM_QUIT: give up at once instead of waiting.
    if (!RegisterMainWindowClass(instance))
        return 1;
    launcherState.mainWindow = CreateMainWindow(instance);
    if (!launcherState.mainWindow)
        return 1;
    ShowWindow(launcherState.mainWindow, SW_SHOW);
    UpdateWindow(launcherState.mainWindow);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
