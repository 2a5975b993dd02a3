// What an update run needs from the platform, as plain callables: the program passes WinInet,
// CryptoAPI and posted messages, the tests pass fakes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/local/download_outcome.h"
#include "update/list/list_fetch.h"
#include "update/local/digest_record.h"
#include "update/local/local_file.h"

// A fetch under way: each call does what it can without waiting, and gives true, with the
// fetch's outcome, once it has ended. Dropped before that, it leaves what it wrote as it is.
using FetchStep = std::function<bool(DownloadOutcome* outcome)>;

// A file is tried this many times at most; before the second and third tries the run waits.
constexpr int kMostAttempts = 3;
constexpr uint32_t kRetryDelaysMs[kMostAttempts - 1] = {1000, 2000};

// What a run needs from the platform; the worker passes WinInet, CryptoAPI and posted messages,
// the tests pass fakes.
struct UpdateOperations {
    // Where the list comes from (list_fetch.h).
    ListOperations list;
    std::function<bool(const std::wstring& localPath)> pathExists;  // a file or a folder
    // "" for a file that cannot be read, or once `stop` is set or CANCEL is pressed.
    std::function<FileDigest(const std::wstring& localPath, const std::atomic<bool>& stop)> computeDigest;
    // The record of the digests earlier runs read in this game folder: read with the number of
    // entries listed (false when there is none, or it is damaged or too large), and replaced
    // whole. Unset: every file is read at every run.
    std::function<bool(size_t listedEntries, DigestRecord* record)> readDigestRecord;
    std::function<void(const DigestRecord& record)> writeDigestRecord;
    // Each path's length and times without opening it (one listing of each folder), in the
    // order of `paths`.
    std::function<std::vector<ListedFile>(const std::vector<std::wstring>& paths)> readFileStates;
    // One file's, once the run has put it in place.
    std::function<bool(const std::wstring& localPath, FileState* state)> readFileState;
    // The wall clock, as a file time.
    std::function<uint64_t()> nowFileTime;
    // Threads that compute the entries' digests ahead while the run handles the entries before
    // them; 0 computes each digest when its turn comes, after pathExists.
    size_t digestThreads = 0;
    // Starts streaming the file into its temporary file beside `localPath`, hashing it as it
    // arrives and telling `progress` its bytes; the step it gives back goes on with it (see
    // FetchStep), and ends with kFetched once the file is there, its MD5 the listed one (in any
    // letter case; an empty one never matches), for installFile. A download that stopped midway
    // leaves what it needs to go on from there at the next try. `stop` is set once the run no
    // longer needs the file: the fetch then ends at its next step, as on CANCEL.
    std::function<FetchStep(const std::string& address,
                            const std::wstring& localPath,
                            const std::string& md5,
                            FetchProgress& progress,
                            const std::atomic<bool>& stop)>
        startFetch;
    // Puts a fetched file in place of `localPath`: kStored, or kInUse or kCannotWrite, which leave
    // the old file as it was and remove the fetched one.
    std::function<DownloadOutcome(const std::wstring& localPath)> installFile;
    // Files fetched at once, while the run puts them in place in list order; 1 fetches each file
    // only when its turn comes.
    size_t transfersAtOnce = 1;
    // Waits at most `milliseconds`, less when a fetch under way has news.
    std::function<void(uint32_t milliseconds)> waitForTransfers;
    // Milliseconds from a fixed point, for the waits before a retry. Unset: no retries.
    std::function<uint64_t()> nowMs;
    // Our temporary downloads (full paths) in one folder; whether one can resume (it has a
    // record that reads well); deleting one with its record.
    std::function<std::vector<std::wstring>(const std::wstring& folder)> listTemporaryFiles;
    std::function<bool(const std::wstring& temporaryPath)> canResume;
    std::function<void(const std::wstring& path)> deleteFile;
    std::function<bool()> isCancelRequested;
    // In units of ProgressUnitsPerEntry (run_progress.h): `done` grows with the bytes of the file
    // under way, and equals `total` only once every entry is handled.
    std::function<void(int32_t done, int32_t total)> postProgress;
    // True while the window has not read the last report posted (a figure or a text: it reads
    // them at its animation tick); a report is then held back. Unset: every report is posted.
    std::function<bool()> isProgressUnread;
    std::function<void(const std::wstring& text)> postStatus;
};
