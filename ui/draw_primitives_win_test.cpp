#include "ui/draw_primitives_win.h"

#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include "test_support_win.h"

#include <cstdint>
#include <vector>

#include "base/scoped_win.h"
#include "ui/colour.h"
#include "ui/hover.h"

namespace {

constexpr COLORREF kCanvasColour = RGB(1, 2, 3);

// Every test surface starts in this colour, so untouched pixels are told from drawn ones.
class Canvas : public DibCanvas {
public:
    Canvas(int width, int height) : DibCanvas(width, height, kCanvasColour) {}
};

bool IsInside(const LayoutRect& rect, int x, int y) {
    return rect.left <= x && x < rect.right && rect.top <= y && y < rect.bottom;
}

// The window's button font, for the life of one test.
class ButtonFont {
public:
    ButtonFont()
        : font_(CreateFontW(16,
                            0,
                            0,
                            0,
                            FW_BOLD,
                            FALSE,
                            FALSE,
                            FALSE,
                            DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS,
                            CLEARTYPE_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE,
                            L"Arial")) {}
    ButtonFont(const ButtonFont&) = delete;
    ButtonFont& operator=(const ButtonFont&) = delete;
    HFONT Get() const { return font_.Get(); }

private:
    ScopedFont font_;
};

TEST(DrawButton, FillsFramesAndLabelsExactlyTheRectangle) {
    ButtonFont font;
    ASSERT_NE(font.Get(), nullptr);
    const struct {
        COLORREF base;
        float level;
        COLORREF fill;
    } cases[] = {
        {RGB(120, 40, 180), 0.0f, RGB(120, 40, 180)},
        {RGB(120, 40, 180), 0.5f, RGB(150, 70, 210)},
        {RGB(120, 40, 180), 1.0f, RGB(180, 100, 240)},
        {RGB(200, 200, 200), 0.5f, RGB(227, 227, 227)},
    };
    const COLORREF text = RGB(255, 255, 255);
    const LayoutRect rect = {10, 10, 160, 38};
    for (const auto& c : cases) {
        Canvas canvas(200, 60);
        ASSERT_TRUE(canvas.IsValid());
        DrawButton(canvas.Dc(), rect, L"UPDATE", c.base, text, c.level, font.Get());

        int textPixels = 0;
        int fillPixels = 0;
        for (int y = 0; y < canvas.Height(); ++y) {
            for (int x = 0; x < canvas.Width(); ++x) {
                const COLORREF pixel = canvas.Pixel(x, y);
                if (!IsInside(rect, x, y)) {
                    ASSERT_EQ(pixel, kCanvasColour) << "outside at " << x << "," << y;
                    continue;
                }
                const bool frame = x == 10 || x == 159 || y == 10 || y == 37;
                if (frame) {
                    ASSERT_EQ(pixel, kOutlineViolet) << "frame at " << x << "," << y;
                    continue;
                }
                // The label sits within the frame's inner area, centred; everything else is fill.
                const bool labelArea = x >= 20 && x < 150 && y >= 12 && y < 36;
                if (!labelArea) {
                    ASSERT_EQ(pixel, c.fill) << "fill at " << x << "," << y;
                }
                textPixels += pixel == text ? 1 : 0;
                fillPixels += pixel == c.fill ? 1 : 0;
            }
        }
        EXPECT_GT(textPixels, 40) << "a bold six-letter label";
        EXPECT_GT(fillPixels, (148 * 26) / 2);
    }
}

TEST(DrawButton, CentresTheLabel) {
    ButtonFont font;
    Canvas canvas(200, 60);
    ASSERT_TRUE(canvas.IsValid());
    const LayoutRect rect = {10, 10, 160, 38};
    const COLORREF base = RGB(40, 35, 55);
    const COLORREF text = RGB(255, 100, 100);
    DrawButton(canvas.Dc(), rect, L"INFO", base, text, 0.0f, font.Get());

    int left = 1000, right = -1, top = 1000, bottom = -1;
    for (int y = 11; y < 37; ++y) {
        for (int x = 11; x < 159; ++x) {
            if (canvas.Pixel(x, y) == base)
                continue;
            left = left < x ? left : x;
            right = right > x ? right : x;
            top = top < y ? top : y;
            bottom = bottom > y ? bottom : y;
        }
    }
    ASSERT_GE(right, left);
    // Centre at 84.5 across and 23.5 down, within a couple of pixels of glyph side bearing.
    EXPECT_NEAR((left + right) / 2.0, 84.5, 2.5);
    EXPECT_NEAR((top + bottom) / 2.0, 23.5, 3.0);
    EXPECT_LT(right - left, 100);
}

TEST(DrawButton, ALongLabelIsCutAtBothSides) {
    ButtonFont font;
    Canvas canvas(120, 40);
    ASSERT_TRUE(canvas.IsValid());
    const LayoutRect rect = {30, 5, 90, 33};
    const COLORREF text = RGB(255, 255, 255);
    DrawButton(canvas.Dc(), rect, L"WWWWWWWWWWWWWWWWWWWWWWWW", RGB(60, 60, 60), text, 0.0f, font.Get());

    bool nearLeft = false;
    bool nearRight = false;
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            const COLORREF pixel = canvas.Pixel(x, y);
            if (!IsInside(rect, x, y)) {
                ASSERT_EQ(pixel, kCanvasColour) << x << "," << y;
                continue;
            }
            if (pixel != text)
                continue;
            nearLeft |= x <= 33;
            nearRight |= x >= 86;
        }
    }
    EXPECT_TRUE(nearLeft);
    EXPECT_TRUE(nearRight);
}

