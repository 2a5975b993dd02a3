// The launcher's shortcut on the current user's desktop, made once when absent.
#pragma once

#include <string>

// Makes "Vardenhal.lnk" on the user's desktop for the running executable unless something of
// that name is already there. Silent; skipped when the desktop folder cannot be determined.
void CreateDesktopShortcut();

// The same for a given desktop folder and target executable.
void CreateDesktopShortcutIn(const std::wstring& desktopFolder, const std::wstring& executablePath);

// The current user's file-system desktop folder, or empty when it cannot be determined.
std::wstring GetUserDesktopFolder();
