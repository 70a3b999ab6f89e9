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

namespace {
// One argument as the C runtime splits it again: quoted when it holds a blank
// or a quote, with backslashes before a quote doubled.
std::u16string QuotedArgument(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string::npos) return argument;
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, u'\\');
    return out + u"\"";
}
}  // namespace

int RunHostProgram(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return -1;
    std::u16string line;
    for (const std::string& a : arguments) line += (line.empty() ? u"" : u" ") + QuotedArgument(Utf8ToUtf16(a));
    std::wstring command(line.begin(), line.end());
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace setup
