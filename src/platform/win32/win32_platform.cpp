#include "platform/win32/windows_api.h"

#include "platform/win32/win32_platform.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace setup::win32 {

namespace {

FileTime ToFileTime(const FILETIME& ft) { return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

FILETIME FromFileTime(FileTime t) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

// A stream over a file handle.
class HandleStream : public Stream {
public:
    HandleStream(HANDLE handle, std::string name) : handle_(handle), name_(std::move(name)) {}
    ~HandleStream() override { CloseHandle(handle_); }

    size_t Read(void* buffer, size_t count) override {
        DWORD done = 0;
        if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr)) {
            ThrowOsError(msg::CannotReadFile(name_, SystemMessage(GetLastError())));
        }
        return done;
    }
    void Write(const void* buffer, size_t count) override {
        auto* p = static_cast<const char*>(buffer);
        while (count > 0) {
            DWORD done = 0;
            if (!WriteFile(handle_, p, static_cast<DWORD>(count), &done, nullptr) || done == 0) {
                ThrowOsError(msg::CannotWriteFile(name_, SystemMessage(GetLastError())));
            }
            p += done;
            count -= done;
        }
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        LARGE_INTEGER distance, result;
        distance.QuadPart = offset;
        DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                       : origin == SeekOrigin::Current ? FILE_CURRENT
                                                       : FILE_END;
        if (!SetFilePointerEx(handle_, distance, &result, method)) {
            ThrowOsError(msg::CannotSeekInFile(name_, SystemMessage(GetLastError())));
        }
        return result.QuadPart;
    }
    int64_t Size() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_, &size)) ThrowOsError(msg::CannotReadFileSize(name_, SystemMessage(GetLastError())));
        return size.QuadPart;
    }
    void SetSize(int64_t size) override {
        int64_t position = Position();
        Seek(size, SeekOrigin::Begin);
        if (!SetEndOfFile(handle_)) ThrowOsError(msg::CannotSetFileSize(name_, SystemMessage(GetLastError())));
        Seek(position, SeekOrigin::Begin);
    }
    bool SetLastWriteTime(uint64_t utc) override {
        FILETIME ft = FromFileTime(utc);
        return ::SetFileTime(handle_, nullptr, nullptr, &ft) != 0;
    }
    bool Flush() override { return FlushFileBuffers(handle_) != 0; }

private:
    HANDLE handle_;
    std::string name_;
};

}  // namespace

// ---- system ------------------------------------------------------------------

std::optional<OsVersion> Win32System::GetVersion() {
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return std::nullopt;
    return OsVersion{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

std::string Win32System::GetSpecialFolderPath(int csidl) {
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) return "";
    wchar_t path[MAX_PATH] = {};
    BOOL ok = SHGetPathFromIDListW(items, path);
    CoTaskMemFree(items);
    return ok ? NarrowPath(path) : "";
}

std::string Win32System::GetTempPath() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, path);
    return n > 0 && n <= MAX_PATH ? NarrowPath(path) : "";
}

std::string Win32System::GetWindowsDirectory() {
    wchar_t path[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? Narrow(path) : "";
}

std::string Win32System::GetSystemDirectory() {
    wchar_t path[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? Narrow(path) : "";
}

uint32_t Win32System::GetLogicalDrives() { return ::GetLogicalDrives(); }

DriveType Win32System::GetDriveType(const std::string& root) {
    return static_cast<DriveType>(GetDriveTypeW(Wide(root).c_str()));
}

int64_t Win32System::GetFreeBytes(const std::string& root) {
    ULARGE_INTEGER available, total, free;
    // No error box for an empty floppy or card reader.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    BOOL ok = GetDiskFreeSpaceExW(Wide(root).c_str(), &available, &total, &free);
    SetErrorMode(oldMode);
    return ok ? static_cast<int64_t>(available.QuadPart) : -1;
}

std::string Win32System::GetOwnExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) ThrowOsError(msg::CannotReadProgramPath(SystemMessage(GetLastError())));
        if (n < path.size()) {
            path.resize(n);
            std::string own = NarrowPath(path);
            if (own.empty()) ThrowOsError(msg::CannotReadProgramPath(SystemMessage(ERROR_NO_UNICODE_TRANSLATION)));
            return own;
        }
        path.resize(path.size() * 2);
    }
}

