#include "ui/win32/win32_picture.h"

#include <vector>

#include "platform/errors.h"
#include "ui/picture_decoders.h"

namespace setup::ui {

namespace {

// Keeps drawing inside target; the device context's clipping is restored after.
class ClipTo {
public:
    ClipTo(HDC dc, const RECT& target) : dc_(dc), saved_(SaveDC(dc)) {
        IntersectClipRect(dc, target.left, target.top, target.right, target.bottom);
    }
    ~ClipTo() { RestoreDC(dc_, saved_); }
    ClipTo(const ClipTo&) = delete;
    ClipTo& operator=(const ClipTo&) = delete;

private:
    HDC dc_;
    int saved_;
};

// Pixels blended over the button face where they are not opaque; a DIB has no
// alpha that StretchDIBits would honour.
std::vector<uint32_t> OverButtonFace(const std::vector<uint32_t>& pixels) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t faceRed = GetRValue(face), faceGreen = GetGValue(face), faceBlue = GetBValue(face);
    std::vector<uint32_t> out(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t p = pixels[i];
        const uint32_t a = p >> 24;
        auto mix = [a](uint32_t value, uint32_t under) { return (value * a + under * (255 - a) + 127) / 255; };
        out[i] = mix((p >> 16) & 0xFF, faceRed) << 16 | mix((p >> 8) & 0xFF, faceGreen) << 8 | mix(p & 0xFF, faceBlue);
    }
    return out;
}

void DrawPixels(HDC dc, const RECT& target, const Picture& picture, bool stretch, int dpi) {
    if (picture.Width <= 0 || picture.Height <= 0 ||
        picture.Pixels.size() != static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height)) {
        return;
    }
    bool opaque = true;
    for (uint32_t p : picture.Pixels) {
        if ((p >> 24) != 0xFF) {
            opaque = false;
            break;
        }
    }
    std::vector<uint32_t> blended;
    if (!opaque) blended = OverButtonFace(picture.Pixels);
    const uint32_t* bits = opaque ? picture.Pixels.data() : blended.data();

    // 0xAARRGGBB values in memory are the B, G, R, X bytes of a 32-bit DIB;
    // a negative height makes it top-down, as the picture's rows are.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.Width;
    info.bmiHeader.biHeight = -picture.Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    ClipTo clip(dc, target);
    const int width = stretch ? target.right - target.left : MulDiv(picture.Width, dpi, 96);
    const int height = stretch ? target.bottom - target.top : MulDiv(picture.Height, dpi, 96);
    if (width != picture.Width || height != picture.Height) {
        // Resampled smoothly rather than by dropping or repeating pixels.
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
    }
    StretchDIBits(dc, target.left, target.top, width, height, 0, 0, picture.Width, picture.Height, bits, &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

void DrawIconPicture(HDC dc, const RECT& target, const Picture& picture, bool stretch, int dpi) {
    std::vector<IconEntry> entries = IconEntries(picture.Bytes);
    // The largest image, and of those the one with the most colours.
    const IconEntry* best = &entries.front();
    for (const IconEntry& entry : entries) {
        const int area = entry.Width * entry.Height, bestArea = best->Width * best->Height;
        if (area > bestArea || (area == bestArea && entry.BitCount > best->BitCount)) best = &entry;
    }
    const int width = stretch ? target.right - target.left : MulDiv(best->Width, dpi, 96);
    const int height = stretch ? target.bottom - target.top : MulDiv(best->Height, dpi, 96);
    if (width <= 0 || height <= 0) return;
    // The resource bytes are only read.
    BYTE* resource = reinterpret_cast<BYTE*>(const_cast<char*>(picture.Bytes.data())) + best->Offset;
    HICON icon = CreateIconFromResourceEx(resource, static_cast<DWORD>(best->Size), TRUE, 0x00030000, width, height,
                                          LR_DEFAULTCOLOR);
    // An image the system cannot read is not drawn.
    if (icon == nullptr) return;
    {
        ClipTo clip(dc, target);
        DrawIconEx(dc, target.left, target.top, icon, width, height, 0, nullptr, DI_NORMAL);
    }
    DestroyIcon(icon);
}

void PlayMetafile(HDC dc, const RECT& target, const Picture& picture, bool stretch, int dpi, HENHMETAFILE metafile) {
    // A metafile the system cannot read is not drawn.
    if (metafile == nullptr) return;
    RECT frame = target;
    if (!stretch && picture.Width > 0 && picture.Height > 0) {
        frame.right = target.left + MulDiv(picture.Width, dpi, 96);
        frame.bottom = target.top + MulDiv(picture.Height, dpi, 96);
    }
    {
        ClipTo clip(dc, target);
        PlayEnhMetaFile(dc, metafile, &frame);
    }
    DeleteEnhMetaFile(metafile);
}

void DrawEmf(HDC dc, const RECT& target, const Picture& picture, bool stretch, int dpi) {
    HENHMETAFILE metafile = SetEnhMetaFileBits(static_cast<UINT>(picture.Bytes.size()),
                                               reinterpret_cast<const BYTE*>(picture.Bytes.data()));
    PlayMetafile(dc, target, picture, stretch, dpi, metafile);
}

void DrawWmf(HDC dc, const RECT& target, const Picture& picture, bool stretch, int dpi) {
    const std::string& bytes = picture.Bytes;
    const bool placeable = bytes.size() >= kPlaceableWmfHeaderSize &&
                           static_cast<unsigned char>(bytes[0]) == (kPlaceableWmfKey & 0xFF) &&
                           static_cast<unsigned char>(bytes[3]) == (kPlaceableWmfKey >> 24);
    const size_t skip = placeable ? kPlaceableWmfHeaderSize : 0;
    // The placeable header's size, in hundredths of a millimetre, tells the
    // system the picture's proportions; without it the system guesses.
    METAFILEPICT size{};
    size.mm = MM_ANISOTROPIC;
    size.xExt = MulDiv(picture.Width, 2540, 96);
    size.yExt = MulDiv(picture.Height, 2540, 96);
    const bool sized = picture.Width > 0 && picture.Height > 0;
    HENHMETAFILE metafile =
        SetWinMetaFileBits(static_cast<UINT>(bytes.size() - skip), reinterpret_cast<const BYTE*>(bytes.data()) + skip,
                           nullptr, sized ? &size : nullptr);
    PlayMetafile(dc, target, picture, stretch, dpi, metafile);
}

}  // namespace

void DrawPicture(HDC dc, const RECT& target, const Picture& picture, bool stretch, int dpi) {
    if (target.right <= target.left || target.bottom <= target.top) return;
    // Painting happens inside window procedures, which no exception may
    // leave; a picture decoded by DecodePicture has passed these checks.
    try {
        switch (picture.Format) {
            case PictureFormat::Bmp:
            case PictureFormat::Jpeg:
            case PictureFormat::Png:
                DrawPixels(dc, target, picture, stretch, dpi);
                break;
            case PictureFormat::Ico:
                DrawIconPicture(dc, target, picture, stretch, dpi);
                break;
            case PictureFormat::Emf:
                DrawEmf(dc, target, picture, stretch, dpi);
                break;
            case PictureFormat::Wmf:
                DrawWmf(dc, target, picture, stretch, dpi);
                break;
        }
    } catch (const Error&) {
        // Bytes that were never decoded (a Picture built by hand) draw nothing.
    } catch (const std::bad_alloc&) {
        // Blending needs a copy of the pixels; without memory nothing is drawn.
    }
}

}  // namespace setup::ui
