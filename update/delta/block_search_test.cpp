#include "update/delta/block_search.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

BlockMap MapOf(const std::string& bytes, uint32_t blockSize) {
    BlockMapMaker maker(bytes.size(), blockSize);
    maker.Feed(bytes.data(), bytes.size());
    BlockMap map;
    EXPECT_TRUE(maker.Finish(&map));
    return map;
}

// Searches `old` (in memory) for the blocks of `wanted`, and assembles what it found into a copy
// of `wanted` whose missing bytes are '.'.
struct Searched {
    bool ended = false;
    std::vector<int64_t> sources;
    std::string assembled;
    std::vector<ByteSpan> spans;
};

Searched Search(const std::string& old, const std::string& wanted, uint32_t blockSize) {
    const BlockMap map = MapOf(wanted, blockSize);
    Searched result;
    result.assembled.assign(wanted.size(), '.');
    BlockSearchIo io;
    io.read = [&old](uint64_t offset, uint8_t* into, size_t length) {
        const size_t count = std::min<size_t>(length, old.size() - offset);
        std::memcpy(into, old.data() + offset, count);
        return count;
    };
    io.onHeld = [&](size_t block, const uint8_t* bytes, size_t length) {
        EXPECT_EQ(length, BlockLength(map, block));
        result.assembled.replace(block * blockSize, length, reinterpret_cast<const char*>(bytes), length);
        return true;
    };
    result.ended = SearchHeldBlocks(map, old.size(), io, &result.sources);
    result.spans = MissingSpans(map, result.sources);
    return result;
}

std::string SpansText(const std::vector<ByteSpan>& spans) {
    std::string text;
    for (const ByteSpan& span : spans)
        text += (text.empty() ? "" : " ") + std::to_string(span.first) + "+" + std::to_string(span.count);
    return text;
}

TEST(BlockSearch, FindsEachBlockWhereverTheOldFileHoldsItAndAsksForTheRest) {
    const struct {
        const char* name;
        std::string old;
        std::string wanted;
        std::vector<int64_t> sources;
        std::string spans;
    } cases[] = {
        {"unchanged", "abcdefghijkl", "abcdefghijkl", {0, 4, 8}, ""},
        {"bytes inserted: what follows is shifted", "abcdefghijkl", "XYabcdefghijkl", {-1, 2, 6, 10}, "0+4"},
        {"bytes removed", "abcdXYefghijkl", "abcdefghijkl", {0, 6, 10}, ""},
        {"blocks moved", "abcdefghijkl", "ijklabcdefgh", {8, 0, 4}, ""},
        {"a byte changed", "abcdefghijkl", "abcdefXhijkl", {0, -1, 8}, "4+4"},
        {"neighbouring blocks changed: one range", "abcdefghijklmnop", "abcdXXXXYYYYmnop", {0, -1, -1, 12}, "4+8"},
        {"a block repeated in the new file", "abcdefgh", "abcdabcdefgh", {0, 0, 4}, ""},
        {"a block repeated in the old file: the first is taken", "abcdabcdefgh", "efghabcd", {8, 0}, ""},
        {"a last short block after its neighbour", "abcdefghij", "abcdefghij", {0, 4, 8}, ""},
        {"a last short block at the old file's end", "abcdZZZZZij", "abcdij", {0, 9}, ""},
        {"a last short block changed", "abcdefghij", "abcdefghXj", {0, 4, -1}, "8+2"},
        {"a new file shorter than one block, at the old end", "xyzab", "ab", {3}, ""},
        {"a new file shorter than one block, at the old start", "abxyz", "ab", {0}, ""},
        {"an old file shorter than one block", "ab", "abcdab", {-1, 0}, "0+4"},
        {"an empty old file", "", "abcdefghi", {-1, -1, -1}, "0+9"},
        {"an empty new file", "abcdefgh", "", {}, ""},
        {"nothing in common", "abcdefgh", "ABCDEFGH", {-1, -1}, "0+8"},
    };
    for (const auto& c : cases) {
        const Searched searched = Search(c.old, c.wanted, 4);
        EXPECT_TRUE(searched.ended) << c.name;
        EXPECT_EQ(searched.sources, c.sources) << c.name;
        EXPECT_EQ(SpansText(searched.spans), c.spans) << c.name;
        // What was found, with what is asked for, is the new file.
        std::string assembled = searched.assembled;
        for (const ByteSpan& span : searched.spans)
            assembled.replace(span.first, span.count, c.wanted.substr(span.first, span.count));
        EXPECT_EQ(assembled, c.wanted) << c.name;
    }
}

