// Any bytes as a setup package: load the tail and project, then read every
// item the project names. The same bytes are also tried as the package of a
// signed program: after a program image whose security directory either
// points where the first eight bytes say (a lying directory), or at a
// certificate table appended as a signer appends it. Errors are fine; reading
// out of bounds is not.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../package/pe_stub.h"
#include "package/compile.h"
#include "package/package_tail.h"
#include "platform/errors.h"

namespace {

void Load(const std::string& bytes) {
    setup::MemoryStream file(bytes);
    setup::TCompile model;
    try {
        setup::FindCertificateTable(file);
        setup::FindPackageEnd(file);
        model.LoadPackage(file, "fuzz");
    } catch (const setup::Error&) {
        return;
    }
    for (const auto& item : model.FileList) {
        setup::CountingStream out;
        try {
            setup::TCompile::ReadPackageData(file, out, item->DataStart, item->DataEnd);
        } catch (const setup::Error&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Load(bytes);

    std::string image = setup::testing_package::MinimalPe();
    if (size >= 8) {
        uint32_t directory[2];
        std::memcpy(directory, data, sizeof directory);
        std::string lying = image + bytes.substr(8);
        setup::testing_package::PutU32(lying, setup::testing_package::kPeSecurityDirectory, directory[0]);
        setup::testing_package::PutU32(lying, setup::testing_package::kPeSecurityDirectory + 4, directory[1]);
        Load(lying);
    }
    Load(setup::testing_package::SignLikeASigner(image + bytes, size % 64));
    return 0;
}
