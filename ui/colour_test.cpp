#include "ui/colour.h"

#include <gtest/gtest.h>

namespace {

TEST(MakeRgb, RedInTheLowByte) {
    EXPECT_EQ(MakeRgb(160, 80, 220), 0x00DC50A0u);
    EXPECT_EQ(kOutlineViolet, 0x00DC50A0u);
    EXPECT_EQ(RedOf(0x00DC50A0u), 160);
    EXPECT_EQ(GreenOf(0x00DC50A0u), 80);
    EXPECT_EQ(BlueOf(0x00DC50A0u), 220);
}

TEST(ComputeButtonFill, BrightensTowardSixtyMoreClampedAt255) {
    const struct {
        Colour base;
        float level;
        Colour fill;
    } cases[] = {
        {MakeRgb(120, 40, 180), 0.0f, MakeRgb(120, 40, 180)},
        {MakeRgb(120, 40, 180), 0.5f, MakeRgb(150, 70, 210)},
        {MakeRgb(120, 40, 180), 1.0f, MakeRgb(180, 100, 240)},
        // 200 + 60 clamps to 255: 227.5 at half, truncated.
        {MakeRgb(200, 200, 200), 0.5f, MakeRgb(227, 227, 227)},
        {MakeRgb(200, 200, 200), 1.0f, MakeRgb(255, 255, 255)},
        {MakeRgb(255, 100, 100), 1.0f, MakeRgb(255, 160, 160)},
        {MakeRgb(0, 195, 196), 1.0f, MakeRgb(60, 255, 255)},
        // Truncated, never rounded up: 60 * 0.99 = 59.4.
        {MakeRgb(0, 10, 100), 0.99f, MakeRgb(59, 69, 159)},
        // A level moving in: the fade's first step.
        {MakeRgb(60, 60, 60), 0.18f, MakeRgb(70, 70, 70)},
        // The disabled grey at rest is drawn exactly.
        {kDisabledGrey, 0.0f, kDisabledGrey},
    };
    for (const auto& c : cases) {
        const Colour fill = ComputeButtonFill(c.base, c.level);
        EXPECT_EQ(fill, c.fill) << std::hex << c.base << " at " << c.level << " gave " << fill;
        EXPECT_EQ(fill >> 24, 0u);
    }
}

TEST(ComputeButtonFill, ChannelsStayBetweenRestAndLit) {
    for (int c = 0; c <= 255; c += 5) {
        const Colour base = MakeRgb(static_cast<uint8_t>(c), 0, 255);
        const int lit = c + 60 > 255 ? 255 : c + 60;
        for (float level = 0.0f; level <= 1.0f; level += 0.0625f) {
            const Colour fill = ComputeButtonFill(base, level);
            EXPECT_GE(RedOf(fill), c);
            EXPECT_LE(RedOf(fill), lit);
            EXPECT_EQ(BlueOf(fill), 255);
        }
    }
}

}  // namespace
