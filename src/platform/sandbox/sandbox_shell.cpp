// The shell of the simulated machine. Every program start is recorded in
// effects.jsonl; two are carried out for real: the elevated start of the
// running program's own executable (the relaunch runs end to end as a host
// process), and "regedit /s file.reg", which imports the file into the
// registry.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/errors.h"
#include "platform/sandbox/sandbox_machine.h"
#include "platform/sandbox/shell_link_file.h"
#include "platform/text.h"

extern char** environ;

namespace setup::sandbox {

namespace {

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorCancelled = 1223;

std::string FileNameOf(const std::string& path) {
    size_t cut = FindLastCharOf(path, "\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string HexMask(uint32_t mask) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", mask);
    return buffer;
}

// The host command line of a program started on the machine: the host
// program, then the arguments (GBK on the machine) in UTF-8.
std::vector<std::string> HostCommandLine(const std::string& hostProgram, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{hostProgram};
    for (const std::string& a : arguments) argv.push_back(GbkToUtf8(a));
    return argv;
}

// In a forked child: becomes the host program, with the machine's root in
// its environment; a program that cannot be started ends the child with 127,
// as a shell reports it.
[[noreturn]] void ExecHostProgram(const std::string& hostProgram, std::vector<std::string>& argv,
                                  std::string& rootVariable) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    putenv(rootVariable.data());
    // Only the machine's own executable is really started, and always with
    // the "runas" verb: the copy runs elevated.
    static char elevated[] = "SANDBOX_ELEVATED=1";
    putenv(elevated);
    execv(hostProgram.c_str(), args.data());
    _exit(127);
}

// The exit status of a waited-for process; a process ended by a signal is
// 128 plus the signal, as a shell reports it.
int ExitCodeOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus); }

}  // namespace

bool SandboxShell::ProgramExists(const std::string& file) {
    if (file.find("://") != std::string::npos || StartsWithNoCase(file, "mailto:")) return true;
    FilesApi& files = machine_.Files();
    if (file.size() > 2 && file[1] == ':') return files.FileExists(file) || files.FolderExists(file);
    // A bare name is looked up where Windows looks for it.
    for (const std::string& folder : {std::string("C:\\Windows\\System32"), std::string("C:\\Windows")}) {
        if (files.FileExists(folder + "\\" + file) || files.FileExists(folder + "\\" + file + ".exe")) return true;
    }
    return false;
}

int SandboxShell::Launch(const std::string& hostProgram, const std::vector<std::string>& arguments,
                         const std::function<void(int)>& started) {
    // The started program must not wait for us, nor we for it: a short-lived
    // middle process hands the program to a watcher that records its exit
    // status, and we read the program's process id through a pipe.
    // The program reads the machine's files when it starts.
    machine_.Flush();
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    // The watcher records the program's end only once we have recorded its
    // start (we close our end of this pipe then), so the log keeps that order
    // however quickly the program ends. The program itself does not inherit it.
    int release[2];
    if (pipe2(release, O_CLOEXEC) != 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return -1;
    }
    std::vector<std::string> argv = HostCommandLine(hostProgram, arguments);
    std::string rootVariable = "SANDBOX_ROOT=" + machine_.Root();

    pid_t middle = fork();
    if (middle < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        close(release[0]);
        close(release[1]);
        return -1;
    }
    if (middle == 0) {
        close(pipeFds[0]);
        close(release[1]);
        if (fork() != 0) _exit(0);  // the watcher lives on alone
        setsid();
        pid_t child = fork();
        if (child == 0) {
            close(pipeFds[1]);
            ExecHostProgram(hostProgram, argv, rootVariable);
        }
        int32_t id = child;
        ssize_t ignored = write(pipeFds[1], &id, sizeof id);
        (void)ignored;
        close(pipeFds[1]);
        int status = 0;
        waitpid(child, &status, 0);
        char ignoredByte;
        while (read(release[0], &ignoredByte, 1) > 0) {
        }
        int exitCode = ExitCodeOf(status);
        try {
            machine_.EffectLog().Record("ProcessExit",
                                        JsonObject().Number("process", child).Number("status", exitCode));
        } catch (...) {
        }
        _exit(0);
    }
    close(pipeFds[1]);
    close(release[0]);
    waitpid(middle, nullptr, 0);
    int32_t id = -1;
    if (read(pipeFds[0], &id, sizeof id) != sizeof id) id = -1;
    close(pipeFds[0]);
    started(id);
    close(release[1]);
    return id;
}

int SandboxShell::LaunchAndWait(const std::string& hostProgram, const std::vector<std::string>& arguments,
                                int& process) {
    // The program reads the machine's files when it starts.
    machine_.Flush();
    std::vector<std::string> argv = HostCommandLine(hostProgram, arguments);
    std::string rootVariable = "SANDBOX_ROOT=" + machine_.Root();
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) ExecHostProgram(hostProgram, argv, rootVariable);
    process = child;
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    int exitCode = ExitCodeOf(status);
    machine_.EffectLog().Record("ProcessExit", JsonObject().Number("process", child).Number("status", exitCode));
    return exitCode;
}

