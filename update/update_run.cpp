#include "update/update_run.h"

#include <map>
#include <memory>
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
const wchar_t kStatusNoRoomPrefix[] = L"Error: Not enough disk space: ";
const wchar_t kStatusInUsePrefix[] = L"Error: File in use: ";
const wchar_t kStatusCannotWritePrefix[] = L"Error: Cannot write: ";

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
    // Sends a figure held back, if any.
    void Flush() {
        if (held)
            operations.postProgress(heldDone, heldTotal);
        held = false;
    }
    void Status(const std::wstring& text) {
        Flush();
        operations.postStatus(text);
    }
};

// The status text of an end is the run's last report; the finish message follows it once the
// caller has let go of everything the run used, so the window shows the text before it leaves
// the running state.
bool EndRun(Reports& reports, const std::wstring& text, bool complete) {
    reports.Status(text);
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

// Up to kMostAttempts transfers of one file, the later ones only after a failure that may pass and
// a wait that CANCEL cuts short. Each goes on where the one before stopped, if it can.
DownloadOutcome DownloadWithRetries(const UpdateOperations& operations,
                                    const std::string& address,
                                    const std::wstring& localPath,
                                    const std::string& md5) {
    for (int attempt = 1;; ++attempt) {
        const DownloadOutcome outcome = operations.downloadFile(address, localPath, md5);
        if (outcome != DownloadOutcome::kFailedForNow || attempt == kMostAttempts || !operations.waitUnlessCancelled)
            return outcome == DownloadOutcome::kFailedForNow ? DownloadOutcome::kFailed : outcome;
        if (operations.waitUnlessCancelled(kRetryDelaysMs[attempt - 1]))
            return DownloadOutcome::kCancelled;
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
// One animation tick: a digest that takes longer holds the bar back visibly.
constexpr uint32_t kShortDigestWaitMs = 16;

// The end of an entry whose download did not store the file.
std::wstring FailureText(DownloadOutcome outcome, const std::wstring& widePath) {
    switch (outcome) {
        case DownloadOutcome::kCancelled:
            return kStatusCancelled;
        case DownloadOutcome::kNoRoom:
            return kStatusNoRoomPrefix + widePath;
        case DownloadOutcome::kInUse:
            return kStatusInUsePrefix + widePath;
        case DownloadOutcome::kCannotWrite:
            return kStatusCannotWritePrefix + widePath;
        default:
            return kStatusDownloadFailedPrefix + widePath;
    }
}

// What the run prepares before it examines the first entry: the temporary downloads that belong
// to no listed file any more, the local paths, and the digests computed ahead.
struct Prepared {
    std::vector<std::wstring> leftDownloads;
    std::vector<std::wstring> paths;
    std::unique_ptr<DigestsAhead> ahead;
};

}  // namespace

bool RunUpdate(const std::wstring& launcherFolder, const std::string& serverRoot, const UpdateOperations& operations) {
    Reports reports{operations};
    reports.Status(kStatusChecking);
    std::vector<FileListEntry> entries;
    const Fetched fetched = FetchEntries(operations, serverRoot, &entries);
    // CANCEL ends a fetch under way; what came is not looked at.
    if (fetched == Fetched::kNoConnection && operations.isCancelRequested())
        return EndRun(reports, kStatusCancelled, false);
    if (fetched != Fetched::kEntries)
        return EndRun(reports, fetched == Fetched::kNotSigned ? kStatusNotSigned : kStatusCannotConnect, false);
    if (entries.empty())
        return EndRun(reports, kStatusNoFiles, false);

    const int32_t total = static_cast<int32_t>(entries.size());
    int32_t done = 0;
    reports.Progress(done, total);
    Prepared prepared;
    std::string fileBaseAddress;
    try {
        fileBaseAddress = BuildFileBaseAddress(serverRoot);
        // What is left of these once every listed file is in place belongs to no download any more.
        prepared.leftDownloads = RemoveStaleDownloads(operations, launcherFolder, entries);
        prepared.paths = PathsToExamine(launcherFolder, entries);
        if (operations.digestThreads > 0 && prepared.paths.size() > 1) {
            prepared.ahead.reset(
                new DigestsAhead(prepared.paths, kDigestsAhead, operations.digestThreads, operations.computeDigest));
            if (!prepared.ahead->IsRunning())
                prepared.ahead.reset();
        }
    } catch (const std::bad_alloc&) {
        // Nothing has been examined yet: the run ends as if the list had not come.
        prepared = Prepared();
        return EndRun(reports, kStatusCannotConnect, false);
    }
    const std::vector<std::wstring>& paths = prepared.paths;
    DigestsAhead* const ahead = prepared.ahead.get();
    const std::atomic<bool> noStop{false};
    std::set<std::wstring> written;  // a path listed twice is read again after its first download

    for (size_t index = 0; index < entries.size(); ++index) {
        const FileListEntry& entry = entries[index];
        if (operations.isCancelRequested())
            return EndRun(reports, kStatusCancelled, false);

        const std::wstring widePath = WidenManifestPath(entry.path);
        // A path that could leave the folder is treated as a failed download before anything
        // is read or written for it.
        if (index >= paths.size())
            return EndRun(reports, kStatusDownloadFailedPrefix + widePath, false);

        try {
            const std::wstring& localPath = paths[index];
            bool exists = false;
            FileDigest local;
            if (ahead) {
                // The bar shows what is done before the run waits for a long digest. A short one,
                // as most are, is waited for first: a message for each small file would cost more
                // than its digest.
                if (!ahead->WaitUntilReady(index, kShortDigestWaitMs))
                    reports.Flush();
                local = ahead->Take(index);
                exists = true;  // a file that could not be read counts too: like a missing one, it is fetched
            }
            if (!ahead || written.count(PathKey(localPath))) {
                exists = operations.pathExists(localPath);
                local = exists ? operations.computeDigest(localPath, noStop) : FileDigest();
            }
            // Held by another program: neither its digest nor a replace can work now.
            if (exists && local.inUse)
                return EndRun(reports, kStatusInUsePrefix + widePath, false);
            // Byte comparison: an upper-case manifest digest never matches and is fetched every
            // run. An empty digest means the file could not be read, so it never counts as a
            // match, not even against a manifest line with an empty digest.
            if (exists && !local.digest.empty() && local.digest == entry.md5) {
                reports.Progress(++done, total);
                continue;
            }

            reports.Status(kStatusDownloadingPrefix + widePath);
            const DownloadOutcome outcome = DownloadWithRetries(
                operations, BuildDownloadAddress(fileBaseAddress, entry.path), localPath, entry.md5);
            if (outcome != DownloadOutcome::kStored)
                return EndRun(reports, FailureText(outcome, widePath), false);
            written.insert(PathKey(localPath));
        } catch (const std::bad_alloc&) {
            // Whatever this entry held is released by now, so the end's text can be made.
            return EndRun(reports, kStatusDownloadFailedPrefix + widePath, false);
        }
        reports.Progress(++done, total);
    }
    for (const std::wstring& path : prepared.leftDownloads)
        operations.deleteFile(path);
    return EndRun(reports, kStatusComplete, true);
}
