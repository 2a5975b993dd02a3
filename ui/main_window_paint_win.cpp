#include "ui/main_window_paint_win.h"

#include <windows.h>
#include <gdiplus.h>

#include "base/scoped_win.h"
#include "ui/colour.h"
#include "ui/draw_primitives_win.h"
#include "ui/launcher_state_win.h"
#include "ui/layout.h"

namespace {

void Button(HDC dc,
            LauncherElement element,
            int width,
            int height,
            const wchar_t* label,
            Colour base,
            Colour text,
            float level) {
    DrawButton(dc, ComputeElementRect(element, width, height), label, base, text, level);
}

void StretchBackground(HDC dc, int width, int height, GpImage* image) {
    Gdiplus::GpGraphics* created = nullptr;
    Gdiplus::DllExports::GdipCreateFromHDC(dc, &created);
    ScopedGdipGraphics graphics(created);
    if (!graphics.IsValid())
        return;
    const LayoutRect r = ComputeElementRect(LauncherElement::kBackground, width, height);
    Gdiplus::DllExports::GdipDrawImageRectI(graphics.Get(), image, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

struct IconPlace {
    LauncherElement element;
    GpImage* image;
};

void ListIcons(const LauncherState& state, IconPlace (&icons)[4]) {
    icons[0] = {LauncherElement::kYoutubeIcon, state.youtubeIcon};
    icons[1] = {LauncherElement::kInstagramIcon, state.instagramIcon};
    icons[2] = {LauncherElement::kDiscordIcon, state.discordIcon};
    icons[3] = {LauncherElement::kTiktokIcon, state.tiktokIcon};
}

void DrawIcons(HDC dc, int width, int height, const LauncherState& state) {
    IconPlace icons[4];
    ListIcons(state, icons);
    for (const IconPlace& icon : icons) {
        const LayoutRect r = ComputeElementRect(icon.element, width, height);
        DrawIcon(dc, icon.image, r.left, r.top);
    }
}

bool Overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The icons can be drawn once with the background when nothing painted between the two (the
// bottom bar, the title box) reaches their squares, which holds at any usable window size.
bool CanCacheIcons(int width, int height) {
    const LayoutRect bar = ComputeElementRect(LauncherElement::kBottomBar, width, height);
    const LayoutRect title = ComputeElementRect(LauncherElement::kTitleBox, width, height);
    IconPlace icons[4];
    ListIcons(LauncherState(), icons);
    for (const IconPlace& icon : icons) {
        const LayoutRect r = ComputeElementRect(icon.element, width, height);
        const LayoutRect square{r.left - 1, r.top - 1, r.left + kIconSize + 1, r.top + kIconSize + 1};
        if (Overlap(square, bar) || Overlap(square, title))
            return false;
    }
    return true;
}

// The picture stretched over (0, 0, W, H - 80) on black, with the icons over it, made once per
// client size: each GDI+ draw costs far more than copying its pixels. Copying the whole W x H
// cache over the still black off-screen bitmap gives exactly the pixels of drawing them directly.
bool UpdateBackgroundCache(HDC dc, int width, int height, LauncherState& state) {
    if (state.backgroundCache && state.backgroundCacheWidth == width && state.backgroundCacheHeight == height)
        return true;
    FreeBackgroundCache(state);
    ScopedMemoryDc cacheDc(CreateCompatibleDC(dc));
    HBITMAP cache = CreateCompatibleBitmap(dc, width, height);
    if (!cacheDc.IsValid() || !cache) {
        if (cache)
            DeleteObject(cache);
        return false;
    }
    {
        ScopedSelectObject select(cacheDc.Get(), cache);
        const RECT all{0, 0, width, height};
        FillRect(cacheDc.Get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        StretchBackground(cacheDc.Get(), width, height, state.backgroundImage);
        DrawIcons(cacheDc.Get(), width, height, state);
    }
    state.backgroundCache = cache;
    state.backgroundCacheWidth = width;
    state.backgroundCacheHeight = height;
    return true;
}

bool IsUsablePicture(GpImage* image) {
    UINT pictureWidth = 0;
    return image && Gdiplus::DllExports::GdipGetImageWidth(image, &pictureWidth) == Gdiplus::Ok && pictureWidth > 0;
}

// Returns whether the icons came with the background from the cache.
bool PaintBackground(HDC dc, int width, int height, LauncherState& state) {
    if (!IsUsablePicture(state.backgroundImage)) {
        FillSolid(dc, LayoutRect{0, 0, width, height}, kFallbackBackgroundColour);
        return false;
    }
    if (!CanCacheIcons(width, height) || !UpdateBackgroundCache(dc, width, height, state)) {
        // The stretch leaves the strip above the bottom bar alone: it must not keep the last paint.
        const RECT all{0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        StretchBackground(dc, width, height, state.backgroundImage);
        return false;
    }
    ScopedMemoryDc cacheDc(CreateCompatibleDC(dc));
    ScopedSelectObject select(cacheDc.Get(), state.backgroundCache);
    BitBlt(dc, 0, 0, width, height, cacheDc.Get(), 0, 0, SRCCOPY);
    return true;
}

void PaintVolumeSlider(HDC dc, int width, int height, const LauncherState& state) {
    const LayoutRect track = ComputeElementRect(LauncherElement::kVolumeSlider, width, height);
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

void PaintProgressBar(HDC dc, int width, int height, const LauncherState& state) {
    const LayoutRect bar = ComputeElementRect(LauncherElement::kProgressBar, width, height);
    FillSolid(dc, bar, kProgressTroughColour);
    const LayoutRect fill = ComputeProgressFillRect(width, height, state.progressDone, state.progressTotal);
    if (fill.right > fill.left)
        FillSolid(dc, fill, kAccentPurple);
    DrawOutline(dc, bar, kOutlineViolet);
}

}  // namespace

void DrawBackgroundDirect(HDC dc, int width, int height, const LauncherState& state) {
    StretchBackground(dc, width, height, state.backgroundImage);
    DrawIcons(dc, width, height, state);
}

void FreeBackgroundCache(LauncherState& state) {
    if (state.backgroundCache)
        DeleteObject(state.backgroundCache);
    state.backgroundCache = nullptr;
    state.backgroundCacheWidth = 0;
    state.backgroundCacheHeight = 0;
}

void PaintLauncher(HDC dc, int width, int height, LauncherState& state) {
    using E = LauncherElement;
    const bool iconsDrawn = PaintBackground(dc, width, height, state);
    FillSolid(dc, ComputeElementRect(E::kBottomBar, width, height), kBottomBarColour);
    Button(dc, E::kTitleBox, width, height, L"VARDENHAL", kAccentPurple, kTextWhite, state.titleHoverLevel);
    if (!iconsDrawn)
        DrawIcons(dc, width, height, state);

    if (state.musicPlaying)
        Button(dc, E::kPlayButton, width, height, L"STOP", kStopFill, kTextWhite, state.playHoverLevel);
    else
        Button(dc, E::kPlayButton, width, height, L"PLAY", kPlayFill, kTextWhite, state.playHoverLevel);
    if (state.musicMuted)
        Button(dc, E::kMuteButton, width, height, L"MUTED", kMutedFill, kMutedText, state.muteHoverLevel);
    else
        Button(dc, E::kMuteButton, width, height, L"VOL", kVolFill, kTextWhite, state.muteHoverLevel);
    PaintVolumeSlider(dc, width, height, state);
    Button(dc, E::kInfoButton, width, height, L"INFO", kVolFill, kTextWhite, state.infoHoverLevel);

    if (state.updateRunning)
        Button(dc, E::kUpdateButton, width, height, L"CANCEL", kCancelFill, kTextWhite, state.updateHoverLevel);
    else
        Button(dc, E::kUpdateButton, width, height, L"UPDATE", kAccentPurple, kTextWhite, state.updateHoverLevel);
    // A disabled GAME START never lights up.
    if (state.gameReady)
        Button(dc, E::kGameStartButton, width, height, L"GAME START", kGameStartReadyFill, kTextWhite,
               state.gameStartHoverLevel);
    else
        Button(dc, E::kGameStartButton, width, height, L"GAME START", kDisabledGrey, kTextWhite, 0.0f);
    PaintProgressBar(dc, width, height, state);
}

HDC UpdateBackBuffer(HDC screen, int width, int height, LauncherState& state) {
    if (state.backBufferDc && state.backBufferWidth == width && state.backBufferHeight == height)
        return state.backBufferDc;
    FreeBackBuffer(state);
    state.backBufferDc = CreateCompatibleDC(screen);
    state.backBuffer = CreateCompatibleBitmap(screen, width, height);
    if (!state.backBufferDc || !state.backBuffer) {
        FreeBackBuffer(state);
        return nullptr;
    }
    SelectObject(state.backBufferDc, state.backBuffer);
    state.backBufferWidth = width;
    state.backBufferHeight = height;
    return state.backBufferDc;
}

void FreeBackBuffer(LauncherState& state) {
    // The DC goes first, and the bitmap selected into it with it out of the way.
    if (state.backBufferDc)
        DeleteDC(state.backBufferDc);
    if (state.backBuffer)
        DeleteObject(state.backBuffer);
    state.backBufferDc = nullptr;
    state.backBuffer = nullptr;
    state.backBufferWidth = 0;
    state.backBufferHeight = 0;
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    const ClientSize client = ReadClientSize(window);
    const int width = client.width;
    const int height = client.height;
    const HDC offscreen = UpdateBackBuffer(screen, width, height, launcherState);
    if (offscreen) {
        PaintLauncher(offscreen, width, height, launcherState);

        const LayoutRect label = ComputeElementRect(LauncherElement::kStatusLabel, width, height);
        MoveWindow(launcherState.statusLabel, label.left, label.top, label.right - label.left, label.bottom - label.top,
                   TRUE);
        // The label paints itself after this paint: leave its pixels to it, so the copy below
        // neither covers it nor makes it flicker.
        ExcludeClipRect(screen, label.left, label.top, label.right, label.bottom);
        BitBlt(screen, 0, 0, width, height, offscreen, 0, 0, SRCCOPY);
    }
    EndPaint(window, &paint);
}

LRESULT OnCtlColorStatic(HDC labelDc) {
    SetTextColor(labelDc, kStatusTextColour);
    SetBkMode(labelDc, TRANSPARENT);
    if (!launcherState.statusBrush)
        launcherState.statusBrush = CreateSolidBrush(kStatusBackgroundColour);
    return reinterpret_cast<LRESULT>(launcherState.statusBrush);
}
