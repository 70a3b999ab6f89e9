// GBK conversions through code page 936, strict in both directions: invalid
// bytes and characters GBK cannot hold raise a ConversionError.
#include "platform/win32/windows_api.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace setup {

std::u16string GbkToUtf16(std::string_view gbk) {
    if (gbk.empty()) return {};
    int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (n <= 0) ThrowConversionError(msg::TextDoesNotConvert(msg::GbkToUtf16Conversion()));
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

std::string Utf16ToGbk(std::u16string_view utf16) {
    if (utf16.empty()) return {};
    auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide, static_cast<int>(utf16.size()), nullptr, 0, nullptr,
                                &usedDefault);
    if (n <= 0 || usedDefault) ThrowConversionError(msg::TextDoesNotConvert(msg::Utf16ToGbkConversion()));
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide, static_cast<int>(utf16.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

namespace win32 {

std::wstring Wide(const std::string& gbk) {
    std::u16string u = GbkToUtf16(gbk);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(const std::wstring& wide) { return Utf16ToGbk(std::u16string(wide.begin(), wide.end())); }

std::string Narrow(const wchar_t* wide) { return wide ? Narrow(std::wstring(wide)) : std::string(); }

std::wstring WideShown(const std::string& gbk) {
    if (gbk.empty()) return {};
    int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

std::string NarrowTyped(const std::wstring& wide) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?",
                                nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?",
                        nullptr);
    return out;
}

std::string NarrowPath(const std::wstring& path) {
    try {
        return Narrow(path);
    } catch (const Error&) {
        // A user or folder name code page 936 cannot spell.
    }
    DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return {};
    std::wstring shortPath(n, L'\0');
    n = GetShortPathNameW(path.c_str(), shortPath.data(), n);
    if (n == 0 || n >= shortPath.size()) return {};
    shortPath.resize(n);
    try {
        return Narrow(shortPath);
    } catch (const Error&) {
        return {};
    }
}

std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message;
    if (n > 0 && buffer) {
        std::wstring text(buffer, n);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
        try {
            message = Narrow(text);
        } catch (const Error&) {
            message.clear();
        }
    }
    if (buffer) LocalFree(buffer);
    return message.empty() ? msg::SystemErrorCode(error) : message;
}

}  // namespace win32
}  // namespace setup
