#include "ui/main_window_paint_win.h"

#include <windows.h>
#include <gdiplus.h>

#include "base/scoped_win.h"
#include "ui/colour.h"
#include "ui/draw_primitives_win.h"
#include "ui/launcher_state_win.h"
#include "ui/layout.h"

namespace {

struct Painter {
    HDC dc;
    const LauncherLayout& layout;
    HFONT font;
};

void Button(const Painter& painter,
            LauncherElement element,
            const wchar_t* label,
            Colour base,
            Colour text,
            float level) {
    DrawButton(painter.dc, painter.layout[element], label, base, text, level, painter.font);
}

void StretchBackground(HDC dc, const LauncherLayout& layout, GpImage* image) {
    Gdiplus::GpGraphics* created = nullptr;
    Gdiplus::DllExports::GdipCreateFromHDC(dc, &created);
    ScopedGdipGraphics graphics(created);
    if (!graphics.IsValid())
        return;
    const LayoutRect r = layout[LauncherElement::kBackground];
    Gdiplus::DllExports::GdipDrawImageRectI(graphics.Get(), image, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

struct IconPlace {
    LauncherElement element;
    GpImage* image;
};

void ListIcons(const LauncherResources& resources, IconPlace (&icons)[4]) {
    icons[0] = {LauncherElement::kYoutubeIcon, resources.youtubeIcon};
    icons[1] = {LauncherElement::kInstagramIcon, resources.instagramIcon};
    icons[2] = {LauncherElement::kDiscordIcon, resources.discordIcon};
    icons[3] = {LauncherElement::kTiktokIcon, resources.tiktokIcon};
}

void DrawIcons(HDC dc, const LauncherLayout& layout, const LauncherResources& resources) {
    IconPlace icons[4];
    ListIcons(resources, icons);
    for (const IconPlace& icon : icons) {
        const LayoutRect r = layout[icon.element];
        DrawIcon(dc, icon.image, r.left, r.top);
    }
}

bool IsUsablePicture(GpImage* image) {
    UINT pictureWidth = 0;
    return image && Gdiplus::DllExports::GdipGetImageWidth(image, &pictureWidth) == Gdiplus::Ok && pictureWidth > 0;
}

bool HasBackgroundCacheFor(const LauncherLayout& layout, const LauncherResources& resources) {
    return layout.canCacheIcons && resources.backgroundCache && resources.backgroundCacheWidth == layout.width &&
           resources.backgroundCacheHeight == layout.height;
}

}  // namespace

// The picture stretched over (0, 0, W, H - 80) on black, with the icons over it, made once per
// client size: each GDI+ draw costs far more than copying its pixels. Copying the whole W x H
// cache over the still black off-screen bitmap gives exactly the pixels of drawing them directly.
void UpdateBackgroundCache(HDC dc, const LauncherLayout& layout, LauncherResources& resources) {
    const int width = layout.width;
    const int height = layout.height;
    if (HasBackgroundCacheFor(layout, resources))
        return;
    FreeBackgroundCache(resources);
    if (!layout.canCacheIcons || !IsUsablePicture(resources.backgroundImage))
        return;
    ScopedMemoryDc cacheDc(CreateCompatibleDC(dc));
    HBITMAP cache = CreateCompatibleBitmap(dc, width, height);
    if (!cacheDc.IsValid() || !cache) {
        if (cache)
            DeleteObject(cache);
        return;
    }
    {
        ScopedSelectObject select(cacheDc.Get(), cache);
        const RECT all{0, 0, width, height};
        FillRect(cacheDc.Get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        StretchBackground(cacheDc.Get(), layout, resources.backgroundImage);
        DrawIcons(cacheDc.Get(), layout, resources);
    }
    resources.backgroundCache = cache;
    resources.backgroundCacheWidth = width;
    resources.backgroundCacheHeight = height;
}

namespace {

// Returns whether the icons came with the background from the cache.
bool PaintBackground(HDC dc, const LauncherLayout& layout, const LauncherState& state) {
    const LauncherResources& resources = state.resources;
    const int width = layout.width;
    const int height = layout.height;
    if (!IsUsablePicture(resources.backgroundImage)) {
        FillSolid(dc, LayoutRect{0, 0, width, height}, kFallbackBackgroundColour);
        return false;
    }
    if (!HasBackgroundCacheFor(layout, resources)) {
        // The stretch leaves the strip above the bottom bar alone: it must not keep the last paint.
        const RECT all{0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        StretchBackground(dc, layout, resources.backgroundImage);
        return false;
    }
    ScopedMemoryDc cacheDc(CreateCompatibleDC(dc));
    ScopedSelectObject select(cacheDc.Get(), resources.backgroundCache);
    BitBlt(dc, 0, 0, width, height, cacheDc.Get(), 0, 0, SRCCOPY);
    return true;
}

void PaintVolumeSlider(HDC dc, const LauncherLayout& layout, const LauncherState& state) {
    const LayoutRect track = layout[LauncherElement::kVolumeSlider];
    const int level = ComputeSliderLevelWidth(track, state.musicVolume);
    FillSolid(dc, track, kSliderTrackColour);
    FillSolid(dc, LayoutRect{track.left, track.top, track.left + level, track.bottom},
              state.musicMuted ? kDisabledGrey : kAccentPurple);
    // The knob keeps its colour while muted: it still shows the stored volume.
    FillSolid(dc, LayoutRect{track.left + level - 4, track.top - 2, track.left + level + 4, track.bottom + 2},
              kOutlineViolet);
    // The track's frame takes one pixel more on the right and at the bottom than its fill.
    DrawOutline(dc, LayoutRect{track.left, track.top, track.right + 1, track.bottom + 1}, kOutlineViolet);
}

void PaintProgressBar(HDC dc, const LauncherLayout& layout, const LauncherState& state) {
    const LayoutRect bar = layout[LauncherElement::kProgressBar];
    FillSolid(dc, bar, kProgressTroughColour);
    const LayoutRect fill =
        ComputeProgressFillRect(layout.width, layout.height, state.progressDone, state.progressTotal);
    if (fill.right > fill.left)
        FillSolid(dc, fill, kAccentPurple);
    DrawOutline(dc, bar, kOutlineViolet);
}

}  // namespace

void DrawBackgroundDirect(HDC dc, const LauncherLayout& layout, const LauncherState& state) {
    const LauncherResources& resources = state.resources;
    StretchBackground(dc, layout, resources.backgroundImage);
    DrawIcons(dc, layout, resources);
}

void FreeBackgroundCache(LauncherResources& resources) {
    if (resources.backgroundCache)
        DeleteObject(resources.backgroundCache);
    resources.backgroundCache = nullptr;
    resources.backgroundCacheWidth = 0;
    resources.backgroundCacheHeight = 0;
}

void PaintLauncher(HDC dc, const LauncherLayout& layout, const LauncherState& state) {
    const LauncherResources& resources = state.resources;
    using E = LauncherElement;
    const Painter painter{dc, layout, resources.buttonFont};
    const bool iconsDrawn = PaintBackground(dc, layout, state);
    FillSolid(dc, layout[E::kBottomBar], kBottomBarColour);
    Button(painter, E::kTitleBox, L"VARDENHAL", kAccentPurple, kTextWhite, state.titleHoverLevel);
    if (!iconsDrawn)
        DrawIcons(dc, layout, resources);

    if (state.musicPlaying)
        Button(painter, E::kPlayButton, L"STOP", kStopFill, kTextWhite, state.playHoverLevel);
    else
        Button(painter, E::kPlayButton, L"PLAY", kPlayFill, kTextWhite, state.playHoverLevel);
    if (state.musicMuted)
        Button(painter, E::kMuteButton, L"MUTED", kMutedFill, kMutedText, state.muteHoverLevel);
    else
        Button(painter, E::kMuteButton, L"VOL", kVolFill, kTextWhite, state.muteHoverLevel);
    PaintVolumeSlider(dc, layout, state);
    Button(painter, E::kInfoButton, L"INFO", kVolFill, kTextWhite, state.infoHoverLevel);

    if (state.updateRunning)
        Button(painter, E::kUpdateButton, L"CANCEL", kCancelFill, kTextWhite, state.updateHoverLevel);
    else
        Button(painter, E::kUpdateButton, L"UPDATE", kAccentPurple, kTextWhite, state.updateHoverLevel);
    // A disabled GAME START never lights up.
    if (state.gameReady)
        Button(painter, E::kGameStartButton, L"GAME START", kGameStartReadyFill, kTextWhite, state.gameStartHoverLevel);
    else
        Button(painter, E::kGameStartButton, L"GAME START", kDisabledGrey, kTextWhite, 0.0f);
    PaintProgressBar(dc, layout, state);
}

HDC UpdateBackBuffer(HDC screen, int width, int height, LauncherResources& resources) {
    if (resources.backBufferDc && resources.backBufferWidth == width && resources.backBufferHeight == height)
        return resources.backBufferDc;
    FreeBackBuffer(resources);
    resources.backBufferDc = CreateCompatibleDC(screen);
    resources.backBuffer = CreateCompatibleBitmap(screen, width, height);
    if (!resources.backBufferDc || !resources.backBuffer) {
        FreeBackBuffer(resources);
        return nullptr;
    }
    SelectObject(resources.backBufferDc, resources.backBuffer);
    resources.backBufferWidth = width;
    resources.backBufferHeight = height;
    return resources.backBufferDc;
}

void FreeBackBuffer(LauncherResources& resources) {
    // The DC goes first, and the bitmap selected into it with it out of the way.
    if (resources.backBufferDc)
        DeleteDC(resources.backBufferDc);
    if (resources.backBuffer)
        DeleteObject(resources.backBuffer);
    resources.backBufferDc = nullptr;
    resources.backBuffer = nullptr;
    resources.backBufferWidth = 0;
    resources.backBufferHeight = 0;
}

void PaintThroughBackBuffer(HDC screen, LauncherState& state) {
    const LauncherLayout& layout = state.layout;
    const HDC offscreen = UpdateBackBuffer(screen, layout.width, layout.height, state.resources);
    if (!offscreen)
        return;
    PaintLauncher(offscreen, layout, state);
    const LayoutRect label = layout[LauncherElement::kStatusLabel];
    // The label paints itself after this paint: leave its pixels to it, so the copy below
    // neither covers it nor makes it flicker.
    ExcludeClipRect(screen, label.left, label.top, label.right, label.bottom);
    BitBlt(screen, 0, 0, layout.width, layout.height, offscreen, 0, 0, SRCCOPY);
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    PaintThroughBackBuffer(screen, launcherState);
    EndPaint(window, &paint);
}

LRESULT OnCtlColorStatic(HDC labelDc) {
    SetTextColor(labelDc, kStatusTextColour);
    SetBkMode(labelDc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(launcherState.resources.statusBrush);
}
