#include "ui/main_window_paint_win.h"

#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "resources/resource_files_win.h"
#include "resources/resource_ids.h"
#include "ui/colour.h"
#include "test_support_win.h"
#include "ui/layout.h"

namespace {

constexpr int kW = 1024;
constexpr int kH = 660;

// Black, as the window's off-screen bitmap starts.
using Canvas = DibCanvas;

std::string Rgb(Colour c) {
    char text[32];
    std::snprintf(text, sizeof(text), "RGB(%u, %u, %u)", RedOf(c), GreenOf(c), BlueOf(c));
    return text;
}

#define EXPECT_PIXEL(canvas, x, y, colour)                                                            \
    do {                                                                                              \
        EXPECT_EQ(Rgb((canvas).Pixel((x), (y))), Rgb(colour)) << "at (" << (x) << ", " << (y) << ")"; \
    } while (false)

// Paints a state with the window's fonts and without pictures unless a test adds them.
class PaintLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        font_ = CreateFontW(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
        state_.resources.buttonFont = font_;
    }
    void TearDown() override {
        FreeBackgroundCache(state_.resources);
        for (GpImage* image :
             {state_.resources.backgroundImage, state_.resources.youtubeIcon, state_.resources.instagramIcon,
              state_.resources.discordIcon, state_.resources.tiktokIcon}) {
            if (image)
                Gdiplus::DllExports::GdipDisposeImage(image);
        }
        DeleteObject(font_);
    }
    void Paint(Canvas& canvas) { PaintLauncher(canvas.Dc(), ComputeLauncherLayout(kW, kH), state_); }

    LauncherState state_;
    HFONT font_ = nullptr;
};

bool IsUnderAControl(int x, int y) {
    using E = LauncherElement;
    for (E e : {E::kTitleBox, E::kPlayButton, E::kMuteButton, E::kInfoButton, E::kUpdateButton, E::kGameStartButton,
                E::kProgressBar}) {
        if (HitTest(ComputeElementRect(e, kW, kH), x, y))
            return true;
    }
    LayoutRect slider = ComputeElementRect(E::kVolumeSlider, kW, kH);  // with the knob's overhang
    return HitTest(LayoutRect{slider.left - 4, slider.top - 2, slider.right + 4, slider.bottom + 2}, x, y);
}

TEST_F(PaintLauncherTest, BackgroundAndIconsFromTheCacheEqualTheDirectDraw) {
    HMODULE module = GetModuleHandleW(nullptr);
    state_.resources.backgroundImage = LoadImageFromResource(module, IDR_BACKGROUND_JPEG);
    ASSERT_NE(state_.resources.backgroundImage, nullptr);
    state_.resources.youtubeIcon = LoadImageFromResource(module, IDR_YOUTUBE_PNG);
    state_.resources.instagramIcon = LoadImageFromResource(module, IDR_INSTAGRAM_PNG);
    state_.resources.discordIcon = LoadImageFromResource(module, IDR_DISCORD_PNG);
    state_.resources.tiktokIcon = LoadImageFromResource(module, IDR_TIKTOK_PNG);
    Canvas direct(kW, kH);
    DrawBackgroundDirect(direct.Dc(), ComputeLauncherLayout(kW, kH), state_);
    Canvas painted(kW, kH);
    Paint(painted);  // no cache yet: drawn directly
    UpdateBackgroundCache(painted.Dc(), ComputeLauncherLayout(kW, kH), state_.resources);
    Canvas paintedAgain(kW, kH);  // from the cache
    Paint(paintedAgain);
    ASSERT_EQ(state_.resources.backgroundCacheWidth, kW);

    int compared = 0, differing = 0, distinctFromFirst = 0;
    for (int y = 0; y < kH - 65; ++y) {
        for (int x = 0; x < kW; ++x) {
            if (IsUnderAControl(x, y))
                continue;
            ++compared;
            differing += direct.Pixel(x, y) != painted.Pixel(x, y) || painted.Pixel(x, y) != paintedAgain.Pixel(x, y);
            distinctFromFirst += direct.Pixel(x, y) != direct.Pixel(0, 0);
        }
    }
    EXPECT_EQ(differing, 0) << "of " << compared << " pixels";
    EXPECT_GT(distinctFromFirst, compared / 2) << "the picture is not drawn";
    // The strip between the picture and the bottom bar stays black.
    for (int y = kH - 80; y < kH - 65; ++y)
        EXPECT_PIXEL(painted, 5, y, MakeRgb(0, 0, 0));
    EXPECT_NE(painted.Pixel(5, kH - 81), MakeRgb(0, 0, 0));

    // The icons are in it, each scaled into its 28 x 28 square.
    int iconPixels = 0;
    for (int y = 10; y < 38; ++y)
        for (int x = kW - 142; x < kW - 114; ++x)
            iconPixels += painted.Pixel(x, y) != direct.Pixel(kW - 150, 24);
    EXPECT_GT(iconPixels, 28 * 28 / 2);

    // A resize makes the cache again at the new size.
    Canvas small(800, 500);
    UpdateBackgroundCache(small.Dc(), ComputeLauncherLayout(800, 500), state_.resources);
    EXPECT_EQ(state_.resources.backgroundCacheWidth, 800);
    EXPECT_EQ(state_.resources.backgroundCacheHeight, 500);
}

