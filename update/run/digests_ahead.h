// The local files' digests of the entries a run is about to examine, computed on threads of their
// own while the run downloads or reports the entries before them. Only reading happens ahead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "update/local/local_file.h"

// Gives "" for a file that does not exist or cannot be read, or once `stop` is set.
using ComputeDigest = std::function<FileDigest(const std::wstring& localPath, const std::atomic<bool>& stop)>;

// Starts `body` on `*thread`; false when no thread could be had. Tests pass one that fails.
using StartThread = std::function<bool(std::function<void()> body, std::thread* thread)>;
bool StartStandardThread(std::function<void()> body, std::thread* thread);

// The threads hand their results over through one slot per path and a few counters: no lock and
// no kernel wait per file, which under Wine cost more than hashing a small file.
class DigestsAhead {
public:
    // Starts up to `threadCount` threads computing the digests of `paths`, at most `depth` paths
    // ahead of the one taken next. A thread that cannot start is done without; with none at all,
    // IsRunning() is false and the caller computes each digest itself.
    DigestsAhead(std::vector<std::wstring> paths,
                 size_t depth,
                 size_t threadCount,
                 ComputeDigest computeDigest,
                 const StartThread& startThread = StartStandardThread);
    // Drops what was computed ahead, stops the digests under way at their next block and joins
    // the threads.
    ~DigestsAhead();
    DigestsAhead(const DigestsAhead&) = delete;
    DigestsAhead& operator=(const DigestsAhead&) = delete;

    bool IsRunning() const { return !threads_.empty(); }
    // Whether Take(index) would return at once.
    bool IsReady(size_t index) const;
    // Waits at most `milliseconds` for paths[index]'s digest; whether it is ready.
    bool WaitUntilReady(size_t index, uint32_t milliseconds) const;
    // The digest of paths[index], once it is done; the indices are taken in order, 0, 1, 2.
    FileDigest Take(size_t index);

private:
    struct Slot {
        std::atomic<bool> ready{false};
        FileDigest digest;
    };
    void ComputeAhead();

    std::vector<std::wstring> paths_;
    size_t depth_;
    ComputeDigest computeDigest_;
    std::unique_ptr<Slot[]> slots_;
    std::atomic<size_t> claimed_{0};  // the next path a thread takes on
    std::atomic<size_t> taken_{0};    // the paths the run has taken
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};
