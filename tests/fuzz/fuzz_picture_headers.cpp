// Any bytes as an icon, a metafile and an enhanced metafile; for an icon
// whose directory reads, every image it lists lies within the bytes.
#include <vector>

#include "fuzz_picture.h"
#include "ui/picture_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using setup::ui::PictureFormat;
    FuzzPicture(PictureFormat::Ico, data, size);
    FuzzPicture(PictureFormat::Wmf, data, size);
    FuzzPicture(PictureFormat::Emf, data, size);
    try {
        for (const setup::ui::IconEntry& entry :
             setup::ui::IconEntries(std::string(reinterpret_cast<const char*>(data), size))) {
            if (entry.Offset > size || size - entry.Offset < entry.Size) std::abort();
        }
    } catch (const setup::Error&) {
    }
    return 0;
}