TEST_F(PaintLauncherTest, PaintingOverTheLastFrameGivesTheSamePixelsAsAFreshBitmap) {
    state_.resources.backgroundImage = LoadImageFromResource(GetModuleHandleW(nullptr), IDR_BACKGROUND_JPEG);
    ASSERT_NE(state_.resources.backgroundImage, nullptr);
    for (const SIZE size : {SIZE{kW, kH}, SIZE{260, 200}}) {  // with the picture cache, and too small for it
        Canvas kept(size.cx, size.cy, RGB(255, 0, 255));      // what an earlier frame left
        UpdateBackgroundCache(kept.Dc(), ComputeLauncherLayout(size.cx, size.cy), state_.resources);
        state_.updateRunning = true;
        state_.progressDone = 60;
        state_.musicMuted = true;
        PaintLauncher(kept.Dc(), ComputeLauncherLayout(size.cx, size.cy), state_);
        state_.updateRunning = false;
        state_.progressDone = 0;
        state_.musicMuted = false;
        PaintLauncher(kept.Dc(), ComputeLauncherLayout(size.cx, size.cy), state_);
        Canvas fresh(size.cx, size.cy);
        PaintLauncher(fresh.Dc(), ComputeLauncherLayout(size.cx, size.cy), state_);
        int differing = 0;
        for (int y = 0; y < size.cy; ++y)
            for (int x = 0; x < size.cx; ++x)
                differing += kept.Pixel(x, y) != fresh.Pixel(x, y);
        EXPECT_EQ(differing, 0) << size.cx << " x " << size.cy;
    }
}

TEST_F(PaintLauncherTest, FallbackFillWithoutAPictureAndTheBottomBar) {
    Canvas canvas(kW, kH);
    Paint(canvas);
    EXPECT_PIXEL(canvas, 500, 300, kFallbackBackgroundColour);
    EXPECT_PIXEL(canvas, 500, kH - 70, kFallbackBackgroundColour);  // no black strip without a picture
    EXPECT_PIXEL(canvas, 165, kH - 60, kBottomBarColour);
    EXPECT_PIXEL(canvas, 500, kH - 1, kBottomBarColour);
    EXPECT_EQ(state_.resources.backgroundCache, nullptr);
    // Without icon pictures their squares show what is under them.
    EXPECT_PIXEL(canvas, kW - 130, 20, kFallbackBackgroundColour);
}

TEST_F(PaintLauncherTest, TitleBoxAndButtonFillsFollowTheState) {
    Canvas rest(kW, kH);
    Paint(rest);
    EXPECT_PIXEL(rest, 12, 12, kAccentPurple);    // title box at rest
    EXPECT_PIXEL(rest, 10, 10, kOutlineViolet);   // its frame
    EXPECT_PIXEL(rest, 354, 562, kPlayFill);      // PLAY while stopped
    EXPECT_PIXEL(rest, 442, 562, kVolFill);       // VOL
    EXPECT_PIXEL(rest, 916, 557, kVolFill);       // INFO
    EXPECT_PIXEL(rest, 12, 616, kAccentPurple);   // UPDATE
    EXPECT_PIXEL(rest, 866, 616, kDisabledGrey);  // GAME START not ready

    state_.musicPlaying = true;
    state_.musicMuted = true;
    state_.updateRunning = true;
    state_.gameStartHoverLevel = 1.0f;  // a disabled button never lights up
    Canvas changed(kW, kH);
    Paint(changed);
    EXPECT_PIXEL(changed, 354, 562, kStopFill);
    EXPECT_PIXEL(changed, 442, 562, kMutedFill);
    EXPECT_PIXEL(changed, 12, 616, kCancelFill);
    EXPECT_PIXEL(changed, 866, 616, kDisabledGrey);

    state_.gameReady = true;
    state_.gameStartHoverLevel = 0.0f;
    state_.titleHoverLevel = 1.0f;
    Canvas ready(kW, kH);
    Paint(ready);
    EXPECT_PIXEL(ready, 866, 616, kGameStartReadyFill);
    EXPECT_PIXEL(ready, 12, 12, MakeRgb(180, 100, 240));  // title fully lit
}

