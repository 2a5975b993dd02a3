#include "base/launcher_folder_win.h"

#include <windows.h>
#include <shlwapi.h>

std::wstring GetExecutablePath() {
    // A fixed MAX_PATH buffer would cut long install paths; grow until the whole path fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring GetLauncherFolder() {
    std::wstring path = GetExecutablePath();
    if (path.empty())
        return path;
    // PathRemoveFileSpecW cuts at the last separator in place, keeping a drive root's backslash.
    PathRemoveFileSpecW(&path[0]);
    path.resize(wcslen(path.c_str()));
    return path;
}
