// Any bytes as an inflated project stream.
#include <cstddef>
#include <cstdint>

#include "package/compile.h"
#include "platform/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setup::MemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
    setup::TCompile model;
    try {
        setup::ParseProjectStream(stream, model);
    } catch (const setup::Error&) {
    }
    return 0;
}
