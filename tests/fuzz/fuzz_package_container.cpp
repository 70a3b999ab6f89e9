// Any bytes as a setup package: load the tail and project, then read every
// item the project names. Errors are fine; reading out of bounds is not.
#include <cstddef>
#include <cstdint>

#include "package/compile.h"
#include "platform/errors.h"

namespace {
class NullStream : public setup::Stream {
public:
    size_t Read(void*, size_t) override { return 0; }
    void Write(const void*, size_t count) override { size_ += static_cast<int64_t>(count); }
    int64_t Seek(int64_t, setup::SeekOrigin) override { return size_; }
    int64_t Size() override { return size_; }
    void SetSize(int64_t size) override { size_ = size; }

private:
    int64_t size_ = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setup::MemoryStream file(std::string(reinterpret_cast<const char*>(data), size));
    setup::TCompile model;
    try {
        model.LoadPackage(file, "fuzz");
    } catch (const setup::Error&) {
        return 0;
    }
    for (const auto& item : model.FileList) {
        NullStream out;
        try {
            setup::TCompile::ReadPackageData(file, out, item->DataStart, item->DataEnd);
        } catch (const setup::Error&) {
        }
    }
    return 0;
}
