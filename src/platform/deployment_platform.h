// The platform of an unattended or logged run. It stands in front of the
// program's platform, from the program entry to its end: every outward change
// (folders, files, registry keys and values, links, program starts, taskbar
// verbs, a restart) is written to the run log, and every message box is
// logged. In a silent run ("/S") no message box is shown at all: each one is
// logged and answered as an unattended run must be, OK for a notice and No
// for a question, so that nothing optional happens without a person.
#pragma once

#include "platform/forwarding_platform.h"

namespace setup {

enum class BoxMode { Show, LogOnly };

class DeploymentPlatform : public ForwardingPlatform {
public:
    // Becomes the active platform in front of the current one; the
    // destructor puts that one back.
    explicit DeploymentPlatform(BoxMode boxes);
    ~DeploymentPlatform() override;
    DeploymentPlatform(const DeploymentPlatform&) = delete;
    DeploymentPlatform& operator=(const DeploymentPlatform&) = delete;

    FilesApi& Files() override { return files_; }
    RegistryApi& Registry() override { return registry_; }
    ShellApi& Shell() override { return shell_; }
    DialogsApi& Dialogs() override { return dialogs_; }

    // The answer a silent run gives to a box with these buttons.
    static int UnattendedAnswer(uint32_t flags);

private:
    class LoggedFiles : public ForwardingFiles {
    public:
        using ForwardingFiles::ForwardingFiles;
        bool CreateFolderTree(const std::string& path) override;
        bool CreateFolderNew(const std::string& path, FolderAccess access) override;
        bool RemoveFolder(const std::string& path) override;
        bool DeleteFile(const std::string& path) override;
        void MoveFile(const std::string& from, const std::string& to, MoveMode mode) override;
        bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
        std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) override;
        bool MoveAtRestart(const std::string& from, const std::string& to) override;
    };

    class LoggedRegistry : public ForwardingRegistry {
    public:
        using ForwardingRegistry::ForwardingRegistry;
        bool CreateKey(uint32_t root, const std::string& path) override;
        bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& value) override;
        bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) override;
        bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& bytes) override;
        bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) override;
        bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) override;
        bool DeleteKey(uint32_t root, const std::string& path) override;
    };

    class LoggedShell : public ForwardingShell {
    public:
        using ForwardingShell::ForwardingShell;
        ShellExecuteResult ShellExecuteEx(const ShellExecuteRequest& request) override;
        ShellExecuteResult ShellExecuteAndWait(const ShellExecuteRequest& request,
                                               const std::function<void()>& pump) override;
        uint32_t WinExec(const std::string& commandLine, int show) override;
        bool CreateProcessHidden(const std::string& commandLine) override;
        bool SaveShellLink(const ShellLink& link, const std::string& linkFile) override;
        int InvokeItemVerbs(const std::string& file, const std::string& verbFragment) override;
        bool RequestRestart() override;
    };

    class LoggedDialogs : public ForwardingDialogs {
    public:
        LoggedDialogs(DialogsApi& inner, BoxMode mode) : ForwardingDialogs(inner), mode_(mode) {}
        int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;

    private:
        BoxMode mode_;
    };

    LoggedFiles files_;
    LoggedRegistry registry_;
    LoggedShell shell_;
    LoggedDialogs dialogs_;
};

}  // namespace setup
