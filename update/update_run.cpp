#include "update/update_run.h"

#include <vector>

#include "update/entry_paths.h"
#include "update/manifest.h"

const wchar_t kStatusChecking[] = L"Checking for updates...";
const wchar_t kStatusCannotConnect[] = L"Error: Cannot connect to update server.";
const wchar_t kStatusNoFiles[] = L"No files to download.";
const wchar_t kStatusCancelled[] = L"Update cancelled.";
const wchar_t kStatusDownloadingPrefix[] = L"Downloading: ";
const wchar_t kStatusDownloadFailedPrefix[] = L"Error downloading: ";
const wchar_t kStatusComplete[] = L"Update complete! Press GAME START to play.";

namespace {

// The status text of an end always goes out before the finish message, so the window shows it
// before it leaves the running state.
bool EndRun(const UpdateOperations& operations, const std::wstring& text, bool complete) {
    operations.postStatus(text);
    operations.postFinished(complete);
    return complete;
}

}  // namespace

bool RunUpdate(const std::wstring& launcherFolder, const std::string& serverRoot, const UpdateOperations& operations) {
    operations.postStatus(kStatusChecking);
    const std::string manifestText = operations.fetchManifest(BuildManifestAddress(serverRoot));
    if (manifestText.empty())
        return EndRun(operations, kStatusCannotConnect, false);

    const std::vector<FileListEntry> entries = ParseFileList(manifestText);
    if (entries.empty())
        return EndRun(operations, kStatusNoFiles, false);

    const std::string fileBaseAddress = BuildFileBaseAddress(serverRoot);
    const int32_t total = static_cast<int32_t>(entries.size());
    int32_t done = 0;
    operations.postProgress(done, total);

    for (const FileListEntry& entry : entries) {
        // Checked once per entry only: a transfer or digest under way runs to its end.
        if (operations.isCancelRequested())
            return EndRun(operations, kStatusCancelled, false);

        const std::wstring widePath = WidenManifestPath(entry.path);
        // A path that could leave the folder is treated as a failed download before anything
        // is read or written for it.
        if (!IsEntryPathAllowed(entry.path))
            return EndRun(operations, kStatusDownloadFailedPrefix + widePath, false);

        const std::wstring localPath = BuildLocalPath(launcherFolder, widePath);
        // Byte comparison: an upper-case manifest digest never matches and is fetched every run.
        // An empty digest means the file could not be read, so it never counts as a match, not
        // even against a manifest line with an empty digest.
        if (operations.pathExists(localPath)) {
            const std::string localDigest = operations.computeDigest(localPath);
            if (!localDigest.empty() && localDigest == entry.md5) {
                operations.postProgress(++done, total);
                continue;
            }
        }

        operations.postStatus(kStatusDownloadingPrefix + widePath);
        if (!operations.downloadFile(BuildDownloadAddress(fileBaseAddress, entry.path), localPath))
            return EndRun(operations, kStatusDownloadFailedPrefix + widePath, false);
        operations.postProgress(++done, total);
    }
    return EndRun(operations, kStatusComplete, true);
}
