#include "update/delta/block_map.h"

#include <algorithm>
#include <cstring>

#include "update/local/digest_text.h"
#include "update/local/record_lines.h"

const char kBlockMapSuffix[] = ".blockmap";

namespace {

const char kFormatLine[] = "vardenhal-blockmap 1\n";
constexpr uint32_t kLeastBlockSize = 512;
constexpr uint32_t kLargestBlockSize = 1u << 20;

bool ReadNumberLine(const std::string& text, const std::string& key, size_t* offset, uint64_t* value) {
    std::string digits;
    return ReadRecordLine(text, key, offset, &digits) && ParseDecimal(digits, value);
}

}  // namespace

uint32_t ChooseBlockSize(uint64_t fileLength) {
    uint32_t size = kBlockBytes;
    while (BlockCount(fileLength, size) > kMostBlocks && size < kLargestBlockSize)
        size *= 2;
    return size;
}

RollingSum SumOf(const uint8_t* bytes, size_t length) {
    RollingSum sum;
    for (size_t i = 0; i < length; ++i) {
        sum.a += bytes[i];
        sum.b += sum.a;
    }
    return sum;
}

uint64_t BlockCount(uint64_t fileLength, uint32_t blockSize) {
    return fileLength / blockSize + (fileLength % blockSize != 0 ? 1 : 0);
}

uint32_t BlockLength(const BlockMap& map, size_t index) {
    const uint64_t start = static_cast<uint64_t>(index) * map.blockSize;
    return static_cast<uint32_t>(std::min<uint64_t>(map.blockSize, map.length - start));
}

BlockSums SumsOfBlock(const uint8_t* bytes, size_t length, uint32_t strongBytes) {
    BlockSums sums;
    sums.weak = SumOf(bytes, length).Value();
    const Md5Value md5 = Md5Of(bytes, length);
    std::memcpy(sums.strong, md5.data(), strongBytes);
    return sums;
}

bool SameStrong(const BlockSums& left, const BlockSums& right, uint32_t strongBytes) {
    return std::memcmp(left.strong, right.strong, strongBytes) == 0;
}

BlockMapMaker::BlockMapMaker(uint64_t fileLength, uint32_t blockSize, uint32_t strongBytes) {
    made.length = fileLength;
    made.blockSize = blockSize ? blockSize : ChooseBlockSize(fileLength);
    made.strongBytes = strongBytes;
    made.blocks.reserve(static_cast<size_t>(BlockCount(fileLength, made.blockSize)));
    block.reserve(made.blockSize);
}

void BlockMapMaker::Feed(const void* bytes, size_t length) {
    FeedMd5(&whole, bytes, length);
    fed += length;
    const char* in = static_cast<const char*>(bytes);
    while (length > 0) {
        const size_t take = std::min<size_t>(length, made.blockSize - block.size());
        block.append(in, take);
        in += take;
        length -= take;
        if (block.size() == made.blockSize) {
            made.blocks.push_back(
                SumsOfBlock(reinterpret_cast<const uint8_t*>(block.data()), block.size(), made.strongBytes));
            block.clear();
        }
    }
}

bool BlockMapMaker::Finish(BlockMap* map) {
    if (!block.empty())
        made.blocks.push_back(
            SumsOfBlock(reinterpret_cast<const uint8_t*>(block.data()), block.size(), made.strongBytes));
    block.clear();
    const Md5Value md5 = FinishMd5Value(&whole);
    made.md5 = FormatDigestHex(md5.data(), md5.size());
    if (fed != made.length)
        return false;
    *map = made;
    return true;
}

std::string FormatBlockMap(const BlockMap& map) {
    std::string text = kFormatLine;
    text += "length " + std::to_string(map.length) + "\n";
    text += "block-size " + std::to_string(map.blockSize) + "\n";
    text += "strong-bytes " + std::to_string(map.strongBytes) + "\n";
    text += "md5 " + map.md5 + "\n\n";
    text.reserve(text.size() + map.blocks.size() * (4 + map.strongBytes));
    for (const BlockSums& sums : map.blocks) {
        for (int shift = 24; shift >= 0; shift -= 8)
            text.push_back(static_cast<char>(sums.weak >> shift));
        text.append(reinterpret_cast<const char*>(sums.strong), map.strongBytes);
    }
    return text;
}

uint64_t MostBlockMapBytes(uint64_t statedLength) {
    return std::min<uint64_t>(kMostBlockMapBytes, statedLength / 100 + (64 << 10));
}

bool ParseBlockMap(const std::string& text, BlockMap* map) {
    *map = BlockMap();
    if (text.compare(0, sizeof kFormatLine - 1, kFormatLine) != 0)
        return false;
    size_t offset = sizeof kFormatLine - 1;
    uint64_t blockSize = 0;
    uint64_t strongBytes = 0;
    if (!ReadNumberLine(text, "length ", &offset, &map->length) ||
        !ReadNumberLine(text, "block-size ", &offset, &blockSize) ||
        !ReadNumberLine(text, "strong-bytes ", &offset, &strongBytes) ||
        !ReadRecordLine(text, "md5 ", &offset, &map->md5) || !IsMd5Text(map->md5))
        return false;
    if (blockSize < kLeastBlockSize || blockSize > kLargestBlockSize || (blockSize & (blockSize - 1)) != 0 ||
        strongBytes < 4 || strongBytes > 16)
        return false;
    if (text.size() > MostBlockMapBytes(map->length) || offset >= text.size() || text[offset] != '\n')
        return false;
    ++offset;
    map->blockSize = static_cast<uint32_t>(blockSize);
    map->strongBytes = static_cast<uint32_t>(strongBytes);
    const uint64_t count = BlockCount(map->length, map->blockSize);
    const uint64_t recordBytes = 4 + strongBytes;
    // Within the bound above, so neither the count nor the product can be out of range.
    if ((text.size() - offset) % recordBytes != 0 || (text.size() - offset) / recordBytes != count)
        return false;
    map->blocks.resize(static_cast<size_t>(count));
    for (BlockSums& sums : map->blocks) {
        const uint8_t* record = reinterpret_cast<const uint8_t*>(text.data() + offset);
        sums.weak = static_cast<uint32_t>(record[0]) << 24 | static_cast<uint32_t>(record[1]) << 16 |
                    static_cast<uint32_t>(record[2]) << 8 | record[3];
        std::memcpy(sums.strong, record + 4, map->strongBytes);
        offset += recordBytes;
    }
    return true;
}
