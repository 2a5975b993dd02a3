#include "ui/info_dialog_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "test_support_win.h"

namespace {

constexpr wchar_t kOwnerClassName[] = L"InfoDialogTestOwnerWnd";

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

HWND CreateOwner(int left, int top, int width, int height) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kOwnerClassName;
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, kOwnerClassName, L"owner", WS_POPUP, left, top, width, height, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

struct DialogSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectInfoDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (lstrcmpW(className, kInfoDialogClassName) == 0 && GetWindow(window, GW_OWNER) == search->owner)
        search->found.push_back(window);
    return TRUE;
}

// The owner's Info dialogs, topmost first.
std::vector<HWND> FindInfoDialogs(HWND owner) {
    DialogSearch search = {owner, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectInfoDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

RECT WindowRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

LPARAM At(int x, int y) {
    return MAKELPARAM(x, y);
}

// Messages the dialog is sent while a test watches, e.g. by UpdateWindow.
std::vector<UINT> sentToWatched;
HWND watched = nullptr;

LRESULT CALLBACK RecordSentMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == watched)
        sentToWatched.push_back(sent->message);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class InfoDialogTest : public testing::Test {
protected:
    void SetUp() override {
        owner_ = CreateOwner(200, 150, 1030, 689);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override {
        ReleaseCapture();
        // Owned dialogs go with their owner.
        DestroyWindow(owner_);
        PumpMessages();
    }
    // Opens one dialog and returns it, painted and with nothing left to repaint.
    HWND OpenOne() {
        const std::vector<HWND> before = FindInfoDialogs(owner_);
        OpenInfoDialog(owner_);
        PumpMessages();
        const std::vector<HWND> after = FindInfoDialogs(owner_);
        EXPECT_EQ(after.size(), before.size() + 1);
        for (HWND window : after)
            if (std::find(before.begin(), before.end(), window) == before.end())
                return window;
        return nullptr;
    }

    HWND owner_ = nullptr;
};

TEST_F(InfoDialogTest, OpensTopmostAndOwnedCentredOverTheOwner) {
    const struct {
        const char* name;
        int left, top, width, height;
        int expectedLeft, expectedTop;
    } cases[] = {
        {"main window", 200, 150, 1030, 689, 415, 309},
        {"narrower and lower than the dialog", 300, 200, 500, 300, 250, 165},
        {"narrower by 3 moves 1 pixel left, not 2", 300, 200, 597, 367, 299, 199},
        {"narrower by 1 keeps the owner's edges", 300, 200, 599, 369, 300, 200},
        {"owner partly above and left of the screen", -300, -100, 1030, 689, -85, 59},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SetWindowPos(owner_, nullptr, c.left, c.top, c.width, c.height, SWP_NOZORDER | SWP_NOACTIVATE));
        const RECT ownerRect = WindowRect(owner_);
        ASSERT_EQ(ownerRect.left, c.left);
        ASSERT_EQ(ownerRect.right - ownerRect.left, c.width);

        HWND dialog = OpenOne();
        ASSERT_NE(dialog, nullptr);
        const RECT rect = WindowRect(dialog);
        EXPECT_EQ(rect.left, c.expectedLeft);
        EXPECT_EQ(rect.top, c.expectedTop);
        EXPECT_EQ(rect.right - rect.left, 600);
        EXPECT_EQ(rect.bottom - rect.top, 370);
        RECT client = {};
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, 600);  // no caption, no border
        EXPECT_EQ(client.bottom, 370);

        EXPECT_NE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        const LONG style = GetWindowLongW(dialog, GWL_STYLE);
        EXPECT_NE(style & WS_POPUP, 0);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
        EXPECT_EQ(GetWindowTextLengthW(dialog), 0);
        DestroyWindow(dialog);
    }
}

TEST_F(InfoDialogTest, EveryOpenMakesAnotherDialogThatClosesOnItsOwn) {
    HWND first = OpenOne();
    HWND second = OpenOne();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, second);
    const RECT firstRect = WindowRect(first);
    const RECT secondRect = WindowRect(second);
    EXPECT_EQ(firstRect.left, secondRect.left);
    EXPECT_EQ(firstRect.top, secondRect.top);
    EXPECT_EQ(FindInfoDialogs(owner_).front(), second);  // on top of the first

    SendMessageW(second, WM_LBUTTONDOWN, MK_LBUTTON, At(300, 330));  // OK
    PumpMessages();
    EXPECT_FALSE(IsWindow(second));
    ASSERT_TRUE(IsWindow(first));
    SendMessageW(first, WM_LBUTTONDOWN, MK_LBUTTON, At(582, 15));  // X
    PumpMessages();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(FindInfoDialogs(owner_).empty());
}

