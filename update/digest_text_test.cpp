#include "update/digest_text.h"

#include <gtest/gtest.h>

TEST(FormatDigestHex, TwoLowerCaseDigitsPerByteInOrder) {
    const uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff, 0x9c, 0x01};
    EXPECT_EQ(FormatDigestHex(bytes, sizeof(bytes)), "000fa0ff9c01");
    EXPECT_EQ(FormatDigestHex(bytes, 0), "");
}
