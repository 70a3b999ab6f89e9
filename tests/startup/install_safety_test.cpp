// Whole runs of the Linux setup program on machines with injected faults:
// damaged data, full disks, locked files, keys that refuse writes, programs
// that do not start, refused elevation. An earlier installation never loses a
// byte, every failed item is listed, the run ends with status 3, and a fatal
// failure leaves the machine exactly as it was.
#include <filesystem>
#include <map>

#include "package/pe_stub.h"
#include "platform/common.h"
#include "platform/host_files.h"
#include "platform/sandbox/effects.h"
#include "platform/text.h"
#include "startup/package_run_fixture.h"
#include "startup/setup_entry.h"
#include "ui/headless/headless_backend.h"

namespace setup::testing_sandbox {
namespace {

using testing_package::AddItem;
using testing_package::AddSetting;
using testing_package::BuildPackage;

constexpr char kId[] = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
const std::string kDir = "C:\\Program Files\\演示";
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::string(kId);

class InstallSafetyTest : public PackageRunTest {
protected:
    void SetUp() override {
        PackageRunTest::SetUp();
        AddSetting(*project_, igProject, "项目名称", "演示");
        AddSetting(*project_, igProject, "版本号", "1.0");
        AddSetting(*project_, igProject, "显示安装界面", "禁用");
        AddSetting(*project_, igProject, "卸载程序", "启用");
        AddSetting(*project_, igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
        AddSetting(*project_, igStartFolder, "默认文件夹名称", "演示");
        project_->PackageId = kId;
        File("app.exe", "MZ app version 1");
        File("readme.txt", "readme version 1");
        Add(fkUnInsFile, "UnInstall 演示.exe", "uninstaller", "");
    }
    TCompileFileData& File(const std::string& name, const std::string& data) {
        return Add(fkFile, name, data, "目标计算机\\Program Files\\");
    }
    // Runs the placed package in place (no elevated relaunch); returns its status.
    int RunPlaced() { return RunHostProgram(HostPath("C/Downloads/setup"), "-1"); }
    // Places the package and runs it on a fresh machine, expecting the run to
    // fail and be undone: status 1, the machine as before, one box, returned.
    std::string RunRolledBack() {
        Place(Package());
        std::map<std::string, std::string> before = Snapshot();
        EXPECT_EQ(RunPlaced(), 1) << output_;
        EXPECT_EQ(ChangedPaths(Snapshot(), before), "");
        EXPECT_FALSE(OS().Files().FolderExists(kDir));
        std::vector<std::string> boxes = Boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? std::string() : boxes[0];
    }
    int Run() {
        Place(Package());
        return RunPlaced();
    }
    // Every file and folder of the machine with its content and last-write
    // time, and the registry; the logs of what happened are left out.
    std::map<std::string, std::string> Snapshot() {
        std::map<std::string, std::string> all;
        namespace fs = std::filesystem;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            std::string relative = fs::relative(entry.path(), root_).string();
            if (relative == "effects.jsonl" || relative == "transcript.txt" || relative == "machine.ini") continue;
            if (entry.is_directory()) {
                all[relative] = "<folder>";
            } else {
                all[relative] = SandboxTest::ReadHostFile(relative);
                // The machine's own files are rewritten on every change; the
                // files on its drives keep their times when restored.
                if (relative.size() > 2 && relative[1] == '/') {
                    all[relative] += "|" + std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
                }
            }
        }
        // A machine that never had a registry change has no file for it yet.
        all.emplace("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n");
        return all;
    }
    // The paths where two snapshots differ, one a line; the whole content
    // of a machine is too much for a message.
    static std::string ChangedPaths(const std::map<std::string, std::string>& got,
                                    const std::map<std::string, std::string>& want) {
        std::string out;
        for (const auto& [path, content] : got) {
            auto it = want.find(path);
            if (it == want.end() || it->second != content) out += path + (it == want.end() ? " (new)\n" : "\n");
        }
        for (const auto& [path, content] : want) {
            if (!got.count(path)) out += path + " (gone)\n";
        }
        return out;
    }
    std::string Read(const std::string& path) {
        std::unique_ptr<Stream> s = OpenFile(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    }
    // The message boxes the run showed.
    std::vector<std::string> Boxes() const { return EffectLinesOf("MessageBox"); }
    // Names left in the installation folder by an unfinished write or a backup.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names;
        for (const FolderEntry& e : OS().Files().ListFolder(kDir)) {
            if (Contains(e.Name, ".~")) names.push_back(e.Name);
        }
        return names;
    }
    // A copy of the package whose item data is damaged in its first chunk.
    std::string Damaged(size_t item) {
        std::string bytes = Package();
        bytes[static_cast<size_t>(project_->FileList[item]->DataStart) + 8] ^= 0x55;
        return bytes;
    }
};

// Reinstalling a damaged package over a good installation: the package is
// refused before anything changes (status 1, the damage box), and the good
// installation keeps every byte.
TEST_F(InstallSafetyTest, DamagedPackageLeavesTheEarlierInstallationWhole) {
    ASSERT_EQ(Run(), 0) << output_;
    ASSERT_EQ(Read(kDir + "\\app.exe"), "MZ app version 1");
    data_[0] = "MZ app version 2, damaged on the way";
    data_[1] = "readme version 2";
    WriteHostFile("effects.jsonl", "");
    Place(Damaged(0));
    std::map<std::string, std::string> before = Snapshot();
    EXPECT_EQ(RunPlaced(), 1) << output_;
    EXPECT_EQ(ChangedPaths(Snapshot(), before), "");
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 1");
    EXPECT_TRUE(Leftovers().empty());
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("安装包已损坏"))) << boxes[0];
    EXPECT_TRUE(Contains(boxes[0], "\"icon\":\"stop\"")) << boxes[0];
}

