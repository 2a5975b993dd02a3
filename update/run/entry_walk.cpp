#include "update/run/entry_walk.h"

#include <algorithm>

#include "update/transfer/download_end.h"
#include "update/local/entry_paths.h"
#include "update/run/run_progress.h"
#include "update/run/status_texts.h"

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

EntryWalk::EntryWalk(const UpdateOperations& operations,
                     const std::vector<FileListEntry>& entries,
                     const std::vector<std::wstring>& paths,
                     const std::vector<std::string>& fileBases,
                     DigestsAhead* ahead,
                     KnownDigests* known,
                     Reports& reports)
    : operations(operations),
      entries(entries),
      paths(paths),
      fileBases(fileBases),
      ahead(ahead),
      known(known),
      reports(reports),
      units(ProgressUnitsPerEntry(entries.size())),
      totalUnits(static_cast<int32_t>(entries.size()) * units),
      atOnce(std::max<size_t>(1, operations.transfersAtOnce)),
      decisions(paths.size(), Decision::kUndecided),
      fetches(paths.size()),
      firstNaming(paths.size()) {
    std::map<std::wstring, size_t> first;
    for (size_t index = 0; index < paths.size(); ++index)
        firstNaming[index] = first.emplace(PathKey(paths[index]), index).first->second;
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
    // Whatever else happens, a digest read ahead is taken in its turn, so the next can be.
    const bool readAhead = ahead && IsReadAhead(*known, index);
    if (readAhead) {
        const size_t position = known->readPosition[index];
        if (!ahead->IsReady(position)) {
            // Fetches under way are not left without steps while a digest is read.
            if (!mayWait || !underWay.empty())
                return false;
            // The bar shows what is done before the run waits for a long digest. A short one,
            // as most are, is waited for first: a message for each small file would cost more
            // than its digest. A long one is waited for a tick at a time, so CANCEL is looked at.
            if (!ahead->WaitUntilReady(position, kTickMs)) {
                reports.Flush();
                return false;
            }
        }
        local = ahead->Take(position);
        exists = true;  // a file that could not be read counts too: like a missing one, it is fetched
    }
    if (rewritten) {
        // Written by this run: neither the record nor the listing knows these bytes.
        exists = operations.pathExists(localPath);
        local = exists ? operations.computeDigest(localPath, noStop) : FileDigest();
    } else if (IsTrusted(*known, index)) {
        local = RecordedDigestOf(*known, index);
        exists = true;
    } else if (!readAhead) {
        exists = operations.pathExists(localPath);
        local = exists ? ReadDigest(operations, localPath, noStop) : FileDigest();
    }
    // A digest that CANCEL cut short says nothing of the file.
    if (exists && local.digest.empty() && operations.isCancelRequested())
        return false;
    if (!rewritten)
        NoteExamined(known, entries, index, local);
    // Held by another program: neither its digest nor a replace can work now.
    if (exists && local.inUse)
        decisions[index] = Decision::kInUse;
    // Byte comparison: an upper-case manifest digest never matches and is fetched every run. An
    // empty digest means the file could not be read, so it never counts as a match, not even
    // against a manifest line with an empty digest.
    else if (exists && !local.digest.empty() && local.digest == entries[index].md5)
        decisions[index] = Decision::kUpToDate;
    else
        decisions[index] = Decision::kFetch;
    return true;
}

bool EntryWalk::BelowAQueuedFile(const std::wstring& key) const {
    for (size_t separator = key.find(L'\\'); separator != std::wstring::npos;
         separator = key.find(L'\\', separator + 1)) {
        if (queuedPaths.count(key.substr(0, separator)))
            return true;
    }
    return false;
}

void EntryWalk::DecideAhead() {
    const size_t limit = std::min(paths.size(), next + (atOnce > 1 ? kFetchesAhead : 1));
    // Without digests ahead, each is read here: one at a time past the entry under way, so
    // CANCEL and the bar are looked at between them.
    size_t readHere = 0;
    while (decided < limit) {
        const std::wstring key = PathKey(paths[decided]);
        if (queuedPaths.count(key) || BelowAQueuedFile(key) || (!ahead && decided > next && readHere++ > 0) ||
            !Decide(decided, decided == next))
            break;
        if (decisions[decided] == Decision::kFetch) {
            ++queuedPaths[key];
            fetches[decided].reset(new EntryFetch);
            queued.push_back(decided);
        }
        ++decided;
    }
}

void EntryWalk::EndFetch(EntryFetch& fetch, DownloadOutcome outcome) {
    fetch.step = nullptr;
    fetch.ended = true;
    fetch.outcome = outcome;
}

