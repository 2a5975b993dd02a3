#include "ui/draw_primitives_win.h"

#include <gdiplus.h>

#include "app/scoped_win.h"
#include "ui/colour.h"
#include "ui/layout.h"

void DrawButton(HDC dc, RECT rect, const wchar_t* label, COLORREF baseColour, COLORREF textColour, float level) {
    {
        ScopedBrush fill(CreateSolidBrush(ComputeButtonFill(baseColour, level)));
        FillRect(dc, &rect, fill.Get());
    }
    {
        ScopedPen outline(CreatePen(PS_SOLID, 1, kOutlineViolet));
        ScopedSelectObject selectOutline(dc, outline.Get());
        // LineTo stops short of its end point, and each segment starts where the last one
        // stopped, so the closed path covers every pixel of the frame once.
        MoveToEx(dc, rect.left, rect.top, nullptr);
        LineTo(dc, rect.right - 1, rect.top);
        LineTo(dc, rect.right - 1, rect.bottom - 1);
        LineTo(dc, rect.left, rect.bottom - 1);
        LineTo(dc, rect.left, rect.top);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColour);
    // Left selected: the font lives as long as the window, and every button selects it again.
    SelectObject(dc, launcherState.buttonFont);
    DrawTextW(dc, label, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void DrawIcon(HDC dc, GpImage* image, int x, int y) {
    if (image == nullptr)
        return;
    Gdiplus::GpGraphics* created = nullptr;
    Gdiplus::DllExports::GdipCreateFromHDC(dc, &created);
    ScopedGdipGraphics graphics(created);
    if (!graphics.IsValid())
        return;
    Gdiplus::DllExports::GdipDrawImageRectI(graphics.Get(), image, x, y, kIconSize, kIconSize);
}
