// Pictures named by a project (page pictures, title bands, the background
// window): the format is chosen by the file-name extension and checked
// against the content, then decoded. PNG and JPEG are decoded to pixels on
// every platform; BMP is decoded to pixels too; icons and metafiles keep their
// bytes for the platform to draw and are measured from their headers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace setup::ui {

enum class PictureFormat { Bmp, Ico, Wmf, Emf, Jpeg, Png };

// Decoded pictures larger than this are refused before anything is allocated.
constexpr int kMaxPictureSide = 8192;
constexpr int64_t kMaxPictureBytes = 64LL * 1024 * 1024;

struct Picture {
    PictureFormat Format = PictureFormat::Bmp;
    int Width = 0;   // pixels
    int Height = 0;  // pixels
    // Top-down rows of 0xAARRGGBB for Bmp, Jpeg and Png; empty for Ico, Wmf
    // and Emf, which the platform draws from `bytes`.
    std::vector<uint32_t> Pixels;
    std::string Bytes;  // the file's bytes (kept for Ico, Wmf, Emf)
};

// "bmp", "ico", "wmf", "emf", "jpg", "jpeg", "png", compared without regard
// to ASCII case; no value for any other extension.
std::optional<PictureFormat> PictureFormatOf(const std::string& path);

// The name of the format as transcripts show it ("PNG", "JPEG", ...). Inline:
// the toolkit names formats without linking the decoders.
inline const char* PictureFormatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::Bmp:
            return "BMP";
        case PictureFormat::Ico:
            return "ICO";
        case PictureFormat::Wmf:
            return "WMF";
        case PictureFormat::Emf:
            return "EMF";
        case PictureFormat::Jpeg:
            return "JPEG";
        case PictureFormat::Png:
            return "PNG";
    }
    return "?";
}

// Decodes the bytes as the format. Raises a Damaged error when the content is
// not of that format or is damaged, and when the picture exceeds the bounds
// above; never reads outside `bytes`.
Picture DecodePicture(PictureFormat format, const std::string& bytes);

// Loads a picture file of the machine (a GBK Windows path) through the OS
// seam. A missing file, an unknown extension or content that cannot be
// decoded gives no picture: pages then show none, and nothing is reported.
std::shared_ptr<const Picture> LoadPicture(const std::string& path);

// The format the bytes start with, whatever the file is called; no value for
// content of no known picture format.
std::optional<PictureFormat> PictureFormatOfContent(const std::string& bytes);
// As LoadPicture, with the format taken from the content instead of the name
// (the background window shows whatever picture its setting names).
std::shared_ptr<const Picture> LoadPictureByContent(const std::string& path);

}  // namespace setup::ui
