#include "platform/sandbox/sandbox_machine.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/sandbox/machine_files.h"
#include "platform/text.h"

namespace setup::sandbox {

namespace {

std::string PrepareRoot(const std::string& root) {
    std::string path;
    for (const std::string& part : SplitOn(root, '/')) {
        path += part;
        if (!path.empty()) mkdir(path.c_str(), 0755);
        path += "/";
    }
    // Checked before anything in it is read or written.
    RefuseLinkedMachineFiles(root);
    char resolved[PATH_MAX];
    if (realpath(root.c_str(), resolved) == nullptr) ThrowOsError("Cannot create the sandbox folder " + root);
    return resolved;
}

const char* AnswerName(int answer) {
    switch (answer) {
        case kIdOk:
            return "ok";
        case kIdCancel:
            return "cancel";
        case kIdYes:
            return "yes";
        case kIdNo:
            return "no";
    }
    return "none";
}

}  // namespace

std::string DefaultSandboxRoot() {
    const char* env = std::getenv("SANDBOX_ROOT");
    return env && *env ? env : "sandbox";
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) args.push_back(current);
            current.clear();
            any = false;
        } else {
            current.push_back(c);
            any = true;
        }
    }
    if (any) args.push_back(current);
    return args;
}

SandboxMachine::SandboxMachine(const std::string& root, const std::string& ownExecutable,
                               std::vector<std::string> arguments)
    : root_(PrepareRoot(root)),
      config_(LoadMachineConfig(root_)),
      paths_(root_, config_),
      files_(paths_, root_ + "/file-metadata.txt"),
      registry_(root_ + "/registry.reg"),
      effects_(root_ + "/effects.jsonl"),
      ownExecutable_(ownExecutable),
      arguments_(std::move(arguments)) {
    char resolved[PATH_MAX];
    if (!ownExecutable_.empty() && realpath(ownExecutable_.c_str(), resolved)) ownExecutable_ = resolved;
    CreateStandardFolders();
    // Faults apply once the machine stands, so that its standard folders exist.
    files_.SetFaults(config_.Faults);
    files_.SetRegistry(&registry_);
    registry_.SetFaults(config_.Faults);
}

std::vector<std::string> SandboxMachine::ApplyPendingRenames() {
    std::vector<std::string> done;
    std::optional<RegValue> value = registry_.ReadValue(kHkeyLocalMachine, kSessionManagerKey, kPendingRenamesValue);
    if (!value) return done;
    // The texts of the REG_MULTI_SZ, empty ones included: a deletion's target is empty.
    std::vector<std::string> texts;
    const std::string& data = value->Data;
    size_t start = 0;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        if (data[i] != 0 || data[i + 1] != 0) continue;
        texts.push_back(StringFromValueData(data.substr(start, i - start) + std::string(2, '\0')).value_or(""));
        start = i + 2;
    }
    auto strip = [](const std::string& path) { return path.rfind("\\??\\", 0) == 0 ? path.substr(4) : path; };
    files_.SetRestarting(true);
    for (size_t i = 0; i + 1 < texts.size() && !texts[i].empty(); i += 2) {
        std::string from = strip(texts[i]);
        std::string to = texts[i + 1];
        bool replace = !to.empty() && to[0] == '!';
        to = strip(replace ? to.substr(1) : to);
        try {
            if (to.empty()) {
                files_.SetAttributes(from, kAttrNormal);
                if (files_.DeleteFile(from) || files_.RemoveFolder(from)) done.push_back("deleted " + from);
            } else {
                files_.MoveFile(from, to, replace ? MoveMode::ReplaceExisting : MoveMode::NoReplace);
                done.push_back("moved " + from + " -> " + to);
            }
        } catch (const Error& e) {
            // Windows skips an operation it cannot carry out and goes on.
            done.push_back("skipped " + from + ": " + e.what());
        }
    }
    files_.SetRestarting(false);
    registry_.DeleteValue(kHkeyLocalMachine, kSessionManagerKey, kPendingRenamesValue);
    effects_.Record("PendingRenames", JsonObject().Number("applied", static_cast<int64_t>(done.size())));
    Flush();
    return done;
}

