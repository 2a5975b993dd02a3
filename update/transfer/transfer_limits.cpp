#include "update/transfer/transfer_limits.h"

#include <algorithm>

namespace {
constexpr uint64_t kMarkSpacingMs = 1000;
}  // namespace

void StartPace(TransferPace* pace, uint64_t nowMs) {
    *pace = TransferPace();
    pace->startMs = nowMs;
    pace->lastArrivalMs = nowMs;
    pace->marks.emplace_back(nowMs, 0);
}

void RecordArrival(TransferPace* pace, const TransferLimits& limits, uint64_t nowMs, uint64_t bytes) {
    pace->received += bytes;
    pace->lastArrivalMs = nowMs;
    if (nowMs >= pace->marks.back().first + kMarkSpacingMs)
        pace->marks.emplace_back(nowMs, pace->received);
    // Only the newest mark at or before the window's start is ever needed again.
    while (pace->marks.size() > 1 && pace->marks[1].first + limits.slowWindowMs <= nowMs)
        pace->marks.pop_front();
}

bool IsTransferTooSlow(const TransferPace& pace, const TransferLimits& limits, uint64_t nowMs) {
    if (nowMs >= pace.lastArrivalMs + limits.timeoutMs)
        return true;
    if (nowMs < pace.startMs + limits.slowWindowMs)
        return false;
    const uint64_t windowStart = nowMs - limits.slowWindowMs;
    uint64_t receivedBefore = 0;
    for (const auto& mark : pace.marks) {
        if (mark.first > windowStart)
            break;
        receivedBefore = mark.second;
    }
    return (pace.received - receivedBefore) * 1000 < uint64_t{limits.minimumBytesPerSecond} * limits.slowWindowMs;
}

bool AppendWithinLimit(std::string* body, const char* bytes, size_t length, uint64_t limit) {
    const uint64_t needed = uint64_t{body->size()} + length;
    if (needed > limit)
        return false;
    if (needed > body->capacity()) {
        const uint64_t doubled = 2 * uint64_t{body->capacity()};
        const size_t target = static_cast<size_t>(std::min(std::max(needed, doubled), limit));
        if (target >= doubled) {
            body->reserve(target);
        } else {
            // reserve() would round a smaller growth up to double the capacity, past the limit;
            // a fresh string takes exactly what it is asked for.
            std::string grown;
            grown.reserve(target);
            grown.append(*body);
            body->swap(grown);
        }
    }
    body->append(bytes, length);
    return true;
}

uint64_t WritableBytes(uint64_t freeBytes, uint64_t minimumFreeBytes) {
    return freeBytes > minimumFreeBytes ? std::min(freeBytes - minimumFreeBytes, kFreeSpaceRecheckBytes) : 0;
}

bool HasRoomForBody(uint64_t freeBytes, int64_t bodyLength, const TransferLimits& limits) {
    if (bodyLength < 0)
        return freeBytes > limits.lengthlessFreeBytes;
    return freeBytes >= limits.spareFreeBytes && freeBytes - limits.spareFreeBytes >= static_cast<uint64_t>(bodyLength);
}
