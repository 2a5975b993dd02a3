// The drawing every window of the launcher shares: solid fills, outlines, fonts, the client size,
// repaint requests and system cursors, and the main window's flat text buttons and icons. All of
// it draws into any DC, the paint's memory DC in the program and a DIB section in the tests.
#pragma once

#include <windows.h>

#include "ui/colour.h"
#include "ui/launcher_state_win.h"
#include "ui/layout.h"

RECT ToRect(const LayoutRect& rect);

// Fills `rect`, right and bottom exclusive as everywhere in the launcher.
void FillSolid(HDC dc, const LayoutRect& rect, Colour colour);

// A closed outline through the outermost pixels of `rect` (right and bottom exclusive), drawn with
// a pen `penWidth` pixels wide centred on that path. The pen selected before is selected again.
void DrawOutline(HDC dc, const LayoutRect& rect, Colour colour, int penWidth = 1);

// A font of `face` whose cell is `height` pixels tall, at `weight` (FW_NORMAL, FW_BOLD, ...).
HFONT CreateFontOf(const wchar_t* face, int height, int weight);

struct ClientSize {
    int width;
    int height;
};
// The client size at the time of the call: hit areas and painting follow it, not the creation size.
ClientSize ReadClientSize(HWND window);

// Every change of state ends here: the next paint redraws the whole client area.
inline void RequestRepaint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
}

// The system cursors' ids are integers dressed as wide-string pointers under UNICODE; the
// launcher loads them with LoadCursorA, which takes the same integer as a narrow one.
inline LPCSTR SystemCursorId(LPCWSTR id) {
    return reinterpret_cast<LPCSTR>(id);
}

// Fills `rect` with `baseColour` brightened by `level` (0.0..1.0), frames its outermost pixels in
// the outline violet and centres `label` on one line in `font`, clipped to the rectangle. Leaves
// the DC in TRANSPARENT mode with `textColour` and `font` selected; the pen selected before the
// call is selected again and no brush is left selected.
void DrawButton(HDC dc,
                const LayoutRect& rect,
                const wchar_t* label,
                Colour baseColour,
                Colour textColour,
                float level,
                HFONT font);

// Draws the whole of `image` scaled into the 28 x 28 square at (x, y). Nothing for a null image;
// a picture GDI+ could not decode is refused by GDI+ and leaves the square as it was.
void DrawIcon(HDC dc, GpImage* image, int x, int y);
