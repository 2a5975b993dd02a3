#include "shell/desktop_shortcut.h"

std::wstring BuildShortcutPath(const std::wstring& desktopFolder) {
    return desktopFolder + kShortcutFileName;
}

std::wstring ComputeShortcutWorkingDirectory(const std::wstring& executablePath) {
    const size_t separator = executablePath.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return executablePath;
    return executablePath.substr(0, separator);
}
