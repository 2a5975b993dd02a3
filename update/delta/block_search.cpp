#include "update/delta/block_search.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Bytes read at a time, beyond the window kept from the last read.
constexpr size_t kReadBytes = 1 << 20;
// A bit per slot: a position whose weak checksum hits no set bit costs no lookup.
constexpr unsigned kFilterBits = 22;

uint32_t FilterSlot(uint32_t weak) {
    return (weak * 0x9E3779B1u) >> (32 - kFilterBits);
}

// Full blocks with the same bytes, found together: a file padded with zeros has thousands.
struct BlockGroup {
    uint32_t weak;
    uint32_t first;  // into BlockIndex::order
    uint32_t end;
    bool found;
};

// The map's full blocks grouped by their sums and sorted by weak checksum, with the filter in
// front of them.
struct BlockIndex {
    std::vector<uint32_t> order;  // block numbers by weak checksum, then strong digest
    std::vector<BlockGroup> groups;
    std::vector<uint64_t> filter = std::vector<uint64_t>((1u << kFilterBits) / 64);
};

BlockIndex IndexFullBlocks(const BlockMap& map) {
    BlockIndex index;
    const size_t full = static_cast<size_t>(map.length / map.blockSize);
    index.order.resize(full);
    for (size_t block = 0; block < full; ++block) {
        index.order[block] = static_cast<uint32_t>(block);
        const uint32_t slot = FilterSlot(map.blocks[block].weak);
        index.filter[slot / 64] |= uint64_t{1} << (slot % 64);
    }
    const uint32_t strongBytes = map.strongBytes;
    std::sort(index.order.begin(), index.order.end(), [&map, strongBytes](uint32_t left, uint32_t right) {
        const BlockSums& l = map.blocks[left];
        const BlockSums& r = map.blocks[right];
        if (l.weak != r.weak)
            return l.weak < r.weak;
        const int strong = std::memcmp(l.strong, r.strong, strongBytes);
        return strong != 0 ? strong < 0 : left < right;
    });
    for (uint32_t at = 0; at < full; ++at) {
        const BlockSums& sums = map.blocks[index.order[at]];
        if (index.groups.empty() || index.groups.back().weak != sums.weak ||
            !SameStrong(map.blocks[index.order[index.groups.back().first]], sums, strongBytes))
            index.groups.push_back(BlockGroup{sums.weak, at, at, false});
        index.groups.back().end = at + 1;
    }
    return index;
}

bool MayHold(const BlockIndex& index, uint32_t weak) {
    const uint32_t slot = FilterSlot(weak);
    return (index.filter[slot / 64] >> (slot % 64)) & 1;
}

// The groups whose weak checksum is `weak`.
std::pair<BlockGroup*, BlockGroup*> GroupsWithWeak(BlockIndex& index, uint32_t weak) {
    BlockGroup* end = index.groups.data() + index.groups.size();
    BlockGroup* first = std::lower_bound(index.groups.data(), end, weak,
                                         [](const BlockGroup& group, uint32_t value) { return group.weak < value; });
    BlockGroup* last = first;
    while (last != end && last->weak == weak)
        ++last;
    return {first, last};
}

// The old file through a buffer that keeps the window and reads on past it.
struct OldFile {
    const BlockSearchIo& io;
    uint64_t length;
    std::vector<uint8_t> buffer;
    uint64_t start = 0;  // the old file's offset of buffer[0]
    size_t held = 0;     // bytes in the buffer
    bool failed = false;

    // Makes [from, from + count) readable in the buffer; false when the file ends first.
    bool Hold(uint64_t from, size_t count) {
        if (from >= start && from + count <= start + held)
            return true;
        if (from + count > length)
            return false;
        const size_t keep = from >= start && from < start + held ? static_cast<size_t>(start + held - from) : 0;
        if (keep > 0)
            std::memmove(buffer.data(), buffer.data() + (from - start), keep);
        start = from;
        held = keep;
        while (held < count) {
            const size_t wanted =
                static_cast<size_t>(std::min<uint64_t>(buffer.size() - held, length - (start + held)));
            const size_t read = io.read(start + held, buffer.data() + held, wanted);
            if (read == 0 || read > wanted) {
                failed = true;
                return false;
            }
            held += read;
        }
        return true;
    }
    const uint8_t* At(uint64_t offset) const { return buffer.data() + (offset - start); }
};

bool Stopped(const BlockSearchIo& io) {
    return io.stop && io.stop->load(std::memory_order_relaxed);
}

}  // namespace

