// The local files' digests of the entries a run is about to examine, computed on threads of their
// own while the run downloads or reports the entries before them. Only reading happens ahead.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// What the run needs to know of one local file before it decides about it.
struct LocalFileState {
    bool exists = false;
    std::string digest;  // empty when the file does not exist or could not be read
};

// Gives "" for a file that does not exist or cannot be read, or once `stop` is set.
using ComputeDigest = std::function<std::string(const std::wstring& localPath, const std::atomic<bool>& stop)>;

struct DigestSlot {
    std::atomic<bool> ready{false};
    std::string digest;
};

// The threads hand their results over through one slot per path and a few counters: no lock and
// no kernel wait per file, which under Wine cost more than hashing a small file.
struct DigestsAhead {
    std::vector<std::wstring> paths;
    size_t depth = 0;
    ComputeDigest computeDigest;
    std::unique_ptr<DigestSlot[]> slots;
    std::atomic<size_t> claimed{0};  // the next path a thread takes on
    std::atomic<size_t> taken{0};    // the paths the run has taken
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
};

// Starts `threadCount` threads computing the digests of `paths`, at most `depth` paths ahead of
// the one the run takes next.
void StartDigestsAhead(DigestsAhead* ahead,
                       std::vector<std::wstring> paths,
                       size_t depth,
                       size_t threadCount,
                       ComputeDigest computeDigest);

// What is known of paths[index] once its digest is done; the indices are taken in order, 0, 1, 2.
// A file that could not be read counts as existing: like a missing one, it is fetched.
LocalFileState TakeDigestAhead(DigestsAhead* ahead, size_t index);

// Drops what was computed ahead, stops the digests under way at their next block and ends the
// threads.
void StopDigestsAhead(DigestsAhead* ahead);
