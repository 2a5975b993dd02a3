#include "ui/layout.h"

#include <initializer_list>

namespace {

constexpr int kSliderTrackWidth = 160;
constexpr int kProgressFillLeft = 171;
// The bar runs from 170 to W - 170; its outline takes one pixel at each end.
constexpr int kProgressInnerMargin = 342;

LayoutRect IconRect(int left) {
    return MakeRect(left, 10, left + kIconSize, 10 + kIconSize);
}

bool Overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// True at any usable window size; a tiny one puts the bars over the icons.
bool CanCacheIcons(const LauncherLayout& layout) {
    for (LauncherElement icon : {LauncherElement::kYoutubeIcon, LauncherElement::kInstagramIcon,
                                 LauncherElement::kDiscordIcon, LauncherElement::kTiktokIcon}) {
        const LayoutRect r = layout[icon];
        const LayoutRect square{r.left - 1, r.top - 1, r.left + kIconSize + 1, r.top + kIconSize + 1};
        if (Overlap(square, layout[LauncherElement::kBottomBar]) || Overlap(square, layout[LauncherElement::kTitleBox]))
            return false;
    }
    return true;
}

}  // namespace

LayoutRect ComputeElementRect(LauncherElement element, int width, int height) {
    const int w = width;
    const int h = height;
    const int half = w / 2;  // truncates toward zero, as C++ division does
    switch (element) {
        case LauncherElement::kNone:
            return LayoutRect{};
        case LauncherElement::kBackground:
            return MakeRect(0, 0, w, h - 80);
        case LauncherElement::kBottomBar:
            return MakeRect(0, h - 65, w, h);
        case LauncherElement::kTitleBox:
            return MakeRect(10, 10, 160, 38);
        case LauncherElement::kYoutubeIcon:
            return IconRect(w - 142);
        case LauncherElement::kInstagramIcon:
            return IconRect(w - 106);
        case LauncherElement::kDiscordIcon:
            return IconRect(w - 70);
        case LauncherElement::kTiktokIcon:
            return IconRect(w - 34);
        case LauncherElement::kPlayButton:
            return MakeRect(half - 160, h - 100, half - 80, h - 74);
        case LauncherElement::kMuteButton:
            return MakeRect(half - 72, h - 100, half - 12, h - 74);
        case LauncherElement::kVolumeSlider:
            return MakeRect(half - 4, h - 95, half - 4 + kSliderTrackWidth, h - 79);
        case LauncherElement::kInfoButton:
            return MakeRect(w - 110, h - 105, w - 10, h - 75);
        case LauncherElement::kUpdateButton:
            return MakeRect(10, h - 46, 160, h - 18);
        case LauncherElement::kGameStartButton:
            return MakeRect(w - 160, h - 46, w - 10, h - 18);
        case LauncherElement::kProgressBar:
            return MakeRect(170, h - 45, w - 170, h - 19);
        case LauncherElement::kStatusLabel:
            return MakeRect(0, h - 16, w, h - 2);
    }
    return LayoutRect{};
}

LauncherLayout ComputeLauncherLayout(int width, int height) {
    LauncherLayout layout;
    layout.width = width;
    layout.height = height;
    for (int element = 0; element < kLauncherElementCount; ++element)
        layout.rects[element] = ComputeElementRect(static_cast<LauncherElement>(element), width, height);
    layout.canCacheIcons = CanCacheIcons(layout);
    return layout;
}

bool HitTest(const LayoutRect& rect, int x, int y) {
    return rect.left <= x && x <= rect.right && rect.top <= y && y <= rect.bottom;
}

LauncherElement FindElementAt(const LauncherLayout& layout, int x, int y) {
    // The press handling's order; the rectangles do not overlap at the window's size, and at
    // any other the first in this order wins.
    static const LauncherElement kPressOrder[] = {
        LauncherElement::kUpdateButton,  LauncherElement::kGameStartButton, LauncherElement::kYoutubeIcon,
        LauncherElement::kInstagramIcon, LauncherElement::kDiscordIcon,     LauncherElement::kTiktokIcon,
        LauncherElement::kTitleBox,      LauncherElement::kPlayButton,      LauncherElement::kMuteButton,
        LauncherElement::kVolumeSlider,  LauncherElement::kInfoButton,
    };
    for (LauncherElement element : kPressOrder) {
        if (HitTest(layout[element], x, y))
            return element;
    }
    return LauncherElement::kNone;
}

bool IsHandCursorAt(const LauncherLayout& layout, int x, int y) {
    const LayoutRect update = layout[LauncherElement::kUpdateButton];
    const bool inButtonRow = update.top <= y && y <= update.bottom;
    if (inButtonRow && (x <= 160 || x >= layout.width - 160))
        return true;
    static const LauncherElement kHandElements[] = {
        LauncherElement::kYoutubeIcon, LauncherElement::kInstagramIcon, LauncherElement::kDiscordIcon,
        LauncherElement::kTiktokIcon,  LauncherElement::kTitleBox,      LauncherElement::kInfoButton,
        LauncherElement::kPlayButton,  LauncherElement::kMuteButton,    LauncherElement::kVolumeSlider,
    };
    for (LauncherElement element : kHandElements) {
        if (HitTest(layout[element], x, y))
            return true;
    }
    return false;
}

int32_t ComputeVolumeFromX(int x, int width) {
    const int trackLeft = width / 2 - 4;
    const double volume = static_cast<double>(x - trackLeft) * 100.0 / static_cast<double>(kSliderTrackWidth);
    // Clamped before the conversion, so a pointer far outside the window cannot overflow it.
    if (volume < 0.0)
        return 0;
    if (volume > 100.0)
        return 100;
    return static_cast<int32_t>(volume);
}

int ComputeSliderLevelWidth(const LayoutRect& track, int32_t volume) {
    const int32_t clamped = volume < 0 ? 0 : (volume > 100 ? 100 : volume);
    const double level = static_cast<double>(track.right - track.left) * clamped / 100.0;
    return static_cast<int>(level);
}

int ComputeProgressFillWidth(int width, int32_t done, int32_t total) {
    if (total <= 0 || done <= 0)
        return 0;
    const int innerWidth = width - kProgressInnerMargin;
    if (innerWidth <= 0)
        return 0;
    const double fill = static_cast<double>(innerWidth) * done / total;
    // More done than total would run the fill over the outline and into GAME START.
    if (fill > innerWidth)
        return innerWidth;
    return static_cast<int>(fill);
}

LayoutRect ComputeProgressFillRect(int width, int height, int32_t done, int32_t total) {
    const int fill = ComputeProgressFillWidth(width, done, total);
    return MakeRect(kProgressFillLeft, height - 44, kProgressFillLeft + fill, height - 20);
}
