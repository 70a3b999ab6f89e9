// Format choice by extension, the common bounds, and loading through the OS
// seam. The decoders themselves live in picture_*.cpp.
#include "ui/picture.h"

#include <new>
#include <string_view>

#include "platform/errors.h"
#include "platform/os.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "ui/picture_decoders.h"

namespace setup::ui {

namespace {

// Larger files are not read at all: no picture this program shows comes near,
// and reading a huge file whole could exhaust a 32-bit process.
constexpr int64_t kMaxPictureFileBytes = 128LL * 1024 * 1024;

}  // namespace

std::optional<PictureFormat> PictureFormatOf(const std::string& path) {
    // The extension follows the last dot of the last path element.
    size_t nameStart = path.find_last_of("\\/:");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return std::nullopt;
    std::string extension = AsciiLowerCase(std::string_view(path).substr(dot + 1));
    if (extension == "bmp") return PictureFormat::Bmp;
    if (extension == "ico") return PictureFormat::Ico;
    if (extension == "wmf") return PictureFormat::Wmf;
    if (extension == "emf") return PictureFormat::Emf;
    if (extension == "jpg" || extension == "jpeg") return PictureFormat::Jpeg;
    if (extension == "png") return PictureFormat::Png;
    return std::nullopt;
}

void CheckPictureBounds(int64_t width, int64_t height, const char* formatName) {
    if (width <= 0 || height <= 0) {
        ThrowDamaged(std::string("The ") + formatName + " picture has no pixels");
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height * 4 > kMaxPictureBytes) {
        ThrowDamaged(std::string("The ") + formatName + " picture of " + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels is too large");
    }
}

Picture DecodePicture(PictureFormat format, const std::string& bytes) {
    Picture picture;
    picture.Format = format;
    switch (format) {
        case PictureFormat::Png:
            DecodePng(bytes, picture);
            break;
        case PictureFormat::Jpeg:
            DecodeJpeg(bytes, picture);
            break;
        case PictureFormat::Bmp:
            DecodeBmp(bytes, picture);
            break;
        case PictureFormat::Ico:
            MeasureIco(bytes, picture);
            break;
        case PictureFormat::Wmf:
            MeasureWmf(bytes, picture);
            break;
        case PictureFormat::Emf:
            MeasureEmf(bytes, picture);
            break;
    }
    if (format == PictureFormat::Ico || format == PictureFormat::Wmf || format == PictureFormat::Emf) {
        picture.Bytes = bytes;
    }
    return picture;
}

std::optional<PictureFormat> PictureFormatOfContent(const std::string& bytes) {
    using namespace std::string_view_literals;
    auto starts = [&](std::string_view magic) {
        return bytes.size() >= magic.size() && bytes.compare(0, magic.size(), magic) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n"sv)) return PictureFormat::Png;
    if (starts("\xFF\xD8\xFF"sv)) return PictureFormat::Jpeg;
    if (starts("BM"sv)) return PictureFormat::Bmp;
    if (starts("\x00\x00\x01\x00"sv)) return PictureFormat::Ico;
    if (starts("\xD7\xCD\xC6\x9A"sv) || starts("\x01\x00\x09\x00"sv) || starts("\x02\x00\x09\x00"sv)) {
        return PictureFormat::Wmf;
    }
    if (bytes.size() >= 44 && starts("\x01\x00\x00\x00"sv) && bytes.compare(40, 4, " EMF") == 0) {
        return PictureFormat::Emf;
    }
    return std::nullopt;
}

namespace {

// Reads and decodes a picture file; the format comes from the name, or from
// the content when byContent is set. Every way this can fail ends the same:
// no picture, and the window goes on. Only the failures of reading and
// decoding are caught.
std::shared_ptr<const Picture> Load(const std::string& path, bool byContent) {
    std::optional<PictureFormat> format = PictureFormatOf(path);
    if (!format && !byContent) return nullptr;
    try {
        if (!OS().Files().FileExists(path)) return nullptr;
        std::unique_ptr<Stream> file = OS().Files().Open(path, OpenMode::Read);
        int64_t size = file->Size();
        if (size > kMaxPictureFileBytes) return nullptr;
        std::string bytes = file->ReadBytes(static_cast<size_t>(size), "picture");
        if (byContent) format = PictureFormatOfContent(bytes);
        if (!format) return nullptr;
        return std::make_shared<const Picture>(DecodePicture(*format, bytes));
    } catch (const Error& error) {
        if (error.Kind() == ErrorKind::SilentAbort) throw;
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

std::shared_ptr<const Picture> LoadPicture(const std::string& path) { return Load(path, false); }

std::shared_ptr<const Picture> LoadPictureByContent(const std::string& path) { return Load(path, true); }

}  // namespace setup::ui
