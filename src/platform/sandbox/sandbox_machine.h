// A simulated Windows machine in a host folder: the platform of the Linux
// programs and of every test. The folder holds machine.ini (settings), one
// folder per drive, registry.reg, effects.jsonl and file-metadata.txt; see
// src/platform/README.md for the contract.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sandbox/effects.h"
#include "platform/sandbox/host_paths.h"
#include "platform/sandbox/machine_config.h"
#include "platform/sandbox/sandbox_files.h"
#include "platform/sandbox/sandbox_registry.h"

namespace setup::sandbox {

class SandboxMachine;

class SandboxSystem : public SystemApi {
public:
    explicit SandboxSystem(SandboxMachine& machine) : machine_(machine) {}
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
    std::optional<FileTime> LocalFileTimeToUtc(FileTime local) override;
    // A program the machine started with the "runas" verb runs elevated: it
    // finds SANDBOX_ELEVATED=1 in its environment.
    bool ProcessElevated() override;

private:
    SandboxMachine& machine_;
};

class SandboxShell : public ShellApi {
public:
    explicit SandboxShell(SandboxMachine& machine) : machine_(machine) {}
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
    ShellExecuteResult Execute(const ShellExecuteRequest& request, bool wait);
    // Starts the host program behind a Windows path; returns its process id.
    // Starts a host program on the machine; started is called with its process
    // id (or -1) before its end can be recorded.
    int Launch(const std::string& hostProgram, const std::vector<std::string>& arguments,
               const std::function<void(int)>& started);
    // Starts the host program and waits for it; returns its exit status, or
    // -1 when it could not be started. The exit is recorded like Launch's.
    int LaunchAndWait(const std::string& hostProgram, const std::vector<std::string>& arguments, int& process);
    bool ProgramExists(const std::string& file);
    std::string RegeditImport(const std::string& arguments);

    SandboxMachine& machine_;
    std::string mediaFile_;
    int64_t mediaLength_ = 0;
    int64_t playStart_ = 0;
};

class SandboxDialogs : public DialogsApi {
public:
    explicit SandboxDialogs(SandboxMachine& machine) : machine_(machine) {}
    int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;

private:
    SandboxMachine& machine_;
};

class SandboxMachine : public Platform {
public:
    // Opens (creating on first use) the machine in root. ownExecutable is the
    // host path of the running program; arguments are its command line (UTF-8).
    SandboxMachine(const std::string& root, const std::string& ownExecutable, std::vector<std::string> arguments);

    SystemApi& System() override { return system_; }
    FilesApi& Files() override { return files_; }
    RegistryApi& Registry() override { return registry_; }
    ShellApi& Shell() override { return shell_; }
    DialogsApi& Dialogs() override { return dialogs_; }

    // Writes registry.reg and the metadata file when they changed: before
    // another program starts on the machine and whenever someone else is to
    // look at them. The machine flushes by itself when it goes away.
    void Flush();
    // What a restart of Windows does to files: carries out the renames and
    // deletions waiting in PendingFileRenameOperations, in order, and clears
    // the value. Returns a line (GBK) for each operation.
    std::vector<std::string> ApplyPendingRenames();

    const std::string& Root() const { return root_; }
    const MachineConfig& Config() const { return config_; }
    HostPaths& Paths() { return paths_; }
    SandboxFiles& FileSystem() { return files_; }
    SandboxRegistry& RegistryStore() { return registry_; }
    Effects& EffectLog() { return effects_; }
    const std::string& OwnExecutableHostPath() const { return ownExecutable_; }
    const std::vector<std::string>& Arguments() const { return arguments_; }

    // Milliseconds on the machine's clock: the virtual time of the headless
    // window backend when one runs, else the host's monotonic clock. The
    // media player's position follows it.
    std::function<int64_t()> Clock;
    int64_t Now() const;

    // The Windows 7 profile folders of the machine's user.
    std::string UserProfile() const;

    // Taskbar pins, kept in <root>/taskbar.txt.
    bool IsPinned(const std::string& path);
    void SetPinned(const std::string& path, bool pinned);

private:
    void CreateStandardFolders();

    std::string root_;
    MachineConfig config_;
    HostPaths paths_;
    SandboxFiles files_;
    SandboxRegistry registry_;
    Effects effects_;
    SandboxSystem system_{*this};
    SandboxShell shell_{*this};
    SandboxDialogs dialogs_{*this};
    std::string ownExecutable_;
    std::vector<std::string> arguments_;
};

// The root folder the Linux programs use: $SANDBOX_ROOT, or ./sandbox.
std::string DefaultSandboxRoot();

// Splits a Windows command-line parameter text into arguments (blanks
// separate, double quotes group).
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace setup::sandbox