TEST_F(InfoDialogTest, OkAndXCloseOnThePressIncludingTheirEdgePixels) {
    const struct {
        const char* name;
        int x, y;
        bool post;
    } cases[] = {
        {"OK bottom-right edge", 380, 345, false},
        {"OK top-left, posted", 220, 310, true},
        {"X bottom-right edge, posted", 595, 28, true},
        {"X top-left", 570, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HWND dialog = OpenOne();
        ASSERT_NE(dialog, nullptr);
        if (c.post)
            PostMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, At(c.x, c.y));
        else
            SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, At(c.x, c.y));
        PumpMessages();
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(GetCapture(), nullptr);
    }
}

TEST_F(InfoDialogTest, APressJustOutsideOkOrXGrabsTheDialog) {
    const struct {
        const char* name;
        int x, y;
    } cases[] = {
        {"right of OK", 381, 345}, {"below OK", 380, 346}, {"left of OK", 219, 310}, {"right of X", 596, 28},
        {"below X", 595, 29},      {"left of X", 569, 5},  {"frame", 0, 0},          {"title", 300, 95},
    };
    HWND dialog = OpenOne();
    ASSERT_NE(dialog, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, At(c.x, c.y));
        PumpMessages();
        ASSERT_TRUE(IsWindow(dialog));
        EXPECT_TRUE(InfoDialogStateOf(dialog)->dragging);
        EXPECT_EQ(InfoDialogStateOf(dialog)->dragAnchor, (InfoPoint{c.x, c.y}));
        EXPECT_EQ(GetCapture(), dialog);
        SendMessageW(dialog, WM_LBUTTONUP, 0, At(c.x, c.y));
        EXPECT_FALSE(InfoDialogStateOf(dialog)->dragging);
        EXPECT_EQ(GetCapture(), nullptr);
    }
}

TEST_F(InfoDialogTest, ADragKeepsThePressedPointUnderThePointer) {
    HWND dialog = OpenOne();
    ASSERT_NE(dialog, nullptr);
    const RECT start = WindowRect(dialog);
    const InfoPoint anchor = {40, 60};
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, At(anchor.x, anchor.y));
    ASSERT_TRUE(InfoDialogStateOf(dialog)->dragging);

    // Pointer positions on the screen, as offsets from where the press happened. The client
    // coordinates of each move are taken against wherever the dialog is by then, so some are
    // negative: the pointer outran the dialog to the left or upwards.
    const struct {
        int dx, dy;
    } path[] = {{0, 0}, {30, -10}, {-200, -150}, {-5, 400}, {260, 282}, {-900, -700}, {0, 0}};
    const int pressScreenX = start.left + anchor.x;
    const int pressScreenY = start.top + anchor.y;
    for (const auto& step : path) {
        const RECT before = WindowRect(dialog);
        const int pointerX = pressScreenX + step.dx;
        const int pointerY = pressScreenY + step.dy;
        SendMessageW(dialog, WM_MOUSEMOVE, MK_LBUTTON, At(pointerX - before.left, pointerY - before.top));
        const RECT after = WindowRect(dialog);
        EXPECT_EQ(after.left + anchor.x, pointerX) << step.dx << ", " << step.dy;
        EXPECT_EQ(after.top + anchor.y, pointerY) << step.dx << ", " << step.dy;
        EXPECT_EQ(after.right - after.left, 600);
        EXPECT_EQ(after.bottom - after.top, 370);
    }
    const RECT home = WindowRect(dialog);
    EXPECT_EQ(home.left, start.left);
    EXPECT_EQ(home.top, start.top);

    // Over OK while dragging: the dialog moves, and hover is left alone.
    SendMessageW(dialog, WM_MOUSEMOVE, MK_LBUTTON, At(300, 330));
    EXPECT_FALSE(InfoDialogStateOf(dialog)->okHover);
    EXPECT_EQ(WindowRect(dialog).left, start.left + 300 - anchor.x);

    // Released: moves no longer carry it along.
    SendMessageW(dialog, WM_LBUTTONUP, 0, At(300, 330));
    const RECT released = WindowRect(dialog);
    SendMessageW(dialog, WM_MOUSEMOVE, 0, At(10, 10));
    EXPECT_EQ(WindowRect(dialog).left, released.left);
    EXPECT_EQ(WindowRect(dialog).top, released.top);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(InfoDialogTest, ButtonReleaseWithoutADragStillReleasesTheCapture) {
    HWND dialog = OpenOne();
    ASSERT_NE(dialog, nullptr);
    SetCapture(dialog);
    SendMessageW(dialog, WM_LBUTTONUP, 0, At(5, 5));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(InfoDialogStateOf(dialog)->dragging);
}

