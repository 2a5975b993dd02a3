#include "update/transfer/transfer_limits.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Arrivals = std::vector<std::pair<uint64_t, uint64_t>>;  // (ms, bytes)

Arrivals Every(uint64_t fromMs, uint64_t toMs, uint64_t stepMs, uint64_t bytes) {
    Arrivals arrivals;
    for (uint64_t t = fromMs; t <= toMs; t += stepMs)
        arrivals.emplace_back(t, bytes);
    return arrivals;
}

Arrivals Join(Arrivals a, const Arrivals& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(TransferPace, SilenceAndTricklesEndATransfer) {
    const TransferLimits limits;  // 30 s of silence, 1 KiB/s over 60 s
    const struct {
        const char* name;
        Arrivals arrivals;
        uint64_t atMs;
        bool tooSlow;
    } cases[] = {
        {"no answer yet", {}, 29999, false},
        {"no answer for 30 s", {}, 30000, true},
        {"silent 29 s after data", {{10000, 1 << 20}}, 39000, false},
        {"silent 30 s after data", {{10000, 1 << 20}}, 40000, true},
        {"a byte every 5 s, before the first window ends", Every(5000, 55000, 5000, 1), 59999, false},
        {"a byte every 5 s, a whole window", Every(5000, 60000, 5000, 1), 60000, true},
        {"2 KiB every second", Every(1000, 120000, 1000, 2048), 120000, false},
        {"1000 bytes every second", Every(1000, 60000, 1000, 1000), 60000, true},
        {"a fast start still in the window", Join({{1000, 10 << 20}}, Every(6000, 60000, 5000, 1)), 60000, false},
        {"a fast start out of the window", Join({{1000, 10 << 20}}, Every(6000, 61000, 5000, 1)), 61000, true},
    };
    for (const auto& c : cases) {
        TransferPace pace;
        StartPace(&pace, 0);
        for (const auto& arrival : c.arrivals)
            RecordArrival(&pace, limits, arrival.first, arrival.second);
        EXPECT_EQ(IsTransferTooSlow(pace, limits, c.atMs), c.tooSlow) << c.name;
    }
}

TEST(TransferLimits, ManifestBodyStaysWithinItsLimit) {
    std::string body;
    const std::string block(30, 'x');
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(AppendWithinLimit(&body, block.data(), block.size(), 100));
    EXPECT_FALSE(AppendWithinLimit(&body, block.data(), block.size(), 100));
    EXPECT_EQ(body.size(), 90u);
    EXPECT_LE(body.capacity(), 100u);
    EXPECT_TRUE(AppendWithinLimit(&body, block.data(), 10, 100));
}

TEST(TransferLimits, WritableBytesKeepTheMinimumFree) {
    constexpr uint64_t kMiB = 1 << 20;
    EXPECT_EQ(WritableBytes(300 * kMiB, 256 * kMiB), 44 * kMiB);
    EXPECT_EQ(WritableBytes(256 * kMiB, 256 * kMiB), 0u);
    EXPECT_EQ(WritableBytes(100 * kMiB, 256 * kMiB), 0u);
    EXPECT_EQ(WritableBytes(10240 * kMiB, 256 * kMiB), 64 * kMiB);  // asked again after 64 MiB
}

TEST(TransferLimits, ABodyNeedsItsLengthAndSomeSpareOrAFloorWithoutOne) {
    constexpr uint64_t kMiB = 1 << 20;
    const TransferLimits limits;  // 16 MiB spare, 64 MiB floor without a length
    const struct {
        uint64_t freeBytes;
        int64_t bodyLength;
        bool room;
    } cases[] = {
        {40 * kMiB, 1024, true},
        {40 * kMiB, 60 * kMiB, false},
        {76 * kMiB, 60 * kMiB, true},
        {76 * kMiB - 1, 60 * kMiB, false},
        {16 * kMiB, 0, true},
        {16 * kMiB - 1, 0, false},
        {0, 0, false},
        {20 * kMiB, INT64_MAX, false},
        {UINT64_MAX, INT64_MAX, true},
        {64 * kMiB + 1, -1, true},
        {64 * kMiB, -1, false},
        {40 * kMiB, -1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasRoomForBody(c.freeBytes, c.bodyLength, limits), c.room)
            << c.freeBytes << " free, " << c.bodyLength;
}

}  // namespace
