// Any bytes as the body of an RTF document, for its text and for the view's
// removal of objects.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "ui/document.h"
#include "ui/document_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        (void)setup::ui::RtfTextLines(bytes);
    } catch (const setup::Error&) {
    }
    (void)setup::ui::WithoutRtfObjects(bytes);
    try {
        (void)setup::ui::DecodeDocument("a.rtf", "{\\rtf1\\ansi " + bytes);
    } catch (const setup::Error&) {
    }
    return 0;
}