void EntryWalk::StepFetch(size_t index) {
    EntryFetch& fetch = *fetches[index];
    while (!fetch.ended) {
        if (!fetch.step) {
            if (fetch.retryAt > 0 && operations.nowMs() < fetch.retryAt)
                return;
            fetch.step =
                operations.startFetch(BuildDownloadAddress(fileBases[fetch.root], entries[firstNaming[index]].path),
                                      paths[index], entries[index].md5, fetch.progress, stop);
        }
        DownloadOutcome outcome = DownloadOutcome::kFailed;
        if (!fetch.step(&outcome))
            return;
        fetch.step = nullptr;
        // A root that lags behind fails the digest like one without the file: the next is asked.
        if (outcome != DownloadOutcome::kFailedForNow && outcome != DownloadOutcome::kFailed)
            return EndFetch(fetch, outcome);
        fetch.passing = fetch.passing || outcome == DownloadOutcome::kFailedForNow;
        if (++fetch.root < fileBases.size())
            continue;
        if (!fetch.passing || fetch.attempt == kMostAttempts || !operations.nowMs)
            return EndFetch(fetch, DownloadOutcome::kFailed);
        fetch.retryAt = operations.nowMs() + kRetryDelaysMs[fetch.attempt - 1];
        ++fetch.attempt;
        fetch.root = 0;
        fetch.passing = false;
    }
}

void EntryWalk::StepFetches() {
    while (underWay.size() < atOnce && !queued.empty() && !stop) {
        underWay.push_back(queued.front());
        queued.pop_front();
    }
    for (size_t index : underWay)
        StepFetch(index);
    underWay.erase(
        std::remove_if(underWay.begin(), underWay.end(), [this](size_t index) { return fetches[index]->ended; }),
        underWay.end());
}

void EntryWalk::Handled() {
    ++next;
    Report(static_cast<int32_t>(next) * units);
}

std::wstring EntryWalk::Step() {
    const std::wstring widePath = WidenManifestPath(entries[next].path);
    // A path that could leave the folder is treated as a failed download before anything is
    // read or written for it.
    if (next >= paths.size())
        return kStatusDownloadFailedPrefix + widePath;
    DecideAhead();
    switch (decisions[next]) {
        case Decision::kUndecided:
            // Its digest is still being read, and the fetches under way go on meanwhile.
            StepFetches();
            reports.Poll();
            if (operations.waitForTransfers)
                operations.waitForTransfers(1);
            return std::wstring();
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
    StepFetches();
    EntryFetch& fetch = *fetches[next];
    if (!fetch.ended) {
        Report(ProgressFigure(static_cast<int32_t>(next), units, fetch.progress.received.load(),
                              fetch.progress.length.load()));
        uint32_t wait = kTickMs;
        if (!fetch.step && fetch.retryAt > 0) {
            const uint64_t now = operations.nowMs();
            wait = static_cast<uint32_t>(std::min<uint64_t>(wait, fetch.retryAt > now ? fetch.retryAt - now : 0));
        }
        if (operations.waitForTransfers && wait > 0)
            operations.waitForTransfers(wait);
        return std::wstring();
    }
    DownloadOutcome outcome = fetch.outcome;
    if (outcome == DownloadOutcome::kFetched)
        outcome = operations.installFile(paths[next]);
    if (outcome != DownloadOutcome::kStored)
        return FailureText(outcome, widePath);
    NoteInstalled(known, operations, entries, next, paths[next]);
    const std::wstring key = PathKey(paths[next]);
    written.insert(key);
    if (--queuedPaths[key] == 0)
        queuedPaths.erase(key);
    Handled();
    return std::wstring();
}

void EntryWalk::DropFetchedAhead(EarlyEnd end) {
    stop = true;
    queued.clear();
    // Each fetch under way ends at its next step now; one waiting to try again ends at once.
    while (!underWay.empty()) {
        for (size_t index : underWay) {
            if (!fetches[index]->step)
                EndFetch(*fetches[index], DownloadOutcome::kCancelled);
        }
        StepFetches();
        if (!underWay.empty() && operations.waitForTransfers)
            operations.waitForTransfers(kTickMs);
    }
    for (size_t index = next; index < decided; ++index) {
        const EntryFetch* fetch = fetches[index].get();
        if (!fetch || !fetch->ended)
            continue;  // never started: nothing of this run is on disk
        const EarlyEnd asIfCancelled = index == next && end == EarlyEnd::kFailure ? EarlyEnd::kCancel : end;
        if (DropsUnhandledFetch(fetch->outcome, asIfCancelled, fetch->progress.length.load()))
            operations.deleteFile(TemporaryDownloadPath(paths[index]));
    }
}
