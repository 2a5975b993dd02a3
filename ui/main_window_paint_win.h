// Painting of the main window: the whole client area is drawn off-screen from the window's state
// and copied to the screen in one BitBlt.
#pragma once

#include <windows.h>

#include "ui/launcher_state_win.h"
#include "ui/layout.h"

// Paints every pixel of the client area `layout` was made for into `dc`, in the fixed order, from
// `state`, whatever `dc` held before. Changes nothing: the background comes from the cache when
// one of the layout's size is there, and is drawn directly otherwise.
void PaintLauncher(HDC dc, const LauncherLayout& layout, const LauncherState& state);

// Makes the background cache of `resources` for the layout's size (when the icons can be kept with
// the picture), compatible with `dc`: at creation and whenever the size changes.
void UpdateBackgroundCache(HDC dc, const LauncherLayout& layout, LauncherResources& resources);

// The background picture and the icons over it, drawn with GDI+ directly rather than from the
// cache (for comparison).
void DrawBackgroundDirect(HDC dc, const LauncherLayout& layout, const LauncherState& state);

// Frees the background cache: when the window is destroyed, before GDI+ shuts down, and whenever
// the pictures it was made from change.
void FreeBackgroundCache(LauncherResources& resources);

// The memory DC of the off-screen bitmap, kept in `state` across paints and made again only for a
// new size; null when it cannot be made. FreeBackBuffer releases it when the window is destroyed.
HDC UpdateBackBuffer(HDC screen, int width, int height, LauncherResources& resources);
void FreeBackBuffer(LauncherResources& resources);

// Every paint of the window: the whole client area of `state`'s layout painted off-screen, then
// copied to `screen` in one BitBlt around the status label, which paints itself.
void PaintThroughBackBuffer(HDC screen, LauncherState& state);

// WM_PAINT.
void OnPaint(HWND window);

// WM_CTLCOLORSTATIC from the status label: its text colour, and the brush behind its text.
LRESULT OnCtlColorStatic(HDC labelDc);
