// Windows bitmaps decoded by our own code: the core and info headers and their
// later versions; 1, 4 and 8 bits with a colour table, uncompressed or
// run-length encoded (8 and 4 bits); 16 and 32 bits with the default or given
// bit masks; 24 bits. Bottom-up and top-down rows. Every offset and length of
// the file is checked against the bytes there are before it is used.
#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "ui/picture_decoders.h"

namespace setup::ui {

namespace {

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

constexpr size_t kFileHeaderSize = 14;

uint16_t U16At(const std::string& bytes, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                 static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

uint32_t U32At(const std::string& bytes, size_t offset) {
    return U16At(bytes, offset) | static_cast<uint32_t>(U16At(bytes, offset + 2)) << 16;
}

[[noreturn]] void Damaged(const char* what) { ThrowDamaged(std::string("The BMP picture is damaged: ") + what); }

// One channel of a bit-field pixel: where it sits and how to widen it to 8 bits.
struct Channel {
    uint32_t Mask = 0;
    int Shift = 0;
    uint64_t Maximum = 0;  // the largest value of the field, 0 for no field

    explicit Channel(uint32_t m = 0) : Mask(m) {
        if (Mask == 0) return;
        while (((Mask >> Shift) & 1) == 0) ++Shift;
        Maximum = static_cast<uint64_t>(Mask) >> Shift;
    }
    uint32_t Of(uint32_t value, uint32_t absent) const {
        if (Maximum == 0) return absent;
        // In 64 bits: a channel of up to 32 bits times 255 overflows 32.
        return static_cast<uint32_t>(static_cast<uint64_t>((value & Mask) >> Shift) * 255 / Maximum);
    }
};

struct BmpInfo {
    int64_t Width = 0;
    int64_t Height = 0;  // positive
    bool TopDown = false;
    int BitCount = 0;
    uint32_t Compression = kBiRgb;
    size_t PixelOffset = 0;
    std::vector<uint32_t> Palette;  // 0xFFRRGGBB
    Channel Red, Green, Blue, Alpha;
};

BmpInfo ReadHeaders(const std::string& bytes) {
    if (bytes.size() < kFileHeaderSize + 4 || bytes[0] != 'B' || bytes[1] != 'M') {
        ThrowDamaged("The file is not a BMP picture");
    }
    BmpInfo info;
    info.PixelOffset = U32At(bytes, 10);
    const uint32_t headerSize = U32At(bytes, kFileHeaderSize);
    const bool core = headerSize == 12;
    if (!core && (headerSize < 40 || headerSize > 1024)) Damaged("unknown header");
    if (bytes.size() - kFileHeaderSize < headerSize) Damaged("the header is cut short");
    const size_t h = kFileHeaderSize;
    uint32_t colorsUsed = 0;
    if (core) {
        info.Width = U16At(bytes, h + 4);
        info.Height = U16At(bytes, h + 6);
        info.BitCount = U16At(bytes, h + 10);
    } else {
        info.Width = static_cast<int32_t>(U32At(bytes, h + 4));
        int64_t height = static_cast<int32_t>(U32At(bytes, h + 8));
        info.TopDown = height < 0;
        info.Height = height < 0 ? -height : height;
        info.BitCount = U16At(bytes, h + 14);
        info.Compression = U32At(bytes, h + 16);
        colorsUsed = U32At(bytes, h + 32);
    }
    CheckPictureBounds(info.Width, info.Height, "BMP");

    size_t tableOffset = h + headerSize;
    switch (info.Compression) {
        case kBiRgb:
            if (info.BitCount != 1 && info.BitCount != 4 && info.BitCount != 8 && info.BitCount != 16 &&
                info.BitCount != 24 && info.BitCount != 32) {
                Damaged("unsupported bit count");
            }
            break;
        case kBiRle8:
        case kBiRle4:
            if (info.BitCount != (info.Compression == kBiRle8 ? 8 : 4)) Damaged("run-length bit count");
            if (info.TopDown) Damaged("run-length encoding with top-down rows");
            break;
        case kBiBitfields:
        case kBiAlphaBitfields: {
            if (info.BitCount != 16 && info.BitCount != 32) Damaged("bit masks with an unsupported bit count");
            const size_t maskCount = info.Compression == kBiAlphaBitfields ? 4 : 3;
            // Info headers of 40 bytes are followed by the masks; later
            // versions hold them (and the alpha mask) inside the header.
            size_t masksAt = h + 40;
            size_t available = headerSize >= 56 ? 4 : headerSize >= 52 ? 3 : maskCount;
            if (headerSize == 40) tableOffset += 4 * maskCount;
            if (bytes.size() < masksAt + 4 * available) Damaged("the bit masks are cut short");
            info.Red = Channel(U32At(bytes, masksAt));
            info.Green = Channel(U32At(bytes, masksAt + 4));
            info.Blue = Channel(U32At(bytes, masksAt + 8));
            if (available == 4) info.Alpha = Channel(U32At(bytes, masksAt + 12));
            break;
        }
        default:
            Damaged("unsupported compression");
    }
    if (info.Compression == kBiRgb && info.BitCount == 16) {
        info.Red = Channel(0x7C00);
        info.Green = Channel(0x03E0);
        info.Blue = Channel(0x001F);
    } else if (info.Compression == kBiRgb && info.BitCount == 32) {
        // The fourth byte of a plain 32-bit pixel is not alpha.
        info.Red = Channel(0x00FF0000);
        info.Green = Channel(0x0000FF00);
        info.Blue = Channel(0x000000FF);
    }

    if (info.BitCount <= 8) {
        const size_t maximum = size_t{1} << info.BitCount;
        size_t count = colorsUsed == 0 || colorsUsed > maximum ? maximum : colorsUsed;
        const size_t entrySize = core ? 3 : 4;
        if (tableOffset > bytes.size() || (bytes.size() - tableOffset) / entrySize < count) {
            Damaged("the colour table is cut short");
        }
        info.Palette.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* e = reinterpret_cast<const unsigned char*>(bytes.data()) + tableOffset + i * entrySize;
            info.Palette[i] = 0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
        }
    }
    if (info.PixelOffset >= bytes.size()) Damaged("the pixels lie beyond the end of the file");
    return info;
}

uint32_t PaletteColor(const BmpInfo& info, unsigned index) {
    // An index past the table shows black, as the system draws it.
    return index < info.Palette.size() ? info.Palette[index] : 0xFF000000u;
}

void DecodeUncompressed(const std::string& bytes, const BmpInfo& info, std::vector<uint32_t>& pixels) {
    const int64_t rowBits = info.Width * info.BitCount;
    const int64_t stride = (rowBits + 31) / 32 * 4;
    // The last row may lack its padding; nothing less is accepted.
    const int64_t needed = stride * (info.Height - 1) + (rowBits + 7) / 8;
    if (needed > static_cast<int64_t>(bytes.size() - info.PixelOffset)) Damaged("the pixels are cut short");

    const unsigned char* base = reinterpret_cast<const unsigned char*>(bytes.data()) + info.PixelOffset;
    const size_t width = static_cast<size_t>(info.Width);
    for (int64_t fileRow = 0; fileRow < info.Height; ++fileRow) {
        const unsigned char* row = base + fileRow * stride;
        const int64_t y = info.TopDown ? fileRow : info.Height - 1 - fileRow;
        uint32_t* out = pixels.data() + static_cast<size_t>(y) * width;
        for (size_t x = 0; x < width; ++x) {
            switch (info.BitCount) {
                case 1:
                    out[x] = PaletteColor(info, (row[x / 8] >> (7 - x % 8)) & 1);
                    break;
                case 4:
                    out[x] = PaletteColor(info, (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F);
                    break;
                case 8:
                    out[x] = PaletteColor(info, row[x]);
                    break;
                case 24: {
                    const unsigned char* p = row + x * 3;
                    out[x] = 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
                    break;
                }
                default: {  // 16 and 32 bits through the masks
                    uint32_t value = info.BitCount == 16
                                         ? uint32_t{row[x * 2]} | uint32_t{row[x * 2 + 1]} << 8
                                         : uint32_t{row[x * 4]} | uint32_t{row[x * 4 + 1]} << 8 |
                                               uint32_t{row[x * 4 + 2]} << 16 | uint32_t{row[x * 4 + 3]} << 24;
                    out[x] = info.Alpha.Of(value, 255) << 24 | info.Red.Of(value, 0) << 16 |
                             info.Green.Of(value, 0) << 8 | info.Blue.Of(value, 0);
                    break;
                }
            }
        }
    }
}

// Run-length encoded rows, bottom-up. Pixels the runs skip keep colour 0 of
// the table; runs past the right edge are clipped. Data that ends before the
// end-of-bitmap code is damage.
void DecodeRunLength(const std::string& bytes, const BmpInfo& info, std::vector<uint32_t>& pixels) {
    const bool fourBits = info.Compression == kBiRle4;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t end = bytes.size();
    size_t at = info.PixelOffset;
    int64_t x = 0;
    int64_t row = 0;  // counted from the bottom
    std::fill(pixels.begin(), pixels.end(), PaletteColor(info, 0));
    auto put = [&](unsigned index) {
        if (x < info.Width && row < info.Height) {
            pixels[static_cast<size_t>((info.Height - 1 - row) * info.Width + x)] = PaletteColor(info, index);
        }
        ++x;
    };
    for (;;) {
        if (end - at < 2) Damaged("the run-length data is cut short");
        const unsigned count = data[at];
        const unsigned value = data[at + 1];
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) put(fourBits ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
        } else if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (end - at < 2) Damaged("the run-length data is cut short");
            x += data[at];
            row += data[at + 1];
            at += 2;
        } else {
            size_t length = fourBits ? (value + 1) / 2 : value;
            length += length % 2;  // absolute runs are padded to 16 bits
            if (end - at < length) Damaged("the run-length data is cut short");
            for (unsigned i = 0; i < value; ++i) {
                put(fourBits ? (i % 2 == 0 ? data[at + i / 2] >> 4 : data[at + i / 2] & 0x0F) : data[at + i]);
            }
            at += length;
        }
        // Nothing beyond the top row can be drawn; the rest is not read.
        if (row >= info.Height) return;
    }
}

}  // namespace

void DecodeBmp(const std::string& bytes, Picture& picture) {
    BmpInfo info = ReadHeaders(bytes);
    std::vector<uint32_t> pixels(static_cast<size_t>(info.Width * info.Height));
    if (info.Compression == kBiRle8 || info.Compression == kBiRle4) {
        DecodeRunLength(bytes, info, pixels);
    } else {
        DecodeUncompressed(bytes, info, pixels);
    }
    picture.Width = static_cast<int>(info.Width);
    picture.Height = static_cast<int>(info.Height);
    picture.Pixels = std::move(pixels);
}

}  // namespace setup::ui