bool Win32System::ProcessElevated() { return win32::ProcessIsElevated(); }

bool ProcessIsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    // Systems before Vista know no elevation: the query fails there.
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                    elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

std::vector<std::string> Win32System::GetArguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(Narrow(argv[i]));
    LocalFree(argv);
    return args;
}

std::optional<FileTime> Win32System::LocalFileTimeToUtc(FileTime local) {
    FILETIME in = FromFileTime(local), out;
    if (!LocalFileTimeToFileTime(&in, &out)) return std::nullopt;
    return ToFileTime(out);
}

// ---- files -------------------------------------------------------------------

bool Win32Files::FileExists(const std::string& path) {
    DWORD a = GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::FolderExists(const std::string& path) {
    DWORD a = GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::CreateFolderTree(const std::string& path) {
    std::string p = path;
    while (p.size() > 3 && EndsWithChar(p, '\\')) p.pop_back();
    if (FolderExists(p)) return true;
    size_t cut = FindLastChar(p, '\\');
    if (cut != std::string::npos && cut > 2 && !CreateFolderTree(p.substr(0, cut))) return false;
    return CreateDirectoryW(Wide(p).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool Win32Files::RemoveFolder(const std::string& path) { return RemoveDirectoryW(Wide(path).c_str()) != 0; }

bool Win32Files::DeleteFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

std::optional<uint32_t> Win32Files::GetAttributes(const std::string& path) {
    DWORD a = GetFileAttributesW(Wide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return a;
}

bool Win32Files::SetAttributes(const std::string& path, uint32_t attributes) {
    return SetFileAttributesW(Wide(path).c_str(), attributes) != 0;
}

bool Win32Files::SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME ft = FromFileTime(utc);
    BOOL ok = ::SetFileTime(h, kind == FileTimeKind::Creation ? &ft : nullptr,
                            kind == FileTimeKind::LastAccess ? &ft : nullptr,
                            kind == FileTimeKind::LastWrite ? &ft : nullptr);
    CloseHandle(h);
    return ok != 0;
}

std::optional<FileTime> Win32Files::GetFileTime(const std::string& path, FileTimeKind kind) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    switch (kind) {
        case FileTimeKind::Creation:
            return ToFileTime(data.ftCreationTime);
        case FileTimeKind::LastAccess:
            return ToFileTime(data.ftLastAccessTime);
        case FileTimeKind::LastWrite:
            return ToFileTime(data.ftLastWriteTime);
    }
    return std::nullopt;
}

void Win32Files::MoveFile(const std::string& from, const std::string& to, MoveMode mode) {
    // MOVEFILE_REPLACE_EXISTING replaces the target in one step within a volume.
    DWORD flags = mode == MoveMode::ReplaceExisting ? MOVEFILE_REPLACE_EXISTING : 0;
    // Windows refuses to replace a read-only file; not every implementation of
    // the call does, so the rule is applied here for all of them.
    DWORD target = mode == MoveMode::ReplaceExisting ? GetFileAttributesW(Wide(to).c_str()) : INVALID_FILE_ATTRIBUTES;
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_READONLY)) {
        ThrowOsError(msg::CannotMoveFile(from, to, SystemMessage(ERROR_ACCESS_DENIED)));
    }
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags)) {
        ThrowOsError(msg::CannotMoveFile(from, to, SystemMessage(GetLastError())));
    }
}

bool Win32Files::MoveAtRestart(const std::string& from, const std::string& to) {
    // Kept by the system in PendingFileRenameOperations; administrators only.
    if (to.empty()) return MoveFileExW(Wide(from).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) !=
           0;
}

