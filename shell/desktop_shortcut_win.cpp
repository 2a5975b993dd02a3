#include "shell/desktop_shortcut_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/scoped_win.h"
#include "shell/desktop_shortcut.h"

std::wstring GetUserDesktopFolder() {
    wchar_t folder[MAX_PATH] = {};
    // The user's own desktop, not the one shared by all users.
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::wstring();
    return folder;
}

void CreateDesktopShortcut(const std::wstring& desktopFolder, const std::wstring& executablePath) {
    // Without a desktop folder the path would be relative to wherever the process happens to run.
    if (executablePath.empty() || desktopFolder.empty())
        return;
    const std::wstring shortcutPath = BuildShortcutPath(desktopFolder);
    // Whatever holds the name, even a folder or a link to another install, is the player's; leave it.
    if (GetFileAttributesW(shortcutPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        return;

    // The program needs COM for this step only.
    CoInitialize(nullptr);
    {
        ScopedComPtr<IShellLinkW> link;
        if (SUCCEEDED(
                CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive()))) {
            link->SetPath(executablePath.c_str());
            link->SetDescription(kShortcutDescription);
            link->SetIconLocation(executablePath.c_str(), kShortcutIconIndex);
            link->SetWorkingDirectory(ComputeShortcutWorkingDirectory(executablePath).c_str());
            ScopedComPtr<IPersistFile> file;
            if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive())))
                file->Save(shortcutPath.c_str(), TRUE);
        }
    }
    CoUninitialize();
}
