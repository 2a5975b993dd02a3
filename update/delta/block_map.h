// The block map the operators' tool writes beside each large served file ("<path>.blockmap"):
// a short text header naming the file (length, block size, MD5), then for each block of the file
// a weak checksum that can be rolled over the player's old file a byte at a time, and the first
// bytes of the block's MD5. With it the launcher finds the blocks it already holds, wherever they
// now sit, and asks only for the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/delta/block_digest.h"

extern const char kBlockMapSuffix[];  // ".blockmap"

// Files this long or longer get a map, and are patched through it.
constexpr uint64_t kBlockMapFromBytes = 1ull << 20;
// The block size a map is made with: kBlockBytes, doubled for files so long that they would
// need more than kMostBlocks blocks, so a map stays within its bound.
constexpr uint32_t kBlockBytes = 4096;
constexpr uint64_t kMostBlocks = 1ull << 20;
uint32_t ChooseBlockSize(uint64_t fileLength);
// The strong digest's length in a map we write: with 4 KiB blocks a map is 0.3% of its file.
constexpr uint32_t kStrongBytes = 8;

// The weak checksum of a block (rsync's): two 16-bit sums, the plain sum of its bytes and the
// sum of the running sums, rolled one byte at a time.
struct RollingSum {
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t Value() const { return (a & 0xffff) | (b << 16); }
};
RollingSum SumOf(const uint8_t* bytes, size_t length);
// The window of `windowLength` bytes moves on by one: `out` leaves it at the front, `in` enters.
inline void RollSum(RollingSum* sum, uint8_t out, uint8_t in, size_t windowLength) {
    sum->a += static_cast<uint32_t>(in) - out;
    sum->b += sum->a - static_cast<uint32_t>(windowLength) * out;
}

struct BlockSums {
    uint32_t weak = 0;
    uint8_t strong[16] = {};  // the first strongBytes of the block's MD5; the rest zero
};

struct BlockMap {
    uint64_t length = 0;  // the file's
    uint32_t blockSize = 0;
    uint32_t strongBytes = 0;
    std::string md5;  // the file's, 32 lower-case hex digits
    std::vector<BlockSums> blocks;
};

uint64_t BlockCount(uint64_t fileLength, uint32_t blockSize);
// The length of block `index`: blockSize, but for a last block that is shorter.
uint32_t BlockLength(const BlockMap& map, size_t index);
BlockSums SumsOfBlock(const uint8_t* bytes, size_t length, uint32_t strongBytes);
bool SameStrong(const BlockSums& left, const BlockSums& right, uint32_t strongBytes);

// Makes a map from a file's bytes as they are read, block after block.
struct BlockMapMaker {
    BlockMapMaker(uint64_t fileLength, uint32_t blockSize = 0, uint32_t strongBytes = kStrongBytes);
    void Feed(const void* bytes, size_t length);
    // The map once all of the file's bytes have been fed (its MD5 computed on the way); false when
    // another number of bytes came.
    bool Finish(BlockMap* map);

    BlockMap made;
    std::string block;  // the bytes of the block under way
    Md5State whole;
    uint64_t fed = 0;
};

std::string FormatBlockMap(const BlockMap& map);

// The most bytes a map of a file of `statedLength` may have: 1% of it and 64 KiB, never more than
// 32 MiB. A larger one is refused before it is read whole.
uint64_t MostBlockMapBytes(uint64_t statedLength);
constexpr uint64_t kMostBlockMapBytes = 32ull << 20;

// A map exactly as FormatBlockMap writes it: the header in its order, a power-of-two block size
// from 512 bytes to 1 MiB, a strong length from 4 to 16, exactly one record per block, nothing
// after, within MostBlockMapBytes. False, `*map` unusable, for anything else.
bool ParseBlockMap(const std::string& text, BlockMap* map);
