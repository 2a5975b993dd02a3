#include "ui/window_placement.h"

#include <gtest/gtest.h>

TEST(CentreOnScreen, HalvesTheSpareRoomTruncatingTowardZero) {
    const struct {
        int screen[2];
        int outer[2];
        int x, y;
    } cases[] = {
        {{1920, 1080}, {1030, 689}, 445, 195}, {{1280, 1024}, {1031, 690}, 124, 167},  // odd spare room: 249 / 2 = 124
        {{800, 600}, {1030, 689}, -115, -44},                                          // smaller screen: negative, kept
        {{1029, 688}, {1030, 689}, 0, 0},                                              // -1 / 2 truncates to 0, not -1
        {{1027, 686}, {1030, 689}, -1, -1},
    };
    for (const auto& c : cases) {
        const WindowPlacement p = CentreOnScreen(c.screen[0], c.screen[1], c.outer[0], c.outer[1]);
        EXPECT_EQ(p.x, c.x) << c.screen[0];
        EXPECT_EQ(p.y, c.y) << c.screen[1];
    }
}