bool Win32Files::InUse(const std::string& path) {
    // Opening for writing while sharing everything fails only where another
    // handle denies it: a running program's image, a file open without
    // write sharing.
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

bool Win32Files::CopyFileNoReplace(const std::string& from, const std::string& to) {
    return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), TRUE) != 0;
}

std::vector<FolderEntry> Win32Files::ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Wide(folder + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        FolderEntry entry;
        try {
            entry.Name = Narrow(name);
        } catch (const Error&) {
            // A name code page 936 cannot spell goes by its short name, so
            // that what lies in a folder is never overlooked (an uninstaller
            // would take the folder for empty).
            try {
                entry.Name = Narrow(std::wstring(data.cAlternateFileName));
            } catch (const Error&) {
                continue;
            }
            if (entry.Name.empty()) continue;
        }
        entry.Attributes = data.dwFileAttributes;
        entry.Size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.LastWrite = ToFileTime(data.ftLastWriteTime);
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

std::unique_ptr<Stream> Win32Files::Open(const std::string& path, OpenMode mode) {
    bool reading = mode == OpenMode::Read || mode == OpenMode::ReadLocked;
    DWORD access = reading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = mode == OpenMode::Create                                              ? CREATE_ALWAYS
                        : mode == OpenMode::CreateNew || mode == OpenMode::CreateNewProtected ? CREATE_NEW
                                                                                              : OPEN_EXISTING;
    DWORD share = mode == OpenMode::Read ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ;
    // A protected file gets its own access list, not its folder's (which in a
    // user's temporary folder lets that user change it): full access for the
    // system and the administrators, nobody else.
    SECURITY_ATTRIBUTES protectedFile{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (mode == OpenMode::CreateNewProtected && win32::ProcessIsElevated() &&
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
                                                             &descriptor, nullptr)) {
        protectedFile.lpSecurityDescriptor = descriptor;
    }
    HANDLE h = CreateFileW(Wide(path).c_str(), access, share, descriptor ? &protectedFile : nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    if (descriptor) LocalFree(descriptor);
    SetLastError(error);
    if (h == INVALID_HANDLE_VALUE) {
        ThrowOsError(msg::CannotOpenFile(path, SystemMessage(GetLastError())));
    }
    return std::make_unique<HandleStream>(h, path);
}

// ---- dialogs -----------------------------------------------------------------

int Win32Dialogs::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
    AwaitDesktop();
    return MessageBoxW(GetActiveWindow(), Wide(text).c_str(), Wide(caption).c_str(), flags);
}

// ---- platform ----------------------------------------------------------------

namespace {
bool comStarted = false;
}

void EnsureCom() {
    if (comStarted) return;
    AwaitDesktop();  // COM's first call makes a hidden window
    comStarted = SUCCEEDED(CoInitialize(nullptr));
}

namespace {

DWORD WINAPI AskForDesktop(LPVOID) {
    GetDesktopWindow();
    return 0;
}

HANDLE desktopThread = nullptr;

}  // namespace

// The first call that needs the desktop waits until it exists; under Wine that
// starts the desktop process, a few hundred milliseconds. Asking for it at once
// on a thread of its own lets that wait overlap the reading and checking of
// the package. Where the desktop exists the thread ends at once.
Win32Platform::Win32Platform() { desktopThread = CreateThread(nullptr, 0, AskForDesktop, nullptr, 0, nullptr); }

// A second thread that needs the desktop while it is being started starts it
// again under Wine (a second desktop process, which then finds the first and
// ends, at the cost of a full process start). So the main thread waits for the
// asking thread before its own first need. The wait is bounded: if the desktop
// does not come, the caller asks for it itself, as without the thread.
void AwaitDesktop() {
    if (!desktopThread) return;
    WaitForSingleObject(desktopThread, 10000);
    CloseHandle(desktopThread);
    desktopThread = nullptr;
}

Win32Platform::~Win32Platform() {
    if (comStarted) CoUninitialize();
    comStarted = false;
}

}  // namespace setup::win32

namespace setup {
std::unique_ptr<Platform> CreateNativePlatform(int, char**) { return std::make_unique<win32::Win32Platform>(); }
}  // namespace setup
