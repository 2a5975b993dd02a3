#include "ui/info_dialog.h"

#include <gtest/gtest.h>

namespace {

constexpr int kW = kInfoDialogWidth;
constexpr int kH = kInfoDialogHeight;

TEST(InfoDialogGeometry, RectanglesAtTheDialogSize) {
    const struct {
        const char* name;
        LayoutRect actual;
        LayoutRect expected;
    } cases[] = {
        {"ok", ComputeInfoOkRect(kW, kH), {220, 310, 380, 345}},
        {"close", ComputeInfoCloseRect(kW, kH), {570, 5, 595, 28}},
        {"title", ComputeInfoTitleRect(kW), {0, 80, 600, 118}},
        {"advice", ComputeInfoAdviceRect(kW), {35, 160, 565, 290}},
        {"closing after 3 lines", ComputeInfoClosingRect(kW, 66), {35, 236, 565, 276}},
        {"closing after nothing", ComputeInfoClosingRect(kW, 0), {35, 170, 565, 210}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.name;
}

TEST(InfoDialogGeometry, OkCentresOnTheTruncatedHalfWidth) {
    // An odd width drops the half pixel; a width below 160 pushes OK's left edge negative,
    // where the division must still truncate toward zero (-1 / 2 is 0, not -1).
    const struct {
        int width;
        int height;
        LayoutRect expected;
    } cases[] = {
        {601, 370, {220, 310, 380, 345}}, {599, 371, {219, 311, 379, 346}}, {100, 100, {-30, 40, 130, 75}},
        {-1, 60, {-80, 0, 80, 35}},       {-3, 60, {-81, 0, 79, 35}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeInfoOkRect(c.width, c.height), c.expected) << c.width << " x " << c.height;
}

TEST(InfoDialogHitTest, BothEdgesCountForOkAndClose) {
    const struct {
        int x;
        int y;
        bool ok;
        bool close;
    } cases[] = {
        {220, 310, true, false},  // OK's top-left pixel
        {380, 345, true, false},  // just outside the filled OK rectangle, still OK
        {300, 330, true, false},  {219, 330, false, false}, {381, 345, false, false},
        {380, 346, false, false}, {300, 309, false, false}, {570, 5, false, true},  // X's top-left pixel
        {595, 28, false, true},  // just outside the glyph's rectangle, still X
        {569, 10, false, false},  {596, 28, false, false},  {595, 29, false, false},
        {580, 4, false, false},   {0, 0, false, false},  // frame
        {300, 95, false, false},                         // title
        {-5, -5, false, false},                          // outside, as during a captured drag
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsOnInfoOk(c.x, c.y, kW, kH), c.ok) << c.x << ", " << c.y;
        EXPECT_EQ(IsOnInfoClose(c.x, c.y, kW, kH), c.close) << c.x << ", " << c.y;
        const InfoPressAction expected = c.ok || c.close ? InfoPressAction::kClose : InfoPressAction::kStartDrag;
        EXPECT_EQ(DecideInfoPress(c.x, c.y, kW, kH), expected) << c.x << ", " << c.y;
    }
}

TEST(InfoDialogPosition, CentresOverTheOwnerTruncatingTowardZero) {
    const struct {
        const char* name;
        int left, top, right, bottom;
        InfoPoint expected;
    } cases[] = {
        {"main window", 100, 50, 1130, 739, {315, 209}},  // 1030 x 689 outer
        {"same size", 40, 30, 640, 400, {40, 30}},
        {"odd surplus drops the half pixel", 0, 0, 601, 371, {0, 0}},
        {"narrower by 100", 200, 100, 700, 300, {150, 15}},
        {"narrower by 1 stays at the owner's edge", 200, 100, 799, 469, {200, 100}},
        {"narrower by 3 moves 1, not 2", 200, 100, 797, 467, {199, 99}},
        {"owner partly off screen", -500, -200, 524, 460, {-288, -55}},
        {"owner off screen and narrow", -500, -200, -100, 0, {-600, -285}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeInfoDialogPosition(c.left, c.top, c.right, c.bottom), c.expected) << c.name;
}

TEST(InfoDialogDrag, ThePressedPointStaysUnderThePointer) {
    const struct {
        const char* name;
        int windowLeft, windowTop;
        InfoPoint anchor;
        int x, y;
        InfoPoint expected;
    } cases[] = {
        {"no move", 300, 200, {50, 40}, 50, 40, {300, 200}},
        {"right and down", 300, 200, {50, 40}, 80, 45, {330, 205}},
        {"left of and above the dialog", 300, 200, {50, 40}, -20, -10, {230, 150}},
        {"far outside while captured", 300, 200, {590, 360}, -700, -400, {-990, -560}},
        {"window off screen", -100, -50, {10, 10}, 5, 30, {-105, -30}},
    };
    for (const auto& c : cases) {
        const InfoPoint moved = ComputeInfoDragPosition(c.windowLeft, c.windowTop, c.anchor, c.x, c.y);
        EXPECT_EQ(moved, c.expected) << c.name;
        // The screen point under the pointer is the anchor of the moved window.
        EXPECT_EQ(moved.x + c.anchor.x, c.windowLeft + c.x) << c.name;
        EXPECT_EQ(moved.y + c.anchor.y, c.windowTop + c.y) << c.name;
    }
}

TEST(InfoDialogHover, RepaintsOnlyWhenAHoverStateChanges) {
    // One pointer path from empty space over OK, across to X and back out.
    const struct {
        int x;
        int y;
        bool ok;
        bool close;
        bool repaint;
    } path[] = {
        {100, 100, false, false, false}, {200, 330, false, false, false}, {220, 330, true, false, true},
        {300, 330, true, false, false},  {380, 345, true, false, false},  {381, 345, false, false, true},
        {582, 15, false, true, true},    {595, 28, false, true, false},   {300, 320, true, false, true},
        {582, 15, false, true, true},    {596, 28, false, false, true},   {-10, -10, false, false, false},
    };
    bool okHover = false;
    bool closeHover = false;
    for (const auto& step : path) {
        EXPECT_EQ(UpdateInfoHover(step.x, step.y, kW, kH, &okHover, &closeHover), step.repaint)
            << step.x << ", " << step.y;
        EXPECT_EQ(okHover, step.ok) << step.x << ", " << step.y;
        EXPECT_EQ(closeHover, step.close) << step.x << ", " << step.y;
    }
}

}  // namespace