void SandboxMachine::Flush() {
    registry_.Flush();
    files_.Flush();
}

int64_t SandboxMachine::Now() const {
    if (Clock) return Clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string SandboxMachine::UserProfile() const { return "C:\\Users\\" + config_.User; }

void SandboxMachine::CreateStandardFolders() {
    for (const auto& [letter, drive] : config_.Drives) {
        if (!drive.Missing) mkdir((root_ + "/" + std::string(1, letter)).c_str(), 0755);
    }
    if (!config_.Drives.count('C') || config_.Drives.at('C').Missing) return;
    std::string profile = UserProfile();
    const std::string folders[] = {
        "C:\\Windows\\System32",
        "C:\\Windows\\Fonts",
        "C:\\Program Files\\Common Files",
        "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
        "C:\\Users\\Public\\Desktop",
        profile + "\\Desktop",
        profile + "\\Documents",
        profile + "\\AppData\\Local\\Temp",
        profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
        profile + "\\AppData\\Roaming" + kQuickLaunchBelowAppData + "\\User Pinned\\TaskBar",
    };
    for (const std::string& folder : folders) files_.CreateFolderTree(folder);
    // The system programs the helpers start by their full paths.
    for (const char* program : {"C:\\Windows\\regedit.exe", "C:\\Windows\\System32\\regsvr32.exe"}) {
        if (!files_.FileExists(program)) files_.WriteWholeFile(program, "");
    }
}

bool SandboxMachine::IsPinned(const std::string& path) {
    std::ifstream in(root_ + "/taskbar.txt", std::ios::binary);
    std::string line, wanted = AsciiLowerCase(GbkToUtf8(path));
    while (std::getline(in, line)) {
        if (AsciiLowerCase(line) == wanted) return true;
    }
    return false;
}

void SandboxMachine::SetPinned(const std::string& path, bool pinned) {
    std::vector<std::string> lines;
    {
        std::ifstream in(root_ + "/taskbar.txt", std::ios::binary);
        std::string line;
        std::string wanted = AsciiLowerCase(GbkToUtf8(path));
        while (std::getline(in, line)) {
            if (AsciiLowerCase(line) != wanted) lines.push_back(line);
        }
    }
    if (pinned) lines.push_back(GbkToUtf8(path));
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    ReplaceMachineFile(root_ + "/taskbar.txt", text);
}

// ---- system ------------------------------------------------------------------

std::optional<OsVersion> SandboxSystem::GetVersion() { return VersionFromText(machine_.Config().OsVersion); }

std::string SandboxSystem::GetSpecialFolderPath(int csidl) {
    std::string profile = machine_.UserProfile();
    std::string roaming = profile + "\\AppData\\Roaming";
    std::string startMenu = roaming + "\\Microsoft\\Windows\\Start Menu";
    switch (csidl) {
        case kCsidlDesktop:
        case kCsidlDesktopDirectory:
            return profile + "\\Desktop";
        case kCsidlPrograms:
            return startMenu + "\\Programs";
        case kCsidlPersonal:
            return profile + "\\Documents";
        case kCsidlStartup:
            return startMenu + "\\Programs\\Startup";
        case kCsidlStartMenu:
            return startMenu;
        case kCsidlCommonStartMenu:
            return "C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
        case kCsidlCommonPrograms:
            return "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
        case kCsidlCommonDesktopDirectory:
            return "C:\\Users\\Public\\Desktop";
        case kCsidlAppData:
            return roaming;
        case kCsidlLocalAppData:
            return profile + "\\AppData\\Local";
        case kCsidlCommonAppData:
            return "C:\\ProgramData";
        case kCsidlWindows:
            return "C:\\Windows";
        case kCsidlSystem:
            return "C:\\Windows\\System32";
        case kCsidlSystemX86:
            return machine_.Config().Windows64 ? "C:\\Windows\\SysWOW64" : "C:\\Windows\\System32";
        case kCsidlProgramFiles:
            return "C:\\Program Files";
        case kCsidlProgramFilesCommon:
            return "C:\\Program Files\\Common Files";
        default:
            return "";
    }
}

std::string SandboxSystem::GetTempPath() { return machine_.UserProfile() + "\\AppData\\Local\\Temp\\"; }

std::string SandboxSystem::GetWindowsDirectory() { return "C:\\Windows"; }

std::string SandboxSystem::GetSystemDirectory() { return "C:\\Windows\\System32"; }

uint32_t SandboxSystem::GetLogicalDrives() {
    uint32_t mask = 1u << ('Z' - 'A');
    for (const auto& [letter, drive] : machine_.Config().Drives) {
        if (!drive.Missing) mask |= 1u << (letter - 'A');
    }
    return mask;
}

DriveType SandboxSystem::GetDriveType(const std::string& root) {
    if (root.empty()) return DriveType::Unknown;
    char letter = AsciiUpperCase(root.substr(0, 1))[0];
    if (letter == 'Z') return DriveType::Fixed;
    auto it = machine_.Config().Drives.find(letter);
    if (it == machine_.Config().Drives.end()) return DriveType::NoRootDir;
    return it->second.Type;
}

int64_t SandboxSystem::GetFreeBytes(const std::string& root) {
    if (root.empty()) return -1;
    char letter = AsciiUpperCase(root.substr(0, 1))[0];
    if (letter == 'Z') {
        struct statvfs st;
        if (statvfs("/", &st) != 0) return -1;
        return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
    }
    auto it = machine_.Config().Drives.find(letter);
    if (it == machine_.Config().Drives.end() || it->second.Missing) return -1;
    int64_t writable = machine_.FileSystem().WritableBytes(letter);
    return writable >= 0 ? std::min(writable, it->second.FreeBytes) : it->second.FreeBytes;
}

std::string SandboxSystem::GetOwnExecutablePath() {
    return machine_.Paths().ToWindows(machine_.OwnExecutableHostPath());
}

std::vector<std::string> SandboxSystem::GetArguments() {
    std::vector<std::string> args;
    for (const std::string& a : machine_.Arguments()) args.push_back(Utf8ToGbk(a));
    return args;
}

bool SandboxSystem::ProcessElevated() {
    const char* elevated = std::getenv("SANDBOX_ELEVATED");
    return elevated && std::string(elevated) == "1";
}

std::optional<FileTime> SandboxSystem::LocalFileTimeToUtc(FileTime local) {
    int64_t offset = static_cast<int64_t>(machine_.Config().UtcOffsetMinutes) * 60 * 10000000LL;
    int64_t utc = static_cast<int64_t>(local) - offset;
    if (utc < 0) return std::nullopt;
    return static_cast<FileTime>(utc);
}

// ---- dialogs -----------------------------------------------------------------

int SandboxDialogs::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
    uint32_t buttons = flags & 0x0F;
    int answer = buttons == kMbYesNo ? kIdNo : kIdOk;
    for (const AnswerRule& rule : machine_.Config().Answers) {
        if (rule.Fragment == "*" || text.find(rule.Fragment) != std::string::npos) {
            bool fits = buttons == kMbYesNo      ? (rule.Answer == kIdYes || rule.Answer == kIdNo)
                        : buttons == kMbOkCancel ? (rule.Answer == kIdOk || rule.Answer == kIdCancel)
                                                 : rule.Answer == kIdOk;
            if (fits) {
                answer = rule.Answer;
                break;
            }
        }
    }
    uint32_t icon = flags & 0xF0;
    const char* iconName = icon == kMbIconStop          ? "stop"
                           : icon == kMbIconQuestion    ? "question"
                           : icon == kMbIconWarning     ? "warning"
                           : icon == kMbIconInformation ? "information"
                                                        : "none";
    const char* buttonsName = buttons == kMbYesNo ? "yesno" : buttons == kMbOkCancel ? "okcancel" : "ok";
    machine_.EffectLog().Record("MessageBox", JsonObject()
                                                  .Text("caption", caption)
                                                  .Text("text", text)
                                                  .Text("icon", iconName)
                                                  .Text("buttons", buttonsName)
                                                  .Bool("taskModal", (flags & kMbTaskModal) != 0)
                                                  .Text("answer", AnswerName(answer)));
    return answer;
}

}  // namespace setup::sandbox
