#include "update/local/digest_text.h"

#include <gtest/gtest.h>

TEST(FormatDigestHex, TwoLowerCaseDigitsPerByteInOrder) {
    const uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff, 0x9c, 0x01};
    EXPECT_EQ(FormatDigestHex(bytes, sizeof(bytes)), "000fa0ff9c01");
    EXPECT_EQ(FormatDigestHex(bytes, 0), "");
}

TEST(DigestsMatch, AnyLetterCaseButNothingEmptyOrDifferent) {
    const struct {
        const char* computed;
        const char* listed;
        bool matches;
    } cases[] = {
        {"900150983cd24fb0d6963f7d28e17f72", "900150983cd24fb0d6963f7d28e17f72", true},
        {"900150983cd24fb0d6963f7d28e17f72", "900150983CD24FB0D6963F7D28E17F72", true},
        {"900150983cd24fb0d6963f7d28e17f72", "900150983cd24fb0d6963f7d28e17f73", false},
        {"900150983cd24fb0d6963f7d28e17f72", "900150983cd24fb0d6963f7d28e17f7", false},
        {"900150983cd24fb0d6963f7d28e17f72", "900150983cd24fb0d6963f7d28e17f72 ", false},
        {"900150983cd24fb0d6963f7d28e17f72", "", false},
        {"", "", false},
        {"a@", "a`", false},  // only letters fold: '@' and '`' differ by what 'A' and 'a' do
    };
    for (const auto& c : cases)
        EXPECT_EQ(DigestsMatch(c.computed, c.listed), c.matches) << c.computed << " / " << c.listed;
}
