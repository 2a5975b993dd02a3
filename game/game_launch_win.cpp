#include "game/game_launch_win.h"

#include <windows.h>
#include <shellapi.h>

#include "game/game_paths.h"

#include <utility>

namespace {

DWORD WINAPI CleanUpAutoLoginThread(LPVOID parameter) {
    // The thread owns its copy of the folder; nothing else is shared with the window.
    std::wstring* folder = static_cast<std::wstring*>(parameter);
    CleanUpAutoLogin(std::move(*folder));
    delete folder;
    return 0;
}

}  // namespace

bool IsGameClientPresent(const std::wstring& folder) {
    return GetFileAttributesW(BuildGameClientPath(folder).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void LaunchGame(const std::wstring& folder) {
    // The client finds its data relative to the game folder, not to system\.
    ShellExecuteW(nullptr, L"open", BuildGameClientPath(folder).c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);

    // The second of grace is all the starting client gets to read its AutoLogin files.
    std::wstring* threadFolder = new std::wstring(folder);
    HANDLE thread = CreateThread(nullptr, 0, CleanUpAutoLoginThread, threadFolder, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        delete threadFolder;
}

void CleanUpAutoLogin(std::wstring folder) {
    Sleep(kAutoLoginCleanUpDelayMs);
    for (const std::wstring& path : BuildAutoLoginPaths(folder))
        DeleteFileW(path.c_str());
}
