// The launcher's shortcut on the current user's desktop, made once when absent.
#pragma once

#include <string>

// Makes "Vardenhal.lnk" in `desktopFolder` for `executablePath` unless something of that name is
// already there. Silent; skipped when either is empty (the desktop folder or the executable's
// path could not be determined).
void CreateDesktopShortcut(const std::wstring& desktopFolder, const std::wstring& executablePath);

// The current user's file-system desktop folder, or empty when it cannot be determined.
std::wstring GetUserDesktopFolder();
