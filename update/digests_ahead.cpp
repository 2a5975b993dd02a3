#include "update/digests_ahead.h"

#include <utility>

namespace {

void ComputeAhead(DigestsAhead* ahead) {
    for (size_t index = 0; index < ahead->paths.size(); ++index) {
        {
            std::unique_lock<std::mutex> hold(ahead->lock);
            ahead->changed.wait(hold, [&] { return ahead->stop || index < ahead->taken + ahead->depth; });
            if (ahead->stop)
                return;
        }
        LocalFileState state;
        try {
            state.exists = ahead->pathExists(ahead->paths[index]);
            if (state.exists)
                state.digest = ahead->computeDigest(ahead->paths[index], ahead->stop);
        } catch (...) {
            // As an unreadable file: no digest, so the run fetches it, or fails trying.
            state.exists = true;
            state.digest.clear();
        }
        {
            std::lock_guard<std::mutex> hold(ahead->lock);
            if (ahead->stop)
                return;
            ahead->ready.push_back(std::move(state));
        }
        ahead->changed.notify_all();
    }
}

}  // namespace

void StartDigestsAhead(DigestsAhead* ahead,
                       std::vector<std::wstring> paths,
                       size_t depth,
                       PathExists pathExists,
                       ComputeDigest computeDigest) {
    ahead->paths = std::move(paths);
    ahead->depth = depth;
    ahead->pathExists = std::move(pathExists);
    ahead->computeDigest = std::move(computeDigest);
    ahead->worker = std::thread(ComputeAhead, ahead);
}

LocalFileState TakeDigestAhead(DigestsAhead* ahead, size_t index) {
    std::unique_lock<std::mutex> hold(ahead->lock);
    ahead->changed.wait(hold, [&] { return !ahead->ready.empty(); });
    LocalFileState state = std::move(ahead->ready.front());
    ahead->ready.pop_front();
    ahead->taken = index + 1;
    hold.unlock();
    ahead->changed.notify_all();
    return state;
}

void StopDigestsAhead(DigestsAhead* ahead) {
    {
        std::lock_guard<std::mutex> hold(ahead->lock);
        ahead->stop = true;
        ahead->ready.clear();
    }
    ahead->changed.notify_all();
    if (ahead->worker.joinable())
        ahead->worker.join();
}
