// The main window's process-wide state: one instance, read and written on the UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/scoped_win.h"
#include "ui/layout.h"

namespace Gdiplus {
class GpImage;
}
using GpImage = Gdiplus::GpImage;
struct UpdateRunFlags;

// What the window draws with. The fonts, the pictures and the brush are made when the window is
// created, the caches when its size changes; WM_DESTROY frees all of it (FreeLauncherResources),
// before GDI+ shuts down.
struct LauncherResources {
    HFONT buttonFont = nullptr;
    HFONT statusFont = nullptr;

    // Decoded pictures (GdipDisposeImage).
    GpImage* backgroundImage = nullptr;
    GpImage* youtubeIcon = nullptr;
    GpImage* instagramIcon = nullptr;
    GpImage* discordIcon = nullptr;
    GpImage* tiktokIcon = nullptr;

    // The background stretched to the client size with the icons over it, made once per size:
    // a GDI+ stretch costs hundreds of milliseconds under Wine, a copy of its pixels a fraction of one.
    HBITMAP backgroundCache = nullptr;
    int backgroundCacheWidth = 0;
    int backgroundCacheHeight = 0;
    // The off-screen bitmap every paint draws into, selected into its own memory DC; made again
    // only when the client size changes.
    HDC backBufferDc = nullptr;
    HBITMAP backBuffer = nullptr;
    int backBufferWidth = 0;
    int backBufferHeight = 0;
    // The status label's background brush.
    HBRUSH statusBrush = nullptr;
};

struct LauncherState {
    HWND mainWindow = nullptr;
    // The rectangles of the current client size, made again only when it changes.
    LauncherLayout layout;
    HWND statusLabel = nullptr;
    ULONG_PTR gdiplusToken = 0;
    std::wstring backgroundPath;
    std::wstring musicPath;
    LauncherResources resources;

    bool updateRunning = false;
    // The flags of the run under way, or of the last one: each run gets new ones.
    std::shared_ptr<UpdateRunFlags> updateRun;
    // The worker thread of that run, waited for when the window goes.
    ScopedKernelHandle updateWorker;
    bool gameReady = false;
    bool musicPlaying = false;
    bool musicMuted = false;
    bool draggingVolume = false;
    int32_t musicVolume = 0;  // percent 0..100; set to 30 when the window is created
    int32_t progressDone = 0;
    int32_t progressTotal = 100;

    bool updateHovered = false;
    bool gameStartHovered = false;
    bool titleHovered = false;
    bool infoHovered = false;
    float updateHoverLevel = 0.0f;
    float gameStartHoverLevel = 0.0f;
    float titleHoverLevel = 0.0f;
    float infoHoverLevel = 0.0f;
    float playHoverLevel = 0.0f;
    float muteHoverLevel = 0.0f;
};

// The one instance of the process.
extern LauncherState launcherState;
