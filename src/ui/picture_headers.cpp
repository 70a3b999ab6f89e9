// Icons and metafiles are drawn by the platform from their bytes; here they
// are only recognised and measured from their headers, with every offset and
// length checked against the file.
#include <limits>

#include "platform/errors.h"
#include "ui/picture_decoders.h"

namespace setup::ui {

namespace {

uint16_t U16At(const std::string& bytes, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                 static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

uint32_t U32At(const std::string& bytes, size_t offset) {
    return U16At(bytes, offset) | static_cast<uint32_t>(U16At(bytes, offset + 2)) << 16;
}

int32_t I32At(const std::string& bytes, size_t offset) { return static_cast<int32_t>(U32At(bytes, offset)); }
int16_t I16At(const std::string& bytes, size_t offset) { return static_cast<int16_t>(U16At(bytes, offset)); }

constexpr size_t kIconDirSize = 6;
constexpr size_t kIconEntrySize = 16;
constexpr size_t kWmfHeaderSize = 18;
constexpr size_t kEmfHeaderMinSize = 88;
constexpr uint32_t kEmfSignature = 0x464D4520u;  // " EMF"

// A measured size that no window can show is refused as damage rather than
// carried around (and overflowing the sizes of the drawing code).
void CheckMeasured(int64_t width, int64_t height, const char* formatName) {
    if (width < 0 || height < 0 || width > std::numeric_limits<int16_t>::max() ||
        height > std::numeric_limits<int16_t>::max()) {
        ThrowDamaged(std::string("The ") + formatName + " picture's size is impossible");
    }
}

// A standard metafile header: type (in memory or on disk), its size in words,
// and a version of the format.
bool IsWmfHeader(const std::string& bytes, size_t at) {
    if (bytes.size() < at || bytes.size() - at < kWmfHeaderSize) return false;
    uint16_t type = U16At(bytes, at);
    uint16_t words = U16At(bytes, at + 2);
    uint16_t version = U16At(bytes, at + 4);
    return (type == 1 || type == 2) && words == kWmfHeaderSize / 2 && (version == 0x0100 || version == 0x0300);
}

// The header's size of the whole metafile (in 16-bit words) must fit in the
// file: a cut-off metafile is damage, not a picture with parts missing.
void CheckWmfSize(const std::string& bytes, size_t at) {
    const uint64_t size = uint64_t{U32At(bytes, at + 6)} * 2;
    if (size < kWmfHeaderSize || size > bytes.size() - at) ThrowDamaged("The WMF picture is cut short");
}

}  // namespace

std::vector<IconEntry> IconEntries(const std::string& bytes) {
    if (bytes.size() < kIconDirSize || U16At(bytes, 0) != 0 || U16At(bytes, 2) != 1 || U16At(bytes, 4) == 0) {
        ThrowDamaged("The file is not an ICO picture");
    }
    const size_t count = U16At(bytes, 4);
    if ((bytes.size() - kIconDirSize) / kIconEntrySize < count)
        ThrowDamaged("The ICO picture's directory is cut short");
    std::vector<IconEntry> entries;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kIconDirSize + i * kIconEntrySize;
        IconEntry entry;
        // A width or height byte of 0 stands for 256.
        entry.Width = static_cast<unsigned char>(bytes[at]) == 0 ? 256 : static_cast<unsigned char>(bytes[at]);
        entry.Height = static_cast<unsigned char>(bytes[at + 1]) == 0 ? 256 : static_cast<unsigned char>(bytes[at + 1]);
        entry.BitCount = U16At(bytes, at + 6);
        entry.Size = U32At(bytes, at + 8);
        entry.Offset = U32At(bytes, at + 12);
        if (entry.Size == 0 || entry.Offset > bytes.size() || bytes.size() - entry.Offset < entry.Size) {
            ThrowDamaged("The ICO picture's image " + std::to_string(i + 1) + " lies beyond the end of the file");
        }
        entries.push_back(entry);
    }
    return entries;
}

void MeasureIco(const std::string& bytes, Picture& picture) {
    for (const IconEntry& entry : IconEntries(bytes)) {
        if (int64_t{entry.Width} * entry.Height > int64_t{picture.Width} * picture.Height) {
            picture.Width = entry.Width;
            picture.Height = entry.Height;
        }
    }
}

void MeasureWmf(const std::string& bytes, Picture& picture) {
    if (bytes.size() >= 4 && U32At(bytes, 0) == kPlaceableWmfKey) {
        if (!IsWmfHeader(bytes, kPlaceableWmfHeaderSize))
            ThrowDamaged("The WMF picture is damaged: no metafile header");
        CheckWmfSize(bytes, kPlaceableWmfHeaderSize);
        // The bounding box is in metafile units, `inch` of them to the inch;
        // the picture is measured at 96 pixels to the inch.
        const int64_t left = I16At(bytes, 6), top = I16At(bytes, 8);
        const int64_t right = I16At(bytes, 10), bottom = I16At(bytes, 12);
        const int64_t inch = U16At(bytes, 14);
        if (inch == 0) ThrowDamaged("The WMF picture is damaged: no units per inch");
        const int64_t width = (right > left ? right - left : left - right) * 96 / inch;
        const int64_t height = (bottom > top ? bottom - top : top - bottom) * 96 / inch;
        CheckMeasured(width, height, "WMF");
        picture.Width = static_cast<int>(width);
        picture.Height = static_cast<int>(height);
        return;
    }
    // Without the placeable header a metafile does not say its size.
    if (!IsWmfHeader(bytes, 0)) ThrowDamaged("The file is not a WMF picture");
    CheckWmfSize(bytes, 0);
}

void MeasureEmf(const std::string& bytes, Picture& picture) {
    if (bytes.size() < kEmfHeaderMinSize || U32At(bytes, 0) != 1 || U32At(bytes, 40) != kEmfSignature) {
        ThrowDamaged("The file is not an EMF picture");
    }
    const uint32_t headerSize = U32At(bytes, 4);
    const uint32_t totalSize = U32At(bytes, 48);
    if (headerSize < kEmfHeaderMinSize || headerSize > totalSize) ThrowDamaged("The EMF picture's header is damaged");
    if (totalSize > bytes.size()) ThrowDamaged("The EMF picture is cut short");
    // The bounds are inclusive device pixels; an empty one (nothing drawn)
    // falls back to the frame, in hundredths of a millimetre.
    int64_t width = int64_t{I32At(bytes, 16)} - I32At(bytes, 8) + 1;
    int64_t height = int64_t{I32At(bytes, 20)} - I32At(bytes, 12) + 1;
    if (width <= 0 || height <= 0) {
        width = (int64_t{I32At(bytes, 32)} - I32At(bytes, 24)) * 96 / 2540;
        height = (int64_t{I32At(bytes, 36)} - I32At(bytes, 28)) * 96 / 2540;
        if (width <= 0 || height <= 0) width = height = 0;
    }
    CheckMeasured(width, height, "EMF");
    picture.Width = static_cast<int>(width);
    picture.Height = static_cast<int>(height);
}

}  // namespace setup::ui
