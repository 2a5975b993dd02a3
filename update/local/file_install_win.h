// Putting a fetched file in place of the old one, and the running launcher aside for its successor.
#pragma once

#include <windows.h>

#include <string>

#include "update/local/download_outcome.h"

// What keeps a file from being written or replaced, by the error Windows gave.
DownloadOutcome LocalFailure(DWORD error);

// Replaces `localPath` with the file FetchToTemporary left beside it: kStored, or kInUse or
// kCannotWrite, which leave an existing file as it was and remove the temporary one. When
// `localPath` is the running launcher, the running one is moved aside to SupersededLauncherPath.
DownloadOutcome InstallDownload(const std::wstring& localPath);

// Waits until a replacement of the running launcher under way has ended, and keeps any other from
// starting (InstallDownload then leaves the launcher as it is, with kInUse): for the end of the
// process, which must not fall between its two renames and leave no launcher at all.
void KeepLauncherInPlace();
