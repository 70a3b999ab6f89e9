// Any bytes as a registry file (REGEDIT4 or Version 5.00, ANSI, UTF-8 or UTF-16).
#include <cstddef>
#include <cstdint>

#include "platform/errors.h"
#include "platform/sandbox/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        bool regedit4 = false;
        std::string text =
            setup::sandbox::DecodeRegFile(std::string(reinterpret_cast<const char*>(data), size), "fuzz.reg", regedit4);
        (void)setup::sandbox::ParseRegText(text, regedit4, "fuzz.reg");
    } catch (const setup::Error&) {
    }
    return 0;
}
