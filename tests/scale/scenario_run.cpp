#include "scale/scenario_run.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/uninstall_record.h"
#include "package/item_rules.h"
#include "package/package_builder.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/registry_roots.h"
#include "platform/sandbox/sandbox_machine.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "scale/project_generator.h"
#include "startup/setup_entry.h"
#include "ui/headless/headless_backend.h"
#include "uninstaller/uninstall_entry.h"

namespace setup::scale {

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kTemp[] = "C:\\Users\\User\\AppData\\Local\\Temp";

std::string Fold(const std::string& text) { return AsciiLowerCase(text); }
bool Below(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && StartsWithNoCase(path, folder) && path[folder.size()] == '\\';
}

// The whole machine as the seam shows it: files with digest, attributes and
// time, folders, keys and values. Paths are keyed without ASCII case.
struct FileState {
    std::string path;
    bool folder = false;
    std::string digest;
    uint32_t attributes = 0;
    FileTime lastWrite = 0;
    bool operator==(const FileState& o) const {
        return folder == o.folder && digest == o.digest && attributes == o.attributes && lastWrite == o.lastWrite;
    }
};
struct ValueState {
    std::string key;  // "HKEY_...\path"
    RegValue value;
};
struct MachineState {
    std::map<std::string, FileState> files;
    std::map<std::string, std::string> keys;
    std::map<std::string, ValueState> values;  // folded key + "\n" + folded name
};

std::string ReadAll(const std::string& path) {
    std::unique_ptr<Stream> s = OpenFile(path, OpenMode::Read);
    return s->ReadBytes(static_cast<size_t>(s->Size()));
}

void CaptureFolder(const std::string& folder, MachineState& state) {
    for (const FolderEntry& e : OS().Files().ListFolder(folder)) {
        FileState f;
        f.path = (EndsWithChar(folder, '\\') ? folder : folder + "\\") + e.Name;
        f.attributes = e.Attributes;
        if (e.Attributes & kAttrDirectory) {
            f.folder = true;
            // The package itself is large and never changes.
            if (!EqualsNoCase(f.path, "C:\\Downloads")) CaptureFolder(f.path, state);
        } else {
            f.lastWrite = e.LastWrite;
            f.digest = Sha256Hex(ReadAll(f.path));
        }
        state.files[Fold(f.path)] = f;
    }
}

void CaptureKey(uint32_t root, const std::string& path, MachineState& state) {
    RegistryApi& registry = OS().Registry();
    std::string display = RootKeyName(root) + (path.empty() ? "" : "\\" + path);
    state.keys[Fold(display)] = display;
    for (const RegValue& value : registry.ListValues(root, path)) {
        state.values[Fold(display) + "\n" + Fold(value.Name)] = {display, value};
    }
    for (const std::string& sub : registry.ListSubKeys(root, path)) {
        CaptureKey(root, path.empty() ? sub : path + "\\" + sub, state);
    }
}

MachineState Capture() {
    MachineState state;
    CaptureFolder("C:\\", state);
    for (const RegistryRoot& root : kRegistryRoots) CaptureKey(root.Handle, "", state);
    return state;
}

// A machine object on the folder for as long as it lives, as a new process
// would open it.
class ActiveMachine {
public:
    ActiveMachine(const std::string& root, const std::string& ownExecutable = "",
                  std::vector<std::string> arguments = {})
        : machine_(root, ownExecutable, std::move(arguments)) {
        SetPlatform(&machine_);
    }
    ~ActiveMachine() { SetPlatform(nullptr); }
    sandbox::SandboxMachine& Machine() { return machine_; }

private:
    sandbox::SandboxMachine machine_;
};

// A program body run in this process as the Linux program runs it.
int RunInProcess(const std::string& root, const std::string& hostProgram, int (*body)()) {
    ActiveMachine active(root, hostProgram, {"-1"});
    ui::HeadlessBackend backend(root + "/transcript.txt", root + "/user.script");
    ui::SetBackend(&backend);
    active.Machine().Clock = [&backend] { return backend.Now(); };
    int status = body();
    active.Machine().Clock = nullptr;
    ui::SetBackend(nullptr);
    return status;
}

int RunProgram(const std::string& root, const std::string& hostProgram) {
    std::string command = "SANDBOX_ROOT='" + root + "' '" + hostProgram + "' -1 >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class Checker {
public:
    void Fail(const std::string& what) {
        if (++count_ <= 40) text_ += GbkToUtf8(what) + "\n";
    }
    std::string Text() const {
        return count_ > 40 ? text_ + "... and " + std::to_string(count_ - 40) + " more\n" : text_;
    }
    bool Failed() const { return count_ > 0; }

private:
    std::string text_;
    int count_ = 0;
};

std::string Describe(const RegValue& v) {
    std::ostringstream s;
    s << "type " << v.Type << ", " << v.Data.size() << " bytes";
    return s.str();
}

// What one scenario needs beyond the generated one: the paths it must find.
struct Expectations {
    std::set<std::string> writtenFiles;   // folded paths of packaged files this installation wrote
    std::set<std::string> keptFiles;      // ... of those, the ones kept on uninstalling
    std::set<std::string> writtenValues;  // folded key + "\n" + name of every value the project writes
    std::set<std::string> valueKeys;      // folded keys the values go into
    std::set<std::string> runValues;      // folded names of the start-up values
};

}  // namespace

