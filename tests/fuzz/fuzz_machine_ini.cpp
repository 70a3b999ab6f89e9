// Any bytes as the simulated machine's machine.ini.
#include <cstddef>
#include <cstdint>

#include "platform/errors.h"
#include "platform/sandbox/machine_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        (void)setup::sandbox::ParseMachineConfig(std::string(reinterpret_cast<const char*>(data), size), "machine.ini");
    } catch (const setup::Error&) {
    }
    return 0;
}
