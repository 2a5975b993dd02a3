// The strong digest of one block of a block map: the first bytes of the block's MD5. Computed
// here rather than by the platform, so the operators' tool, the launcher and the tests agree on
// it, and a block costs no provider calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using Md5Value = std::array<uint8_t, 16>;

// MD5 (RFC 1321), fed piece by piece.
struct Md5State {
    uint32_t words[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
    uint64_t length = 0;  // bytes fed so far
    uint8_t pending[64] = {};
};
void FeedMd5(Md5State* state, const void* bytes, size_t length);
Md5Value FinishMd5Value(Md5State* state);

Md5Value Md5Of(const void* bytes, size_t length);
