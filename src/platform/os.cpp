#include "platform/os.h"

#include "platform/errors.h"

namespace setup {
namespace {
Platform* activePlatform = nullptr;
}

void SetPlatform(Platform* platform) { activePlatform = platform; }

bool HasPlatform() { return activePlatform != nullptr; }

Platform& OS() {
    if (activePlatform == nullptr) ThrowOsError("No platform is active");
    return *activePlatform;
}

std::unique_ptr<Stream> OpenFile(const std::string& path, OpenMode mode) { return OS().Files().Open(path, mode); }

}  // namespace setup