// A full disk and a folder standing where the file goes: each is listed with
// its reason, nothing half-written stays.
TEST_F(InstallSafetyTest, FullDiskAndFolderInTheWay) {
    ASSERT_EQ(Run(), 0) << output_;
    data_[0] = "MZ app version 2";
    File("big.dat", std::string(200000, 'b'));
    File("docs", "a file where a folder stands");
    OS().Files().CreateFolderTree(kDir + "\\docs");
    Configure("[Faults]\nDiskFull=C 150000\n");
    Place(Package());
    WriteHostFile("effects.jsonl", "");
    EXPECT_EQ(RunPlaced(), 3) << output_;
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 2");
    EXPECT_FALSE(OS().Files().FileExists(kDir + "\\big.dat"));
    EXPECT_TRUE(OS().Files().FolderExists(kDir + "\\docs"));
    EXPECT_TRUE(OS().Files().FileExists(kDir + "\\UnInstall 演示.log"));
    EXPECT_TRUE(Leftovers().empty());
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("磁盘空间不足。"))) << boxes[0];
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("2 项未能安装"))) << boxes[0];
}

// A key that refuses writes and a program that cannot be started are listed
// too; the rest of the installation stands.
TEST_F(InstallSafetyTest, RefusedRegistryValueAndFailedProgramStart) {
    auto value = std::make_unique<TRegInfoData>();
    value->Key = "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\\Demo";
    value->ValueName = "Path";
    value->Data = "[安装目录]";
    project_->RegList.push_back(std::move(value));
    project_->FileList[0]->RunAfterInstall = true;
    OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Locked");
    Configure(
        "[Machine]\nOsVersion=5.1\n[Faults]\nReadOnlyKey=HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\nFailStart=app.exe\n");
    EXPECT_EQ(Run(), 3) << output_;
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 1");
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, "SOFTWARE\\Locked\\Demo"));
    EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, kUninstallKey));
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("app.exe\\r\\n    无法启动该程序\\r\\n"))) << boxes[0];
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("无法打开或创建注册表项"))) << boxes[0];
}

// Declining to run the program after the installation leaves the
// installation whole: it is listed, status 3.
TEST_F(InstallSafetyTest, DeclinedProgramStartIsListed) {
    project_->FileList[0]->RunAfterInstall = true;
    Configure("[Machine]\nElevation=refuse\n");
    EXPECT_EQ(Run(), 3) << output_;
    EXPECT_TRUE(OS().Files().FileExists(kDir + "\\UnInstall 演示.log"));
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("app.exe\\r\\n    程序没有启动：用户拒绝了权限提升"))) << boxes[0];
}

