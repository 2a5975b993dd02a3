#include "app/launcher_start_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/desktop_shortcut_win.h"
#include "test_support_win.h"
#include "ui/launcher_state_win.h"

namespace {

TEST(StartLauncher, AStartThatMakesNoWindowLeavesNothingBehind) {
    const std::wstring shortcut = GetUserDesktopFolder() + L"\\Vardenhal.lnk";
    const bool hadShortcut = PathExists(shortcut);
    LauncherStartSteps noClass;
    noClass.registerWindowClass = [](HINSTANCE) { return false; };
    LauncherStartSteps noWindow;
    noWindow.createWindow = [](HINSTANCE) { return HWND(nullptr); };
    for (const LauncherStartSteps* steps : {&noClass, &noWindow}) {
        EXPECT_FALSE(StartLauncher(GetModuleHandleW(nullptr), *steps));
        EXPECT_EQ(launcherState.gdiplusToken, 0u) << "GDI+ still running";
        EXPECT_FALSE(PathExists(launcherState.backgroundPath.substr(0, launcherState.backgroundPath.rfind(L'\\')) +
                                L"\\vhl_music.mp3"));
    }
    if (!hadShortcut)
        DeleteFileW(shortcut.c_str());
}

}  // namespace
