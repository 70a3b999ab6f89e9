// Any bytes as a plain-text document (and whatever kind they turn out to be).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "ui/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        (void)setup::ui::DecodeDocument("C:\\docs\\readme.txt", bytes);
    } catch (const setup::Error&) {
    }
    return 0;
}
