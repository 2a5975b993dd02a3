#include "ui/info_dialog_win.h"

#include <windows.h>
#include <windowsx.h>

#include <new>

#include "base/scoped_win.h"
#include "ui/draw_primitives_win.h"

InfoDialogState* InfoDialogStateOf(HWND dialog) {
    return reinterpret_cast<InfoDialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

namespace {

// The dialog's state lives from its creation to its last message; without memory for it the
// dialog is not made.
bool OnInfoNcCreate(HWND window) {
    InfoDialogState* state = new (std::nothrow) InfoDialogState();
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return state != nullptr;
}

void OnInfoNcDestroy(HWND window) {
    delete InfoDialogStateOf(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

HFONT CreateInfoFont(const InfoFont& font) {
    return CreateFontOf(font.face, font.height, kInfoFontWeight);
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
    SetTextColor(dc, colour);
    RECT area = ToRect(rect);
    DrawTextW(dc, text, -1, &area, format);
}

// The paragraph wraps to as many lines as the installed font needs; the closing line follows
// it at whatever height that gives.
void DrawAdvice(HDC dc, int width) {
    ScopedFont font(CreateInfoFont(kInfoAdviceFont));
    ScopedSelectObject selected(dc, font.Get());
    SetTextColor(dc, kInfoAdviceColour);
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
    DrawOutline(dc, rect, kInfoOkOutline);
    DrawInfoText(dc, kInfoOkFont, kInfoOkTextColour, kInfoOkText, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// Double-buffered so a hover change never shows a half-drawn dialog.
void OnInfoPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const ClientSize size = ReadClientSize(window);
    {
        ScopedMemoryDc memoryDc(CreateCompatibleDC(dc));
        ScopedBitmap bitmap(CreateCompatibleBitmap(dc, size.width, size.height));
        ScopedSelectObject selected(memoryDc.Get(), bitmap.Get());
        const InfoDialogState& state = *InfoDialogStateOf(window);
        PaintInfoDialog(memoryDc.Get(), size.width, size.height, state.okHover, state.closeHover);
        BitBlt(dc, 0, 0, size.width, size.height, memoryDc.Get(), 0, 0, SRCCOPY);
    }
    EndPaint(window, &paint);
}

// While dragging, the window follows the pointer and hover is left alone; otherwise only a
// change of hover state is worth a repaint.
void OnInfoMouseMove(HWND window, InfoDialogState& state, int x, int y) {
    if (state.dragging) {
        RECT outer = {};
        GetWindowRect(window, &outer);
        const InfoPoint to = ComputeInfoDragPosition(outer.left, outer.top, state.dragAnchor, x, y);
        SetWindowPos(window, nullptr, to.x, to.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        return;
    }
    const ClientSize size = ReadClientSize(window);
    if (UpdateInfoHover(x, y, size.width, size.height, &state.okHover, &state.closeHover))
        InvalidateRect(window, nullptr, FALSE);
}

// OK and X close on the press itself; anywhere else the press grabs the dialog, and the capture
// keeps the moves coming when the pointer outruns it.
void OnInfoLeftButtonDown(HWND window, InfoDialogState& state, int x, int y) {
    const ClientSize size = ReadClientSize(window);
    if (DecideInfoPress(x, y, size.width, size.height) == InfoPressAction::kClose) {
        DestroyWindow(window);
        return;
    }
    state.dragging = true;
    state.dragAnchor.x = x;
    state.dragAnchor.y = y;
    SetCapture(window);
}

void OnInfoLeftButtonUp(InfoDialogState& state) {
    state.dragging = false;
    ReleaseCapture();
}

}  // namespace

void PaintInfoDialog(HDC dc, int width, int height, bool okHover, bool closeHover) {
    FillSolid(dc, {0, 0, width, height}, kInfoBackgroundColour);
    DrawOutline(dc, {0, 0, width, height}, kInfoFrameColour, kInfoFrameWidth);
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
    InfoDialogState* state = InfoDialogStateOf(window);
    switch (message) {
        case WM_NCCREATE:
            if (!OnInfoNcCreate(window))
                return FALSE;
            break;
        case WM_NCDESTROY:
            OnInfoNcDestroy(window);
            break;
        case WM_PAINT:
            if (state)
                OnInfoPaint(window);
            break;
        case WM_MOUSEMOVE:
            if (state)
                OnInfoMouseMove(window, *state, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            break;
        case WM_LBUTTONDOWN:
            if (state)
                OnInfoLeftButtonDown(window, *state, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            break;
        case WM_LBUTTONUP:
            if (state)
                OnInfoLeftButtonUp(*state);
            break;
    }
    // Handled or not, every message also gets the default processing; after WM_PAINT there is
    // nothing left for it to validate, and after a close it finds the window gone.
    return DefWindowProcW(window, message, wParam, lParam);
}
