#include "update/delta/block_map.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "update/local/digest_text.h"

namespace {

std::string Hex(const Md5Value& value) {
    return FormatDigestHex(value.data(), value.size());
}

std::string RandomBytes(size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

BlockMap MapOf(const std::string& bytes, uint32_t blockSize, uint32_t strongBytes = kStrongBytes) {
    BlockMapMaker maker(bytes.size(), blockSize, strongBytes);
    // Fed in uneven pieces, as reads come.
    for (size_t at = 0; at < bytes.size(); at += 1000)
        maker.Feed(bytes.data() + at, std::min<size_t>(1000, bytes.size() - at));
    BlockMap map;
    EXPECT_TRUE(maker.Finish(&map));
    return map;
}

TEST(BlockDigest, Md5FedInAnyPiecesIsTheStandardOne) {
    EXPECT_EQ(Hex(Md5Of("", 0)), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex(Md5Of("abc", 3)), "900150983cd24fb0d6963f7d28e17f72");
    const std::string digits = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    EXPECT_EQ(Hex(Md5Of(digits.data(), digits.size())), "57edf4a22be3c955ac49da2e2107b67a");
    // The padding's edge cases: 55, 56 and 64 bytes, fed a byte at a time and in one piece.
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 1000000u}) {
        const std::string bytes(length, 'a');
        Md5State state;
        for (size_t at = 0; at < length; at += 7)
            FeedMd5(&state, bytes.data() + at, std::min<size_t>(7, length - at));
        EXPECT_EQ(Hex(FinishMd5Value(&state)), Hex(Md5Of(bytes.data(), length))) << length;
    }
    EXPECT_EQ(Hex(Md5Of(std::string(1000000, 'a').data(), 1000000)), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(BlockMap, TheRollingSumOfEveryWindowIsTheSumOfItsBytes) {
    const std::string bytes = RandomBytes(3000, 7) + std::string(600, '\xff') + std::string(600, '\0');
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t window : {1u, 16u, 512u, 4096u}) {
        RollingSum sum = SumOf(data, window);
        for (size_t at = 0; at + window < bytes.size(); ++at) {
            RollSum(&sum, data[at], data[at + window], window);
            ASSERT_EQ(sum.Value(), SumOf(data + at + 1, window).Value()) << window << " at " << at;
        }
    }
}

TEST(BlockMap, AMapReadsBackAsItWasMadeWithItsBlocksAndTheFilesDigest) {
    const std::string file = RandomBytes(10000, 1);
    const BlockMap map = MapOf(file, 1024);
    EXPECT_EQ(map.md5, Hex(Md5Of(file.data(), file.size())));
    ASSERT_EQ(map.blocks.size(), 10u);
    EXPECT_EQ(BlockLength(map, 9), 10000u - 9 * 1024);
    const BlockSums last = SumsOfBlock(reinterpret_cast<const uint8_t*>(file.data()) + 9 * 1024, 784, kStrongBytes);
    EXPECT_EQ(map.blocks[9].weak, last.weak);
    EXPECT_TRUE(SameStrong(map.blocks[9], last, kStrongBytes));

    const std::string text = FormatBlockMap(map);
    EXPECT_EQ(text.substr(0, text.find("\n\n") + 2),
              "vardenhal-blockmap 1\nlength 10000\nblock-size 1024\nstrong-bytes 8\nmd5 " + map.md5 + "\n\n");
    EXPECT_EQ(text.size(), text.find("\n\n") + 2 + 10 * 12);
    BlockMap read;
    ASSERT_TRUE(ParseBlockMap(text, &read));
    EXPECT_EQ(read.length, 10000u);
    EXPECT_EQ(read.blockSize, 1024u);
    EXPECT_EQ(read.md5, map.md5);
    ASSERT_EQ(read.blocks.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(read.blocks[i].weak, map.blocks[i].weak);
        EXPECT_TRUE(SameStrong(read.blocks[i], map.blocks[i], kStrongBytes));
    }
    // An empty file has a map without records; a file fed short is no map.
    BlockMap empty;
    BlockMapMaker none(0, 4096);
    ASSERT_TRUE(none.Finish(&empty));
    ASSERT_TRUE(ParseBlockMap(FormatBlockMap(empty), &read));
    EXPECT_TRUE(read.blocks.empty());
    BlockMapMaker shortFed(10, 4096);
    shortFed.Feed("abc", 3);
    EXPECT_FALSE(shortFed.Finish(&empty));
}

TEST(BlockMap, AnythingButAMapAsWeWriteItIsRefused) {
    const std::string file = RandomBytes(5000, 2);
    const std::string good = FormatBlockMap(MapOf(file, 1024));
    const size_t records = good.find("\n\n") + 2;
    auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"another format", replaced("vardenhal-blockmap 1", "vardenhal-blockmap 2")},
        {"a record missing", good.substr(0, good.size() - 12)},
        {"a byte more", good + "x"},
        {"cut in the header", good.substr(0, 30)},
        {"a length that needs another count", replaced("length 5000", "length 6000")},
        {"a block size not a power of two", replaced("block-size 1024", "block-size 1000")},
        {"a block size under 512", replaced("block-size 1024", "block-size 256")},
        {"a strong digest of 3 bytes", replaced("strong-bytes 8", "strong-bytes 3")},
        {"a strong digest of 17 bytes", replaced("strong-bytes 8", "strong-bytes 17")},
        {"no blank line", replaced("\n\n", "\n")},
        {"a field out of order", replaced("length 5000\nblock-size 1024", "block-size 1024\nlength 5000")},
    };
    BlockMap map;
    EXPECT_TRUE(ParseBlockMap(good, &map));
    for (const auto& c : cases)
        EXPECT_FALSE(ParseBlockMap(c.text, &map)) << c.name;
    std::string upper = good;
    upper[records - 3] = 'A';
    EXPECT_FALSE(ParseBlockMap(upper, &map)) << "an upper-case digit";
}

TEST(BlockMap, AMapIsBoundedByOnePercentOfItsFileAndSixtyFourKibibytesUpToThirtyTwoMebibytes) {
    EXPECT_EQ(MostBlockMapBytes(0), 65536u);
    EXPECT_EQ(MostBlockMapBytes(200000000), 2000000u + 65536);
    EXPECT_EQ(MostBlockMapBytes(1ull << 40), 32u << 20);
    // A map as we make it stays within its bound, far under 1%, at any length.
    for (uint64_t length : {1ull << 20, 200000000ull, 1ull << 31, (1ull << 32) + 1, 1ull << 36}) {
        const uint32_t size = ChooseBlockSize(length);
        const uint64_t bytes = 100 + BlockCount(length, size) * (4 + kStrongBytes);
        EXPECT_LE(bytes * 100, length * 1) << length;
        EXPECT_LE(bytes, MostBlockMapBytes(length)) << length;
    }
    EXPECT_EQ(ChooseBlockSize(1ull << 32), 4096u);
    EXPECT_EQ(ChooseBlockSize((1ull << 32) + 1), 8192u);
    // Records finer than the bound allows are refused: 16,384 of 20 bytes for 8 MiB.
    const std::string file = RandomBytes(8 << 20, 3);
    BlockMap read;
    EXPECT_FALSE(ParseBlockMap(FormatBlockMap(MapOf(file, 512, 16)), &read));
    EXPECT_TRUE(ParseBlockMap(FormatBlockMap(MapOf(file, 4096)), &read));
}

}  // namespace
