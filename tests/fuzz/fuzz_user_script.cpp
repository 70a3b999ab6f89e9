// Any text as the simulated user's script: it reads or is refused with a
// Format error, never anything else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/errors.h"
#include "ui/headless/headless_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        (void)setup::ui::ParseUserScript(std::string(reinterpret_cast<const char*>(data), size), "user.script");
    } catch (const setup::Error& e) {
        if (e.Kind() != setup::ErrorKind::Format && e.Kind() != setup::ErrorKind::Conversion) std::abort();
    }
    return 0;
}
