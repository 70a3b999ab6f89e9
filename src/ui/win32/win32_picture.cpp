#include "ui/win32/win32_picture.h"

namespace setup::ui {

void DrawPicture(HDC dc, const RECT& target, const Picture& picture, bool stretch) {
    if (picture.pixels.empty() || picture.width <= 0 || picture.height <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int width = stretch ? target.right - target.left : picture.width;
    int height = stretch ? target.bottom - target.top : picture.height;
    int saved = SaveDC(dc);
    IntersectClipRect(dc, target.left, target.top, target.right, target.bottom);
    SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, target.left, target.top, width, height, 0, 0, picture.width, picture.height,
                  picture.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    RestoreDC(dc, saved);
}

}  // namespace setup::ui
