// Any bytes as an uninstall record file; a record that reads must read back
// the same after it is saved again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/uninstall_record.h"
#include "platform/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setup::TUnInstall record;
    try {
        record.LoadFromFileBytes(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const setup::Error&) {
        return 0;
    }
    setup::TUnInstall again;
    again.LoadFromFileBytes(record.FileBytes());
    if (again.Serialize() != record.Serialize()) std::abort();
    return 0;
}
