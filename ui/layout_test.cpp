#include "ui/layout.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using E = LauncherElement;

const E kPressable[] = {
    E::kTitleBox,   E::kYoutubeIcon,  E::kInstagramIcon, E::kDiscordIcon,  E::kTiktokIcon,      E::kPlayButton,
    E::kMuteButton, E::kVolumeSlider, E::kInfoButton,    E::kUpdateButton, E::kGameStartButton,
};

}  // namespace

void PrintTo(const LayoutRect& rect, std::ostream* out) {
    *out << "(" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ")";
}

namespace {

TEST(ComputeElementRect, TheWindowSize) {
    const struct {
        E element;
        LayoutRect expected;
    } cases[] = {
        {E::kBackground, MakeRect(0, 0, 1024, 580)},
        {E::kBottomBar, MakeRect(0, 595, 1024, 660)},
        {E::kTitleBox, MakeRect(10, 10, 160, 38)},
        {E::kYoutubeIcon, MakeRect(882, 10, 910, 38)},
        {E::kInstagramIcon, MakeRect(918, 10, 946, 38)},
        {E::kDiscordIcon, MakeRect(954, 10, 982, 38)},
        {E::kTiktokIcon, MakeRect(990, 10, 1018, 38)},
        {E::kPlayButton, MakeRect(352, 560, 432, 586)},
        {E::kMuteButton, MakeRect(440, 560, 500, 586)},
        {E::kVolumeSlider, MakeRect(508, 565, 668, 581)},
        {E::kInfoButton, MakeRect(914, 555, 1014, 585)},
        {E::kUpdateButton, MakeRect(10, 614, 160, 642)},
        {E::kGameStartButton, MakeRect(864, 614, 1014, 642)},
        {E::kProgressBar, MakeRect(170, 615, 854, 641)},
        {E::kStatusLabel, MakeRect(0, 644, 1024, 658)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeElementRect(c.element, 1024, 660), c.expected) << static_cast<int>(c.element);
    EXPECT_EQ(ComputeElementRect(E::kNone, 1024, 660), MakeRect(0, 0, 0, 0));
}

TEST(ComputeElementRect, FollowsTheClientSize) {
    // 801 is odd: W/2 is 400, not 400.5 rounded up.
    const struct {
        E element;
        LayoutRect expected;
    } cases[] = {
        {E::kBackground, MakeRect(0, 0, 801, 420)},          {E::kBottomBar, MakeRect(0, 435, 801, 500)},
        {E::kTitleBox, MakeRect(10, 10, 160, 38)},           {E::kYoutubeIcon, MakeRect(659, 10, 687, 38)},
        {E::kInstagramIcon, MakeRect(695, 10, 723, 38)},     {E::kDiscordIcon, MakeRect(731, 10, 759, 38)},
        {E::kTiktokIcon, MakeRect(767, 10, 795, 38)},        {E::kPlayButton, MakeRect(240, 400, 320, 426)},
        {E::kMuteButton, MakeRect(328, 400, 388, 426)},      {E::kVolumeSlider, MakeRect(396, 405, 556, 421)},
        {E::kInfoButton, MakeRect(691, 395, 791, 425)},      {E::kUpdateButton, MakeRect(10, 454, 160, 482)},
        {E::kGameStartButton, MakeRect(641, 454, 791, 482)}, {E::kProgressBar, MakeRect(170, 455, 631, 481)},
        {E::kStatusLabel, MakeRect(0, 484, 801, 498)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeElementRect(c.element, 801, 500), c.expected) << static_cast<int>(c.element);
}

TEST(HitTest, BothEdgesCount) {
    const LayoutRect icon = MakeRect(882, 10, 910, 38);
    const struct {
        int x;
        int y;
        bool hit;
    } cases[] = {
        {882, 10, true},  {910, 38, true},  {910, 10, true}, {882, 38, true},  {896, 24, true},
        {881, 24, false}, {911, 24, false}, {896, 9, false}, {896, 39, false}, {911, 39, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HitTest(icon, c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST(FindElementAt, CornersAndCentresOfEveryPressableElement) {
    for (const int width : {1024, 800}) {
        const int height = width == 1024 ? 660 : 500;
        for (E element : kPressable) {
            const LayoutRect r = ComputeElementRect(element, width, height);
            const int midX = (r.left + r.right) / 2;
            const int midY = (r.top + r.bottom) / 2;
            const int points[][2] = {
                {r.left, r.top}, {r.right, r.top}, {r.left, r.bottom}, {r.right, r.bottom}, {midX, midY},
            };
            for (const auto& p : points)
                EXPECT_EQ(FindElementAt(ComputeLauncherLayout(width, height), p[0], p[1]), element)
                    << static_cast<int>(element) << " at " << p[0] << "," << p[1] << " in " << width;
        }
    }
}

TEST(FindElementAt, PointsOffEveryElement) {
    const struct {
        int x;
        int y;
    } cases[] = {
        {500, 300},  // the picture
        {161, 24},   // right of the title box
        {911, 24},   // between YouTube and Instagram
        {1019, 24},  // right of TikTok
        {433, 573},  // between PLAY and VOL
        {504, 573},  // between VOL and the slider
        {669, 573},  // right of the slider
        {508, 564},  // above the slider
        {500, 628},  // on the progress bar
        {512, 650},  // on the status line
        {161, 628},  // right of UPDATE
        {863, 628},  // left of GAME START
        {10, 643},   // below UPDATE
        {-1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindElementAt(ComputeLauncherLayout(1024, 660), c.x, c.y), E::kNone) << c.x << "," << c.y;
}

TEST(FindElementAt, PressableElementsDoNotOverlapAtTheWindowSize) {
    // The press handling tests every element; at most one may answer to any point.
    for (int y = -2; y <= 662; ++y) {
        for (int x = -2; x <= 1026; ++x) {
            int hits = 0;
            for (E element : kPressable)
                hits += HitTest(ComputeElementRect(element, 1024, 660), x, y) ? 1 : 0;
            ASSERT_LE(hits, 1) << x << "," << y;
        }
    }
}

TEST(IsHandCursorAt, ElementsAndTheButtonRowStrips) {
    const struct {
        int x;
        int y;
        bool hand;
    } cases[] = {
        // The two strips of the button row, wider than the buttons.
        {0, 614, true},
        {5, 628, true},
        {160, 642, true},
        {161, 628, false},
        {864, 628, true},
        {1014, 628, true},
        {1020, 628, true},
        {1024, 614, true},
        {863, 628, false},
        {5, 613, false},
        {5, 643, false},
        {1020, 643, false},
        // Between the strips lies the progress bar, which takes no press.
        {500, 628, false},
        // Icons, title box, INFO, PLAY/STOP, VOL/MUTED and the slider, on their far edges.
        {910, 38, true},
        {946, 10, true},
        {982, 38, true},
        {1018, 38, true},
        {1019, 24, false},
        {160, 38, true},
        {161, 38, false},
        {1014, 585, true},
        {1014, 586, false},
        {432, 586, true},
        {500, 586, true},
        {668, 581, true},
        {668, 582, false},
        {600, 300, false},
        {512, 650, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsHandCursorAt(ComputeLauncherLayout(1024, 660), c.x, c.y), c.hand) << c.x << "," << c.y;
}

TEST(LauncherLayout, IconsAreKeptWithTheBackgroundUnlessABarOrTheTitleReachesThem) {
    const struct {
        int width;
        int height;
        bool canCacheIcons;
    } cases[] = {
        {1024, 660, true}, {303, 660, true}, {302, 660, false}, {1024, 104, true}, {1024, 103, false},
    };
    for (const auto& c : cases) {
        const LauncherLayout layout = ComputeLauncherLayout(c.width, c.height);
        EXPECT_EQ(layout.canCacheIcons, c.canCacheIcons) << c.width << " x " << c.height;
        EXPECT_EQ(layout[LauncherElement::kTiktokIcon], MakeRect(c.width - 34, 10, c.width - 6, 38));
        EXPECT_EQ(layout[LauncherElement::kStatusLabel], MakeRect(0, c.height - 16, c.width, c.height - 2));
    }
}

TEST(IsHandCursorAt, StripsFollowTheClientSize) {
    EXPECT_TRUE(IsHandCursorAt(ComputeLauncherLayout(800, 500), 640, 454));
    EXPECT_FALSE(IsHandCursorAt(ComputeLauncherLayout(800, 500), 639, 454));
    EXPECT_TRUE(IsHandCursorAt(ComputeLauncherLayout(800, 500), 160, 482));
    EXPECT_FALSE(IsHandCursorAt(ComputeLauncherLayout(800, 500), 160, 483));
}

TEST(ComputeVolumeFromX, AlongAndBeyondTheTrack) {
    const struct {
        int x;
        int width;
        int32_t volume;
    } cases[] = {
        {508, 1024, 0},   {668, 1024, 100},   {507, 1024, 0},  {-32768, 1024, 0},
        {669, 1024, 100}, {32767, 1024, 100}, {588, 1024, 50}, {509, 1024, 0},  // 0.625 truncates
        {510, 1024, 1},   {556, 1024, 30},    {667, 1024, 99},                  // 99.375 truncates
        {396, 800, 0},    {556, 800, 100},    {476, 800, 50},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeVolumeFromX(c.x, c.width), c.volume) << c.x << " in " << c.width;
}

TEST(ComputeSliderLevelWidth, OnePercentIsOnePointSixPixels) {
    const LayoutRect track = ComputeElementRect(E::kVolumeSlider, 1024, 660);
    const struct {
        int32_t volume;
        int width;
    } cases[] = {
        {0, 0}, {1, 1}, {30, 48}, {33, 52}, {45, 72}, {99, 158}, {100, 160}, {-5, 0}, {250, 160},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeSliderLevelWidth(track, c.volume), c.width) << c.volume;
}

TEST(ComputeSliderLevelWidth, PressThenPaintPutsTheKnobUnderThePointer) {
    // Whatever the press sets, the knob is drawn within two pixels left of the pointer.
    const LayoutRect track = ComputeElementRect(E::kVolumeSlider, 1024, 660);
    for (int x = track.left; x <= track.right; ++x) {
        const int knob = track.left + ComputeSliderLevelWidth(track, ComputeVolumeFromX(x, 1024));
        EXPECT_LE(knob, x);
        EXPECT_GE(knob, x - 2);
    }
}

TEST(ComputeProgressFillWidth, ShareOfTheInnerWidth) {
    const struct {
        int width;
        int32_t done;
        int32_t total;
        int fill;
    } cases[] = {
        {1024, 0, 100, 0},
        {1024, 5, 10, 341},
        {1024, 1, 3, 227},  // 227.33 truncates
        {1024, 2, 3, 454},  // 454.67 truncates, not rounds
        {1024, 1, 1000, 0},
        {1024, 10, 10, 682},
        {800, 1, 2, 229},
        // Nothing filled for a total or done that is not positive.
        {1024, 5, 0, 0},
        {1024, 5, -10, 0},
        {1024, -5, 10, 0},
        {1024, -5, -10, 0},
        // More done than total stays inside the bar.
        {1024, 11, 10, 682},
        {1024, 2147483647, 1, 682},
        // Too narrow for a bar.
        {300, 5, 10, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeProgressFillWidth(c.width, c.done, c.total), c.fill)
            << c.width << " " << c.done << "/" << c.total;
}

TEST(ComputeProgressFillRect, AFullBarEndsJustInsideTheOutline) {
    EXPECT_EQ(ComputeProgressFillRect(1024, 660, 7, 7), MakeRect(171, 616, 853, 640));
    const LayoutRect bar = ComputeElementRect(E::kProgressBar, 1024, 660);
    EXPECT_EQ(ComputeProgressFillRect(1024, 660, 7, 7).right, bar.right - 1);
    EXPECT_EQ(ComputeProgressFillRect(1024, 660, 0, 7), MakeRect(171, 616, 171, 640));
}

}  // namespace
