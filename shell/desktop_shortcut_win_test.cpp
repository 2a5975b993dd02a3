#include "shell/desktop_shortcut_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "base/launcher_folder_win.h"
#include "test_support_win.h"

namespace {

struct ShortcutContents {
    bool loaded = false;
    std::wstring target;
    std::wstring description;
    std::wstring iconPath;
    int iconIndex = -1;
    std::wstring workingDirectory;
};

// Reads a saved shortcut back through the shell's own link object.
ShortcutContents ReadShortcut(const std::wstring& path) {
    ShortcutContents contents;
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
                contents.loaded = true;
                wchar_t text[MAX_PATH * 2] = {};
                link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
                contents.target = text;
                text[0] = 0;
                link->GetDescription(text, MAX_PATH * 2);
                contents.description = text;
                text[0] = 0;
                link->GetIconLocation(text, MAX_PATH * 2, &contents.iconIndex);
                contents.iconPath = text;
                text[0] = 0;
                link->GetWorkingDirectory(text, MAX_PATH * 2);
                contents.workingDirectory = text;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return contents;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

void ExpectSamePath(const std::wstring& actual, const std::wstring& expected) {
    EXPECT_EQ(lstrcmpiW(actual.c_str(), expected.c_str()), 0) << Narrow(actual) << " vs " << Narrow(expected);
}

void ExpectShortcutTo(const std::wstring& shortcutPath,
                      const std::wstring& executablePath,
                      const std::wstring& executableFolder) {
    const ShortcutContents contents = ReadShortcut(shortcutPath);
    ASSERT_TRUE(contents.loaded) << Narrow(shortcutPath);
    ExpectSamePath(contents.target, executablePath);
    EXPECT_EQ(contents.description, L"Vardenhal Updater");
    ExpectSamePath(contents.iconPath, executablePath);
    EXPECT_EQ(contents.iconIndex, 0);
    ExpectSamePath(contents.workingDirectory, executableFolder);
}

// A game folder with blanks holding a launcher executable, and a desktop folder beside it.
struct Install {
    TemporaryFolder temp;
    std::wstring gameFolder = temp.Path() + L"\\Lineage II";
    std::wstring executable = gameFolder + L"\\VardenhalUpdater.exe";
    std::wstring desktop = temp.Path() + L"\\Desktop";
    std::wstring shortcut = desktop + L"\\Vardenhal.lnk";

    Install() {
        CreateDirectoryW(gameFolder.c_str(), nullptr);
        CreateDirectoryW(desktop.c_str(), nullptr);
        WriteBytes(executable, "MZ");
    }
};

TEST(DesktopShortcutWin, CreatedInTheGivenDesktopPointingAtTheExecutable) {
    Install install;
    CreateDesktopShortcut(install.desktop, install.executable);
    ASSERT_TRUE(PathExists(install.shortcut));
    ExpectShortcutTo(install.shortcut, install.executable, install.gameFolder);

    // COM was set up for the step only: the thread is uninitialised again afterwards.
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(DesktopShortcutWin, AnythingAlreadyNamedLikeTheShortcutIsLeftAlone) {
    enum class Existing { File, Folder, OtherInstall };
    for (const Existing existing : {Existing::File, Existing::Folder, Existing::OtherInstall}) {
        SCOPED_TRACE(static_cast<int>(existing));
        Install install;
        Install other;
        switch (existing) {
            case Existing::File:
                WriteBytes(install.shortcut, "not a shortcut");
                break;
            case Existing::Folder:
                CreateDirectoryW(install.shortcut.c_str(), nullptr);
                WriteBytes(install.shortcut + L"\\inside.txt", "kept");
                break;
            case Existing::OtherInstall:
                // Made when the launcher lived elsewhere; it keeps pointing there.
                CreateDesktopShortcut(install.desktop, other.executable);
                break;
        }
        const std::string before = existing == Existing::Folder ? "" : ReadBytes(install.shortcut);

        CreateDesktopShortcut(install.desktop, install.executable);

        switch (existing) {
            case Existing::File:
                EXPECT_EQ(ReadBytes(install.shortcut), "not a shortcut");
                break;
            case Existing::Folder:
                EXPECT_TRUE(IsFolder(install.shortcut));
                EXPECT_EQ(ReadBytes(install.shortcut + L"\\inside.txt"), "kept");
                break;
            case Existing::OtherInstall:
                EXPECT_EQ(ReadBytes(install.shortcut), before);
                ExpectShortcutTo(install.shortcut, other.executable, other.gameFolder);
                break;
        }
    }
}

TEST(DesktopShortcutWin, MadeAgainAfterThePlayerDeletesIt) {
    Install install;
    CreateDesktopShortcut(install.desktop, install.executable);
    ASSERT_TRUE(PathExists(install.shortcut));
    ASSERT_TRUE(DeleteFileW(install.shortcut.c_str()));
    CreateDesktopShortcut(install.desktop, install.executable);
    ExpectShortcutTo(install.shortcut, install.executable, install.gameFolder);
}

TEST(DesktopShortcutWin, MissingDesktopFolderLeavesNothingBehind) {
    Install install;
    const std::wstring missing = install.temp.Path() + L"\\NoSuchDesktop";
    CreateDesktopShortcut(missing, install.executable);
    EXPECT_FALSE(PathExists(missing));
    EXPECT_FALSE(PathExists(missing + L"\\Vardenhal.lnk"));
}

// The real entry point writes to the user's own desktop of the test prefix; a shortcut already
// there is put aside for the test and put back afterwards.
TEST(DesktopShortcutWin, EntryPointUsesTheCurrentUsersDesktop) {
    const std::wstring desktop = GetUserDesktopFolder();
    ASSERT_FALSE(desktop.empty());
    wchar_t common[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, common);
    EXPECT_NE(lstrcmpiW(desktop.c_str(), common), 0);

    const std::wstring shortcut = desktop + L"\\Vardenhal.lnk";
    const std::wstring aside = desktop + L"\\Vardenhal.lnk.test-aside";
    const bool hadOne = PathExists(shortcut);
    if (hadOne) {
        ASSERT_TRUE(MoveFileExW(shortcut.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING));
    }

    CreateDesktopShortcut(GetUserDesktopFolder(), GetExecutablePath());
    EXPECT_TRUE(PathExists(shortcut));
    ExpectShortcutTo(shortcut, GetExecutablePath(), GetLauncherFolder());
    EXPECT_FALSE(PathExists(std::wstring(common) + L"\\Vardenhal.lnk"));

    RemoveTree(shortcut);
    if (hadOne)
        MoveFileExW(aside.c_str(), shortcut.c_str(), 0);
}

}  // namespace
