// DrawPicture on a memory device context: placement, clipping, stretching,
// transparency and the system-drawn formats, read back from the bitmap.
#include "ui/win32/win32_picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace setup::ui {
namespace {

constexpr uint32_t kUntouched = 0x123456;

class Canvas {
public:
    Canvas(int width, int height) : width_(width) {
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
        for (int i = 0; i < width * height; ++i) bits_[i] = kUntouched;
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() { return dc_; }
    uint32_t At(int x, int y) {
        GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }

private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

Picture Load(const char* name, PictureFormat format) {
    std::ifstream in(std::string(PICTURE_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return DecodePicture(format, bytes.str());
}

bool Near(uint32_t got, uint32_t want, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((want >> shift) & 0xFF)) > tolerance) {
            return false;
        }
    }
    return true;
}

// Unscaled: the top-left corner at target's, the rest clipped to target.
TEST(DrawPictureTest, UnscaledPixelsStartAtTheCornerAndAreClipped) {
    Canvas canvas(8, 8);
    RECT target{1, 1, 3, 3};
    DrawPicture(canvas.Dc(), target, Load("rgb24.bmp", PictureFormat::Bmp), false);
    EXPECT_EQ(canvas.At(1, 1), 0xFF0000u);
    EXPECT_EQ(canvas.At(2, 1), 0x00FF00u);
    EXPECT_EQ(canvas.At(1, 2), 0xFFFFFFu);
    EXPECT_EQ(canvas.At(2, 2), 0x000000u);
    EXPECT_EQ(canvas.At(3, 1), kUntouched);
    EXPECT_EQ(canvas.At(1, 3), kUntouched);
    EXPECT_EQ(canvas.At(0, 0), kUntouched);
}

// On a screen of another DPI a picture's own size is scaled: 3 x 2 pixels
// cover 6 x 4 at 192 dpi, a 32-pixel icon 48 at 144 dpi; the rest of the
// target stays as it was.
TEST(DrawPictureTest, UnstretchedPicturesAreScaledByTheDpi) {
    {
        Canvas canvas(8, 8);
        DrawPicture(canvas.Dc(), RECT{0, 0, 8, 8}, Load("rgb24.bmp", PictureFormat::Bmp), false, 192);
        EXPECT_TRUE(Near(canvas.At(0, 0), 0xFF0000u, 64)) << std::hex << canvas.At(0, 0);
        EXPECT_TRUE(Near(canvas.At(5, 0), 0x0000FFu, 64)) << std::hex << canvas.At(5, 0);
        EXPECT_EQ(canvas.At(6, 0), kUntouched);
        EXPECT_EQ(canvas.At(0, 4), kUntouched);
    }
    {
        Canvas canvas(60, 60);
        DrawPicture(canvas.Dc(), RECT{0, 0, 60, 60}, Load("icon.ico", PictureFormat::Ico), false, 144);
        EXPECT_EQ(canvas.At(47, 47), 0x0000FFu);
        EXPECT_EQ(canvas.At(48, 48), kUntouched);
    }
}

TEST(DrawPictureTest, StretchedPixelsFillTheTarget) {
    Canvas canvas(8, 8);
    RECT target{0, 0, 6, 4};
    DrawPicture(canvas.Dc(), target, Load("rgb.png", PictureFormat::Png), true);
    EXPECT_TRUE(Near(canvas.At(0, 0), 0xFF0000u, 64)) << std::hex << canvas.At(0, 0);
    EXPECT_TRUE(Near(canvas.At(5, 0), 0x0000FFu, 64)) << std::hex << canvas.At(5, 0);
    EXPECT_TRUE(Near(canvas.At(5, 3), 0x808000u, 64)) << std::hex << canvas.At(5, 3);
    EXPECT_EQ(canvas.At(6, 0), kUntouched);
    EXPECT_EQ(canvas.At(0, 4), kUntouched);
}

TEST(DrawPictureTest, TransparentPixelsShowTheButtonFace) {
    Canvas canvas(4, 4);
    RECT target{0, 0, 4, 4};
    DrawPicture(canvas.Dc(), target, Load("rgba.png", PictureFormat::Png), false);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t faceRgb = uint32_t{GetRValue(face)} << 16 | uint32_t{GetGValue(face)} << 8 | GetBValue(face);
    EXPECT_EQ(canvas.At(0, 0), 0xFF0000u);
    EXPECT_EQ(canvas.At(2, 0), faceRgb);
}

TEST(DrawPictureTest, IconsAndMetafilesAreDrawnBySystem) {
    {
        Canvas canvas(40, 40);
        DrawPicture(canvas.Dc(), RECT{0, 0, 8, 8}, Load("icon.ico", PictureFormat::Ico), false);
        EXPECT_EQ(canvas.At(0, 0), 0x0000FFu);  // the 32 x 32 blue image, clipped
        EXPECT_EQ(canvas.At(7, 7), 0x0000FFu);
        EXPECT_EQ(canvas.At(8, 8), kUntouched);
    }
    {
        Canvas canvas(100, 50);
        DrawPicture(canvas.Dc(), RECT{0, 0, 100, 50}, Load("bounds.emf", PictureFormat::Emf), false);
        EXPECT_EQ(canvas.At(50, 25), 0xFFFFFFu);  // inside the white rectangle
        EXPECT_EQ(canvas.At(3, 3), kUntouched);
    }
    {
        Canvas canvas(96, 48);
        DrawPicture(canvas.Dc(), RECT{0, 0, 96, 48}, Load("placeable.wmf", PictureFormat::Wmf), false);
        EXPECT_EQ(canvas.At(48, 24), 0xFFFFFFu);
        EXPECT_EQ(canvas.At(0, 0), kUntouched);
    }
}

TEST(DrawPictureTest, BytesTheSystemRefusesDrawNothing) {
    Canvas canvas(8, 8);
    Picture bogus;
    bogus.Format = PictureFormat::Ico;
    bogus.Bytes = "not an icon";
    DrawPicture(canvas.Dc(), RECT{0, 0, 8, 8}, bogus, true);
    bogus.Format = PictureFormat::Emf;
    DrawPicture(canvas.Dc(), RECT{0, 0, 8, 8}, bogus, true);
    bogus.Format = PictureFormat::Png;  // no pixels
    bogus.Width = 5;
    DrawPicture(canvas.Dc(), RECT{0, 0, 8, 8}, bogus, true);
    EXPECT_EQ(canvas.At(0, 0), kUntouched);
}

}  // namespace
}  // namespace setup::ui
