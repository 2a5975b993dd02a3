// The local files' digests of the entries a run is about to examine, computed on a thread of their
// own while the run downloads or reports the entries before them. Only reading happens ahead.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the run needs to know of one local file before it decides about it.
struct LocalFileState {
    bool exists = false;
    std::string digest;  // empty when the file does not exist or could not be read
};

using PathExists = std::function<bool(const std::wstring& localPath)>;
// Stops early, giving no digest, once `stop` is set.
using ComputeDigest = std::function<std::string(const std::wstring& localPath, const std::atomic<bool>& stop)>;

struct DigestsAhead {
    std::vector<std::wstring> paths;
    size_t depth = 0;
    PathExists pathExists;
    ComputeDigest computeDigest;

    std::mutex lock;
    std::condition_variable changed;
    std::deque<LocalFileState> ready;  // for paths[taken], paths[taken + 1], ...
    size_t taken = 0;
    std::atomic<bool> stop{false};
    std::thread worker;
};

// Starts computing the states of `paths` in order, at most `depth` ahead of the one taken last.
void StartDigestsAhead(DigestsAhead* ahead,
                       std::vector<std::wstring> paths,
                       size_t depth,
                       PathExists pathExists,
                       ComputeDigest computeDigest);

// The state of paths[index]; the indices are taken in order, 0, 1, 2, ... Waits until it is known.
LocalFileState TakeDigestAhead(DigestsAhead* ahead, size_t index);

// Drops what was computed ahead, stops the digest under way at its next block and ends the thread.
void StopDigestsAhead(DigestsAhead* ahead);
