#include "update/transfer/disk_room.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kMiB = 1ull << 20;

TEST(DiskRoom, BodiesUnderWaySharePromisesAndGiveBackWhatTheyDidNotWrite) {
    // 100 MiB free, 16 MiB kept spare: six files of 30 MiB at once.
    DiskRoom room;
    const TransferLimits limits;
    EXPECT_TRUE(MustAskFreeSpace(room, 0));
    NoteFreeSpace(&room, 100 * kMiB);
    EXPECT_FALSE(MustAskFreeSpace(room, 30 * kMiB));
    EXPECT_TRUE(PromiseBody(&room, 30 * kMiB, limits));
    EXPECT_TRUE(PromiseBody(&room, 30 * kMiB, limits));
    EXPECT_FALSE(PromiseBody(&room, 30 * kMiB, limits));  // 40 left, 16 of them spare
    EXPECT_TRUE(PromiseBody(&room, 24 * kMiB, limits));   // exactly fits
    EXPECT_FALSE(PromiseBody(&room, 1, limits));
    EXPECT_EQ(room.promisedBytes, 84 * kMiB);

    // The first writes all of its body: the disk holds it now, not the promise.
    NoteWritten(&room, 30 * kMiB, 30 * kMiB);
    EXPECT_EQ(room.freeBytes, 70 * kMiB);
    EXPECT_EQ(room.promisedBytes, 54 * kMiB);
    EXPECT_FALSE(PromiseBody(&room, 1, limits));
    // The second stops after 10 MiB: its other 20 come back.
    NoteWritten(&room, 10 * kMiB, 10 * kMiB);
    ReleasePromise(&room, 20 * kMiB);
    EXPECT_EQ(room.promisedBytes, 24 * kMiB);
    EXPECT_TRUE(PromiseBody(&room, 20 * kMiB, limits));  // 60 free, 24 promised, 16 spare
    EXPECT_FALSE(PromiseBody(&room, 1, limits));

    // Past what the last answer is trusted for, the disk is asked again.
    EXPECT_TRUE(MustAskFreeSpace(room, kFreeSpaceRecheckBytes));
}

TEST(DiskRoom, ABodyWithoutALengthKeepsOffTheFloorAfterThePromises) {
    TransferLimits limits;
    limits.lengthlessFreeBytes = 64 * kMiB;
    DiskRoom room;
    NoteFreeSpace(&room, 100 * kMiB);
    EXPECT_TRUE(PromiseBody(&room, -1, limits));
    EXPECT_TRUE(MayWriteUnannounced(room, 36 * kMiB, limits));
    EXPECT_FALSE(MayWriteUnannounced(room, 36 * kMiB + 1, limits));
    EXPECT_TRUE(PromiseBody(&room, 20 * kMiB, limits));
    EXPECT_TRUE(PromiseBody(&room, -1, limits));  // 80 not promised to another, above the 64 kept
    EXPECT_TRUE(MayWriteUnannounced(room, 16 * kMiB, limits));
    EXPECT_FALSE(MayWriteUnannounced(room, 16 * kMiB + 1, limits));
    NoteWritten(&room, 16 * kMiB, 0);
    EXPECT_FALSE(MayWriteUnannounced(room, 1, limits));
    EXPECT_EQ(room.promisedBytes, 20 * kMiB);
}

}  // namespace
