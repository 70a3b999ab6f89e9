// Any bytes as an INI file, a registry file and a machine.ini.
#include <cstddef>
#include <cstdint>

#include "platform/errors.h"
#include "platform/profile.h"
#include "platform/sandbox/machine_config.h"
#include "platform/sandbox/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    setup::IniDocument doc = setup::ParseIni(bytes);
    (void)setup::IniKeys(doc, "Setup");
    try {
        bool regedit4 = false;
        std::string text = setup::sandbox::DecodeRegFile(bytes, "fuzz.reg", regedit4);
        (void)setup::sandbox::ParseRegText(text, regedit4, "fuzz.reg");
    } catch (const setup::Error&) {
    }
    try {
        (void)setup::sandbox::ParseMachineConfig(bytes, "machine.ini");
    } catch (const setup::Error&) {
    }
    return 0;
}
