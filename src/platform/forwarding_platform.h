// A platform that stands in front of another one and passes every operation
// through to it. The platforms in front of the program's own (the install
// journal, the log of an unattended run) derive from these classes and
// override only the operations they change, so an operation added to the
// seam reaches the inner platform through all of them without being named
// in any. An operation the seam gives a default body (ProcessElevated) is
// forwarded here too: a platform in front must never answer for the inner one.
#pragma once

#include "platform/os.h"

namespace setup {

class ForwardingSystem : public SystemApi {
public:
    explicit ForwardingSystem(SystemApi& inner) : inner_(inner) {}
    std::optional<OsVersion> GetVersion() override { return inner_.GetVersion(); }
    std::string GetSpecialFolderPath(int csidl) override { return inner_.GetSpecialFolderPath(csidl); }
    std::string GetTempPath() override { return inner_.GetTempPath(); }
    std::string GetWindowsDirectory() override { return inner_.GetWindowsDirectory(); }
    std::string GetSystemDirectory() override { return inner_.GetSystemDirectory(); }
    uint32_t GetLogicalDrives() override { return inner_.GetLogicalDrives(); }
    DriveType GetDriveType(const std::string& root) override { return inner_.GetDriveType(root); }
    int64_t GetFreeBytes(const std::string& root) override { return inner_.GetFreeBytes(root); }
    std::string GetOwnExecutablePath() override { return inner_.GetOwnExecutablePath(); }
    std::vector<std::string> GetArguments() override { return inner_.GetArguments(); }
    std::optional<FileTime> LocalFileTimeToUtc(FileTime local) override { return inner_.LocalFileTimeToUtc(local); }
    bool ProcessElevated() override { return inner_.ProcessElevated(); }

protected:
    SystemApi& Inner() const { return inner_; }

private:
    SystemApi& inner_;
};

class ForwardingFiles : public FilesApi {
public:
    explicit ForwardingFiles(FilesApi& inner) : inner_(inner) {}
    bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
    bool FolderExists(const std::string& path) override { return inner_.FolderExists(path); }
    bool CreateFolderTree(const std::string& path) override { return inner_.CreateFolderTree(path); }
    bool CreateFolderNew(const std::string& path, FolderAccess access) override {
        return inner_.CreateFolderNew(path, access);
    }
    bool RemoveFolder(const std::string& path) override { return inner_.RemoveFolder(path); }
    bool DeleteFile(const std::string& path) override { return inner_.DeleteFile(path); }
    std::optional<uint32_t> GetAttributes(const std::string& path) override { return inner_.GetAttributes(path); }
    bool IsReparsePoint(const std::string& path) override { return inner_.IsReparsePoint(path); }
    bool SetAttributes(const std::string& path, uint32_t attributes) override {
        return inner_.SetAttributes(path, attributes);
    }
    bool SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) override {
        return inner_.SetFileTime(path, kind, utc);
    }
    std::optional<FileTime> GetFileTime(const std::string& path, FileTimeKind kind) override {
        return inner_.GetFileTime(path, kind);
    }
    void MoveFile(const std::string& from, const std::string& to, MoveMode mode) override {
        inner_.MoveFile(from, to, mode);
    }
    bool CopyFileNoReplace(const std::string& from, const std::string& to) override {
        return inner_.CopyFileNoReplace(from, to);
    }
    std::vector<FolderEntry> ListFolder(const std::string& folder) override { return inner_.ListFolder(folder); }
    std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) override { return inner_.Open(path, mode); }
    bool MoveAtRestart(const std::string& from, const std::string& to) override {
        return inner_.MoveAtRestart(from, to);
    }
    bool InUse(const std::string& path) override { return inner_.InUse(path); }

protected:
    FilesApi& Inner() const { return inner_; }

private:
    FilesApi& inner_;
};

