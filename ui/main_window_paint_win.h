// Painting of the main window: the whole client area is drawn off-screen from the window's state
// and copied to the screen in one BitBlt.
#pragma once

#include <windows.h>

#include "ui/launcher_state_win.h"

// Paints every element for a client area of width x height into `dc`, in the fixed order, from
// `state`. `dc` must start black, as a fresh compatible bitmap does. Fills the background cache
// of `state` when it is missing or of another size.
void PaintLauncher(HDC dc, int width, int height, LauncherState& state);

// The background picture and the icons over it, drawn with GDI+ directly rather than from the
// cache (for comparison).
void DrawBackgroundDirect(HDC dc, int width, int height, const LauncherState& state);

// Frees the background cache: when the window is destroyed, before GDI+ shuts down, and whenever
// the pictures it was made from change.
void FreeBackgroundCache(LauncherState& state);

// WM_PAINT: the off-screen paint, then the status label moved into place above it.
void OnPaint(HWND window);

// WM_CTLCOLORSTATIC from the status label: its text colour, and the brush behind its text.
LRESULT OnCtlColorStatic(HDC labelDc);
