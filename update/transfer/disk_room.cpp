#include "update/transfer/disk_room.h"

#include <algorithm>

namespace {

uint64_t Unpromised(const DiskRoom& room) {
    return room.freeBytes - std::min(room.freeBytes, room.promisedBytes);
}

}  // namespace

bool MustAskFreeSpace(const DiskRoom& room, uint64_t needed) {
    return !room.asked || needed > room.trustedBytes;
}

void NoteFreeSpace(DiskRoom* room, uint64_t freeBytes) {
    room->asked = true;
    room->freeBytes = freeBytes;
    room->trustedBytes = kFreeSpaceRecheckBytes;
}

bool PromiseBody(DiskRoom* room, int64_t length, const TransferLimits& limits) {
    if (!HasRoomForBody(Unpromised(*room), length, limits))
        return false;
    if (length > 0)
        room->promisedBytes += static_cast<uint64_t>(length);
    return true;
}

bool MayWriteUnannounced(const DiskRoom& room, uint64_t length, const TransferLimits& limits) {
    return WritableBytes(Unpromised(room), limits.lengthlessFreeBytes) >= length;
}

void NoteWritten(DiskRoom* room, uint64_t bytes, uint64_t fromPromise) {
    room->freeBytes -= std::min(room->freeBytes, bytes);
    room->trustedBytes -= std::min(room->trustedBytes, bytes);
    room->promisedBytes -= std::min(room->promisedBytes, fromPromise);
}

void ReleasePromise(DiskRoom* room, uint64_t unwritten) {
    room->promisedBytes -= std::min(room->promisedBytes, unwritten);
}
