#include "update/update_run.h"

#include <map>
#include <new>
#include <set>
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

// The manifest's entries, or none when it could not be fetched (or held in memory). The text is
// released here: the entries hold everything the run needs.
bool FetchEntries(const UpdateOperations& operations,
                  const std::string& serverRoot,
                  std::vector<FileListEntry>* entries) {
    try {
        const std::string manifestText = operations.fetchManifest(BuildManifestAddress(serverRoot));
        if (manifestText.empty())
            return false;
        *entries = ParseFileList(manifestText);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Our temporary downloads in the folders of the listed files: those of listed paths are deleted
// at once, before any entry is examined; the others are returned, for a complete run to delete.
std::vector<std::wstring> RemoveStaleDownloads(const UpdateOperations& operations,
                                               const std::wstring& launcherFolder,
                                               const std::vector<FileListEntry>& entries) {
    std::set<std::wstring> listed;
    std::map<std::wstring, std::wstring> folders;  // key -> folder as first written
    for (const FileListEntry& entry : entries) {
        if (!IsEntryPathAllowed(entry.path))
            continue;
        const std::wstring localPath = BuildLocalPath(launcherFolder, WidenManifestPath(entry.path));
        listed.insert(PathKey(TemporaryDownloadPath(localPath)));
        const std::wstring folder = localPath.substr(0, localPath.rfind(L'\\'));
        folders.emplace(PathKey(folder), folder);
    }
    std::vector<std::wstring> unlisted;
    for (const auto& folder : folders) {
        for (const std::wstring& found : operations.listTemporaryFiles(folder.second)) {
            if (listed.count(PathKey(found)))
                operations.deleteFile(found);
            else
                unlisted.push_back(found);
        }
    }
    return unlisted;
}

}  // namespace

bool RunUpdate(const std::wstring& launcherFolder, const std::string& serverRoot, const UpdateOperations& operations) {
    operations.postStatus(kStatusChecking);
    std::vector<FileListEntry> entries;
    if (!FetchEntries(operations, serverRoot, &entries))
        return EndRun(operations, kStatusCannotConnect, false);
    if (entries.empty())
        return EndRun(operations, kStatusNoFiles, false);

    const std::string fileBaseAddress = BuildFileBaseAddress(serverRoot);
    const int32_t total = static_cast<int32_t>(entries.size());
    int32_t done = 0;
    operations.postProgress(done, total);
    const std::vector<std::wstring> unlistedDownloads = RemoveStaleDownloads(operations, launcherFolder, entries);

    for (const FileListEntry& entry : entries) {
        // Checked once per entry only: a transfer or digest under way runs to its end.
        if (operations.isCancelRequested())
            return EndRun(operations, kStatusCancelled, false);

        const std::wstring widePath = WidenManifestPath(entry.path);
        // A path that could leave the folder is treated as a failed download before anything
        // is read or written for it.
        if (!IsEntryPathAllowed(entry.path))
            return EndRun(operations, kStatusDownloadFailedPrefix + widePath, false);

        try {
            const std::wstring localPath = BuildLocalPath(launcherFolder, widePath);
            // Byte comparison: an upper-case manifest digest never matches and is fetched every
            // run. An empty digest means the file could not be read, so it never counts as a
            // match, not even against a manifest line with an empty digest.
            if (operations.pathExists(localPath)) {
                const std::string localDigest = operations.computeDigest(localPath);
                if (!localDigest.empty() && localDigest == entry.md5) {
                    operations.postProgress(++done, total);
                    continue;
                }
            }

            operations.postStatus(kStatusDownloadingPrefix + widePath);
            if (!operations.downloadFile(BuildDownloadAddress(fileBaseAddress, entry.path), localPath, entry.md5))
                return EndRun(operations, kStatusDownloadFailedPrefix + widePath, false);
        } catch (const std::bad_alloc&) {
            // Whatever this entry held is released by now, so the end's text can be made.
            return EndRun(operations, kStatusDownloadFailedPrefix + widePath, false);
        }
        operations.postProgress(++done, total);
    }
    for (const std::wstring& path : unlistedDownloads)
        operations.deleteFile(path);
    return EndRun(operations, kStatusComplete, true);
}
