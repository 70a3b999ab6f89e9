// Word-wrapped label text on a memory device context, read back from the
// bitmap: where lines break, how far apart they are, and that nothing is drawn
// outside the box.
#include "ui/win32/win32_peers.h"

#include <gtest/gtest.h>

namespace setup::ui::peers {
namespace {

class TextCanvas {
public:
    TextCanvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < width * height; ++i) bits_[i] = 0xFFFFFF;
        font_ = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma");
        oldFont_ = SelectObject(dc_, font_);
        SetBkMode(dc_, TRANSPARENT);
        SetTextColor(dc_, 0);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        leading_ = metrics.tmInternalLeading;
        pitch_ = metrics.tmHeight - metrics.tmInternalLeading;
    }
    ~TextCanvas() {
        SelectObject(dc_, oldFont_);
        DeleteObject(font_);
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() { return dc_; }
    int Pitch() const { return pitch_; }
    int Leading() const { return leading_; }
    // Whether anything was drawn in rows [top, bottom) and columns [left, right).
    bool Ink(int left, int top, int right, int bottom) {
        GdiFlush();
        for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y) {
            for (int x = std::max(left, 0); x < std::min(right, width_); ++x) {
                if ((bits_[y * width_ + x] & 0xFFFFFF) != 0xFFFFFF) return true;
            }
        }
        return false;
    }

private:
    int width_, height_, pitch_ = 0, leading_ = 0;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_, oldFont_;
    HFONT font_;
    uint32_t* bits_ = nullptr;
};

// Two CRs make an empty line between the paragraphs, as DrawText shows them;
// lines are one em apart.
TEST(DrawWrappedTest, LinesBreakAtEveryLineEndAndAreOneEmApart) {
    TextCanvas canvas(200, 120);
    const int p = canvas.Pitch(), l = canvas.Leading();
    DrawWrapped(canvas.Dc(), L"Wide\r\rWide\r\nWide\nWide", RECT{0, 0, 200, 120});
    EXPECT_TRUE(canvas.Ink(0, l, 200, p + l));
    EXPECT_FALSE(canvas.Ink(0, p + l, 200, 2 * p + l));
    EXPECT_TRUE(canvas.Ink(0, 2 * p + l, 200, 3 * p + l));
    EXPECT_TRUE(canvas.Ink(0, 3 * p + l, 200, 4 * p + l));
    EXPECT_TRUE(canvas.Ink(0, 4 * p + l, 200, 5 * p + l));
    EXPECT_FALSE(canvas.Ink(0, 5 * p + l, 200, 120));
}

// A line longer than the box breaks after a blank and never draws past the
// box's right edge or below its bottom.
TEST(DrawWrappedTest, LongTextStaysInsideTheBox) {
    TextCanvas canvas(200, 120);
    const int p = canvas.Pitch(), l = canvas.Leading();
    DrawWrapped(canvas.Dc(), L"WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW", RECT{10, 0, 90, 2 * p});
    EXPECT_TRUE(canvas.Ink(10, l, 90, p));
    EXPECT_TRUE(canvas.Ink(10, p + l, 90, 2 * p));
    EXPECT_FALSE(canvas.Ink(90, 0, 200, 120));
    EXPECT_FALSE(canvas.Ink(0, 0, 10, 120));
    EXPECT_FALSE(canvas.Ink(0, 2 * p, 200, 120));
}

}  // namespace
}  // namespace setup::ui::peers
