// Geometry of the main window: every element's rectangle from the client size, the hit test,
// and the slider and progress-bar arithmetic. Painting and input both use it, so what is drawn
// and what answers to the pointer can never drift apart.
#pragma once

#include <cstdint>

// Client pixels. Right and bottom are exclusive when filling and inclusive when hit-testing.
struct LayoutRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

inline LayoutRect MakeRect(int left, int top, int right, int bottom) {
    LayoutRect rect;
    rect.left = left;
    rect.top = top;
    rect.right = right;
    rect.bottom = bottom;
    return rect;
}

inline bool operator==(const LayoutRect& a, const LayoutRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

enum class LauncherElement {
    kNone,
    kBackground,
    kBottomBar,
    kTitleBox,
    kYoutubeIcon,
    kInstagramIcon,
    kDiscordIcon,
    kTiktokIcon,
    kPlayButton,
    kMuteButton,
    kVolumeSlider,
    kInfoButton,
    kUpdateButton,
    kGameStartButton,
    kProgressBar,
    kStatusLabel,
};

constexpr int kLauncherElementCount = static_cast<int>(LauncherElement::kStatusLabel) + 1;

// Icons are always drawn this size, whatever the picture's own.
constexpr int kIconSize = 28;

// The rectangle of `element` for a client area of width x height; kNone gives an empty rectangle.
LayoutRect ComputeElementRect(LauncherElement element, int width, int height);

// Every rectangle of the window for one client size, made when the size changes: painting, the
// hit tests and the status label's place all read the same one.
struct LauncherLayout {
    int width = 0;
    int height = 0;
    LayoutRect rects[kLauncherElementCount];
    // Nothing drawn over the background (the bottom bar, the title box) reaches the icons'
    // squares, so the icons can be kept in one picture with the background.
    bool canCacheIcons = false;

    const LayoutRect& operator[](LauncherElement element) const { return rects[static_cast<int>(element)]; }
};
LauncherLayout ComputeLauncherLayout(int width, int height);

// Both edges count: a 28-pixel icon answers on 29 columns and 29 rows.
bool HitTest(const LayoutRect& rect, int x, int y);

// The element a press at (x, y) acts on: the title box, an icon, a button or the volume slider,
// tested in the order of the press handling; kNone elsewhere (the background, the bars and the
// status line take no commands).
LauncherElement FindElementAt(const LauncherLayout& layout, int x, int y);

// Whether the pointer shows the hand: over the icons, the title box, INFO, PLAY/STOP, VOL/MUTED,
// the slider, and the whole strips left of x = 160 and right of W - 160 in the button row (wider
// than the two buttons, and GAME START's strip even while it is disabled).
bool IsHandCursorAt(const LauncherLayout& layout, int x, int y);

// The volume, 0..100, for a pointer at x on a press or drag; past either end of the track it is
// 0 or 100, even far outside the window while the capture holds.
int32_t ComputeVolumeFromX(int x, int width);

// Width of the slider's level fill from the track's left edge, 0..track width.
int ComputeSliderLevelWidth(const LayoutRect& track, int32_t volume);

// Width of the progress fill from x = 171, 0 when nothing is to be filled (total or done not positive).
int ComputeProgressFillWidth(int width, int32_t done, int32_t total);

// The progress fill's rectangle, (171, H - 44, 171 + p, H - 20); empty when p is 0.
LayoutRect ComputeProgressFillRect(int width, int height, int32_t done, int32_t total);
