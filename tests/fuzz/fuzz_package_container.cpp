// Any bytes as a setup package: load the tail and project, then read every
// item the project names. Errors are fine; reading out of bounds is not.
#include <cstddef>
#include <cstdint>

#include "package/compile.h"
#include "platform/errors.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setup::MemoryStream file(std::string(reinterpret_cast<const char*>(data), size));
    setup::TCompile model;
    try {
        model.LoadPackage(file, "fuzz");
    } catch (const setup::Error&) {
        return 0;
    }
    for (const auto& item : model.FileList) {
        setup::CountingStream out;
        try {
            setup::TCompile::ReadPackageData(file, out, item->DataStart, item->DataEnd);
        } catch (const setup::Error&) {
        }
    }
    return 0;
}
