#include "update/digests_ahead.h"

#include <chrono>
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

void ComputeAhead(DigestsAhead* ahead) {
    for (;;) {
        const size_t index = ahead->claimed.fetch_add(1);
        if (index >= ahead->paths.size())
            return;
        for (int rounds = 0; index >= ahead->taken.load() + ahead->depth; Pause(&rounds)) {
            if (ahead->stop)
                return;
        }
        if (ahead->stop)
            return;
        DigestSlot& slot = ahead->slots[index];
        try {
            slot.digest = ahead->computeDigest(ahead->paths[index], ahead->stop);
        } catch (...) {
            slot.digest.clear();  // as an unreadable file: the run fetches it, or fails trying
        }
        slot.ready.store(true, std::memory_order_release);
    }
}

}  // namespace

void StartDigestsAhead(DigestsAhead* ahead,
                       std::vector<std::wstring> paths,
                       size_t depth,
                       size_t threadCount,
                       ComputeDigest computeDigest) {
    ahead->paths = std::move(paths);
    ahead->depth = depth;
    ahead->computeDigest = std::move(computeDigest);
    ahead->slots.reset(new DigestSlot[ahead->paths.size()]);
    for (size_t i = 0; i < threadCount; ++i)
        ahead->threads.emplace_back(ComputeAhead, ahead);
}

LocalFileState TakeDigestAhead(DigestsAhead* ahead, size_t index) {
    DigestSlot& slot = ahead->slots[index];
    for (int rounds = 0; !slot.ready.load(std::memory_order_acquire); Pause(&rounds)) {
    }
    LocalFileState state;
    state.digest = std::move(slot.digest);
    state.exists = true;
    ahead->taken.store(index + 1);
    return state;
}

void StopDigestsAhead(DigestsAhead* ahead) {
    ahead->stop = true;
    for (std::thread& thread : ahead->threads)
        thread.join();
    ahead->threads.clear();
}
