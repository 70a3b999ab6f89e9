// PNG through libpng's simplified reading interface. libpng reports errors by
// longjmp; the simplified interface catches them inside libpng (its own
// setjmp) and returns a failure with a message, so no jump ever crosses a C++
// frame here and every failure becomes one Damaged error.
#include <png.h>

#include <cstring>

#include "platform/errors.h"
#include "ui/picture_decoders.h"

namespace setup::ui {

namespace {

// Frees libpng's state however the decoding ends.
class PngImage {
public:
    PngImage() {
        std::memset(&image_, 0, sizeof(image_));
        image_.version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(&image_); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    png_image& Get() { return image_; }

    [[noreturn]] void Fail() {
        std::string message = std::string("The PNG picture is damaged: ") + image_.message;
        ThrowDamaged(message);
    }

private:
    png_image image_;
};

}  // namespace

void DecodePng(const std::string& bytes, Picture& picture) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < sizeof(kSignature) || std::memcmp(bytes.data(), kSignature, sizeof(kSignature)) != 0) {
        ThrowDamaged("The file is not a PNG picture");
    }
    PngImage png;
    png_image& image = png.Get();
    // Reads the signature and the chunks up to the image data only: nothing
    // the size of the picture is allocated yet.
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) png.Fail();
    CheckPictureBounds(image.width, image.height, "PNG");

    // Sixteen-bit samples without colour-space chunks are taken as sRGB, like
    // eight-bit ones, so that both show the same; libpng would otherwise take
    // them as linear and show them much lighter.
    image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) png.Fail();

    // libpng wrote R, G, B, A bytes; the picture holds 0xAARRGGBB values.
    unsigned char* raw = reinterpret_cast<unsigned char*>(pixels.data());
    for (size_t i = 0; i < pixels.size(); ++i) {
        const unsigned char* p = raw + i * 4;
        pixels[i] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    picture.Width = static_cast<int>(image.width);
    picture.Height = static_cast<int>(image.height);
    picture.Pixels = std::move(pixels);
}

}  // namespace setup::ui
