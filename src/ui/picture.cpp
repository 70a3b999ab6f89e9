// Placeholder until the decoders land: measures PNG pictures from their
// header only.
#include "ui/picture.h"

#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup::ui {

std::optional<PictureFormat> PictureFormatOf(const std::string& path) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    std::string ext = AsciiLowerCase(path.substr(dot + 1));
    if (ext == "bmp") return PictureFormat::Bmp;
    if (ext == "ico") return PictureFormat::Ico;
    if (ext == "wmf") return PictureFormat::Wmf;
    if (ext == "emf") return PictureFormat::Emf;
    if (ext == "jpg" || ext == "jpeg") return PictureFormat::Jpeg;
    if (ext == "png") return PictureFormat::Png;
    return std::nullopt;
}

const char* PictureFormatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::Bmp: return "BMP";
        case PictureFormat::Ico: return "ICO";
        case PictureFormat::Wmf: return "WMF";
        case PictureFormat::Emf: return "EMF";
        case PictureFormat::Jpeg: return "JPEG";
        case PictureFormat::Png: return "PNG";
    }
    return "";
}

Picture DecodePicture(PictureFormat format, const std::string& bytes) {
    Picture picture;
    picture.format = format;
    if (format == PictureFormat::Png) {
        if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) ThrowDamaged("not a PNG picture");
        auto be = [&](size_t at) {
            return static_cast<int>((static_cast<uint8_t>(bytes[at]) << 24) | (static_cast<uint8_t>(bytes[at + 1]) << 16) |
                                    (static_cast<uint8_t>(bytes[at + 2]) << 8) | static_cast<uint8_t>(bytes[at + 3]));
        };
        picture.width = be(16);
        picture.height = be(20);
    }
    picture.bytes = bytes;
    return picture;
}

std::shared_ptr<const Picture> LoadPicture(const std::string& path) {
    std::optional<PictureFormat> format = PictureFormatOf(path);
    if (!format || !OS().Files().FileExists(path)) return nullptr;
    try {
        std::unique_ptr<Stream> file = OS().Files().Open(path, OpenMode::Read);
        std::string bytes = file->ReadBytes(static_cast<size_t>(file->Size()));
        return std::make_shared<const Picture>(DecodePicture(*format, bytes));
    } catch (const Error&) {
        return nullptr;
    }
}

}  // namespace setup::ui