class ForwardingRegistry : public RegistryApi {
public:
    explicit ForwardingRegistry(RegistryApi& inner) : inner_(inner) {}
    bool KeyExists(uint32_t root, const std::string& path) override { return inner_.KeyExists(root, path); }
    bool CreateKey(uint32_t root, const std::string& path) override { return inner_.CreateKey(root, path); }
    std::optional<std::string> ReadString(uint32_t root, const std::string& path, const std::string& name) override {
        return inner_.ReadString(root, path, name);
    }
    std::optional<RegValue> ReadValue(uint32_t root, const std::string& path, const std::string& name) override {
        return inner_.ReadValue(root, path, name);
    }
    bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                     const std::string& value) override {
        return inner_.WriteString(root, path, name, value);
    }
    bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) override {
        return inner_.WriteDword(root, path, name, value);
    }
    bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                     const std::string& bytes) override {
        return inner_.WriteBinary(root, path, name, bytes);
    }
    bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) override {
        return inner_.WriteValue(root, path, value);
    }
    bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) override {
        return inner_.DeleteValue(root, path, name);
    }
    bool DeleteKey(uint32_t root, const std::string& path) override { return inner_.DeleteKey(root, path); }
    std::vector<std::string> ListSubKeys(uint32_t root, const std::string& path) override {
        return inner_.ListSubKeys(root, path);
    }
    std::vector<RegValue> ListValues(uint32_t root, const std::string& path) override {
        return inner_.ListValues(root, path);
    }

protected:
    RegistryApi& Inner() const { return inner_; }

private:
    RegistryApi& inner_;
};

class ForwardingShell : public ShellApi {
public:
    explicit ForwardingShell(ShellApi& inner) : inner_(inner) {}
    ShellExecuteResult ShellExecuteEx(const ShellExecuteRequest& request) override {
        return inner_.ShellExecuteEx(request);
    }
    ShellExecuteResult ShellExecuteAndWait(const ShellExecuteRequest& request,
                                           const std::function<void()>& pump) override {
        return inner_.ShellExecuteAndWait(request, pump);
    }
    uint32_t WinExec(const std::string& commandLine, int show) override { return inner_.WinExec(commandLine, show); }
    bool CreateProcessHidden(const std::string& commandLine) override {
        return inner_.CreateProcessHidden(commandLine);
    }
    bool SaveShellLink(const ShellLink& link, const std::string& linkFile) override {
        return inner_.SaveShellLink(link, linkFile);
    }
    int InvokeItemVerbs(const std::string& file, const std::string& verbFragment) override {
        return inner_.InvokeItemVerbs(file, verbFragment);
    }
    bool MediaOpen(const std::string& file) override { return inner_.MediaOpen(file); }
    void MediaPlay() override { inner_.MediaPlay(); }
    int64_t MediaLength() override { return inner_.MediaLength(); }
    int64_t MediaPosition() override { return inner_.MediaPosition(); }
    void MediaClose() override { inner_.MediaClose(); }
    bool RequestRestart() override { return inner_.RequestRestart(); }
    std::optional<ShellFolderItem> ShellFolderOf(const std::string& id) override { return inner_.ShellFolderOf(id); }
    std::vector<ShellFolderItem> ListShellFolders(const std::string& id) override {
        return inner_.ListShellFolders(id);
    }

protected:
    ShellApi& Inner() const { return inner_; }

private:
    ShellApi& inner_;
};

class ForwardingDialogs : public DialogsApi {
public:
    explicit ForwardingDialogs(DialogsApi& inner) : inner_(inner) {}
    int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override {
        return inner_.MessageBox(text, caption, flags);
    }

protected:
    DialogsApi& Inner() const { return inner_; }

private:
    DialogsApi& inner_;
};

// Hands out the inner platform's interfaces; a platform in front overrides
// the accessor of each interface it changes to return its own, derived from
// the forwarding class above.
class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}
    SystemApi& System() override { return inner_.System(); }
    FilesApi& Files() override { return inner_.Files(); }
    RegistryApi& Registry() override { return inner_.Registry(); }
    ShellApi& Shell() override { return inner_.Shell(); }
    DialogsApi& Dialogs() override { return inner_.Dialogs(); }

protected:
    Platform& Inner() const { return inner_; }

private:
    Platform& inner_;
};

}  // namespace setup
