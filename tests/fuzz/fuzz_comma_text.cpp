// Any text as comma text; what the reader makes of it must survive a round
// trip through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "package/project_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> items = setup::ReadCommaText(std::string(reinterpret_cast<const char*>(data), size));
    if (setup::ReadCommaText(setup::WriteCommaText(items)) != items) std::abort();
    return 0;
}
