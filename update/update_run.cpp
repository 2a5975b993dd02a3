#include "update/update_run.h"

#include <map>
#include <new>
#include <set>
#include <vector>

#include "update/digests_ahead.h"
#include "update/entry_paths.h"
#include "update/manifest.h"

const wchar_t kStatusChecking[] = L"Checking for updates...";
const wchar_t kStatusCannotConnect[] = L"Error: Cannot connect to update server.";
const wchar_t kStatusNoFiles[] = L"No files to download.";
const wchar_t kStatusCancelled[] = L"Update cancelled.";
const wchar_t kStatusDownloadingPrefix[] = L"Downloading: ";
const wchar_t kStatusDownloadFailedPrefix[] = L"Error downloading: ";
const wchar_t kStatusComplete[] = L"Update complete! Press GAME START to play.";
const wchar_t kStatusNotSigned[] = L"Error: The update list is not signed.";

namespace {

// Reports to the window. Progress may wait while the window has not read the last report; what
// waits goes out before any status text or finish, so the window's figures are exact then.
struct Reports {
    const UpdateOperations& operations;
    bool held = false;
    int32_t heldDone = 0;
    int32_t heldTotal = 0;

    void Progress(int32_t done, int32_t total) {
        held = operations.isProgressUnread && operations.isProgressUnread();
        heldDone = done;
        heldTotal = total;
        if (!held)
            operations.postProgress(done, total);
    }
    void Status(const std::wstring& text) {
        if (held)
            operations.postProgress(heldDone, heldTotal);
        held = false;
        operations.postStatus(text);
    }
};

// The status text of an end always goes out before the finish message, so the window shows it
// before it leaves the running state.
bool EndRun(Reports& reports, const std::wstring& text, bool complete) {
    reports.Status(text);
    reports.operations.postFinished(complete);
    return complete;
}

enum class Fetched { kEntries, kNoConnection, kNotSigned };

// The manifest's entries, read only after a signed build has found the operator's signature over
// the very bytes fetched. The text is released here: the entries hold everything the run needs.
Fetched FetchEntries(const UpdateOperations& operations,
                     const std::string& serverRoot,
                     std::vector<FileListEntry>* entries) {
    try {
        const std::string manifestAddress = BuildManifestAddress(serverRoot);
        const std::string manifestText = operations.fetchManifest(manifestAddress);
        if (manifestText.empty())
            return Fetched::kNoConnection;
        if (operations.isManifestSigned && !operations.isManifestSigned(manifestText, manifestAddress + ".sig"))
            return Fetched::kNotSigned;
        *entries = ParseFileList(manifestText);
        return Fetched::kEntries;
    } catch (const std::bad_alloc&) {
        return Fetched::kNoConnection;
    }
}

enum class Attempts { kStored, kFailed, kCancelled };

// Up to kMostAttempts transfers of one file, the later ones only after a failure that may pass and
// a wait that CANCEL cuts short. Each goes on where the one before stopped, if it can.
Attempts DownloadWithRetries(const UpdateOperations& operations,
                             const std::string& address,
                             const std::wstring& localPath,
                             const std::string& md5) {
    for (int attempt = 1;; ++attempt) {
        const DownloadOutcome outcome = operations.downloadFile(address, localPath, md5);
        if (outcome == DownloadOutcome::kStored)
            return Attempts::kStored;
        if (outcome == DownloadOutcome::kFailed || attempt == kMostAttempts || !operations.waitUnlessCancelled)
            return Attempts::kFailed;
        if (operations.waitUnlessCancelled(kRetryDelaysMs[attempt - 1]))
            return Attempts::kCancelled;
    }
}

// Our temporary downloads in the folders of the listed files: those of listed paths are deleted
// at once, before any entry is examined, unless they can resume; the others are returned, for a
// complete run to delete.
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
            const bool resumable = operations.canResume && operations.canResume(found);
            if (listed.count(PathKey(found)) && !resumable)
                operations.deleteFile(found);
            else
                unlisted.push_back(found);
        }
    }
    return unlisted;
}

// The local paths of the entries up to the first refused one: nothing at or after it is read.
std::vector<std::wstring> PathsToExamine(const std::wstring& launcherFolder,
                                         const std::vector<FileListEntry>& entries) {
    std::vector<std::wstring> paths;
    for (const FileListEntry& entry : entries) {
        if (!IsEntryPathAllowed(entry.path))
            break;
        paths.push_back(BuildLocalPath(launcherFolder, WidenManifestPath(entry.path)));
    }
    return paths;
}

