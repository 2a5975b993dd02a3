#include "ui/hover.h"

#include <gtest/gtest.h>

namespace {

TEST(StepHoverLevel, FadesInOverTwentyFourTicks) {
    const float expectedStart[] = {0.18f, 0.3276f, 0.4486f, 0.5479f};
    float level = 0.0f;
    for (int tick = 1; tick <= 24; ++tick) {
        const float before = level;
        bool changed = false;
        StepHoverLevel(level, true, changed);
        EXPECT_TRUE(changed) << tick;
        EXPECT_GT(level, before) << tick;
        if (tick <= 4) {
            EXPECT_NEAR(level, expectedStart[tick - 1], 0.00005f) << tick;
        }
        if (tick < 24) {
            EXPECT_LT(level, 1.0f) << tick;
        }
    }
    EXPECT_EQ(level, 1.0f);
}

TEST(StepHoverLevel, FadesOutOverTwentyFourTicks) {
    const float expectedStart[] = {0.82f, 0.6724f, 0.5514f, 0.4521f};
    float level = 1.0f;
    for (int tick = 1; tick <= 24; ++tick) {
        bool changed = false;
        StepHoverLevel(level, false, changed);
        EXPECT_TRUE(changed) << tick;
        if (tick <= 4) {
            EXPECT_NEAR(level, expectedStart[tick - 1], 0.00005f) << tick;
        }
        if (tick < 24) {
            EXPECT_GT(level, 0.0f) << tick;
        }
    }
    EXPECT_EQ(level, 0.0f);
}

TEST(StepHoverLevel, AtItsTargetNothingChanges) {
    const struct {
        float level;
        bool active;
        bool changedBefore;
    } cases[] = {
        {1.0f, true, false},
        {0.0f, false, false},
        {1.0f, true, true},  // an earlier level's change is kept
        {0.0f, false, true},
    };
    for (const auto& c : cases) {
        float level = c.level;
        bool changed = c.changedBefore;
        StepHoverLevel(level, c.active, changed);
        EXPECT_EQ(level, c.level);
        EXPECT_EQ(changed, c.changedBefore);
    }
}

TEST(StepHoverLevel, TurnsBackMidwayAndSnapsWithinOneHundredth) {
    float level = 0.5f;
    bool changed = false;
    StepHoverLevel(level, false, changed);
    EXPECT_TRUE(changed);
    EXPECT_NEAR(level, 0.41f, 0.00001f);

    // From 0.0125 away a step leaves 0.01025, not yet within 0.01; the next one snaps.
    level = 0.9875f;
    StepHoverLevel(level, true, changed);
    EXPECT_GT(level, 0.9875f);
    EXPECT_LT(level, 1.0f);
    StepHoverLevel(level, true, changed);
    EXPECT_EQ(level, 1.0f);

    level = 0.011f;
    StepHoverLevel(level, false, changed);
    EXPECT_EQ(level, 0.0f);
}

}  // namespace
