// What the launcher's desktop shortcut is called and what it holds.
#pragma once

#include <string>

constexpr wchar_t kShortcutFileName[] = L"\\Vardenhal.lnk";
// The main window's title, so the shortcut reads like the window it opens.
constexpr wchar_t kShortcutDescription[] = L"Vardenhal Updater";
constexpr int kShortcutIconIndex = 0;

// desktopFolder has no trailing separator.
std::wstring BuildShortcutPath(const std::wstring& desktopFolder);

// The executable path cut before its last backslash or slash; the whole path when it has neither.
std::wstring ComputeShortcutWorkingDirectory(const std::wstring& executablePath);