// How far the digests may run ahead of the entry under way: enough to keep the digest threads
// busy while the run downloads or reports, little enough that a cancel drops little work.
constexpr size_t kDigestsAhead = 32;

// Stops the digests computed ahead on every way out of a run, after its end has been posted.
struct DigestsAheadStop {
    DigestsAhead* ahead;
    ~DigestsAheadStop() {
        if (ahead)
            StopDigestsAhead(ahead);
    }
};

}  // namespace

bool RunUpdate(const std::wstring& launcherFolder, const std::string& serverRoot, const UpdateOperations& operations) {
    Reports reports{operations};
    reports.Status(kStatusChecking);
    std::vector<FileListEntry> entries;
    const Fetched fetched = FetchEntries(operations, serverRoot, &entries);
    if (fetched != Fetched::kEntries)
        return EndRun(reports, fetched == Fetched::kNotSigned ? kStatusNotSigned : kStatusCannotConnect, false);
    if (entries.empty())
        return EndRun(reports, kStatusNoFiles, false);

    const std::string fileBaseAddress = BuildFileBaseAddress(serverRoot);
    const int32_t total = static_cast<int32_t>(entries.size());
    int32_t done = 0;
    reports.Progress(done, total);
    // What is left of these once every listed file is in place belongs to no download any more.
    const std::vector<std::wstring> leftDownloads = RemoveStaleDownloads(operations, launcherFolder, entries);

    const std::vector<std::wstring> paths = PathsToExamine(launcherFolder, entries);
    DigestsAhead ahead;
    const bool computeAhead = operations.digestThreads > 0 && paths.size() > 1;
    if (computeAhead)
        StartDigestsAhead(&ahead, paths, kDigestsAhead, operations.digestThreads, operations.computeDigest);
    DigestsAheadStop stopAhead{computeAhead ? &ahead : nullptr};
    const std::atomic<bool> noStop{false};
    std::set<std::wstring> written;  // a path listed twice is read again after its first download

    for (size_t index = 0; index < entries.size(); ++index) {
        const FileListEntry& entry = entries[index];
        // Checked once per entry only: a transfer or digest under way runs to its end.
        if (operations.isCancelRequested())
            return EndRun(reports, kStatusCancelled, false);

        const std::wstring widePath = WidenManifestPath(entry.path);
        // A path that could leave the folder is treated as a failed download before anything
        // is read or written for it.
        if (index >= paths.size())
            return EndRun(reports, kStatusDownloadFailedPrefix + widePath, false);

        try {
            const std::wstring& localPath = paths[index];
            LocalFileState local;
            if (stopAhead.ahead)
                local = TakeDigestAhead(&ahead, index);
            if (!stopAhead.ahead || written.count(PathKey(localPath))) {
                local.exists = operations.pathExists(localPath);
                local.digest = local.exists ? operations.computeDigest(localPath, noStop) : std::string();
            }
            // Byte comparison: an upper-case manifest digest never matches and is fetched every
            // run. An empty digest means the file could not be read, so it never counts as a
            // match, not even against a manifest line with an empty digest.
            if (local.exists && !local.digest.empty() && local.digest == entry.md5) {
                reports.Progress(++done, total);
                continue;
            }

            reports.Status(kStatusDownloadingPrefix + widePath);
            const Attempts attempts = DownloadWithRetries(operations, BuildDownloadAddress(fileBaseAddress, entry.path),
                                                          localPath, entry.md5);
            if (attempts == Attempts::kCancelled)
                return EndRun(reports, kStatusCancelled, false);
            if (attempts == Attempts::kFailed)
                return EndRun(reports, kStatusDownloadFailedPrefix + widePath, false);
            written.insert(PathKey(localPath));
        } catch (const std::bad_alloc&) {
            // Whatever this entry held is released by now, so the end's text can be made.
            return EndRun(reports, kStatusDownloadFailedPrefix + widePath, false);
        }
        reports.Progress(++done, total);
    }
    for (const std::wstring& path : leftDownloads)
        operations.deleteFile(path);
    return EndRun(reports, kStatusComplete, true);
}
