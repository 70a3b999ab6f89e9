// The platform of an unattended or logged run. It stands in front of the
// program's platform, from the program entry to its end: every outward change
// (folders, files, registry keys and values, links, program starts, taskbar
// verbs, a restart) is written to the run log, and every message box is
// logged. In a silent run ("/S") no message box is shown at all: each one is
// logged and answered as an unattended run must be, OK for a notice and No
// for a question, so that nothing optional happens without a person.
#pragma once

#include "platform/os.h"

namespace setup {

enum class BoxMode { Show, LogOnly };

class DeploymentPlatform : public Platform {
public:
    // Becomes the active platform in front of the current one; the
    // destructor puts that one back.
    explicit DeploymentPlatform(BoxMode boxes);
    ~DeploymentPlatform() override;
    DeploymentPlatform(const DeploymentPlatform&) = delete;
    DeploymentPlatform& operator=(const DeploymentPlatform&) = delete;

    SystemApi& System() override { return inner_.System(); }
    FilesApi& Files() override { return files_; }
    RegistryApi& Registry() override { return registry_; }
    ShellApi& Shell() override { return shell_; }
    DialogsApi& Dialogs() override { return dialogs_; }

    // The answer a silent run gives to a box with these buttons.
    static int UnattendedAnswer(uint32_t flags);

private:
    class LoggedFiles : public FilesApi {
    public:
        explicit LoggedFiles(FilesApi& inner) : inner_(inner) {}
        bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
        bool FolderExists(const std::string& path) override { return inner_.FolderExists(path); }
        bool CreateFolderTree(const std::string& path) override;
        bool RemoveFolder(const std::string& path) override;
        bool DeleteFile(const std::string& path) override;
        std::optional<uint32_t> GetAttributes(const std::string& path) override { return inner_.GetAttributes(path); }
        bool SetAttributes(const std::string& path, uint32_t attributes) override {
            return inner_.SetAttributes(path, attributes);
        }
        bool SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) override {
            return inner_.SetFileTime(path, kind, utc);
        }
        std::optional<FileTime> GetFileTime(const std::string& path, FileTimeKind kind) override {
            return inner_.GetFileTime(path, kind);
        }
        void MoveFile(const std::string& from, const std::string& to, MoveMode mode) override;
        bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
        std::vector<FolderEntry> ListFolder(const std::string& folder) override { return inner_.ListFolder(folder); }
        std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) override;

    private:
        FilesApi& inner_;
    };

    class LoggedRegistry : public RegistryApi {
    public:
        explicit LoggedRegistry(RegistryApi& inner) : inner_(inner) {}
        bool KeyExists(uint32_t root, const std::string& path) override { return inner_.KeyExists(root, path); }
        bool CreateKey(uint32_t root, const std::string& path) override;
        std::optional<std::string> ReadString(uint32_t root, const std::string& path,
                                              const std::string& name) override {
            return inner_.ReadString(root, path, name);
        }
        std::optional<RegValue> ReadValue(uint32_t root, const std::string& path, const std::string& name) override {
            return inner_.ReadValue(root, path, name);
        }
        bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& value) override;
        bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) override;
        bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& bytes) override;
        bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) override;
        bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) override;
        bool DeleteKey(uint32_t root, const std::string& path) override;
        std::vector<std::string> ListSubKeys(uint32_t root, const std::string& path) override {
            return inner_.ListSubKeys(root, path);
        }
        std::vector<RegValue> ListValues(uint32_t root, const std::string& path) override {
            return inner_.ListValues(root, path);
        }

    private:
        RegistryApi& inner_;
    };

    class LoggedShell : public ShellApi {
    public:
        explicit LoggedShell(ShellApi& inner) : inner_(inner) {}
        ShellExecuteResult ShellExecuteEx(const ShellExecuteRequest& request) override;
        ShellExecuteResult ShellExecuteAndWait(const ShellExecuteRequest& request,
                                               const std::function<void()>& pump) override;
        uint32_t WinExec(const std::string& commandLine, int show) override;
        bool CreateProcessHidden(const std::string& commandLine) override;
        bool SaveShellLink(const ShellLink& link, const std::string& linkFile) override;
        int InvokeItemVerbs(const std::string& file, const std::string& verbFragment) override;
        bool MediaOpen(const std::string& file) override { return inner_.MediaOpen(file); }
        void MediaPlay() override { inner_.MediaPlay(); }
        int64_t MediaLength() override { return inner_.MediaLength(); }
        int64_t MediaPosition() override { return inner_.MediaPosition(); }
        void MediaClose() override { inner_.MediaClose(); }
        bool RequestRestart() override;
        std::optional<ShellFolderItem> ShellFolderOf(const std::string& id) override {
            return inner_.ShellFolderOf(id);
        }
        std::vector<ShellFolderItem> ListShellFolders(const std::string& id) override {
            return inner_.ListShellFolders(id);
        }

    private:
        ShellApi& inner_;
    };

    class LoggedDialogs : public DialogsApi {
    public:
        LoggedDialogs(DialogsApi& inner, BoxMode mode) : inner_(inner), mode_(mode) {}
        int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;

    private:
        DialogsApi& inner_;
        BoxMode mode_;
    };

    Platform& inner_;
    LoggedFiles files_;
    LoggedRegistry registry_;
    LoggedShell shell_;
    LoggedDialogs dialogs_;
};

}  // namespace setup
