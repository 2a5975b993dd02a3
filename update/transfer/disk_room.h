// The free space of the disk a run writes to, shared by all its fetches under way: what was free
// when last asked, less what has been written since, less what the bodies under way still need.
// Six transfers that each judged the disk alone would all pass and fill it together.
#pragma once

#include <cstdint>

#include "update/transfer/transfer_limits.h"

struct DiskRoom {
    bool asked = false;
    uint64_t freeBytes = 0;      // free when last asked, less what was written since
    uint64_t trustedBytes = 0;   // what may be written before asking again
    uint64_t promisedBytes = 0;  // what the bodies under way with a length have yet to write
};

// Whether the free space must be asked before a body that needs `needed` more bytes starts:
// never asked yet, or more would be written than the last answer is trusted for.
bool MustAskFreeSpace(const DiskRoom& room, uint64_t needed);
void NoteFreeSpace(DiskRoom* room, uint64_t freeBytes);

// Whether a body of `length` bytes (-1: none announced) may start. One with a length needs its
// bytes and limits.spareFreeBytes besides, after what the others under way still need, and is
// promised them; one without needs more than limits.lengthlessFreeBytes left.
bool PromiseBody(DiskRoom* room, int64_t length, const TransferLimits& limits);

// Whether `length` more bytes of a body without a length may be written.
bool MayWriteUnannounced(const DiskRoom& room, uint64_t length, const TransferLimits& limits);

// `bytes` written, `fromPromise` of them out of a promise.
void NoteWritten(DiskRoom* room, uint64_t bytes, uint64_t fromPromise);

// A body that ended before it wrote all it was promised gives the rest back.
void ReleasePromise(DiskRoom* room, uint64_t unwritten);
