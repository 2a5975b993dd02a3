#include "update/local/file_install_win.h"

#include "base/launcher_folder_win.h"
#include "base/scoped_win.h"
#include "update/local/entry_paths.h"
#include "update/local/held_file_win.h"
#include "update/local/local_files_win.h"

namespace {

// A rename that waits a moment for another program to let go of either file. Windows answers a
// rename over an open file with a sharing violation or with access denied.
DWORD MoveWaitingForHolders(const std::wstring& from, const std::wstring& to, DWORD flags) {
    const DWORD error =
        RetryWhileHeld([&] { return MoveFileExW(from.c_str(), to.c_str(), flags) ? ERROR_SUCCESS : GetLastError(); },
                       [](DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; });
    return error == ERROR_ACCESS_DENIED ? ERROR_SHARING_VIOLATION : error;
}

// Held across the two renames that replace the running launcher; once the program ends
// (KeepLauncherInPlace), no replacement starts any more.
SRWLOCK launcherSwap = SRWLOCK_INIT;
bool launcherKept = false;  // guarded by launcherSwap

// Moves the finished download over the target. The running launcher cannot be replaced, but it
// can be renamed within its folder: it moves aside, and the new one takes its name.
DownloadOutcome PutInPlace(const std::wstring& temporaryPath, const std::wstring& localPath) {
    DWORD error = ERROR_SUCCESS;
    if (PathKey(localPath) != PathKey(GetExecutablePath())) {
        error = MoveWaitingForHolders(temporaryPath, localPath, MOVEFILE_REPLACE_EXISTING);
    } else {
        const ScopedSrwLock swapping(&launcherSwap);
        if (launcherKept)
            return DownloadOutcome::kInUse;
        const std::wstring aside = LongPathForm(SupersededLauncherPath(localPath));
        error = MoveWaitingForHolders(localPath, aside, MOVEFILE_REPLACE_EXISTING);
        if (error == ERROR_SUCCESS && !MoveFileExW(temporaryPath.c_str(), localPath.c_str(), 0)) {
            error = GetLastError();
            MoveFileExW(aside.c_str(), localPath.c_str(), 0);
        }
    }
    return error == ERROR_SUCCESS ? DownloadOutcome::kStored : LocalFailure(error);
}

}  // namespace

DownloadOutcome LocalFailure(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return DownloadOutcome::kNoRoom;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return DownloadOutcome::kInUse;
        default:
            return DownloadOutcome::kCannotWrite;
    }
}

DownloadOutcome InstallDownload(const std::wstring& localPath) {
    const std::wstring temporaryPath = LongPathForm(TemporaryDownloadPath(localPath));
    const DownloadOutcome placed = PutInPlace(temporaryPath, localPath);
    if (placed != DownloadOutcome::kStored) {
        DeleteFileW(temporaryPath.c_str());
        DeleteFileW(LongPathForm(ResumeRecordPath(localPath)).c_str());
    }
    return placed;
}

void KeepLauncherInPlace() {
    const ScopedSrwLock swapping(&launcherSwap);
    launcherKept = true;
}
