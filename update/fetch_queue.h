// Files fetched on threads of their own, several at once, while the run that queued them installs
// them in list order. The queue never installs anything: it only fetches into temporary files.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "update/digests_ahead.h"
#include "update/download_outcome.h"

// One entry's fetch: `stop` is set once the run no longer needs the file.
using FetchEntry = std::function<DownloadOutcome(size_t index, FetchProgress& progress, const std::atomic<bool>& stop)>;

class FetchQueue {
public:
    // Up to `threadCount` threads, for the entries 0 .. entryCount-1. A thread that cannot start
    // is done without; with none at all, IsRunning() is false and nothing is ever fetched.
    FetchQueue(size_t entryCount,
               size_t threadCount,
               FetchEntry fetch,
               const StartThread& startThread = StartStandardThread);
    // StopAndJoin().
    ~FetchQueue();
    FetchQueue(const FetchQueue&) = delete;
    FetchQueue& operator=(const FetchQueue&) = delete;

    bool IsRunning() const { return !threads_.empty(); }
    // Fetched after every entry added before it has started.
    void Add(size_t index);
    // Waits at most `milliseconds` for the entry's fetch to end; whether it has.
    bool WaitUntilEnded(size_t index, uint32_t milliseconds);
    // Once ended.
    DownloadOutcome Outcome(size_t index);
    bool HasStarted(size_t index);
    const FetchProgress& Progress(size_t index) const { return slots_[index].progress; }
    // No fetch starts any more, and those under way are told to end.
    void Stop();
    // Stop(), then waits for the fetches under way to end; what they did stays readable.
    void StopAndJoin();

private:
    struct Slot {
        FetchProgress progress;
        bool started = false;
        bool ended = false;
        DownloadOutcome outcome = DownloadOutcome::kFailed;
    };
    void FetchInTurn();

    FetchEntry fetch_;
    std::unique_ptr<Slot[]> slots_;
    std::mutex lock_;
    std::condition_variable added_;  // an entry to fetch, or the queue stopped: for the threads
    std::condition_variable ended_;  // a fetch ended: for the run
    std::deque<size_t> waiting_;
    bool stopping_ = false;
    std::atomic<bool> stop_{false};  // what the fetches under way look at
    std::vector<std::thread> threads_;
};
