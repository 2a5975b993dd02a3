#include "update/local/file_install_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/launcher_folder_win.h"
#include "test_support_win.h"
#include "update/local/entry_paths.h"

namespace {

// Once the program ends, a fetched launcher no longer takes the running one's place, while any
// other file still goes in place.
TEST(FileInstall, OnceTheProgramEndsTheRunningLauncherIsNoLongerReplaced) {
    const std::wstring launcher = GetExecutablePath();
    const uint64_t length = LengthOf(launcher);
    ASSERT_GT(length, 0u);
    WriteBytes(TemporaryDownloadPath(launcher), "a newer launcher");
    TemporaryFolder folder;
    const std::wstring other = folder.Path() + L"\\other.dat";
    WriteBytes(TemporaryDownloadPath(other), "new");

    KeepLauncherInPlace();
    const DownloadOutcome outcome = InstallDownload(launcher);
    const bool replaced = PathExists(SupersededLauncherPath(launcher));
    if (replaced) {  // puts the running binary back, so the suite goes on as it was
        DeleteFileW(launcher.c_str());
        MoveFileExW(SupersededLauncherPath(launcher).c_str(), launcher.c_str(), 0);
    }
    EXPECT_EQ(outcome, DownloadOutcome::kInUse);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(LengthOf(launcher), length);
    EXPECT_FALSE(PathExists(TemporaryDownloadPath(launcher)));

    EXPECT_EQ(InstallDownload(other), DownloadOutcome::kStored);
    EXPECT_EQ(ReadBytes(other), "new");
}

}  // namespace
