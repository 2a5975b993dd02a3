// The search of the player's old file for the blocks of a new version: a window of one block
// rolled over the file a byte at a time, each position's weak checksum looked up among the map's,
// a strong digest asked only where one matches. A block found is handed on with its bytes while
// they are in memory, so the old file is read once, front to back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "update/delta/block_map.h"

// Where each block of the map is held in the old file (its first byte there), or kNotHeld.
constexpr int64_t kNotHeld = -1;

struct BlockSearchIo {
    // Up to `length` bytes from `offset`: how many it read, 0 at the end or when reading fails.
    std::function<size_t(uint64_t offset, uint8_t* into, size_t length)> read;
    // A block found, with its bytes; false ends the search.
    std::function<bool(size_t block, const uint8_t* bytes, size_t length)> onHeld;
    const std::atomic<bool>* stop = nullptr;  // ends the search at its next megabyte
};

// Finds the map's blocks in an old file of `oldLength` bytes: a block whose bytes sit at several
// places is taken from the first, and every block with the same bytes as one found is found with
// it. The last block, when it is shorter, is looked for where the file would hold it unchanged:
// just after the block before it, at the old file's end, and at its start. False when stopped, a
// read failed, or onHeld said so; `*sources` then holds what was found so far.
bool SearchHeldBlocks(const BlockMap& map, uint64_t oldLength, const BlockSearchIo& io, std::vector<int64_t>* sources);

// The bytes of a new version that no block held covers: runs of neighbouring blocks not held,
// each one range, in file order.
struct ByteSpan {
    uint64_t first = 0;
    uint64_t count = 0;
};
std::vector<ByteSpan> MissingSpans(const BlockMap& map, const std::vector<int64_t>& sources);
uint64_t SpanBytes(const std::vector<ByteSpan>& spans);
