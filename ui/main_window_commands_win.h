// What the main window starts outside itself: web pages, the game, the Info dialog, the update
// worker and the music device. The program uses the real operations; tests put recorders in
// their place.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct UpdateRunFlags;

struct MainWindowCommands {
    std::function<void(const char* address)> openLink;
    std::function<void()> launchGame;
    std::function<void(HWND owner)> openInfoDialog;
    std::function<HANDLE(HWND window, const std::shared_ptr<UpdateRunFlags>& flags)> startUpdateWorker;
    std::function<unsigned(const std::wstring& command)> sendMusicCommand;  // an MCI string command
};
// Windows calls the window procedure with its own arguments only, so the window finds its
// operations here: one set for the process.
extern MainWindowCommands mainWindowCommands;

// Opens an address in the default browser ("open", SW_SHOWNORMAL; the result is not examined).
void OpenLinkInBrowser(const char* address);

// The background music on launcherState's musicPath, musicVolume and musicPlaying.
void StartMusic();
// Sends volume (percent) to the open device; storing it in musicVolume is the caller's business.
void SetMusicVolume(int32_t volume);
void StopMusic();
