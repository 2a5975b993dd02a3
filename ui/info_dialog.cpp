#include "ui/info_dialog.h"

namespace {

// Text block margins and the band the advice paragraph may fill.
constexpr int kInfoTextMargin = 35;
constexpr int kInfoAdviceTop = 160;
constexpr int kInfoAdviceBottom = 290;

}  // namespace

InfoPoint ComputeInfoDialogPosition(int ownerLeft, int ownerTop, int ownerRight, int ownerBottom) {
    // C++ division truncates toward zero, also for a negative difference.
    InfoPoint position;
    position.x = ownerLeft + ((ownerRight - ownerLeft) - kInfoDialogWidth) / 2;
    position.y = ownerTop + ((ownerBottom - ownerTop) - kInfoDialogHeight) / 2;
    return position;
}

LayoutRect ComputeInfoTitleRect(int width) {
    return MakeRect(0, 80, width, 118);
}

LayoutRect ComputeInfoAdviceRect(int width) {
    return MakeRect(kInfoTextMargin, kInfoAdviceTop, width - kInfoTextMargin, kInfoAdviceBottom);
}

LayoutRect ComputeInfoClosingRect(int width, int adviceHeight) {
    // 10 pixels below where the paragraph ends, 40 pixels tall.
    const int top = kInfoAdviceTop + adviceHeight + 10;
    return MakeRect(kInfoTextMargin, top, width - kInfoTextMargin, top + 40);
}

LayoutRect ComputeInfoOkRect(int width, int height) {
    return MakeRect(width / 2 - 80, height - 60, width / 2 + 80, height - 25);
}

LayoutRect ComputeInfoCloseRect(int width, int /*height*/) {
    return MakeRect(width - 30, 5, width - 5, 28);
}

bool IsOnInfoOk(int x, int y, int width, int height) {
    return HitTest(ComputeInfoOkRect(width, height), x, y);
}

bool IsOnInfoClose(int x, int y, int width, int height) {
    return HitTest(ComputeInfoCloseRect(width, height), x, y);
}

InfoPressAction DecideInfoPress(int x, int y, int width, int height) {
    if (IsOnInfoOk(x, y, width, height) || IsOnInfoClose(x, y, width, height))
        return InfoPressAction::kClose;
    return InfoPressAction::kStartDrag;
}

InfoPoint ComputeInfoDragPosition(int windowLeft, int windowTop, InfoPoint anchor, int x, int y) {
    InfoPoint position;
    position.x = windowLeft - anchor.x + x;
    position.y = windowTop - anchor.y + y;
    return position;
}

bool UpdateInfoHover(int x, int y, int width, int height, bool* okHover, bool* closeHover) {
    const bool onOk = IsOnInfoOk(x, y, width, height);
    const bool onClose = IsOnInfoClose(x, y, width, height);
    if (onOk == *okHover && onClose == *closeHover)
        return false;
    *okHover = onOk;
    *closeHover = onClose;
    return true;
}
