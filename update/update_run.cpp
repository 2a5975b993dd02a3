#include "update/update_run.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "update/digests_ahead.h"
#include "update/download_end.h"
#include "update/entry_paths.h"
#include "update/manifest.h"
#include "update/run_progress.h"

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
const wchar_t kStatusListOlder[] = L"Error: The update list is older than the one installed.";

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
    // Sends a figure held back once the window has read the last one.
    void Poll() {
        if (held && !operations.isProgressUnread())
            Flush();
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

// Up to kMostAttempts tries of one file, each asking the roots in the order of `fileBases` until
// one has it; the later tries only after a failure that may pass and a wait that CANCEL (or
// `stop`) cuts short. Each goes on where the one before stopped, if it can.
DownloadOutcome FetchWithRetries(const UpdateOperations& operations,
                                 const std::vector<std::string>& fileBases,
                                 const FileListEntry& entry,
                                 const std::wstring& localPath,
                                 FetchProgress& progress,
                                 const std::atomic<bool>& stop) {
    for (int attempt = 1;; ++attempt) {
        bool passing = false;
        for (const std::string& base : fileBases) {
            const DownloadOutcome outcome =
                operations.fetchFile(BuildDownloadAddress(base, entry.path), localPath, entry.md5, progress, stop);
            // A root that lags behind fails the digest like one without the file: the next is asked.
            if (outcome != DownloadOutcome::kFailedForNow && outcome != DownloadOutcome::kFailed)
                return outcome;
            passing = passing || outcome == DownloadOutcome::kFailedForNow;
        }
        if (!passing || attempt == kMostAttempts || !operations.waitUnlessCancelled)
            return DownloadOutcome::kFailed;
        if (operations.waitUnlessCancelled(kRetryDelaysMs[attempt - 1], stop))
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

// How far the digests may run ahead of the entry decided next: enough to keep the digest threads
// busy while the run downloads or reports, little enough that a cancel drops little work.
constexpr size_t kDigestsAhead = 32;
// How far ahead of the entry under way files are fetched: the transfers stay busy behind a large
// file, and a run that fails drops at most this many files fetched for nothing.
constexpr size_t kFetchesAhead = 64;
// One animation tick: a digest that takes longer holds the bar back visibly, and the bar follows
// the bytes of the file under way at this pace.
constexpr uint32_t kTickMs = 16;

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
// to no listed file any more, the local paths, the digests computed ahead and the transfers.
struct Prepared {
    std::vector<std::wstring> leftDownloads;
    std::vector<std::wstring> paths;
    std::unique_ptr<DigestsAhead> ahead;
    std::unique_ptr<FetchQueue> fetches;  // ends (and joins its threads) before the digests ahead
};

enum class Decision : uint8_t { kUndecided, kUpToDate, kFetch, kInUse };

// The entries in list order. `next` is the earliest one not yet handled, the one the status line
// names; entries from there to `decided` have been looked at, and those to fetch are queued. An
// entry is handled (its file in place, or found up to date) only once every entry before it is.
struct Walk {
    const UpdateOperations& operations;
    const std::vector<FileListEntry>& entries;
    const std::vector<std::wstring>& paths;     // up to the first refused entry
    const std::vector<std::string>& fileBases;  // the list's root first
    DigestsAhead* ahead;
    FetchQueue* fetches;  // null: each file fetched on this thread when its turn comes
    Reports& reports;
    const int32_t units;  // progress units per entry
    const int32_t totalUnits;
    std::vector<Decision> decisions;
    // Paths of entries queued but not handled yet: an entry naming the same file again waits for
    // them, so its digest is read after their download and no two transfers share a file.
    std::map<std::wstring, size_t> queuedPaths{};
    std::set<std::wstring> written{};  // a path listed twice is read again after its first download
    size_t next = 0;
    size_t decided = 0;
    size_t announced = 0;  // entries up to here have had their "Downloading" text
    int32_t figure = 0;    // the last progress figure reported
    const std::atomic<bool> noStop{false};

    void Report(int32_t newFigure) {
        if (newFigure > figure) {
            figure = newFigure;
            reports.Progress(figure, totalUnits);
        } else {
            reports.Poll();
        }
    }

    // Looks at one entry's local file. Only the entry under way may wait for its digest.
    bool Decide(size_t index, bool mayWait) {
        const std::wstring& localPath = paths[index];
        const bool rewritten = written.count(PathKey(localPath)) != 0;
        bool exists = false;
        FileDigest local;
        if (ahead) {
            if (!ahead->IsReady(index)) {
                if (!mayWait)
                    return false;
                // The bar shows what is done before the run waits for a long digest. A short one,
                // as most are, is waited for first: a message for each small file would cost more
                // than its digest.
                if (!ahead->WaitUntilReady(index, kTickMs))
                    reports.Flush();
            }
            local = ahead->Take(index);
            exists = true;  // a file that could not be read counts too: like a missing one, it is fetched
        }
        if (!ahead || rewritten) {
            exists = operations.pathExists(localPath);
            local = exists ? operations.computeDigest(localPath, noStop) : FileDigest();
        }
        // Held by another program: neither its digest nor a replace can work now.
        if (exists && local.inUse)
            decisions[index] = Decision::kInUse;
        // Byte comparison: an upper-case manifest digest never matches and is fetched every run.
        // An empty digest means the file could not be read, so it never counts as a match, not
        // even against a manifest line with an empty digest.
        else if (exists && !local.digest.empty() && local.digest == entries[index].md5)
            decisions[index] = Decision::kUpToDate;
        else
            decisions[index] = Decision::kFetch;
        return true;
    }

    // Decides the entries ahead as far as they can be without waiting, the one under way
    // always, and queues those to fetch.
    void DecideAhead() {
        const size_t limit = std::min(paths.size(), next + (fetches ? kFetchesAhead : 1));
        // Without digests ahead, each is read here: one at a time past the entry under way, so
        // CANCEL and the bar are looked at between them.
        size_t readHere = 0;
        while (decided < limit) {
            const std::wstring key = PathKey(paths[decided]);
            if (queuedPaths.count(key) || (!ahead && decided > next && readHere++ > 0) ||
                !Decide(decided, decided == next))
                break;
            if (decisions[decided] == Decision::kFetch && fetches) {
                ++queuedPaths[key];
                fetches->Add(decided);
            }
            ++decided;
        }
    }

    // The download of the entry under way, once it has ended; false while it goes on.
    bool FetchNext(DownloadOutcome* outcome) {
        if (!fetches) {
            FetchProgress progress;
            *outcome = FetchWithRetries(operations, fileBases, entries[next], paths[next], progress, noStop);
            return true;
        }
        if (!fetches->WaitUntilEnded(next, kTickMs)) {
            const FetchProgress& progress = fetches->Progress(next);
            Report(ProgressFigure(static_cast<int32_t>(next), units, progress.received.load(), progress.length.load()));
            return false;
        }
        *outcome = fetches->Outcome(next);
        return true;
    }

    void Handled() {
        ++next;
        Report(static_cast<int32_t>(next) * units);
    }

    // Takes the entry under way one step on; "" while the run goes on, else the text of its end.
    std::wstring Step() {
        const std::wstring widePath = WidenManifestPath(entries[next].path);
        // A path that could leave the folder is treated as a failed download before anything
        // is read or written for it.
        if (next >= paths.size())
            return kStatusDownloadFailedPrefix + widePath;
        DecideAhead();
        switch (decisions[next]) {
            case Decision::kInUse:
                return kStatusInUsePrefix + widePath;
            case Decision::kUpToDate:
                Handled();
                return std::wstring();
            default:
                break;
        }
        if (announced <= next) {
            reports.Status(kStatusDownloadingPrefix + widePath);
            announced = next + 1;
        }
        DownloadOutcome outcome = DownloadOutcome::kFailed;
        if (!FetchNext(&outcome))
            return std::wstring();
        if (outcome == DownloadOutcome::kFetched)
            outcome = operations.installFile(paths[next]);
        if (outcome != DownloadOutcome::kStored)
            return FailureText(outcome, widePath);
        const std::wstring key = PathKey(paths[next]);
        written.insert(key);
        if (fetches && --queuedPaths[key] == 0)
            queuedPaths.erase(key);
        Handled();
        return std::wstring();
    }

    // After an end before the last entry: the transfers are stopped and joined, and what was
    // fetched ahead for nothing goes, but for the parts worth keeping. The entry under way keeps
    // its part as a run of one file at a time would.
    void DropFetchedAhead(bool cancelled) {
        if (!fetches)
            return;
        fetches->StopAndJoin();
        for (size_t index = next; index < decided; ++index) {
            if (decisions[index] != Decision::kFetch || !fetches->HasStarted(index))
                continue;
            if (DropsUnhandledFetch(fetches->Outcome(index), cancelled || index == next,
                                    fetches->Progress(index).length.load()))
                operations.deleteFile(TemporaryDownloadPath(paths[index]));
        }
    }
};

}  // namespace

bool RunUpdate(const std::wstring& launcherFolder,
               const std::vector<std::string>& serverRoots,
               const UpdateOperations& operations) {
    Reports reports{operations};
    reports.Status(kStatusChecking);
    FetchedList fetched = FetchList(operations, serverRoots);
    std::vector<FileListEntry> entries;
    std::vector<std::string> fileBases;
    if (fetched.end == ListEnd::kList) {
        try {
            // The entries hold everything the run needs: the text goes at once.
            entries = ParseFileList(fetched.text);
            fetched.text = std::string();
            fileBases.push_back(BuildFileBaseAddress(serverRoots[fetched.root]));
            for (size_t index = 0; index < serverRoots.size(); ++index) {
                if (index != fetched.root)
                    fileBases.push_back(BuildFileBaseAddress(serverRoots[index]));
            }
        } catch (const std::bad_alloc&) {
            fetched.end = ListEnd::kNoConnection;
        }
    }
    // CANCEL ends a fetch under way; what came is not looked at.
    if (fetched.end == ListEnd::kCancelled || (fetched.end != ListEnd::kList && operations.isCancelRequested()))
        return EndRun(reports, kStatusCancelled, false);
    switch (fetched.end) {
        case ListEnd::kNotSigned:
            return EndRun(reports, kStatusNotSigned, false);
        case ListEnd::kOlderThanInstalled:
            return EndRun(reports, kStatusListOlder, false);
        case ListEnd::kList:
            break;
        default:
            return EndRun(reports, kStatusCannotConnect, false);
    }
    if (entries.empty())
        return EndRun(reports, kStatusNoFiles, false);

    const int32_t units = ProgressUnitsPerEntry(entries.size());
    const int32_t totalUnits = static_cast<int32_t>(entries.size()) * units;
    reports.Progress(0, totalUnits);
    Prepared prepared;
    try {
        // What is left of these once every listed file is in place belongs to no download any more.
        prepared.leftDownloads = RemoveStaleDownloads(operations, launcherFolder, entries);
        prepared.paths = PathsToExamine(launcherFolder, entries);
        if (operations.digestThreads > 0 && prepared.paths.size() > 1) {
            prepared.ahead.reset(
                new DigestsAhead(prepared.paths, kDigestsAhead, operations.digestThreads, operations.computeDigest));
            if (!prepared.ahead->IsRunning())
                prepared.ahead.reset();
        }
        if (operations.transferThreads > 0 && prepared.paths.size() > 1) {
            const std::vector<std::wstring>& paths = prepared.paths;
            prepared.fetches.reset(new FetchQueue(
                paths.size(), std::min(operations.transferThreads, paths.size()),
                [&operations, &paths, &entries, &fileBases](size_t index, FetchProgress& progress,
                                                            const std::atomic<bool>& stop) {
                    return FetchWithRetries(operations, fileBases, entries[index], paths[index], progress, stop);
                }));
            if (!prepared.fetches->IsRunning())
                prepared.fetches.reset();
        }
    } catch (const std::bad_alloc&) {
        // Nothing has been examined yet: the run ends as if the list had not come.
        prepared = Prepared();
        return EndRun(reports, kStatusCannotConnect, false);
    }

    Walk walk{operations,
              entries,
              prepared.paths,
              fileBases,
              prepared.ahead.get(),
              prepared.fetches.get(),
              reports,
              units,
              totalUnits,
              std::vector<Decision>(prepared.paths.size(), Decision::kUndecided)};
    while (walk.next < entries.size()) {
        std::wstring end;
        if (operations.isCancelRequested()) {
            end = kStatusCancelled;
        } else {
            try {
                end = walk.Step();
            } catch (const std::bad_alloc&) {
                // Whatever this entry held is released by now, so the end's text can be made.
                end = kStatusDownloadFailedPrefix + WidenManifestPath(entries[walk.next].path);
            }
        }
        if (!end.empty()) {
            walk.DropFetchedAhead(end == kStatusCancelled);
            return EndRun(reports, end, false);
        }
    }
    for (const std::wstring& path : prepared.leftDownloads)
        operations.deleteFile(path);
    return EndRun(reports, kStatusComplete, true);
}
