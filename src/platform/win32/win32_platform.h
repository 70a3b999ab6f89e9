// The real Windows implementation of the OS seam, for 32-bit Windows from XP
// on: W functions with text converted from code page 936, the registry in the
// view a 32-bit process gets, COM for shell links and taskbar verbs.
#pragma once

#include "platform/os.h"

namespace setup::win32 {

class Win32System : public SystemApi {
public:
    std::optional<OsVersion> GetVersion() override;
    std::string GetSpecialFolderPath(int csidl) override;
    std::string GetTempPath() override;
    std::string GetWindowsDirectory() override;
    std::string GetSystemDirectory() override;
    uint32_t GetLogicalDrives() override;
    DriveType GetDriveType(const std::string& root) override;
    int64_t GetFreeBytes(const std::string& root) override;
    std::string GetOwnExecutablePath() override;
    std::vector<std::string> GetArguments() override;
    bool ProcessElevated() override;
    std::optional<FileTime> LocalFileTimeToUtc(FileTime local) override;
};

class Win32Files : public FilesApi {
public:
    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    bool CreateFolderTree(const std::string& path) override;
    bool CreateFolderNew(const std::string& path, FolderAccess access) override;
    bool RemoveFolder(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    std::optional<uint32_t> GetAttributes(const std::string& path) override;
    bool IsReparsePoint(const std::string& path) override;  // win32_reparse.cpp
    bool SetAttributes(const std::string& path, uint32_t attributes) override;
    bool SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) override;
    std::optional<FileTime> GetFileTime(const std::string& path, FileTimeKind kind) override;
    void MoveFile(const std::string& from, const std::string& to, MoveMode mode) override;
    bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
    std::vector<FolderEntry> ListFolder(const std::string& folder) override;
    std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) override;
    bool MoveAtRestart(const std::string& from, const std::string& to) override;
    bool InUse(const std::string& path) override;
};

class Win32Registry : public RegistryApi {
public:
    bool KeyExists(uint32_t root, const std::string& path) override;
    bool CreateKey(uint32_t root, const std::string& path) override;
    std::optional<std::string> ReadString(uint32_t root, const std::string& path, const std::string& name) override;
    std::optional<RegValue> ReadValue(uint32_t root, const std::string& path, const std::string& name) override;
    bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                     const std::string& value) override;
    bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) override;
    bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                     const std::string& bytes) override;
    bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) override;
    bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) override;
    bool DeleteKey(uint32_t root, const std::string& path) override;
    std::vector<std::string> ListSubKeys(uint32_t root, const std::string& path) override;
    std::vector<RegValue> ListValues(uint32_t root, const std::string& path) override;

private:
    bool Write(uint32_t root, const std::string& path, const std::string& name, uint32_t type, const std::string& data);
};

class Win32Shell : public ShellApi {
public:
    ~Win32Shell() override;
    ShellExecuteResult ShellExecuteEx(const ShellExecuteRequest& request) override;
    ShellExecuteResult ShellExecuteAndWait(const ShellExecuteRequest& request,
                                           const std::function<void()>& pump) override;
    uint32_t WinExec(const std::string& commandLine, int show) override;
    bool CreateProcessHidden(const std::string& commandLine) override;
    bool SaveShellLink(const ShellLink& link, const std::string& linkFile) override;
    int InvokeItemVerbs(const std::string& file, const std::string& verbFragment) override;
    bool MediaOpen(const std::string& file) override;
    void MediaPlay() override;
    int64_t MediaLength() override;
    int64_t MediaPosition() override;
    void MediaClose() override;
    bool RequestRestart() override;
    std::optional<ShellFolderItem> ShellFolderOf(const std::string& id) override;
    std::vector<ShellFolderItem> ListShellFolders(const std::string& id) override;

private:
    bool mediaOpen_ = false;
};

class Win32Dialogs : public DialogsApi {
public:
    int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
};

// Starts COM on the calling thread the first time a caller needs it (shell
// links, the shell's folders and verbs, program starts); undone when the
// platform ends. COM is not started at start-up: it makes a hidden window,
// which an unattended run that needs no COM must not have.
void EnsureCom();

// Waits (boundedly) until the desktop that the platform asked for at start
// exists. Call on the main thread before its first call that needs the
// desktop: a window, a message box, COM.
void AwaitDesktop();

class Win32Platform : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;
    SystemApi& System() override { return system_; }
    FilesApi& Files() override { return files_; }
    RegistryApi& Registry() override { return registry_; }
    ShellApi& Shell() override { return shell_; }
    DialogsApi& Dialogs() override { return dialogs_; }

private:
    Win32System system_;
    Win32Files files_;
    Win32Registry registry_;
    Win32Shell shell_;
    Win32Dialogs dialogs_;
};

}  // namespace setup::win32