TEST(DrawButton, LeavesTheDcWithTheFontAndTheCallersPenAndBrush) {
    ButtonFont font;
    Canvas canvas(200, 60);
    ASSERT_TRUE(canvas.IsValid());
    ScopedPen callersPen(CreatePen(PS_SOLID, 3, RGB(0, 255, 0)));
    ScopedBrush callersBrush(CreateSolidBrush(RGB(0, 0, 255)));
    ScopedSelectObject selectPen(canvas.Dc(), callersPen.Get());
    ScopedSelectObject selectBrush(canvas.Dc(), callersBrush.Get());
    SetBkMode(canvas.Dc(), OPAQUE);
    SetTextColor(canvas.Dc(), RGB(0, 0, 0));

    const COLORREF text = RGB(255, 100, 100);
    DrawButton(canvas.Dc(), LayoutRect{10, 10, 160, 38}, L"MUTED", RGB(120, 20, 20), text, 0.25f, font.Get());

    EXPECT_EQ(GetCurrentObject(canvas.Dc(), OBJ_PEN), callersPen.Get());
    EXPECT_EQ(GetCurrentObject(canvas.Dc(), OBJ_BRUSH), callersBrush.Get());
    EXPECT_EQ(GetCurrentObject(canvas.Dc(), OBJ_FONT), font.Get());
    EXPECT_EQ(GetBkMode(canvas.Dc()), TRANSPARENT);
    EXPECT_EQ(GetTextColor(canvas.Dc()), text);
}

// A 32 x 32 opaque picture in four quadrants, owned for the life of the test.
class QuadrantPicture {
public:
    static constexpr uint32_t kTopLeft = 0xFFFF0000;  // ARGB
    static constexpr uint32_t kTopRight = 0xFF00FF00;
    static constexpr uint32_t kBottomLeft = 0xFF0000FF;
    static constexpr uint32_t kBottomRight = 0xFFFFFF00;

