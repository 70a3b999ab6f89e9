#include "platform/os.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace setup {
namespace {
Platform* activePlatform = nullptr;
}

void SetPlatform(Platform* platform) { activePlatform = platform; }

bool HasPlatform() { return activePlatform != nullptr; }

Platform& OS() {
    if (activePlatform == nullptr) ThrowOsError(msg::NoActivePlatform());
    return *activePlatform;
}

std::optional<std::string> RegValueText(const RegValue& value) {
    if (value.Type != kRegSz && value.Type != kRegExpandSz) return std::nullopt;
    std::string data = value.Data;
    if (data.size() % 2) data.pop_back();
    std::u16string text = LeBytesToUtf16(data);
    size_t zero = text.find(u'\0');
    if (zero != std::u16string::npos) text.resize(zero);
    try {
        return Utf16ToGbk(text);
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::unique_ptr<Stream> OpenFile(const std::string& path, OpenMode mode) { return OS().Files().Open(path, mode); }

std::string FirstReparsePoint(const std::string& root, const std::string& path) {
    std::string base = root;
    while (base.size() > 3 && EndsWithChar(base, '\\')) base.pop_back();
    if (!StartsWithNoCase(path, base)) return "";
    std::string rest = path.substr(base.size());
    if (!rest.empty() && rest[0] != '\\' && !EndsWithChar(base, '\\')) return "";
    FilesApi& files = OS().Files();
    std::string level = base;
    if (files.IsReparsePoint(level)) return level;
    for (const std::string& piece : SplitOn(rest, '\\')) {
        if (piece.empty()) continue;
        if (!EndsWithChar(level, '\\')) level += '\\';
        level += piece;
        if (files.IsReparsePoint(level)) return level;
    }
    return "";
}

}  // namespace setup