ShellExecuteResult SandboxShell::Execute(const ShellExecuteRequest& request, bool wait) {
    JsonObject fields;
    fields.Text("verb", request.Verb)
        .Text("file", request.File)
        .Text("parameters", request.Parameters)
        .Text("directory", request.Directory)
        .Number("show", request.Show)
        .Text("mask", HexMask(request.Mask));
    if (wait) fields.Bool("wait", true);
    // Whether the started program gets administrator rights: asked for, or
    // inherited from an elevated process unless started as the user (by the
    // desktop's shell).
    bool elevate = EqualsNoCase(request.Verb, "runas");
    fields.Bool("elevated", elevate || (machine_.System().ProcessElevated() && !request.AsUser));

    ShellExecuteResult result;
    if (elevate && machine_.Config().Elevation != Elevation::Accept) {
        result.LastError = machine_.Config().Elevation == Elevation::Refuse ? kErrorCancelled : kErrorAccessDenied;
        fields.Text("result", machine_.Config().Elevation == Elevation::Refuse ? "cancelled" : "failed");
        machine_.EffectLog().Record("ShellExecuteEx", fields);
        return result;
    }
    if (IsFailedStart(machine_.Config().Faults, request.File)) {
        result.LastError = kErrorAccessDenied;
        fields.Text("result", "failed");
        machine_.EffectLog().Record("ShellExecuteEx", fields);
        return result;
    }
    if (!ProgramExists(request.File)) {
        result.LastError = kErrorFileNotFound;
        fields.Text("result", "file not found");
        machine_.EffectLog().Record("ShellExecuteEx", fields);
        return result;
    }
    result.Ok = true;
    std::string own = machine_.System().GetOwnExecutablePath();
    if (elevate && !wait && EqualsNoCase(request.File, own) && !machine_.OwnExecutableHostPath().empty()) {
        bool recorded = false;
        auto record = [&](int id) {
            fields.Text("result", id > 0 ? "started" : "failed").Number("process", id);
            machine_.EffectLog().Record("ShellExecuteEx", fields);
            recorded = true;
        };
        int process = Launch(machine_.OwnExecutableHostPath(), SplitCommandLine(request.Parameters), record);
        if (!recorded) record(process);
        if (process <= 0) {
            result.Ok = false;
            result.LastError = kErrorAccessDenied;
        }
        return result;  // recorded when it started
    } else if (elevate && wait && EqualsNoCase(request.File, own) && !machine_.OwnExecutableHostPath().empty()) {
        // The start is recorded before the copy runs, so that the effects
        // stay in the order they happened.
        fields.Text("result", "started");
        machine_.EffectLog().Record("ShellExecuteEx", fields);
        int process = -1;
        int status = LaunchAndWait(machine_.OwnExecutableHostPath(), SplitCommandLine(request.Parameters), process);
        if (status < 0) {
            result.Ok = false;
            result.LastError = kErrorAccessDenied;
        } else {
            result.ExitCode = static_cast<uint32_t>(status);
        }
        return result;
    } else {
        fields.Text("result", "recorded");
    }
    machine_.EffectLog().Record("ShellExecuteEx", fields);
    return result;
}

ShellExecuteResult SandboxShell::ShellExecuteEx(const ShellExecuteRequest& request) { return Execute(request, false); }

ShellExecuteResult SandboxShell::ShellExecuteAndWait(const ShellExecuteRequest& request,
                                                     const std::function<void()>& pump) {
    ShellExecuteResult result = Execute(request, true);
    // A recorded program has finished at once; the caller still gets one
    // round of its message pump, as it would while waiting.
    if (result.Ok && pump) pump();
    return result;
}

std::string SandboxShell::RegeditImport(const std::string& arguments) {
    std::vector<std::string> args = SplitCommandLine(arguments);
    if (args.size() != 2 || !EqualsNoCase(args[0], "/s")) return "unsupported regedit arguments";
    std::string bytes;
    try {
        std::unique_ptr<Stream> in = machine_.Files().Open(args[1], OpenMode::Read);
        bytes = in->ReadBytes(static_cast<size_t>(in->Size()), "registry file");
    } catch (const Error& e) {
        return e.what();
    }
    try {
        bool regedit4 = false;
        std::string name = GbkToUtf8(args[1]);
        std::string text = DecodeRegFile(bytes, name, regedit4);
        machine_.RegistryStore().Apply(ParseRegText(text, regedit4, name));
    } catch (const Error& e) {
        return Utf8ToGbk(e.what());
    }
    return "";
}