TEST(BlockSearch, AnInsertionInALargeFileCostsOnlyTheBlocksItTouches) {
    std::string old(1 << 20, '\0');
    uint32_t seed = 1;
    for (char& c : old) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<char>(seed >> 16);
    }
    std::string wanted = old;
    wanted.insert(300001, std::string(777, 'x'));  // shifts all that follows off the block grid
    wanted.replace(700000, 5000, std::string(5000, 'y'));
    wanted.erase(900000, 123);
    const Searched searched = Search(old, wanted, 4096);
    ASSERT_TRUE(searched.ended);
    // Each change costs at most the blocks it touches, and a block either side of an edge.
    EXPECT_LE(SpanBytes(searched.spans), 4096u * 2 + (5000 + 2 * 4096) + 4096u * 2);
    EXPECT_EQ(searched.spans.size(), 3u) << SpansText(searched.spans);
}

TEST(BlockSearch, AStopOrAFailedReadEndsTheSearchAsUnfinished) {
    const std::string old(100000, 'a');
    const BlockMap map = MapOf(old + "b", 4096);
    std::vector<int64_t> sources;
    std::atomic<bool> stop{true};
    BlockSearchIo io;
    io.read = [&old](uint64_t offset, uint8_t* into, size_t length) {
        const size_t count = std::min<size_t>(length, old.size() - offset);
        std::memcpy(into, old.data() + offset, count);
        return count;
    };
    io.onHeld = [](size_t, const uint8_t*, size_t) { return true; };
    io.stop = &stop;
    EXPECT_FALSE(SearchHeldBlocks(map, old.size(), io, &sources));
    stop = false;
    EXPECT_TRUE(SearchHeldBlocks(map, old.size(), io, &sources));
    // A file that ends before the length it was said to have.
    EXPECT_FALSE(SearchHeldBlocks(map, old.size() + 5000, io, &sources));
    // The writer of the blocks found stops it too.
    io.onHeld = [](size_t, const uint8_t*, size_t) { return false; };
    EXPECT_FALSE(SearchHeldBlocks(map, old.size(), io, &sources));
}

// Sparse files past 2 GiB and 4 GiB: zeros but for a byte here and there, so the search reads
// every byte and digests few.
class BlockSearchLarge : public ::testing::TestWithParam<uint64_t> {};

TEST_P(BlockSearchLarge, OffsetsAndRangesPastTwoAndFourGibibytesAreExact) {
    const uint64_t length = GetParam();
    const uint32_t blockSize = 65536;
    char path[] = "/tmp/blocksearchXXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    unlink(path);
    ASSERT_EQ(ftruncate(file, static_cast<off_t>(length)), 0);
    // One in a block past 2 GiB (past 4 GiB - 256 KiB for the longer file), one in the last block.
    const uint64_t marks[] = {length - 3 * blockSize - 1, length - 1};
    for (uint64_t mark : marks)
        ASSERT_EQ(pwrite(file, "m", 1, static_cast<off_t>(mark)), 1);
    // The new version: the same, but its last block changed.
    BlockMap map;
    map.length = length;
    map.blockSize = blockSize;
    map.strongBytes = kStrongBytes;
    const std::vector<uint8_t> zeros(blockSize, 0);
    const BlockSums zero = SumsOfBlock(zeros.data(), blockSize, kStrongBytes);
    map.blocks.assign(BlockCount(length, blockSize), zero);
    const size_t last = map.blocks.size() - 1;
    std::vector<uint8_t> block(blockSize);
    const size_t marked = static_cast<size_t>(marks[0] / blockSize);
    ASSERT_EQ(pread(file, block.data(), blockSize, static_cast<off_t>(uint64_t{marked} * blockSize)),
              static_cast<ssize_t>(blockSize));
    map.blocks[marked] = SumsOfBlock(block.data(), blockSize, kStrongBytes);
    std::vector<uint8_t> changed(BlockLength(map, last), 'n');
    map.blocks[last] = SumsOfBlock(changed.data(), changed.size(), kStrongBytes);

    BlockSearchIo io;
    io.read = [file](uint64_t offset, uint8_t* into, size_t count) {
        const ssize_t read = pread(file, into, count, static_cast<off_t>(offset));
        return read > 0 ? static_cast<size_t>(read) : 0;
    };
    size_t handed = 0;
    io.onHeld = [&handed](size_t, const uint8_t*, size_t) { return ++handed > 0; };
    std::vector<int64_t> sources;
    ASSERT_TRUE(SearchHeldBlocks(map, length, io, &sources));
    close(file);
    EXPECT_EQ(sources[marked], static_cast<int64_t>(uint64_t{marked} * blockSize));
    EXPECT_EQ(sources[last], kNotHeld);
    EXPECT_EQ(handed, map.blocks.size() - 1);
    const std::vector<ByteSpan> spans = MissingSpans(map, sources);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].first, uint64_t{last} * blockSize);
    EXPECT_EQ(spans[0].first + spans[0].count, length);
}

INSTANTIATE_TEST_SUITE_P(SparseFiles, BlockSearchLarge, ::testing::Values(1ull << 31, (1ull << 32) + 1));

}  // namespace
