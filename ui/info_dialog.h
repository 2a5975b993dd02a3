// The Info dialog's fixed values and its arithmetic: where it opens, where OK and X answer,
// how a drag moves it and when a pointer move needs a repaint. Free of windows.h so every
// decision the window procedure makes is tested natively.
#pragma once

#include "ui/colour.h"
#include "ui/layout.h"

struct InfoPoint {
    int x = 0;
    int y = 0;
};

inline bool operator==(const InfoPoint& a, const InfoPoint& b) {
    return a.x == b.x && a.y == b.y;
}

// Outer size, and with no caption or border also the client size.
constexpr int kInfoDialogWidth = 600;
constexpr int kInfoDialogHeight = 370;

constexpr wchar_t kInfoDialogClassName[] = L"VardenhalInfoDlg";

constexpr wchar_t kInfoTitleText[] = L"Welcome to Vardenhal!";
constexpr wchar_t kInfoAdviceText[] =
    L"Before launching the game, please make sure to delete the SYSTEM folder from your Lineage II directory and "
    L"press Update. This will help you avoid any errors or issues when starting the game.";
constexpr wchar_t kInfoClosingText[] = L"Prepare yourself for an epic adventure and enjoy your journey!";
constexpr wchar_t kInfoOkText[] = L"OK";
constexpr wchar_t kInfoCloseText[] = L"X";

constexpr Colour kInfoBackgroundColour = MakeRgb(12, 8, 28);
constexpr Colour kInfoFrameColour = MakeRgb(140, 40, 200);
constexpr int kInfoFrameWidth = 2;
constexpr Colour kInfoTitleColour = MakeRgb(180, 100, 255);
constexpr Colour kInfoAdviceColour = MakeRgb(220, 50, 50);  // paragraph and closing line
constexpr Colour kInfoOkFill = MakeRgb(100, 30, 160);
constexpr Colour kInfoOkHoverFill = MakeRgb(150, 60, 210);
constexpr Colour kInfoOkOutline = MakeRgb(160, 80, 220);
constexpr Colour kInfoOkTextColour = MakeRgb(255, 255, 255);
constexpr Colour kInfoCloseColour = MakeRgb(180, 180, 180);
constexpr Colour kInfoCloseHoverColour = MakeRgb(255, 80, 80);

// All four fonts are bold; the height is the positive cell height in pixels.
struct InfoFont {
    const wchar_t* face;
    int height;
};
constexpr int kInfoFontWeight = 700;
constexpr InfoFont kInfoTitleFont = {L"Palatino Linotype", 28};
constexpr InfoFont kInfoAdviceFont = {L"Palatino Linotype", 20};  // paragraph and closing line
constexpr InfoFont kInfoOkFont = {L"Arial", 18};
constexpr InfoFont kInfoCloseFont = {L"Arial", 16};

// Top-left corner that centres the dialog over the owner's outer rectangle; an owner narrower
// or lower than the dialog puts it left of or above the owner.
InfoPoint ComputeInfoDialogPosition(int ownerLeft, int ownerTop, int ownerRight, int ownerBottom);

// Text rectangles for a client area `width` wide. The closing line sits 10 pixels below the
// advice paragraph, whose measured height is `adviceHeight`.
LayoutRect ComputeInfoTitleRect(int width);
LayoutRect ComputeInfoAdviceRect(int width);
LayoutRect ComputeInfoClosingRect(int width, int adviceHeight);

// OK and X; filled and drawn right/bottom-exclusive, hit-tested with both edges included.
LayoutRect ComputeInfoOkRect(int width, int height);
LayoutRect ComputeInfoCloseRect(int width, int height);
bool IsOnInfoOk(int x, int y, int width, int height);
bool IsOnInfoClose(int x, int y, int width, int height);

enum class InfoPressAction {
    kClose,      // on OK or X: the press itself closes, so it never starts a drag
    kStartDrag,  // anywhere else, frame and texts included
};
InfoPressAction DecideInfoPress(int x, int y, int width, int height);

// Where the dialog's outer rectangle goes when the pointer is at client (x, y) during a drag
// that began at `anchor`: the pressed point stays under the pointer.
InfoPoint ComputeInfoDragPosition(int windowLeft, int windowTop, InfoPoint anchor, int x, int y);

// Stores the hover states of OK and X for the pointer at (x, y) and tells whether either
// changed, the only case that is worth a repaint.
bool UpdateInfoHover(int x, int y, int width, int height, bool* okHover, bool* closeHover);
