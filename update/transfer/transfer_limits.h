// The bounds of every transfer: how long and how slow it may be, how much of the manifest is
// read and how much free space a download leaves, so that no server, broken or hostile, can hold
// the launcher, its memory or the player's disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

struct TransferLimits {
    uint32_t timeoutMs = 30000;     // connecting, sending, and waiting for the next byte of the answer
    uint32_t slowWindowMs = 60000;  // averaging under minimumBytesPerSecond over any window this long fails
    uint32_t minimumBytesPerSecond = 1024;
    uint64_t maxManifestBytes = 64ull << 20;
    // A body of known length needs that much free on its volume and this much besides; one
    // without a length stops before its volume falls under lengthlessFreeBytes.
    uint64_t spareFreeBytes = 16ull << 20;
    uint64_t lengthlessFreeBytes = 64ull << 20;
    int maxRedirects = 5;  // followed only while they stay on https://
};

// Files a run fetches at once, on one session: enough to hide the round trip of a far server
// behind the others' bytes, few enough that a server is not flooded by every player at once.
constexpr size_t kTransfersAtOnce = 6;

// The limits the program uses; tests pass shorter ones.
constexpr TransferLimits kTransferLimits = {};

// What one transfer has received, and when.
struct TransferPace {
    uint64_t startMs = 0;
    uint64_t lastArrivalMs = 0;
    uint64_t received = 0;
    std::deque<std::pair<uint64_t, uint64_t>> marks;  // (time, bytes received by then), at most one a second
};

void StartPace(TransferPace* pace, uint64_t nowMs);
void RecordArrival(TransferPace* pace, const TransferLimits& limits, uint64_t nowMs, uint64_t bytes);

// True once nothing has arrived for timeoutMs (the answer's headers included), or once less than
// minimumBytesPerSecond has arrived on average over the last slowWindowMs.
bool IsTransferTooSlow(const TransferPace& pace, const TransferLimits& limits, uint64_t nowMs);

// Appends to `body` while it stays within `limit` bytes, and returns false, leaving `body` as it
// was, once it would pass it. The capacity grows at most to the limit.
bool AppendWithinLimit(std::string* body, const char* bytes, size_t length, uint64_t limit);

// How many bytes may be written before the free space is asked again: what lies above the
// minimum, at most kFreeSpaceRecheckBytes, so other programs' writes are noticed in time.
constexpr uint64_t kFreeSpaceRecheckBytes = 64ull << 20;
uint64_t WritableBytes(uint64_t freeBytes, uint64_t minimumFreeBytes);

// Whether a volume with `freeBytes` free has room for a body of `bodyLength` bytes (-1: no length
// announced), judged when the answer comes and before anything is written.
bool HasRoomForBody(uint64_t freeBytes, int64_t bodyLength, const TransferLimits& limits);
