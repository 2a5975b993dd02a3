#include "ui/info_dialog_win.h"

#include <windows.h>
#include <windowsx.h>

#include "app/scoped_win.h"

bool infoOkHover = false;
bool infoCloseHover = false;
bool infoDragging = false;
InfoPoint infoDragAnchor;

namespace {

RECT ToRect(const LayoutRect& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

COLORREF ToColorRef(Colour colour) {
    return static_cast<COLORREF>(colour);
}

HFONT CreateInfoFont(const InfoFont& font) {
    return CreateFontW(font.height, 0, 0, 0, kInfoFontWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.face);
}

// Four lines through the corners of (left, top)-(right, bottom), both ends inclusive.
void DrawOutline(HDC dc, Colour colour, int penWidth, int left, int top, int right, int bottom) {
    ScopedPen pen(CreatePen(PS_SOLID, penWidth, ToColorRef(colour)));
    ScopedSelectObject selected(dc, pen.Get());
    MoveToEx(dc, left, top, nullptr);
    LineTo(dc, right, top);
    LineTo(dc, right, bottom);
    LineTo(dc, left, bottom);
    LineTo(dc, left, top);
}

void FillSolid(HDC dc, const LayoutRect& rect, Colour colour) {
    ScopedBrush brush(CreateSolidBrush(ToColorRef(colour)));
    const RECT area = ToRect(rect);
    FillRect(dc, &area, brush.Get());
}

// One text in its own font, which lives only for this call.
void DrawInfoText(HDC dc,
                  const InfoFont& font,
                  Colour colour,
                  const wchar_t* text,
                  const LayoutRect& rect,
                  UINT format) {
    ScopedFont created(CreateInfoFont(font));
    ScopedSelectObject selected(dc, created.Get());
    SetTextColor(dc, ToColorRef(colour));
    RECT area = ToRect(rect);
    DrawTextW(dc, text, -1, &area, format);
}

// The paragraph wraps to as many lines as the installed font needs; the closing line follows
// it at whatever height that gives.
void DrawAdvice(HDC dc, int width) {
    ScopedFont font(CreateInfoFont(kInfoAdviceFont));
    ScopedSelectObject selected(dc, font.Get());
    SetTextColor(dc, ToColorRef(kInfoAdviceColour));
    RECT measured = ToRect(ComputeInfoAdviceRect(width));
    const int adviceHeight = DrawTextW(dc, kInfoAdviceText, -1, &measured, DT_CALCRECT | DT_WORDBREAK);
    RECT paragraph = ToRect(ComputeInfoAdviceRect(width));
    DrawTextW(dc, kInfoAdviceText, -1, &paragraph, DT_WORDBREAK);
    RECT closing = ToRect(ComputeInfoClosingRect(width, adviceHeight));
    DrawTextW(dc, kInfoClosingText, -1, &closing, DT_WORDBREAK);
}

void DrawOkButton(HDC dc, int width, int height, bool hover) {
    const LayoutRect rect = ComputeInfoOkRect(width, height);
    FillSolid(dc, rect, hover ? kInfoOkHoverFill : kInfoOkFill);
    DrawOutline(dc, kInfoOkOutline, 1, rect.left, rect.top, rect.right - 1, rect.bottom - 1);
    DrawInfoText(dc, kInfoOkFont, kInfoOkTextColour, kInfoOkText, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// Client size at the time of the message: the hit areas follow it, not the creation size.
void GetClientSize(HWND window, int* width, int* height) {
    RECT client = {};
    GetClientRect(window, &client);
    *width = client.right - client.left;
    *height = client.bottom - client.top;
}

// Double-buffered so a hover change never shows a half-drawn dialog.
void OnInfoPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    int width = 0;
    int height = 0;
    GetClientSize(window, &width, &height);
    {
        ScopedMemoryDc memoryDc(CreateCompatibleDC(dc));
        ScopedBitmap bitmap(CreateCompatibleBitmap(dc, width, height));
        ScopedSelectObject selected(memoryDc.Get(), bitmap.Get());
        PaintInfoDialog(memoryDc.Get(), width, height, infoOkHover, infoCloseHover);
        BitBlt(dc, 0, 0, width, height, memoryDc.Get(), 0, 0, SRCCOPY);
    }
    EndPaint(window, &paint);
}

// While dragging, the window follows the pointer and hover is left alone; otherwise only a
// change of hover state is worth a repaint.
void OnInfoMouseMove(HWND window, int x, int y) {
    if (infoDragging) {
        RECT outer = {};
        GetWindowRect(window, &outer);
        const InfoPoint to = ComputeInfoDragPosition(outer.left, outer.top, infoDragAnchor, x, y);
        SetWindowPos(window, nullptr, to.x, to.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        return;
    }
    int width = 0;
    int height = 0;
    GetClientSize(window, &width, &height);
    if (UpdateInfoHover(x, y, width, height, &infoOkHover, &infoCloseHover))
        InvalidateRect(window, nullptr, FALSE);
}

// OK and X close on the press itself; anywhere else the press grabs the dialog, and the capture
// keeps the moves coming when the pointer outruns it.
void OnInfoLeftButtonDown(HWND window, int x, int y) {
    int width = 0;
    int height = 0;
    GetClientSize(window, &width, &height);
    if (DecideInfoPress(x, y, width, height) == InfoPressAction::kClose) {
        DestroyWindow(window);
        return;
    }
    infoDragging = true;
    infoDragAnchor.x = x;
    infoDragAnchor.y = y;
    SetCapture(window);
}

void OnInfoLeftButtonUp() {
    infoDragging = false;
    ReleaseCapture();
}

}  // namespace

void PaintInfoDialog(HDC dc, int width, int height, bool okHover, bool closeHover) {
    FillSolid(dc, {0, 0, width, height}, kInfoBackgroundColour);
    DrawOutline(dc, kInfoFrameColour, kInfoFrameWidth, 0, 0, width - 1, height - 1);
    SetBkMode(dc, TRANSPARENT);
    DrawInfoText(dc, kInfoTitleFont, kInfoTitleColour, kInfoTitleText, ComputeInfoTitleRect(width),
                 DT_CENTER | DT_SINGLELINE);
    DrawAdvice(dc, width);
    DrawOkButton(dc, width, height, okHover);
    DrawInfoText(dc, kInfoCloseFont, closeHover ? kInfoCloseHoverColour : kInfoCloseColour, kInfoCloseText,
                 ComputeInfoCloseRect(width, height), DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void OpenInfoDialog(HWND owner) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = InfoDialogProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kInfoDialogClassName;
    // Fails from the second dialog on, when the class already exists; that is all right.
    RegisterClassExW(&windowClass);

    RECT outer = {};
    GetWindowRect(owner, &outer);
    const InfoPoint at = ComputeInfoDialogPosition(outer.left, outer.top, outer.right, outer.bottom);
    CreateWindowExW(WS_EX_TOPMOST, kInfoDialogClassName, L"", WS_POPUP | WS_VISIBLE, at.x, at.y, kInfoDialogWidth,
                    kInfoDialogHeight, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK InfoDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            OnInfoPaint(window);
            break;
        case WM_MOUSEMOVE:
            OnInfoMouseMove(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            break;
        case WM_LBUTTONDOWN:
            OnInfoLeftButtonDown(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            break;
        case WM_LBUTTONUP:
            OnInfoLeftButtonUp();
            break;
    }
    // Handled or not, every message also gets the default processing; after WM_PAINT there is
    // nothing left for it to validate, and after a close it finds the window gone.
    return DefWindowProcW(window, message, wParam, lParam);
}
