// Any bytes as an INI file read with Windows semantics.
#include <cstddef>
#include <cstdint>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setup::IniDocument doc = setup::ParseIni(std::string(reinterpret_cast<const char*>(data), size));
    (void)setup::IniKeys(doc, "Setup");
    (void)setup::IniKeys(doc, "SysDirList");
    return 0;
}
