#include "update/delta/block_digest.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr uint8_t kShifts[64] = {7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
                                 14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
                                 4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};

uint32_t RotateLeft(uint32_t value, unsigned count) {
    return (value << count) | (value >> (32 - count));
}

void Mix(uint32_t words[4], const uint8_t* chunk) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = static_cast<uint32_t>(chunk[i * 4]) | static_cast<uint32_t>(chunk[i * 4 + 1]) << 8 |
               static_cast<uint32_t>(chunk[i * 4 + 2]) << 16 | static_cast<uint32_t>(chunk[i * 4 + 3]) << 24;
    }
    uint32_t a = words[0], b = words[1], c = words[2], d = words[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t next = d;
        d = c;
        c = b;
        b = b + RotateLeft(a + f + kSines[i] + m[g], kShifts[i]);
        a = next;
    }
    words[0] += a;
    words[1] += b;
    words[2] += c;
    words[3] += d;
}

}  // namespace

void FeedMd5(Md5State* state, const void* bytes, size_t length) {
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    size_t held = static_cast<size_t>(state->length % 64);
    state->length += length;
    if (held > 0) {
        const size_t take = std::min<size_t>(64 - held, length);
        std::memcpy(state->pending + held, in, take);
        held += take;
        in += take;
        length -= take;
        if (held < 64)
            return;
        Mix(state->words, state->pending);
    }
    for (; length >= 64; in += 64, length -= 64)
        Mix(state->words, in);
    std::memcpy(state->pending, in, length);
}

Md5Value FinishMd5Value(Md5State* state) {
    const uint64_t bits = state->length * 8;
    uint8_t tail[72] = {0x80};
    const size_t held = static_cast<size_t>(state->length % 64);
    const size_t padding = (held < 56 ? 56 : 120) - held;
    for (int i = 0; i < 8; ++i)
        tail[padding + i] = static_cast<uint8_t>(bits >> (8 * i));
    FeedMd5(state, tail, padding + 8);
    Md5Value value;
    for (int i = 0; i < 16; ++i)
        value[i] = static_cast<uint8_t>(state->words[i / 4] >> (8 * (i % 4)));
    return value;
}

Md5Value Md5Of(const void* bytes, size_t length) {
    Md5State state;
    FeedMd5(&state, bytes, length);
    return FinishMd5Value(&state);
}
