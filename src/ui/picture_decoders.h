// The decoders and header readers behind DecodePicture, one per format family,
// and the bounds every decoder checks before it allocates pixels. Internal to
// the toolkit: the Win32 painter reads icon directories with IconEntries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/picture.h"

namespace setup::ui {

// Raises Damaged unless width and height are positive, neither exceeds
// kMaxPictureSide and width × height × 4 bytes stays within kMaxPictureBytes.
void CheckPictureBounds(int64_t width, int64_t height, const char* formatName);

// Each fills width, height and pixels (top-down 0xAARRGGBB) or raises Damaged.
void DecodePng(const std::string& bytes, Picture& picture);
void DecodeJpeg(const std::string& bytes, Picture& picture);
void DecodeBmp(const std::string& bytes, Picture& picture);

// Each checks the header and fills width and height (0 × 0 when the file does
// not say its size: a metafile without placeable header); raises Damaged.
void MeasureIco(const std::string& bytes, Picture& picture);
void MeasureWmf(const std::string& bytes, Picture& picture);
void MeasureEmf(const std::string& bytes, Picture& picture);

// One image of an icon file as its directory describes it; offset and size
// lie within the file (checked).
struct IconEntry {
    int Width = 0;   // 1..256
    int Height = 0;  // 1..256
    int BitCount = 0;
    size_t Offset = 0;
    size_t Size = 0;
};

// The directory of an icon file; raises Damaged for anything but an icon file
// with at least one image whose bytes lie within the file.
std::vector<IconEntry> IconEntries(const std::string& bytes);

// The size of a placeable metafile header (it precedes the standard header).
constexpr size_t kPlaceableWmfHeaderSize = 22;
constexpr uint32_t kPlaceableWmfKey = 0x9AC6CDD7u;

}  // namespace setup::ui