TEST_F(InfoDialogTest, HoverRepaintsOnlyWhenAHoverStateChanges) {
    HWND other = OpenOne();
    ASSERT_NE(other, nullptr);
    HWND dialog = OpenOne();
    ASSERT_NE(dialog, nullptr);
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordSentMessage, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    watched = dialog;

    const struct {
        int x, y;
        bool ok, close, repaint;
    } path[] = {
        {100, 100, false, false, false}, {219, 330, false, false, false}, {220, 330, true, false, true},
        {300, 320, true, false, false},  {380, 345, true, false, false},  {582, 15, false, true, true},
        {595, 28, false, true, false},   {300, 330, true, false, true},   {300, 346, false, false, true},
        {570, 5, false, true, true},     {-20, -20, false, false, true},  {10, 360, false, false, false},
    };
    for (const auto& step : path) {
        SCOPED_TRACE(testing::Message() << step.x << ", " << step.y);
        ValidateRect(dialog, nullptr);
        SendMessageW(dialog, WM_MOUSEMOVE, 0, At(step.x, step.y));
        EXPECT_EQ(InfoDialogStateOf(dialog)->okHover, step.ok);
        EXPECT_EQ(InfoDialogStateOf(dialog)->closeHover, step.close);
        // Another open dialog keeps its own.
        EXPECT_FALSE(InfoDialogStateOf(other)->okHover || InfoDialogStateOf(other)->closeHover);
        RECT update = {};
        EXPECT_EQ(GetUpdateRect(dialog, &update, FALSE) != FALSE, step.repaint);
        if (step.repaint) {
            EXPECT_EQ(update.left, 0);
            EXPECT_EQ(update.top, 0);
            EXPECT_EQ(update.right, 600);
            EXPECT_EQ(update.bottom, 370);
        }
        // The repaint itself: one WM_PAINT, no background erase, since the picture covers it all.
        sentToWatched.clear();
        UpdateWindow(dialog);
        const auto paints = std::count(sentToWatched.begin(), sentToWatched.end(), WM_PAINT);
        EXPECT_EQ(paints, step.repaint ? 1 : 0);
        EXPECT_EQ(std::count(sentToWatched.begin(), sentToWatched.end(), WM_ERASEBKGND), 0);
    }
    watched = nullptr;
    UnhookWindowsHookEx(hook);
}

TEST_F(InfoDialogTest, EscapeAndEnterDoNothing) {
    HWND dialog = OpenOne();
    ASSERT_NE(dialog, nullptr);
    const RECT before = WindowRect(dialog);
    SetFocus(dialog);
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        SendMessageW(dialog, WM_KEYDOWN, key, 1);
        SendMessageW(dialog, WM_CHAR, key, 1);
        SendMessageW(dialog, WM_KEYUP, key, 0xC0000001);
        PostMessageW(dialog, WM_KEYDOWN, key, 1);
        PostMessageW(dialog, WM_KEYUP, key, 0xC0000001);
        PumpMessages();
    }
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowVisible(dialog));
    const RECT after = WindowRect(dialog);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_FALSE(InfoDialogStateOf(dialog)->dragging);
}

// The whole dialog painted into a 600 x 370 surface of its own.
class DialogPicture : public DibCanvas {
public:
    DialogPicture(bool okHover, bool closeHover) : DibCanvas(kInfoDialogWidth, kInfoDialogHeight) {
        PaintInfoDialog(Dc(), kInfoDialogWidth, kInfoDialogHeight, okHover, closeHover);
    }
    Colour At(int x, int y) const { return Pixel(x, y); }
    // Pixels in rows top..bottom-1, columns left..right-1 that are not the background.
    int CountInk(int left, int top, int right, int bottom) const {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                count += At(x, y) != kInfoBackgroundColour ? 1 : 0;
        return count;
    }
    int CountColour(int left, int top, int right, int bottom, Colour colour) const {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                count += At(x, y) == colour ? 1 : 0;
        return count;
    }
};