// A full disk while the uninstaller is written ends the run: everything the
// run did is undone, the earlier installation comes back byte for byte with
// its registry entry, and the error is reported with status 1.
TEST_F(InstallSafetyTest, FullDiskWritingTheUninstallerRollsBackAReinstall) {
    project_->FileFolderList = {"目标计算机\\Program Files\\演示\\logs"};
    ASSERT_EQ(Run(), 0) << output_;
    project_->InfoList[1]->Value = "2.0";
    data_[0] = "MZ app version 2";
    data_[1] = "readme version 2";
    data_[2] = std::string(300000, 'u');  // the new uninstaller does not fit
    File("new.txt", "a file the first installation did not have");
    project_->FileFolderList.push_back("目标计算机\\Program Files\\演示\\new\\deeper");
    auto value = std::make_unique<TRegInfoData>();
    value->Key = "目标计算机\\HKEY_CURRENT_USER\\Software\\演示";
    value->ValueName = "Version";
    value->Data = "2.0";
    project_->RegList.push_back(std::move(value));
    OS().Registry().CreateKey(kHkeyCurrentUser, "Software\\演示");
    OS().Registry().WriteString(kHkeyCurrentUser, "Software\\演示", "Version", "1.0");
    Configure("[Faults]\nDiskFull=C 200000\n");
    Place(Package());
    std::map<std::string, std::string> before = Snapshot();
    WriteHostFile("effects.jsonl", "");
    EXPECT_EQ(RunPlaced(), 1) << output_;
    EXPECT_EQ(ChangedPaths(Snapshot(), before), "");
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, kUninstallKey, "DisplayName"), "演示1.0");
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], "\"icon\":\"stop\"")) << boxes[0];
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("操作系统错误：无法写入文件“C:\\\\Program Files\\\\演示\\\\UnInstall "
                                             "演示.exe”：磁盘空间不足。")))
        << boxes[0];
}

// A refused elevation for a component's registration undoes a fresh
// installation completely.
TEST_F(InstallSafetyTest, RefusedRegistrationElevationRollsBack) {
    project_->FileList[0]->IsComponent = true;
    File("server.dll", "MZ server").IsComponent = true;
    Configure("[Machine]\nElevation=refuse\n");
    std::string box = RunRolledBack();
    EXPECT_TRUE(Contains(box, GbkToUtf8("操作系统错误：无法注册组件“C:\\\\Program Files\\\\演示\\\\app.exe”："
                                        "用户拒绝了权限提升")))
        << box;
}

// A COM server that cannot be written (a folder holds its name) is listed
// like any other file and is not registered; the rest installs.
TEST_F(InstallSafetyTest, UnwritableComServerIsListedNotFatal) {
    ASSERT_EQ(Run(), 0) << output_;
    File("server.dll", "MZ server 2").IsComponent = true;
    OS().Files().CreateFolderTree(kDir + "\\server.dll");
    data_[0] = "MZ app version 2";
    Place(Package());
    WriteHostFile("effects.jsonl", "");
    EXPECT_EQ(RunPlaced(), 3) << output_;
    EXPECT_TRUE(OS().Files().FolderExists(kDir + "\\server.dll"));
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 2");
    EXPECT_FALSE(Contains(ReadHostFile("effects.jsonl"), "regsvr32"));
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("1 项未能安装"))) << boxes[0];
    EXPECT_TRUE(Contains(boxes[0], "server.dll")) << boxes[0];
}

// Where the Uninstall entry cannot be made, the record's digest has nowhere
// to go: the installation fails and is undone (status 1, the reason in the
// box) instead of leaving a product the uninstaller refuses for ever.
TEST_F(InstallSafetyTest, RecordDigestThatCannotBeStoredRollsBack) {
    Configure("[Faults]\nReadOnlyKey=HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\n");
    std::string box = RunRolledBack();
    EXPECT_TRUE(Contains(box, "\"icon\":\"stop\"")) << box;
    EXPECT_TRUE(Contains(box, "RecordSHA256")) << box;
}

