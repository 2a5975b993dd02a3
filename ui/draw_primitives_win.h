// The drawing shared by every control of the main window: flat text buttons that brighten with
// their hover level, and the icon row's pictures. Both draw into any DC, the paint's memory DC
// in the program and a DIB section in the tests.
#pragma once

#include <windows.h>

#include "ui/launcher_state_win.h"

// Fills `rect` with `baseColour` brightened by `level` (0.0..1.0), frames its outermost pixels in
// the outline violet and centres `label` on one line, clipped to the rectangle. Leaves the DC in
// TRANSPARENT mode with `textColour` and launcherState.buttonFont selected; the pen selected
// before the call is selected again and no brush is left selected.
void DrawButton(HDC dc, RECT rect, const wchar_t* label, COLORREF baseColour, COLORREF textColour, float level);

// Draws the whole of `image` scaled into the 28 x 28 square at (x, y). Nothing for a null image;
// a picture GDI+ could not decode is refused by GDI+ and leaves the square as it was.
void DrawIcon(HDC dc, GpImage* image, int x, int y);
