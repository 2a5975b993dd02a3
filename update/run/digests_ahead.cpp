#include "update/run/digests_ahead.h"

#include <chrono>
#include <system_error>
#include <utility>

namespace {

// A short wait: a few turns given up first, then a millisecond at a time. Whoever waits is ahead
// of the others, so a late wake-up only costs what the queue ahead can cover.
void Pause(int* rounds) {
    if (++*rounds < 64)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

bool StartStandardThread(std::function<void()> body, std::thread* thread) {
    try {
        *thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

DigestsAhead::DigestsAhead(std::vector<std::wstring> paths,
                           size_t depth,
                           size_t threadCount,
                           ComputeDigest computeDigest,
                           const StartThread& startThread)
    : paths_(std::move(paths)),
      depth_(depth),
      computeDigest_(std::move(computeDigest)),
      slots_(new Slot[paths_.size()]) {
    threads_.reserve(threadCount);
    for (size_t i = 0; i < threadCount; ++i) {
        std::thread thread;
        if (!startThread([this] { ComputeAhead(); }, &thread))
            break;
        threads_.push_back(std::move(thread));
    }
    // With no thread at all, a path another thread claimed is never computed: none was.
}

DigestsAhead::~DigestsAhead() {
    stop_ = true;
    for (std::thread& thread : threads_)
        thread.join();
}

void DigestsAhead::ComputeAhead() {
    for (;;) {
        const size_t index = claimed_.fetch_add(1);
        if (index >= paths_.size())
            return;
        for (int rounds = 0; index >= taken_.load() + depth_; Pause(&rounds)) {
            if (stop_)
                return;
        }
        if (stop_)
            return;
        Slot& slot = slots_[index];
        try {
            slot.digest = computeDigest_(paths_[index], stop_);
        } catch (...) {
            slot.digest = FileDigest();  // as an unreadable file: the run fetches it, or fails trying
        }
        slot.ready.store(true, std::memory_order_release);
    }
}

bool DigestsAhead::IsReady(size_t index) const {
    return slots_[index].ready.load(std::memory_order_acquire);
}

bool DigestsAhead::WaitUntilReady(size_t index, uint32_t milliseconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (int rounds = 0; !IsReady(index); Pause(&rounds)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return true;
}

FileDigest DigestsAhead::Take(size_t index) {
    Slot& slot = slots_[index];
    for (int rounds = 0; !slot.ready.load(std::memory_order_acquire); Pause(&rounds)) {
    }
    FileDigest digest = std::move(slot.digest);
    taken_.store(index + 1);
    return digest;
}
