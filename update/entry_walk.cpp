#include "update/entry_walk.h"

#include <algorithm>

#include "update/download_end.h"
#include "update/entry_paths.h"
#include "update/run_progress.h"

namespace {

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

}  // namespace

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

void EntryWalk::Report(int32_t newFigure) {
    if (newFigure > figure) {
        figure = newFigure;
        reports.Progress(figure, totalUnits);
    } else {
        reports.Poll();
    }
}

bool EntryWalk::Decide(size_t index, bool mayWait) {
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

void EntryWalk::DecideAhead() {
    const size_t limit = std::min(paths.size(), next + (fetches ? kFetchesAhead : 1));
    // Without digests ahead, each is read here: one at a time past the entry under way, so
    // CANCEL and the bar are looked at between them.
    size_t readHere = 0;
    while (decided < limit) {
        const std::wstring key = PathKey(paths[decided]);
        if (queuedPaths.count(key) || (!ahead && decided > next && readHere++ > 0) || !Decide(decided, decided == next))
            break;
        if (decisions[decided] == Decision::kFetch && fetches) {
            ++queuedPaths[key];
            fetches->Add(decided);
        }
        ++decided;
    }
}

bool EntryWalk::FetchNext(DownloadOutcome* outcome) {
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

void EntryWalk::Handled() {
    ++next;
    Report(static_cast<int32_t>(next) * units);
}

std::wstring EntryWalk::Step() {
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

void EntryWalk::DropFetchedAhead(bool cancelled) {
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
