#include "platform/win32/windows_api.h"

#include "platform/common.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace setup {

std::optional<double> HostFileDateTime(const std::string& path) {
    std::u16string wide = Utf8ToUtf16(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(reinterpret_cast<const wchar_t*>(wide.c_str()), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    FILETIME local;
    SYSTEMTIME t;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &t)) {
        return std::nullopt;
    }
    return EncodeDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

std::string HostProgramFolder() {
    wchar_t path[32768];
    DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    if (n == 0 || n >= 32768) return ".";
    std::u16string text(reinterpret_cast<const char16_t*>(path), n);
    std::string utf8 = Utf16ToUtf8(text);
    size_t cut = utf8.find_last_of("\\/");
    return cut == std::string::npos ? "." : utf8.substr(0, cut);
}

}  // namespace setup