// A package whose Start-menu folder climbs out of the Programs folder (into
// the Startup folder of every user) gets no Start-menu entries and no
// uninstall link there; the folder is listed, the rest installs.
TEST_F(InstallSafetyTest, StartFolderThatClimbsOutMakesNoLinks) {
    const std::string startup =
        "..\\..\\..\\..\\..\\..\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    for (const auto& setting : project_->InfoList) {
        if (setting->Key == "默认文件夹名称") setting->Value = startup;
    }
    auto shortcut = std::make_unique<TShotCutData>();
    shortcut->Folder = "开始菜单\\";
    shortcut->Name = "演示";
    shortcut->Target = "D:\\src\\app.exe";
    project_->ShotCutList.push_back(std::move(shortcut));
    EXPECT_EQ(Run(), 3) << output_;
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 1");
    EXPECT_TRUE(OS().Files().ListFolder("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup").empty());
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("开始菜单文件夹无效"))) << boxes[0];
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("1 项未能安装"))) << boxes[0];
}

// Damaged data of a file that must be registered is fatal as well.
TEST_F(InstallSafetyTest, DamagedComponentRollsBack) {
    Configure("[Machine]\nOsVersion=5.1\n");
    File("server.dll", std::string(5000, 's')).IsComponent = true;
    Place(Damaged(3));
    std::map<std::string, std::string> before = Snapshot();
    EXPECT_EQ(RunPlaced(), 1) << output_;
    EXPECT_EQ(ChangedPaths(Snapshot(), before), "");
    EXPECT_FALSE(Contains(ReadHostFile("effects.jsonl"), "regsvr32"));
}

// A package tail that points at no project inside the file, and a package
// whose identity is not a GUID, are damaged packages: status 1, the damage
// named, nothing installed.
TEST_F(InstallSafetyTest, DamagedTailAndMalformedIdentity) {
    std::string bytes = Package();
    std::string zeroed = bytes;
    zeroed.replace(zeroed.size() - 8, 8, std::string(8, '\0'));
    std::string beyond = bytes;
    beyond.replace(beyond.size() - 8, 8, std::string("\xff\xff\xff\x7f\0\0\0\0", 8));
    project_->PackageId = "";
    std::string anonymous = Package();
    for (const std::string& package : {zeroed, beyond, anonymous}) {
        WriteHostFile("effects.jsonl", "");
        Place(package);
        EXPECT_EQ(RunPlaced(), 1) << output_;
        std::vector<std::string> boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("安装包已损坏"))) << boxes[0];
        EXPECT_FALSE(OS().Files().FolderExists(kDir));
        EXPECT_TRUE(OS().Registry()
                        .ListSubKeys(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall")
                        .empty());
    }
}

// Service and start-up command lines quote the program path.
TEST_F(InstallSafetyTest, ServiceAndAutoRunCommandsAreQuoted) {
    project_->FileList[0]->IsService = true;
    project_->FileList[0]->RunAtStartup = true;
    EXPECT_EQ(Run(), 0) << output_;
    EXPECT_TRUE(Contains(ReadHostFile("effects.jsonl"), Field("commandLine", "\"" + kDir + "\\app.exe\" -Install")));
    EXPECT_EQ(
        OS().Registry().ReadString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "app.exe"),
        "\"" + kDir + "\\app.exe\"");
}

// A package edited by hand, with items that would harm the machine: a target
// that climbs out of its root, a device name, a key outside the five roots, a
// shortcut named "..". Each is left out and listed, in Chinese; the rest
// installs as the format defines it (a second item on the same path wins, a
// DWORD that is no number counts its other characters as 0), and nothing
// lands outside the installation's own places.
TEST_F(InstallSafetyTest, ItemsBreakingTheRulesAreLeftOutAndListed) {
    Add(fkFile, "evil.txt", "climbs out", "目标计算机\\Program Files\\..\\..\\Windows\\");
    File("CON", "a device name");
    AddItem(*project_, fkFile, "readme.txt", "D:\\other\\README.TXT", "目标计算机\\Program Files\\");
    data_.push_back("a second readme on the same path");
    auto value = [&](const std::string& key, const std::string& name, const std::string& data, uint8_t type) {
        testing_package::AddRegValue(*project_, key, name, data, type);
    };
    value("目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", "路径", "[安装目录]", 0);
    value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Bare", "Bare", "x", 0);
    value("目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", "Count", "zz", 1);
    auto shortcut = [&](const std::string& name) {
        auto s = std::make_unique<TShotCutData>();
        s->Folder = "桌面\\";
        s->Name = name;
        s->Target = "D:\\src\\app.exe";
        project_->ShotCutList.push_back(std::move(s));
    };
    shortcut("演示");
    shortcut("..");
    EXPECT_EQ(Run(), 3) << output_;

    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 1");
    EXPECT_EQ(Read(kDir + "\\readme.txt"), "a second readme on the same path");
    EXPECT_EQ(OS().Registry().ReadValue(kHkeyLocalMachine, "SOFTWARE\\演示", "Count")->Data, std::string(4, '\0'));
    EXPECT_FALSE(OS().Files().FileExists(kDir + "\\CON"));
    EXPECT_FALSE(OS().Files().FileExists("C:\\Windows\\evil.txt"));
    EXPECT_FALSE(OS().Files().FileExists("C:\\evil.txt"));
    EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, "SOFTWARE\\演示"));
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, "SOFTWARE\\Bare"));
    EXPECT_TRUE(OS().Files().FileExists(kDir + "\\UnInstall 演示.exe"));

    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("4 项未能安装"))) << boxes[0];
    for (const char* reason : {"为保护计算机没有安装", "不在五个注册表根键之下", "为保护计算机没有创建"}) {
        EXPECT_TRUE(Contains(boxes[0], GbkToUtf8(reason))) << reason << "\n" << boxes[0];
    }
    EXPECT_FALSE(Contains(boxes[0], "the package")) << boxes[0];

    // A second run lists them again: what was left out is never taken as done.
    WriteHostFile("effects.jsonl", "");
    EXPECT_EQ(RunPlaced(), 3) << output_;
}