TEST(InfoDialogPaint, ColoursFollowTheHoverStates) {
    const struct {
        const char* name;
        int x, y;
        Colour atRest, okHovered;
    } cases[] = {
        {"background above the title", 300, 40, kInfoBackgroundColour, kInfoBackgroundColour},
        {"background beside OK", 150, 330, kInfoBackgroundColour, kInfoBackgroundColour},
        {"frame top", 300, 0, kInfoFrameColour, kInfoFrameColour},
        {"frame right", 599, 185, kInfoFrameColour, kInfoFrameColour},
        {"frame bottom", 300, 369, kInfoFrameColour, kInfoFrameColour},
        {"frame left", 0, 185, kInfoFrameColour, kInfoFrameColour},
        {"frame corner", 0, 0, kInfoFrameColour, kInfoFrameColour},
        {"frame far corner", 599, 369, kInfoFrameColour, kInfoFrameColour},
        {"OK fill", 226, 316, kInfoOkFill, kInfoOkHoverFill},
        {"OK fill right end", 377, 342, kInfoOkFill, kInfoOkHoverFill},
        {"OK outline top-left", 220, 310, kInfoOkOutline, kInfoOkOutline},
        {"OK outline right", 379, 330, kInfoOkOutline, kInfoOkOutline},
        {"OK outline bottom", 250, 344, kInfoOkOutline, kInfoOkOutline},
        {"OK outline left", 220, 330, kInfoOkOutline, kInfoOkOutline},
        {"outside OK's right edge", 380, 330, kInfoBackgroundColour, kInfoBackgroundColour},
        {"outside OK's bottom edge", 250, 345, kInfoBackgroundColour, kInfoBackgroundColour},
    };
    DialogPicture rest(false, false);
    DialogPicture hovered(true, false);
    ASSERT_TRUE(rest.IsValid());
    ASSERT_TRUE(hovered.IsValid());
    for (const auto& c : cases) {
        EXPECT_EQ(rest.At(c.x, c.y), c.atRest) << c.name;
        EXPECT_EQ(hovered.At(c.x, c.y), c.okHovered) << c.name;
    }
    // The label is drawn over the fill in white.
    EXPECT_GT(rest.CountColour(220, 310, 380, 345, kInfoOkTextColour), 0);
}

TEST(InfoDialogPaint, CloseGlyphTurnsRedUnderThePointer) {
    DialogPicture rest(false, false);
    DialogPicture hovered(false, true);
    ASSERT_TRUE(rest.IsValid());
    ASSERT_TRUE(hovered.IsValid());
    EXPECT_GT(rest.CountColour(570, 5, 595, 28, kInfoCloseColour), 0);
    EXPECT_EQ(rest.CountColour(570, 5, 595, 28, kInfoCloseHoverColour), 0);
    EXPECT_GT(hovered.CountColour(570, 5, 595, 28, kInfoCloseHoverColour), 0);
    EXPECT_EQ(hovered.CountColour(570, 5, 595, 28, kInfoCloseColour), 0);
    // Nothing of the glyph spills out of its rectangle.
    EXPECT_EQ(hovered.CountInk(540, 2, 598, 40) - hovered.CountInk(570, 5, 595, 28), 0);
}

TEST(InfoDialogPaint, ClosingLineFollowsTheMeasuredParagraph) {
    DialogPicture picture(false, false);
    ASSERT_TRUE(picture.IsValid());

    // The paragraph's height as the dialog measures it, with a font made the same way.
    HFONT font = CreateFontW(kInfoAdviceFont.height, 0, 0, 0, kInfoFontWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             kInfoAdviceFont.face);
    HGDIOBJ previous = SelectObject(picture.Dc(), font);
    RECT measured = {35, 160, 565, 290};
    const int p = DrawTextW(picture.Dc(), kInfoAdviceText, -1, &measured, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(picture.Dc(), previous);
    DeleteObject(font);
    ASSERT_GT(p, 40);  // the paragraph wraps over more than one line

    EXPECT_GT(picture.CountInk(35, 160, 565, 160 + p), 0);
    EXPECT_EQ(picture.CountInk(2, 160 + p, 598, 170 + p), 0);  // the 10-pixel gap
    EXPECT_GT(picture.CountInk(35, 170 + p, 565, 210 + p), 0);
    EXPECT_EQ(picture.CountInk(2, 210 + p, 598, 308), 0);  // down to OK
    EXPECT_GT(picture.CountInk(2, 80, 598, 118), 0);       // the title
    EXPECT_EQ(picture.CountInk(2, 2, 540, 80), 0);         // above it, left of X
}

// The window shows what WM_PAINT copied from its off-screen picture.
TEST_F(InfoDialogTest, PaintCopiesThePictureToTheWindow) {
    HWND dialog = OpenOne();
    ASSERT_NE(dialog, nullptr);
    SendMessageW(dialog, WM_MOUSEMOVE, 0, At(300, 330));
    UpdateWindow(dialog);
    HDC dc = GetDC(dialog);
    EXPECT_EQ(GetPixel(dc, 300, 40), kInfoBackgroundColour);
    EXPECT_EQ(GetPixel(dc, 300, 0), kInfoFrameColour);
    EXPECT_EQ(GetPixel(dc, 226, 316), kInfoOkHoverFill);
    ReleaseDC(dialog, dc);
}

}  // namespace