TEST_F(PaintLauncherTest, VolumeSliderLevelAndKnob) {
    // Track 508..668 x 565..581; level width f = 160 * volume / 100.
    const struct {
        int volume;
        bool muted;
        int levelPixel;  // x inside the level fill, or -1 for none
        int knobPixel;   // x inside the knob
        int trackPixel;  // x right of the knob on the bare track, or -1
    } cases[] = {
        {0, false, -1, 505, 515},
        {30, false, 540, 556, 560},
        {45, true, 570, 580, 584},
        {100, false, 660, 670, -1},
    };
    for (const auto& c : cases) {
        state_.musicVolume = c.volume;
        state_.musicMuted = c.muted;
        Canvas canvas(kW, kH);
        Paint(canvas);
        SCOPED_TRACE(c.volume);
        if (c.levelPixel >= 0)
            EXPECT_PIXEL(canvas, c.levelPixel, 572, c.muted ? kDisabledGrey : kAccentPurple);
        EXPECT_PIXEL(canvas, c.knobPixel, 572, kOutlineViolet);
        EXPECT_PIXEL(canvas, c.knobPixel, 563, kOutlineViolet);  // the knob stands 2 pixels proud
        if (c.trackPixel >= 0)
            EXPECT_PIXEL(canvas, c.trackPixel, 572, kSliderTrackColour);
        EXPECT_PIXEL(canvas, 630, 565, kOutlineViolet);  // outline, top edge
        EXPECT_PIXEL(canvas, 508, 575, kOutlineViolet);  // outline, left edge
    }
    // Muted at 45: grey up to 72 pixels, the knob still at 72.
    state_.musicVolume = 45;
    state_.musicMuted = true;
    Canvas muted(kW, kH);
    Paint(muted);
    EXPECT_PIXEL(muted, 508 + 71, 572, kOutlineViolet);  // knob covers 576..583
    EXPECT_PIXEL(muted, 508 + 67, 572, kDisabledGrey);
    EXPECT_PIXEL(muted, 508 + 76, 572, kSliderTrackColour);
}

TEST_F(PaintLauncherTest, ProgressBarFill) {
    const struct {
        int done, total;
        int filledUpTo;  // first x of the trough right of the fill; 171 for an empty bar
    } cases[] = {{0, 100, 171}, {5, 10, 512}, {10, 10, 853}, {5, 0, 171}, {5, -3, 171}, {0, 0, 171}};
    for (const auto& c : cases) {
        state_.progressDone = c.done;
        state_.progressTotal = c.total;
        Canvas canvas(kW, kH);
        Paint(canvas);
        SCOPED_TRACE(testing::Message() << c.done << " of " << c.total);
        if (c.filledUpTo > 171) {
            EXPECT_PIXEL(canvas, 171, 628, kAccentPurple);
            EXPECT_PIXEL(canvas, c.filledUpTo - 1, 628, kAccentPurple);
        }
        if (c.filledUpTo < 853)
            EXPECT_PIXEL(canvas, c.filledUpTo, 628, kProgressTroughColour);
        EXPECT_PIXEL(canvas, 853, 628, kOutlineViolet);  // right edge of the outline at W - 171
        EXPECT_PIXEL(canvas, 170, 628, kOutlineViolet);
        EXPECT_PIXEL(canvas, 400, 615, kOutlineViolet);
        EXPECT_PIXEL(canvas, 400, 640, kOutlineViolet);
        EXPECT_PIXEL(canvas, 854, 628, kBottomBarColour);
    }
}

}  // namespace