// Runs the setup program in this process on a Windows program placed at
// C:\Downloads\setup.exe, which it takes for its own file: the Linux setup
// program is no PE and cannot carry a signature itself.
int RunSignedInProcess(const std::string& root, const std::string& ownFile) {
    sandbox::SandboxMachine machine(root, ownFile, {"-1"});
    SetPlatform(&machine);
    ui::HeadlessBackend backend(root + "/transcript.txt", root + "/user.script");
    ui::SetBackend(&backend);
    machine.Clock = [&backend] { return backend.Now(); };
    int status = SetupMain();
    machine.Clock = nullptr;
    ui::SetBackend(nullptr);
    SetPlatform(nullptr);
    return status;
}

// Signed Windows programs run whole: a package appended after the signature,
// to a signed program or after a signed package (a complete one, its offsets
// right for its place), is refused as damaged with nothing installed and the
// earlier installation untouched; the signed package itself installs.
TEST_F(InstallSafetyTest, PackageOutsideTheSignatureIsRefused) {
    using testing_package::MinimalPe;
    using testing_package::SignLikeASigner;
    std::string signedPackage = SignLikeASigner(BuildPackage(*project_, data_, MinimalPe()));
    data_[0] = "MZ app that no one signed";
    std::string afterSignedStub = BuildPackage(*project_, data_, SignLikeASigner(MinimalPe(), 64));
    std::string afterSignedPackage = BuildPackage(*project_, data_, signedPackage);
    auto place = [&](const std::string& bytes) {
        OS().Files().CreateFolderTree("C:\\Downloads");
        OS().Files().Open("C:\\Downloads\\setup.exe", OpenMode::Create)->WriteBytes(bytes);
        WriteHostFile("effects.jsonl", "");
    };
    auto runPlaced = [&] {
        Machine().Flush();
        int status = RunSignedInProcess(root_, HostPath("C/Downloads/setup.exe"));
        Reopen();
        return status;
    };
    for (const std::string* refused : {&afterSignedStub, &afterSignedPackage}) {
        place(*refused);
        std::map<std::string, std::string> before = Snapshot();
        EXPECT_EQ(runPlaced(), 1);
        EXPECT_EQ(ChangedPaths(Snapshot(), before), "");
        std::vector<std::string> boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(Contains(boxes[0], GbkToUtf8("不在签名范围之内"))) << boxes[0];
        EXPECT_TRUE(Contains(boxes[0], "\"icon\":\"stop\"")) << boxes[0];
        EXPECT_FALSE(OS().Files().FolderExists(kDir));
    }
    place(signedPackage);
    EXPECT_EQ(runPlaced(), 0);
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 1");
    place(afterSignedPackage);
    std::map<std::string, std::string> installed = Snapshot();
    EXPECT_EQ(runPlaced(), 1);
    EXPECT_EQ(Snapshot(), installed);
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app version 1");
}

}  // namespace
}  // namespace setup::testing_sandbox
