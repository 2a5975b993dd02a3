#include "app/launcher_start_win.h"

#include <gdiplus.h>

#include "base/launcher_folder_win.h"
#include "resources/resource_files_win.h"
#include "resources/resource_ids.h"
#include "shell/desktop_shortcut_win.h"
#include "ui/launcher_state_win.h"
#include "update/local/entry_paths.h"

bool StartLauncher(HINSTANCE instance, const LauncherStartSteps& steps) {
    Gdiplus::GdiplusStartupInput gdiplusInput;  // version 1, no debug callback, nothing suppressed
    Gdiplus::GdiplusStartup(&launcherState.gdiplusToken, &gdiplusInput, nullptr);

    launcherState.backgroundPath = ExtractResourceToTemp(instance, IDR_BACKGROUND_JPEG, L"vhl_bg.jpg");
    launcherState.musicPath = ExtractResourceToTemp(instance, IDR_MUSIC_MP3, L"vhl_music.mp3");
    CreateDesktopShortcut(GetUserDesktopFolder(), GetExecutablePath());
    // A launcher that replaced itself during the last update left the old one beside it.
    DeleteFileW(LongPathForm(SupersededLauncherPath(GetExecutablePath())).c_str());

    if (!steps.registerWindowClass(instance) || !(launcherState.mainWindow = steps.createWindow(instance))) {
        ReleaseStartUpResources();
        return false;
    }
    ShowWindow(launcherState.mainWindow, SW_SHOW);
    UpdateWindow(launcherState.mainWindow);
    return true;
}