std::string RunScenario(uint64_t seed, RunMode mode, const ScalePrograms& programs, ScaleFigures& figures) {
    std::string uninstaller = mode == RunMode::Programs ? ReadHostFile(programs.uninstall) : "MZ uninstaller";
    Scenario s = GenerateScenario(seed, uninstaller);
    if (mode == RunMode::Programs) {
        // The programs are megabytes: chunks of a useful size.
        s.chunk = std::max<size_t>(s.chunk, 1 << 20);
        s.level = cplSpeed;
    }
    Checker check;
    for (const std::string& violation : CheckPackageRules(*s.project)) check.Fail("generated project: " + violation);

    char pattern[] = "/tmp/scale-XXXXXX";
    if (!mkdtemp(pattern)) return "cannot make a temporary folder\n";
    const std::string root = pattern;
    { std::ofstream(root + "/machine.ini") << "[Machine]\nOsVersion=" << s.osVersion << "\n"; }
    TCompile& p = *s.project;
    MachineState before;
    const std::string package = root + "/C/Downloads/setup";
    {
        ActiveMachine active(root);
        FilesApi& files = OS().Files();
        RegistryApi& registry = OS().Registry();
        // Keys every Windows machine has.
        registry.CreateKey(kHkeyCurrentUser, "Software");
        registry.CreateKey(kHkeyLocalMachine, kUninstallKey);
        registry.CreateKey(kHkeyLocalMachine, kRunKey);
        registry.CreateKey(kHkeyUsers, ".DEFAULT\\Software");
        registry.CreateKey(kHkeyCurrentConfig, "Software");
        for (const std::string& folder : s.presentFolders) files.CreateFolderTree(folder);
        for (const PresentFile& f : s.presentFiles) {
            files.CreateFolderTree(FolderPart(f.path));
            OpenFile(f.path, OpenMode::Create)->WriteBytes(f.bytes);
            files.SetAttributes(f.path, f.attributes);
        }
        for (const auto& [keyRoot, key] : s.presentKeys) registry.CreateKey(keyRoot, key);
        for (const PresentValue& v : s.presentValues) registry.WriteValue(v.root, v.key, v.value);
        figures.presentItems += static_cast<int>(s.presentFiles.size() + s.presentValues.size());

        std::string stub = mode == RunMode::Programs ? ReadHostFile(programs.setup) : std::string("MZ setup stub");
        files.CreateFolderTree("C:\\Downloads");
        OpenFile("C:\\Downloads\\setup", OpenMode::Create)
            ->WriteBytes(testing_package::BuildPackage(p, s.data, stub, s.level, s.chunk));
        before = Capture();
    }

    // What the project is to write, found without the engine.
    Expectations expect;
    for (const PlannedFile& f : s.files) {
        const TCompileFileData& item = *p.FileList[f.item];
        if (!f.installs) continue;
        // A file the machine holds already and that is not overwritten still
        // gets its start-up value.
        if (item.RunAtStartup) expect.runValues.insert(Fold(FileNamePart(f.path)));
        bool present = before.files.count(Fold(f.path)) != 0;
        if (item.NoOverwrite && present) continue;
        expect.writtenFiles.insert(Fold(f.path));
        if (item.KeepOnUninstall) expect.keptFiles.insert(Fold(f.path));
        figures.files++;
        figures.bytes += static_cast<int64_t>(s.data[f.item].size());
    }
    for (const auto& v : p.RegList) {
        if (!v->TargetOs.empty() && v->TargetOs != s.osVersion) continue;
        std::vector<std::string> levels = SplitOn(v->Key, '\\');
        std::string key = levels[1];
        for (size_t i = 2; i < levels.size(); ++i) key += "\\" + levels[i];
        expect.valueKeys.insert(Fold(key));
        expect.writtenValues.insert(Fold(key) + "\n" + Fold(v->ValueName));
        figures.values++;
    }
    figures.shortcuts += static_cast<int>(p.ShotCutList.size());
    figures.components += static_cast<int>(p.CompList.size());
    figures.scenarios++;

    const std::string hostPackage = package;
    for (int run = 0; run < s.installs; ++run) {
        int status =
            mode == RunMode::InProcess ? RunInProcess(root, hostPackage, SetupMain) : RunProgram(root, hostPackage);
        figures.installs++;
        figures.programRuns += mode == RunMode::Programs;
        if (status != 0)
            check.Fail("install " + std::to_string(run + 1) + " ended with status " + std::to_string(status));
    }

    const std::string record = s.installDir + "\\" + s.uninstallerName.substr(0, s.uninstallerName.size() - 3) + "log";
    const std::string uninstallerPath = s.installDir + "\\" + s.uninstallerName;
    std::set<std::string> implicitKeys;  // keys made for a value, which the design leaves unrecorded
    MachineState installed;
    {
        ActiveMachine active(root);
        installed = Capture();
        // Every packaged file byte for byte, with its time.
        for (const PlannedFile& f : s.files) {
            const TCompileFileData& item = *p.FileList[f.item];
            auto now = installed.files.find(Fold(f.path));
            auto then = before.files.find(Fold(f.path));
            if (!expect.writtenFiles.count(Fold(f.path))) {
                bool same = then == before.files.end() ? now == installed.files.end()
                                                       : now != installed.files.end() && now->second == then->second;
                if (!same) check.Fail("not to be written, but changed: " + f.path);
                continue;
            }
            if (now == installed.files.end() || now->second.folder) {
                check.Fail("not installed: " + f.path);
                continue;
            }
            if (ReadAll(f.path) != s.data[f.item]) check.Fail("installed with other bytes: " + f.path);
            auto local = static_cast<FileTime>(std::llround((item.FileTime + 109205.0) * 86400.0)) * 10000000ULL;
            std::optional<FileTime> utc = OS().System().LocalFileTimeToUtc(local);
            FileTime actual = now->second.lastWrite;
            if (!utc || (actual > *utc ? actual - *utc : *utc - actual) > 20000000ULL) {
                check.Fail("installed with another time: " + f.path + " " + std::to_string(actual) + " instead of " +
                           std::to_string(utc.value_or(0)));
            }
        }
        // The record: genuine, and exactly what the installation created.
        TUnInstall saved;
        bool genuine = false;
        try {
            genuine = saved.LoadVerifiedFromFile(record);
        } catch (const Error& e) {
            check.Fail(std::string("record unreadable: ") + e.what());
        }
        if (!genuine) check.Fail("no genuine record at " + record);
        std::set<std::string> recordFiles, recordFolders, recordKeys, recordValues;
        for (const auto& e : saved.Entries()) {
            switch (e->EntryKind) {
                case ukFile:
                    recordFiles.insert(Fold(e->Path));
                    if ((e->DeleteFlag == 0) != (expect.keptFiles.count(Fold(e->Path)) != 0)) {
                        check.Fail("record: wrong delete flag for " + e->Path);
                    }
                    break;
                case ukFolder:
                    recordFolders.insert(Fold(e->Path));
                    break;
                default: {
                    uint32_t keyRoot = static_cast<uint32_t>(std::stoul(e->RootKey));
                    std::string key = Fold(RootKeyName(keyRoot) + "\\" + e->Path);
                    if (e->EntryKind == ukRegistry && e->ValueName.empty()) {
                        recordKeys.insert(key);
                    } else {
                        recordValues.insert(key + "\n" + Fold(e->ValueName));
                    }
                }
            }
        }
        for (const auto& [path, state] : installed.files) {
            if (Below(state.path, kTemp)) {
                if (!state.folder) check.Fail("left in the temporary folder: " + state.path);
                continue;
            }
            auto then = before.files.find(path);
            bool changed = then == before.files.end() || !(then->second == state);
            if (!changed) continue;
            if (state.folder) {
                if (then == before.files.end() && !recordFolders.count(path)) {
                    check.Fail("created folder not recorded: " + state.path);
                }
                continue;
            }
            if (EqualsNoCase(state.path, uninstallerPath) || EqualsNoCase(state.path, record)) continue;
            bool copy = false;
            for (const std::string& c : s.componentCopies) copy = copy || EqualsNoCase(c, state.path);
            if (copy) continue;
            if (!recordFiles.count(path)) check.Fail("written file not recorded: " + state.path);
        }
        for (const std::string& path : recordFiles) {
            auto now = installed.files.find(path);
            auto then = before.files.find(path);
            if (now == installed.files.end()) {
                check.Fail("recorded file missing: " + path);
            } else if (then != before.files.end() && then->second == now->second) {
                check.Fail("recorded file not written: " + path);
            }
        }
        for (const std::string& path : recordFolders) {
            if (before.files.count(path)) check.Fail("recorded folder was there before: " + path);
            if (!installed.files.count(path)) check.Fail("recorded folder missing: " + path);
        }
        for (const auto& [key, display] : installed.keys) {
            if (before.keys.count(key)) continue;
            if (recordKeys.count(key)) continue;
            // A key the registry pass opened for a value is made, not recorded;
            // and the product's Uninstall entry is the uninstaller's own.
            bool forValue = false;
            for (const std::string& k : expect.valueKeys) forValue = forValue || k == key || Below(k, key);
            if (forValue) {
                implicitKeys.insert(key);
            } else if (!StartsWithNoCase(display, "HKEY_LOCAL_MACHINE\\" + std::string(kUninstallKey) + "\\")) {
                check.Fail("created key not recorded: " + display);
            }
        }
        for (const std::string& key : recordKeys) {
            if (before.keys.count(key)) check.Fail("recorded key was there before: " + key);
            if (!installed.keys.count(key)) check.Fail("recorded key missing: " + key);
        }
        const std::string runKey = Fold(std::string("HKEY_LOCAL_MACHINE\\") + kRunKey);
        for (const auto& [id, state] : installed.values) {
            auto then = before.values.find(id);
            if (then != before.values.end() && then->second.value.Type == state.value.Type &&
                then->second.value.Data == state.value.Data) {
                continue;
            }
            if (StartsWithNoCase(state.key, "HKEY_LOCAL_MACHINE\\" + std::string(kUninstallKey) + "\\")) continue;
            if (EqualsNoCase(state.key, runKey) && expect.runValues.count(Fold(state.value.Name))) continue;
            if (!recordValues.count(id))
                check.Fail("written value not recorded: " + state.key + " " + state.value.Name);
            if (!expect.writtenValues.count(id)) check.Fail("value the project does not write: " + state.key);
        }
        for (const std::string& id : expect.writtenValues) {
            if (!installed.values.count(id)) check.Fail("value not written: " + id);
            if (!recordValues.count(id)) check.Fail("value not recorded: " + id);
        }
    }

    std::string hostUninstaller =
        root + "/C/Program Files/" + GbkToUtf8(s.product) + "/" + GbkToUtf8(s.uninstallerName);
    int status = mode == RunMode::InProcess ? RunInProcess(root, hostUninstaller, UninstallMain)
                                            : RunProgram(root, hostUninstaller);
    figures.uninstalls++;
    figures.programRuns += mode == RunMode::Programs;
    if (status != 0) check.Fail("uninstall ended with status " + std::to_string(status));

    {
        ActiveMachine active(root);
        MachineState after = Capture();
        // Nothing of the machine's own is changed or lost, but for what the
        // installation replaced.
        for (const auto& [path, then] : before.files) {
            auto now = after.files.find(path);
            if (expect.writtenFiles.count(path)) {
                bool kept = expect.keptFiles.count(path) != 0;
                if (kept != (now != after.files.end())) {
                    check.Fail(std::string(kept ? "kept file gone: " : "replaced file not removed: ") + then.path);
                }
                continue;
            }
            if (now == after.files.end()) {
                check.Fail("lost: " + then.path);
            } else if (!(now->second == then)) {
                check.Fail("changed: " + then.path);
            }
        }
        // Nothing new is left but what the design keeps: kept files and their
        // folders, the uninstaller (which the system deletes once it ends) in
        // the installation folder, its deleting batch, component copies.
        for (const auto& [path, now] : after.files) {
            if (before.files.count(path)) continue;
            if (expect.keptFiles.count(path)) continue;
            if (EqualsNoCase(now.path, uninstallerPath)) continue;
            if (Below(now.path, kTemp) && (now.folder || StartsWithNoCase(FileNamePart(now.path), "_deleteme-")))
                continue;
            bool allowed = false;
            for (const std::string& c : s.componentCopies) allowed = allowed || EqualsNoCase(c, now.path);
            if (now.folder) {
                allowed = allowed || Below(uninstallerPath, now.path);
                for (const std::string& kept : expect.keptFiles) allowed = allowed || Below(kept, path);
            }
            if (!allowed) check.Fail("left behind: " + now.path);
        }
        for (const auto& [key, display] : before.keys) {
            if (!after.keys.count(key)) check.Fail("key lost: " + display);
        }
        for (const auto& [id, then] : before.values) {
            auto now = after.values.find(id);
            if (expect.writtenValues.count(id)) continue;  // replaced by the installation, removed with it
            if (now == after.values.end()) {
                check.Fail("value lost: " + then.key + " " + then.value.Name);
            } else if (now->second.value.Type != then.value.Type || now->second.value.Data != then.value.Data) {
                check.Fail("value changed: " + then.key + " " + then.value.Name + " " + Describe(now->second.value));
            }
        }
        for (const auto& [key, display] : after.keys) {
            if (before.keys.count(key) || implicitKeys.count(key)) continue;
            // A key directly under a root is never removed, whatever the record says.
            if (SplitOn(display, '\\').size() == 2) continue;
            check.Fail("key left behind: " + display);
        }
        const std::string runKey = Fold(std::string("HKEY_LOCAL_MACHINE\\") + kRunKey);
        for (const auto& [id, now] : after.values) {
            if (before.values.count(id)) continue;
            if (EqualsNoCase(now.key, runKey) && expect.runValues.count(Fold(now.value.Name))) continue;
            check.Fail("value left behind: " + now.key + " " + now.value.Name);
        }
    }
    if (check.Failed()) return "machine kept in " + root + "\n" + check.Text();
    std::filesystem::remove_all(root);
    return "";
}

}  // namespace setup::scale