bool SearchHeldBlocks(const BlockMap& map, uint64_t oldLength, const BlockSearchIo& io, std::vector<int64_t>* sources) {
    sources->assign(map.blocks.size(), kNotHeld);
    if (map.blocks.empty())
        return true;
    const uint32_t blockSize = map.blockSize;
    BlockIndex index = IndexFullBlocks(map);
    OldFile old{io, oldLength, std::vector<uint8_t>(kReadBytes + blockSize + 1)};
    // Every full block with these bytes is held at `offset`; false when onHeld ends the search.
    auto takeGroup = [&](BlockGroup& group, uint64_t offset, const uint8_t* bytes) {
        group.found = true;
        for (uint32_t at = group.first; at != group.end; ++at) {
            const uint32_t block = index.order[at];
            (*sources)[block] = static_cast<int64_t>(offset);
            if (!io.onHeld(block, bytes, blockSize))
                return false;
        }
        return true;
    };
    uint64_t position = 0;
    uint64_t nextStopCheck = 0;
    RollingSum sum;
    bool summed = false;
    BlockSums sums;  // the strong digest of `lastDigested`
    std::vector<uint8_t> lastDigested;
    RollingSum digestedSum;
    while (old.Hold(position, blockSize)) {
        if (position >= nextStopCheck) {
            if (Stopped(io))
                return false;
            nextStopCheck = position + kReadBytes;
        }
        const uint8_t* window = old.At(position);
        if (!summed) {
            // A run of equal blocks (zeros padding an archive) is summed and digested once.
            const bool again = !lastDigested.empty() && std::memcmp(lastDigested.data(), window, blockSize) == 0;
            sum = again ? digestedSum : SumOf(window, blockSize);
            summed = true;
        }
        bool matched = false;
        const uint32_t weak = sum.Value();
        if (MayHold(index, weak)) {
            const auto groups = GroupsWithWeak(index, weak);
            if (groups.first != groups.second) {
                if (lastDigested.empty() || std::memcmp(lastDigested.data(), window, blockSize) != 0) {
                    lastDigested.assign(window, window + blockSize);
                    digestedSum = sum;
                    const Md5Value md5 = Md5Of(window, blockSize);
                    std::memcpy(sums.strong, md5.data(), map.strongBytes);
                }
                for (BlockGroup* group = groups.first; group != groups.second && !matched; ++group) {
                    if (!SameStrong(map.blocks[index.order[group->first]], sums, map.strongBytes))
                        continue;
                    matched = true;
                    if (!group->found && !takeGroup(*group, position, window))
                        return false;
                }
            }
        }
        // A block found: the next is looked for right after it, as an unchanged file holds it.
        if (matched) {
            position += blockSize;
            summed = false;
            continue;
        }
        if (!old.Hold(position, static_cast<size_t>(blockSize) + 1))
            break;
        window = old.At(position);
        RollSum(&sum, window[0], window[blockSize], blockSize);
        ++position;
    }
    if (old.failed || Stopped(io))
        return false;
    // A shorter last block is not in the rolling search: it is looked for where it would sit.
    const size_t last = map.blocks.size() - 1;
    const uint32_t lastLength = BlockLength(map, last);
    if (lastLength == blockSize || (*sources)[last] != kNotHeld)
        return true;
    std::vector<uint64_t> places;
    if (last > 0 && (*sources)[last - 1] != kNotHeld)
        places.push_back(static_cast<uint64_t>((*sources)[last - 1]) + blockSize);
    if (oldLength >= lastLength)
        places.push_back(oldLength - lastLength);
    places.push_back(0);
    for (uint64_t place : places) {
        if (!old.Hold(place, lastLength)) {
            if (old.failed)
                return false;
            continue;
        }
        const BlockSums sums = SumsOfBlock(old.At(place), lastLength, map.strongBytes);
        if (sums.weak == map.blocks[last].weak && SameStrong(sums, map.blocks[last], map.strongBytes)) {
            (*sources)[last] = static_cast<int64_t>(place);
            return io.onHeld(last, old.At(place), lastLength);
        }
    }
    return true;
}

std::vector<ByteSpan> MissingSpans(const BlockMap& map, const std::vector<int64_t>& sources) {
    std::vector<ByteSpan> spans;
    for (size_t block = 0; block < map.blocks.size(); ++block) {
        if (sources[block] != kNotHeld)
            continue;
        const uint64_t first = static_cast<uint64_t>(block) * map.blockSize;
        const uint32_t length = BlockLength(map, block);
        if (!spans.empty() && spans.back().first + spans.back().count == first)
            spans.back().count += length;
        else
            spans.push_back(ByteSpan{first, length});
    }
    return spans;
}

uint64_t SpanBytes(const std::vector<ByteSpan>& spans) {
    uint64_t total = 0;
    for (const ByteSpan& span : spans)
        total += span.count;
    return total;
}
