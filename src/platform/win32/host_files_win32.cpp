#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cctype>

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

// Whether a PATH entry names a folder from a drive's root or a share, not
// one relative to the current folder or the current drive.
bool IsAbsoluteFolder(const std::string& folder) {
    bool separator = folder.size() > 2 && (folder[2] == '\\' || folder[2] == '/');
    bool drive = separator && folder[1] == ':' && std::isalpha(static_cast<unsigned char>(folder[0]));
    bool share =
        folder.size() > 2 && (folder[0] == '\\' || folder[0] == '/') && (folder[1] == '\\' || folder[1] == '/');
    return drive || share;
}
}  // namespace

std::string FindHostProgram(const std::string& name) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos) return "";
    std::string file = name.find('.') == std::string::npos ? name + ".exe" : name;
    DWORD length = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (length == 0) return "";
    std::wstring buffer(length, L'\0');
    length = GetEnvironmentVariableW(L"PATH", buffer.data(), length);
    if (length == 0 || length >= buffer.size()) return "";
    std::string folders = Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length));
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(';', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        start = end + 1;
        // An entry may be quoted, as the command interpreter allows.
        folder.erase(std::remove(folder.begin(), folder.end(), '"'), folder.end());
        if (!IsAbsoluteFolder(folder)) continue;
        char last = folder.back();
        std::string candidate = folder + (last == '\\' || last == '/' ? "" : "\\") + file;
        std::u16string wide = Utf8ToUtf16(candidate);
        DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.c_str()));
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return candidate;
    }
    return "";
}

int RunHostProgram(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return -1;
    bool hasFolder = arguments[0].find_first_of("\\/:") != std::string::npos;
    std::string program = hasFolder ? arguments[0] : FindHostProgram(arguments[0]);
    if (program.empty()) return -1;
    std::u16string line = QuotedArgument(Utf8ToUtf16(program));
    for (size_t i = 1; i < arguments.size(); ++i) line += u" " + QuotedArgument(Utf8ToUtf16(arguments[i]));
    std::wstring command(line.begin(), line.end());
    std::u16string application = Utf8ToUtf16(program);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    // With the program's path given, CreateProcess searches no folder for it.
    if (!CreateProcessW(reinterpret_cast<const wchar_t*>(application.c_str()), command.data(), nullptr, nullptr, FALSE,
                        0, nullptr, nullptr, &startup, &process)) {
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
