// The entries of an update run in list order: each is looked at, fetched when it must be (ahead of
// its turn when the transfers can), and handled only once every entry before it is, so that the
// status line names the earliest entry not yet handled and the run ends at the first that fails.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "update/digests_ahead.h"
#include "update/fetch_queue.h"
#include "update/manifest.h"
#include "update/run_reports.h"
#include "update/update_run.h"

enum class Decision : uint8_t { kUndecided, kUpToDate, kFetch, kInUse };

// The entries in list order. `next` is the earliest one not yet handled, the one the status line
// names; entries from there to `decided` have been looked at, and those to fetch are queued. An
// entry is handled (its file in place, or found up to date) only once every entry before it is.
struct EntryWalk {
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

    void Report(int32_t newFigure);
    // Looks at one entry's local file. Only the entry under way may wait for its digest.
    bool Decide(size_t index, bool mayWait);
    // Decides the entries ahead as far as they can be without waiting, the one under way
    // always, and queues those to fetch.
    void DecideAhead();
    // The download of the entry under way, once it has ended; false while it goes on.
    bool FetchNext(DownloadOutcome* outcome);
    void Handled();
    // Takes the entry under way one step on; "" while the run goes on, else the text of its end.
    std::wstring Step();
    // After an end before the last entry: the transfers are stopped and joined, and what was
    // fetched ahead for nothing goes, but for the parts worth keeping. The entry under way keeps
    // its part as a run of one file at a time would.
    void DropFetchedAhead(bool cancelled);
};

// Up to kMostAttempts tries of one file, each asking the roots in the order of `fileBases` until
// one has it; the later tries only after a failure that may pass and a wait that CANCEL (or
// `stop`) cuts short. Each goes on where the one before stopped, if it can.
DownloadOutcome FetchWithRetries(const UpdateOperations& operations,
                                 const std::vector<std::string>& fileBases,
                                 const FileListEntry& entry,
                                 const std::wstring& localPath,
                                 FetchProgress& progress,
                                 const std::atomic<bool>& stop);
