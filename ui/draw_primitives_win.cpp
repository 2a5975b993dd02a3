#include "ui/draw_primitives_win.h"

#include <gdiplus.h>

#include "base/scoped_win.h"

RECT ToRect(const LayoutRect& rect) {
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

void FillSolid(HDC dc, const LayoutRect& rect, Colour colour) {
    const RECT area = ToRect(rect);
    ScopedBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &area, brush.Get());
}

void DrawOutline(HDC dc, const LayoutRect& rect, Colour colour, int penWidth) {
    ScopedPen pen(CreatePen(PS_SOLID, penWidth, colour));
    ScopedSelectObject selected(dc, pen.Get());
    // LineTo stops short of its end point, and each segment starts where the last one stopped,
    // so the closed path covers every pixel of the frame once.
    MoveToEx(dc, rect.left, rect.top, nullptr);
    LineTo(dc, rect.right - 1, rect.top);
    LineTo(dc, rect.right - 1, rect.bottom - 1);
    LineTo(dc, rect.left, rect.bottom - 1);
    LineTo(dc, rect.left, rect.top);
}

HFONT CreateFontOf(const wchar_t* face, int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

ClientSize ReadClientSize(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    return ClientSize{client.right - client.left, client.bottom - client.top};
}

void DrawButton(HDC dc,
                const LayoutRect& rect,
                const wchar_t* label,
                Colour baseColour,
                Colour textColour,
                float level,
                HFONT font) {
    FillSolid(dc, rect, ComputeButtonFill(baseColour, level));
    DrawOutline(dc, rect, kOutlineViolet);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColour);
    // Left selected: the font lives as long as the window, and every button selects it again.
    SelectObject(dc, font);
    RECT area = ToRect(rect);
    DrawTextW(dc, label, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
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
