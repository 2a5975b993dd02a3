// The entries of an update run in list order: each is looked at, fetched when it must be (ahead of
// its turn when the run fetches several at once), and handled only once every entry before it is,
// so that the status line names the earliest entry not yet handled and the run ends at the first
// that fails. Everything here happens on the run's thread: the fetches are stepped, not waited for.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "update/run/digests_ahead.h"
#include "update/run/known_digests.h"
#include "update/list/manifest.h"
#include "update/run/run_reports.h"
#include "update/run/update_operations.h"

enum class Decision : uint8_t { kUndecided, kUpToDate, kFetch, kInUse };

// One entry's fetch: up to kMostAttempts tries, each asking the roots in turn (the list's first)
// until one has the file; a try that every root failed for a cause that may pass is followed by
// a wait, then the next.
struct EntryFetch {
    FetchStep step;  // the try under way on `root`; empty before it starts, or while waiting
    FetchProgress progress;
    size_t root = 0;
    int attempt = 1;
    bool passing = false;  // a root of this try failed for a cause that may pass
    uint64_t retryAt = 0;  // while waiting: when the next try starts
    bool ended = false;
    DownloadOutcome outcome = DownloadOutcome::kFailed;
};

// The entries in list order. `next` is the earliest one not yet handled, the one the status line
// names; entries from there to `decided` have been looked at, and those to fetch are queued, then
// fetched up to transfersAtOnce at a time. An entry is handled (its file in place, or found up to
// date) only once every entry before it is.
struct EntryWalk {
    EntryWalk(const UpdateOperations& operations,
              const std::vector<FileListEntry>& entries,
              const std::vector<std::wstring>& paths,
              const std::vector<std::string>& fileBases,
              DigestsAhead* ahead,
              KnownDigests* known,
              Reports& reports);

    // Takes the run one step on; "" while it goes on, else the text of its end.
    std::wstring Step();
    // After an end before the last entry: the fetches under way are stopped, and what was fetched
    // ahead for nothing goes, but for the parts worth keeping (DropsUnhandledFetch). Unless the
    // disk is full, the entry under way keeps its part as a run of one file at a time would.
    void DropFetchedAhead(EarlyEnd end);
    bool Done() const { return next >= entries.size(); }
    size_t Next() const { return next; }

private:
    void Report(int32_t newFigure);
    // Looks at one entry's local file. Only the entry under way may wait for its digest.
    bool Decide(size_t index, bool mayWait);
    // Decides the entries ahead as far as they can be without waiting, the one under way
    // always, and queues those to fetch.
    void DecideAhead();
    // Starts queued fetches while there is room, and steps those under way.
    void StepFetches();
    void StepFetch(size_t index);
    void EndFetch(EntryFetch& fetch, DownloadOutcome outcome);
    // Whether a folder of `key` is the path of an entry queued and not handled yet.
    bool BelowAQueuedFile(const std::wstring& key) const;
    void Handled();

    const UpdateOperations& operations;
    const std::vector<FileListEntry>& entries;
    const std::vector<std::wstring>& paths;     // up to the first refused entry
    const std::vector<std::string>& fileBases;  // the list's root first
    DigestsAhead* ahead;
    KnownDigests* known;
    Reports& reports;
    const int32_t units;  // progress units per entry
    const int32_t totalUnits;
    const size_t atOnce;
    std::vector<Decision> decisions;
    std::vector<std::unique_ptr<EntryFetch>> fetches;  // by entry, once queued
    std::deque<size_t> queued;                         // entries to fetch, not started yet
    std::vector<size_t> underWay;                      // entries whose fetch has started and not ended
    // Paths of entries queued but not handled yet: an entry naming the same file again, or a file
    // below it, waits for them, so its digest is read after their download, no two fetches share
    // a file, and no fetch makes a folder where a file is still to come.
    std::map<std::wstring, size_t> queuedPaths;
    // By entry: the earliest entry that names the same file, in any letter case. Its spelling is
    // asked of the server, so a path listed twice in two spellings is one file, as on the disk.
    std::vector<size_t> firstNaming;
    std::set<std::wstring> written;  // a path listed twice is read again after its first download
    size_t next = 0;
    size_t decided = 0;
    size_t announced = 0;           // entries up to here have had their "Downloading" text
    int32_t figure = 0;             // the last progress figure reported
    std::atomic<bool> stop{false};  // set once the run needs none of the fetches under way
    const std::atomic<bool> noStop{false};
};