    QuadrantPicture() : pixels_(32 * 32) {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                pixels_[y * 32 + x] = y < 16 ? (x < 16 ? kTopLeft : kTopRight) : (x < 16 ? kBottomLeft : kBottomRight);
        }
        Gdiplus::DllExports::GdipCreateBitmapFromScan0(32, 32, 32 * 4, PixelFormat32bppARGB,
                                                       reinterpret_cast<BYTE*>(pixels_.data()), &bitmap_);
    }
    ~QuadrantPicture() {
        if (bitmap_ != nullptr)
            Gdiplus::DllExports::GdipDisposeImage(bitmap_);
    }
    QuadrantPicture(const QuadrantPicture&) = delete;
    QuadrantPicture& operator=(const QuadrantPicture&) = delete;
    GpImage* Get() const { return bitmap_; }

    static COLORREF AsColorref(uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

private:
    std::vector<uint32_t> pixels_;
    Gdiplus::GpBitmap* bitmap_ = nullptr;
};

TEST(DrawIcon, ScalesThePictureIntoExactlyTheSquare) {
    QuadrantPicture picture;
    ASSERT_NE(picture.Get(), nullptr);
    Canvas canvas(80, 70);
    ASSERT_TRUE(canvas.IsValid());
    const int left = 30;
    const int top = 20;
    DrawIcon(canvas.Dc(), picture.Get(), left, top);

    // GDI+ samples pixel centres, so the left column and top row of the square may be left
    // (Wine's GDI+ leaves them) or blended; every other pixel of it shows the picture, and
    // nothing outside it changes.
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            const bool inSquare = x >= left && x < left + 28 && y >= top && y < top + 28;
            const bool pastTheEdge = x > left && y > top;
            const COLORREF pixel = canvas.Pixel(x, y);
            if (!inSquare) {
                ASSERT_EQ(pixel, kCanvasColour) << "outside at " << x << "," << y;
            } else if (pastTheEdge) {
                ASSERT_NE(pixel, kCanvasColour) << "uncovered at " << x << "," << y;
            }
        }
    }
    // Scaled, not cropped: each quadrant is 14 pixels, so all four colours meet at the middle.
    // Pixels a little away from the seams are pure; at 32 pixels the seam would sit two further on.
    const struct {
        int x;
        int y;
        uint32_t argb;
    } samples[] = {
        {1, 1, QuadrantPicture::kTopLeft},       {12, 12, QuadrantPicture::kTopLeft},
        {15, 1, QuadrantPicture::kTopRight},     {26, 12, QuadrantPicture::kTopRight},
        {1, 15, QuadrantPicture::kBottomLeft},   {12, 26, QuadrantPicture::kBottomLeft},
        {15, 15, QuadrantPicture::kBottomRight}, {26, 26, QuadrantPicture::kBottomRight},
    };
    for (const auto& s : samples)
        EXPECT_EQ(canvas.Pixel(left + s.x, top + s.y), QuadrantPicture::AsColorref(s.argb)) << s.x << "," << s.y;
}

TEST(DrawIcon, DrawsNothingForANullPicture) {
    Canvas canvas(40, 40);
    ASSERT_TRUE(canvas.IsValid());
    DrawIcon(canvas.Dc(), nullptr, 5, 5);
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x)
            ASSERT_EQ(canvas.Pixel(x, y), kCanvasColour) << x << "," << y;
    }
}

// The 32-bit program computes floats on the x87 unit; its fade must land where the native
// build's does, on exactly 1.0 after 24 ticks and back on 0.0 after 24 more.
TEST(StepHoverLevel, TwentyFourTicksEachWayInThe32BitBuild) {
    float level = 0.0f;
    int ticks = 0;
    bool changed = true;
    while (changed && ticks < 100) {
        changed = false;
        StepHoverLevel(level, true, changed);
        ticks += changed ? 1 : 0;
    }
    EXPECT_EQ(ticks, 24);
    EXPECT_EQ(level, 1.0f);
    ticks = 0;
    changed = true;
    while (changed && ticks < 100) {
        changed = false;
        StepHoverLevel(level, false, changed);
        ticks += changed ? 1 : 0;
    }
    EXPECT_EQ(ticks, 24);
    EXPECT_EQ(level, 0.0f);
}

}  // namespace
