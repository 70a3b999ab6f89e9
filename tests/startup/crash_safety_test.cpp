// Runs of the Linux setup program and uninstaller killed (SIGKILL) after each
// change they make to the simulated machine, and what the next run makes of
// it: every file is where the finished run puts it, no temporary or backup
// name is left anywhere, and the uninstaller then leaves the machine as it
// was before the first installation. Files held by running programs are
// replaced when the machine restarts, with status 3010.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "platform/host_files.h"
#include "platform/sandbox/sandbox_files.h"
#include "platform/text.h"
#include "startup/package_run_fixture.h"

namespace setup::testing_sandbox {
namespace {

namespace fs = std::filesystem;

constexpr char kId[] = "3B1E2A4C-6D5F-4A7B-9C8D-1E2F3A4B5C6D";
const std::string kDir = "C:\\Program Files\\演示";
const std::string kUninstaller = kDir + "\\UnInstall 演示.exe";

class CrashSafetyTest : public PackageRunTest {
protected:
    void SetUp() override {
        PackageRunTest::SetUp();
        Setting(igProject, "项目名称", "演示");
        Setting(igProject, "版本号", "1.0");
        Setting(igProject, "显示安装界面", "禁用");
        Setting(igProject, "卸载程序", "启用");
        Setting(igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
        Setting(igStartFolder, "默认文件夹名称", "演示");
        project_->PackageId = kId;
        Add(fkFile, "app.exe", "MZ app 1", "目标计算机\\Program Files\\");
        for (int i = 0; i < 6; ++i) {
            Add(fkFile, "data" + std::to_string(i) + ".txt", "data 1 " + std::to_string(i),
                "目标计算机\\Program Files\\data");
        }
        Add(fkUnInsFile, "UnInstall 演示.exe", setup::ReadHostFile(UNINSTALL_PROGRAM), "");
        auto value = std::make_unique<TRegInfoData>();
        value->Key = "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示";
        value->ValueName = "版本";
        value->Data = "1";
        project_->RegList.push_back(std::move(value));
        Shortcut("开始菜单\\", "演示", "D:\\src\\app.exe");
        // Something of the user's that the product must never take.
        // Another product's Uninstall entry, as every Windows has some.
        const std::string other = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other";
        OS().Registry().CreateKey(kHkeyLocalMachine, other);
        OS().Registry().WriteString(kHkeyLocalMachine, other, "DisplayName", "Other");
        OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\演示");
        OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\演示", "用户设置", "保留");
        Machine().Flush();
    }
    // Version 2: every file changed, one file more, the value changed.
    void MakeVersion2() {
        for (size_t i = 0; i < project_->FileList.size(); ++i) {
            if (project_->FileList[i]->Kind == fkFile) data_[i] += " v2";
        }
        Add(fkFile, "new.dll", "MZ new in 2", "目标计算机\\Program Files\\");
        project_->RegList[0]->Data = "2";
    }
    // Runs the placed package quietly in place; killAt > 0 kills it after
    // that many changes. Returns the exit status (3010 as the machine
    // records it; a killed run gives 128 + 9).
    int Setup(long killAt = 0) { return RunKilled("'" + HostPath("C/Downloads/setup") + "' -1 /S", killAt); }
    int Uninstall(long killAt = 0) { return RunKilled("'" + HostPath(Utf8Path(kUninstaller)) + "' -1 /S", killAt); }
    // The log of the last run, as UTF-8 text.
    std::string Log() { return ReadHostFile("C/Downloads/run.log"); }
    int RunKilled(const std::string& command, long killAt) {
        Machine().Flush();
        WriteHostFile("effects.jsonl", "");
        fs::remove(HostPath("C/Downloads/run.log"));
        int status = -1;
        std::string env = killAt > 0 ? "SANDBOX_KILL_AT=" + std::to_string(killAt) + " " : "";
        output_ =
            RunHost(env + "SANDBOX_ROOT='" + root_ + "' " + command + " '/LOG=C:\\Downloads\\run.log' 2>&1", &status);
        Reopen();
        for (const std::string& line : EffectLinesOf("ExitCode")) {
            if (Contains(line, "3010")) return 3010;
        }
        return status;
    }
    // Every file and folder of the machine with its content, and the
    // registry; what records the runs (logs, the package) is left out.
    std::map<std::string, std::string> Snapshot() {
        Machine().Flush();
        Machine().RegistryStore().Compact();
        std::map<std::string, std::string> all;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            std::string relative = fs::relative(entry.path(), root_).string();
            if (relative == "effects.jsonl" || relative == "transcript.txt" || relative == "machine.ini" ||
                relative == "file-metadata.txt" || relative.rfind("C/Downloads", 0) == 0) {
                continue;
            }
            all[relative] = entry.is_directory() ? "<folder>" : SandboxTest::ReadHostFile(relative);
            // A link keeps the times its target had when it was made.
            if (EndsWithNoCase(relative, ".lnk") && all[relative].size() > 0x34) {
                std::fill(all[relative].begin() + 0x1C, all[relative].begin() + 0x34, '\0');
            }
        }
        return all;
    }
    // The paths where two snapshots differ, with the shorter content shown;
    // empty when they are the same.
    static std::string Differences(const std::map<std::string, std::string>& got,
                                   const std::map<std::string, std::string>& want) {
        std::string out;
        auto show = [](const std::map<std::string, std::string>& m, const std::string& key) {
            auto it = m.find(key);
            if (it == m.end()) return std::string("<none>");
            return it->second.size() > 2000 ? "<" + std::to_string(it->second.size()) + " bytes>" : it->second;
        };
        std::map<std::string, int> keys;
        for (const auto& [k, v] : got) keys[k] = 0;
        for (const auto& [k, v] : want) keys[k] = 0;
        for (const auto& [k, unused] : keys) {
            auto a = got.find(k);
            auto b = want.find(k);
            if (a != got.end() && b != want.end() && a->second == b->second) continue;
            out += k + ": got " + show(got, k) + ", want " + show(want, k) + "\n";
        }
        return out;
    }
    // Names of unfinished writes, backups, journals and run folders anywhere.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            std::string name = entry.path().filename().string();
            if (Contains(name, ".~") || Contains(name, "~setup-")) names.push_back(entry.path().string());
        }
        return names;
    }
    // The copy of the machine a series of killed runs starts from each time.
    void SaveMachine(const std::string& copy) {
        Machine().Flush();
        fs::remove_all(copy);
        fs::copy(root_, copy, fs::copy_options::recursive);
    }
    void RestoreMachine(const std::string& copy) {
        SetPlatform(nullptr);
        machine_.reset();
        fs::remove_all(root_);
        fs::copy(copy, root_, fs::copy_options::recursive);
        Reopen();
    }
    std::string Read(const std::string& path) {
        std::unique_ptr<Stream> s = OS().Files().Open(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    }
    // Installs version 1, keeps the machine with version 2 placed at copy,
    // upgrades once undisturbed and returns the machine as that leaves it.
    std::map<std::string, std::string> UpgradeOnce(const std::string& copy) {
        Place(Package());
        EXPECT_EQ(Setup(), 0) << output_;
        MakeVersion2();
        Place(Package());
        SaveMachine(copy);
        EXPECT_EQ(Setup(), 0) << output_;
        return Snapshot();
    }
    // A snapshot less what the uninstaller cannot take from itself: its file
    // and the folder that holds it, deleted by a program started after it ends.
    static std::map<std::string, std::string> WithoutUninstaller(std::map<std::string, std::string> snapshot) {
        for (auto it = snapshot.begin(); it != snapshot.end();) {
            bool own = Contains(it->first, "UnInstall") || Contains(it->first, ".bat") ||
                       it->first == GbkToUtf8("C/Program Files/演示");
            it = own ? snapshot.erase(it) : std::next(it);
        }
        return snapshot;
    }
};

// A v1 -> v2 upgrade killed after each of its changes in turn: the next run
// of v2 heals the machine and installs v2 whole; the uninstaller then leaves
// the machine as it was before v1.
TEST_F(CrashSafetyTest, UpgradeKilledAtEveryMomentHealsOnTheNextRun) {
    std::map<std::string, std::string> pristine = WithoutUninstaller(Snapshot());
    std::string v1 = root_ + ".v1";
    std::map<std::string, std::string> upgraded = UpgradeOnce(v1);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(Read(kDir + "\\app.exe"), "MZ app 1 v2");

    int killed = 0;
    for (long k = 1; k < 400; ++k) {
        RestoreMachine(v1);
        int status = Setup(k);
        if (status == 0) break;  // the run made fewer changes than k
        ASSERT_EQ(status, 128 + 9) << "kill after change " << k << "\n" << output_;
        ++killed;
        ASSERT_EQ(Setup(), 0) << "after the kill at change " << k << "\n" << output_ << Log();
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "kill at change " << k;
        EXPECT_EQ(Differences(Snapshot(), upgraded), "") << "kill at change " << k;
        ASSERT_EQ(Uninstall(), 0) << "kill at change " << k << "\n" << output_;
        EXPECT_EQ(Differences(WithoutUninstaller(Snapshot()), pristine), "") << "kill at change " << k;
        if (HasFailure()) break;
    }
    EXPECT_GT(killed, 20);
    fs::remove_all(v1);
}

// An upgrade killed at a random moment, the run that heals it killed at a
// random moment too, then run to its end: the machine is healed all the same.
// SETUP_KILL_SOAK=N runs N such rounds (scripts/soak.sh --kill N); a few by
// default.
TEST_F(CrashSafetyTest, UpgradeAndItsHealingKilledAtRandomMoments) {
    const char* soak = std::getenv("SETUP_KILL_SOAK");
    long rounds = soak ? std::strtol(soak, nullptr, 10) : 4;
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    std::mt19937 random(seed);
    std::string v1 = root_ + ".v1";
    std::map<std::string, std::string> upgraded = UpgradeOnce(v1);
    ASSERT_FALSE(HasFailure());
    long kills = 0;
    for (long round = 0; round < rounds && !HasFailure(); ++round) {
        RestoreMachine(v1);
        long first = std::uniform_int_distribution<long>(1, 200)(random);
        long second = std::uniform_int_distribution<long>(1, 250)(random);
        kills += Setup(first) == 128 + 9;
        kills += Setup(second) == 128 + 9;
        ASSERT_EQ(Setup(), 0) << "seed " << seed << ", kills after " << first << " and " << second << "\n" << Log();
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "seed " << seed << ", round " << round;
        EXPECT_EQ(Differences(Snapshot(), upgraded), "") << "seed " << seed << ", round " << round;
    }
    std::printf("%ld rounds, %ld killed runs, seed %u\n", rounds, kills, seed);
    fs::remove_all(v1);
}

// A first installation killed at every moment, then uninstalled with nothing
// installed again: the uninstaller of a run that never finished is not there,
// so the next setup run undoes the remains; here the machine must be as before.
TEST_F(CrashSafetyTest, FirstInstallKilledAtEveryMomentIsUndoneByTheNextRun) {
    std::map<std::string, std::string> pristine = WithoutUninstaller(Snapshot());
    Place(Package());
    std::string clean = root_ + ".clean";
    SaveMachine(clean);
    int killed = 0;
    for (long k = 1; k < 400; k += 3) {
        RestoreMachine(clean);
        if (Setup(k) == 0) break;
        ++killed;
        ASSERT_EQ(Setup(), 0) << "after the kill at change " << k << "\n" << output_;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "kill at change " << k;
        ASSERT_EQ(Uninstall(), 0) << output_;
        EXPECT_EQ(Differences(WithoutUninstaller(Snapshot()), pristine), "") << "kill at change " << k;
        if (HasFailure()) break;
    }
    EXPECT_GT(killed, 5);
    fs::remove_all(clean);
}

// An uninstall killed at every moment: the uninstaller run again removes the
// rest, and the machine is as it was before the installation.
TEST_F(CrashSafetyTest, UninstallKilledAtEveryMomentFinishesOnTheNextRun) {
    std::map<std::string, std::string> pristine = WithoutUninstaller(Snapshot());
    Place(Package());
    ASSERT_EQ(Setup(), 0) << output_;
    std::string installed = root_ + ".installed";
    SaveMachine(installed);
    int killed = 0;
    for (long k = 1; k < 400; ++k) {
        RestoreMachine(installed);
        if (Uninstall(k) == 0) break;
        ++killed;
        // Killed once the Uninstall entry was gone, the removal was complete
        // but for the uninstaller's own file: run again it finds no record.
        bool entryGone = !OS().Registry().KeyExists(
            kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::string(kId));
        ASSERT_EQ(Uninstall(), entryGone ? 1 : 0) << "after the kill at change " << k << "\n" << output_ << Log();
        EXPECT_EQ(Differences(WithoutUninstaller(Snapshot()), pristine), "") << "kill at change " << k;
        if (HasFailure()) break;
    }
    EXPECT_GT(killed, 5);
    fs::remove_all(installed);
}

// A program that runs from the installation folder (renamed aside, it cannot
// be deleted) and a file another program holds locked: the run ends with
// 3010, the locked file's replacement waits in PendingFileRenameOperations,
// and after the restart every file is at v2 and nothing is left over.
TEST_F(CrashSafetyTest, FilesInUseAreReplacedAtRestart) {
    Place(Package());
    ASSERT_EQ(Setup(), 0) << output_;
    MakeVersion2();
    Place(Package());
    Configure("[Faults]\nInUse=" + kDir + "\\app.exe\nLocked=" + kDir + "\\data\\data0.txt\n");
    EXPECT_EQ(Setup(), 3010) << output_;
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app 1 v2");       // renamed aside, replaced now
    EXPECT_EQ(Read(kDir + "\\data\\data0.txt"), "data 1 0");  // waits for the restart
    std::optional<RegValue> pending =
        OS().Registry().ReadValue(kHkeyLocalMachine, sandbox::kSessionManagerKey, sandbox::kPendingRenamesValue);
    ASSERT_TRUE(pending.has_value());
    EXPECT_EQ(pending->Type, kRegMultiSz);
    // As Windows writes it: the replacement, marked "!", then the deletion of
    // the running program's backup, whose target is empty.
    std::string expected;
    for (const std::string& text : {"\\??\\" + kDir + "\\data\\data0.txt.~new", "!\\??\\" + kDir + "\\data\\data0.txt",
                                    "\\??\\" + kDir + "\\app.exe.~bak", std::string()}) {
        expected += Utf16ToLeBytes(GbkToUtf16(text)) + std::string(2, '\0');
    }
    EXPECT_EQ(pending->Data, expected + std::string(2, '\0'));

    Configure("");
    int status = -1;
    RunHost("'" + std::string(SANDBOXCTL_PROGRAM) + "' '" + root_ + "' restart", &status);
    Reopen();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Read(kDir + "\\data\\data0.txt"), "data 1 0 v2");
    EXPECT_FALSE(
        OS().Registry().ReadValue(kHkeyLocalMachine, sandbox::kSessionManagerKey, sandbox::kPendingRenamesValue));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    ASSERT_EQ(Uninstall(), 0) << output_;
    EXPECT_FALSE(OS().Files().FolderExists(kDir + "\\data"));
}

}  // namespace
}  // namespace setup::testing_sandbox
