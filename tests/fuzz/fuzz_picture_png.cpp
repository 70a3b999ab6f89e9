// Any bytes as a PNG picture.
#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzPicture(setup::ui::PictureFormat::Png, data, size);
    return 0;
}
