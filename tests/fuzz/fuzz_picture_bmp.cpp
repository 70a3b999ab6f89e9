// Any bytes as a BMP picture.
#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzPicture(setup::ui::PictureFormat::Bmp, data, size);
    return 0;
}
