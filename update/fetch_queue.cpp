#include "update/fetch_queue.h"

#include <chrono>
#include <utility>

FetchQueue::FetchQueue(size_t entryCount, size_t threadCount, FetchEntry fetch, const StartThread& startThread)
    : fetch_(std::move(fetch)), slots_(new Slot[entryCount]) {
    threads_.reserve(threadCount);
    for (size_t i = 0; i < threadCount; ++i) {
        std::thread thread;
        if (!startThread([this] { FetchInTurn(); }, &thread))
            break;
        threads_.push_back(std::move(thread));
    }
}

FetchQueue::~FetchQueue() {
    StopAndJoin();
}

void FetchQueue::StopAndJoin() {
    Stop();
    for (std::thread& thread : threads_) {
        if (thread.joinable())
            thread.join();
    }
}

void FetchQueue::FetchInTurn() {
    for (;;) {
        size_t index = 0;
        {
            std::unique_lock<std::mutex> hold(lock_);
            added_.wait(hold, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_)
                return;
            index = waiting_.front();
            waiting_.pop_front();
            slots_[index].started = true;
        }
        DownloadOutcome outcome = DownloadOutcome::kFailed;
        try {
            outcome = fetch_(index, slots_[index].progress, stop_);
        } catch (...) {
            outcome = DownloadOutcome::kFailed;  // out of memory, say: the run ends at this entry with its text
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            slots_[index].outcome = outcome;
            slots_[index].ended = true;
        }
        ended_.notify_all();
    }
}

void FetchQueue::Add(size_t index) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        waiting_.push_back(index);
    }
    added_.notify_one();
}

bool FetchQueue::WaitUntilEnded(size_t index, uint32_t milliseconds) {
    std::unique_lock<std::mutex> hold(lock_);
    return ended_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                           [this, index] { return slots_[index].ended; });
}

DownloadOutcome FetchQueue::Outcome(size_t index) {
    std::lock_guard<std::mutex> hold(lock_);
    return slots_[index].outcome;
}

bool FetchQueue::HasStarted(size_t index) {
    std::lock_guard<std::mutex> hold(lock_);
    return slots_[index].started;
}

void FetchQueue::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        waiting_.clear();
    }
    stop_.store(true);
    added_.notify_all();
}