uint32_t SandboxShell::WinExec(const std::string& commandLine, int show) {
    JsonObject fields;
    fields.Text("commandLine", commandLine).Number("show", show).Bool("elevated", machine_.System().ProcessElevated());
    // The program is the first token: quoted, or up to the first blank.
    std::string program, rest;
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        program = commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        rest = close == std::string::npos ? "" : commandLine.substr(close + 1);
    } else {
        size_t blank = commandLine.find(' ');
        program = commandLine.substr(0, blank);
        rest = blank == std::string::npos ? "" : commandLine.substr(blank + 1);
    }
    std::string name = FileNameOf(program);
    if (IsFailedStart(machine_.Config().Faults, program)) {
        fields.Text("result", "failed");
        machine_.EffectLog().Record("WinExec", fields);
        return 2;  // as WinExec reports a file it cannot run
    }
    if (EqualsNoCase(name, "regedit") || EqualsNoCase(name, "regedit.exe")) {
        // regedit /s reports nothing to its caller; the sandbox notes why an
        // import did not happen so that a person can see it.
        std::string error = RegeditImport(std::string(TrimBlanks(rest)));
        if (error.empty()) {
            fields.Bool("imported", true);
        } else {
            fields.Text("importError", error);
        }
    }
    machine_.EffectLog().Record("WinExec", fields);
    return 33;
}

bool SandboxShell::CreateProcessHidden(const std::string& commandLine) {
    if (IsFailedStart(machine_.Config().Faults, commandLine)) {
        machine_.EffectLog().Record("CreateProcess", JsonObject()
                                                         .Text("commandLine", commandLine)
                                                         .Bool("elevated", machine_.System().ProcessElevated())
                                                         .Text("result", "failed"));
        return false;
    }
    machine_.EffectLog().Record("CreateProcess", JsonObject()
                                                     .Text("commandLine", commandLine)
                                                     .Text("window", "hidden")
                                                     .Text("priority", "idle")
                                                     .Bool("elevated", machine_.System().ProcessElevated()));
    return true;
}

bool SandboxShell::SaveShellLink(const ShellLink& link, const std::string& linkFile) {
    LinkTargetInfo target;
    FilesApi& files = machine_.Files();
    if (std::optional<uint32_t> attributes = files.GetAttributes(link.Path)) {
        target.Attributes = *attributes;
        target.Creation = files.GetFileTime(link.Path, FileTimeKind::Creation).value_or(0);
        target.Access = files.GetFileTime(link.Path, FileTimeKind::LastAccess).value_or(0);
        target.Write = files.GetFileTime(link.Path, FileTimeKind::LastWrite).value_or(0);
        if (!(*attributes & kAttrDirectory)) {
            std::unique_ptr<Stream> s = files.Open(link.Path, OpenMode::Read);
            target.Size = static_cast<uint32_t>(s->Size());
        }
    }
    if (link.Path.size() >= 2 && link.Path[1] == ':') {
        target.DriveType = machine_.System().GetDriveType(link.Path.substr(0, 3));
    }
    target.DriveSerial = 0x5A4D0000u | static_cast<uint32_t>(link.Path.empty() ? 0 : link.Path[0]);
    try {
        machine_.FileSystem().WriteWholeFile(linkFile, BuildShellLinkFile(link, target));
    } catch (const Error& e) {
        if (e.Kind() == ErrorKind::Conversion) return false;
        if (e.Kind() != ErrorKind::Os) throw;
        return false;
    }
    return true;
}

int SandboxShell::InvokeItemVerbs(const std::string& file, const std::string& verbFragment) {
    // Taskbar verbs appear from Windows 7 on, for files that exist.
    std::optional<OsVersion> v = machine_.System().GetVersion();
    if (!v || v->PlatformId != 2 || (v->Major * 100 + v->Minor) < 601) return 0;
    if (!machine_.Files().FileExists(file)) return 0;
    bool pinned = machine_.IsPinned(file);
    std::string verb = pinned ? "从任务栏脱离(&K)" : "锁定到任务栏(&K)";
    if (verb.find(verbFragment) == std::string::npos) return 0;
    machine_.SetPinned(file, !pinned);
    machine_.EffectLog().Record("TaskbarVerb", JsonObject().Text("file", file).Text("verb", verb));
    return 1;
}

bool SandboxShell::RequestRestart() {
    machine_.EffectLog().Record("Restart", JsonObject());
    return true;
}

std::unique_ptr<Platform> CreateSandboxFromEnvironment(int argc, char** argv) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string exe = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(argc > 0 ? argv[0] : "");
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return std::make_unique<SandboxMachine>(DefaultSandboxRoot(), exe, std::move(args));
}

}  // namespace setup::sandbox

namespace setup {
std::unique_ptr<Platform> CreateNativePlatform(int argc, char** argv) {
    return sandbox::CreateSandboxFromEnvironment(argc, argv);
}
}  // namespace setup
