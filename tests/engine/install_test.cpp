// Whole installations on a fresh simulated machine: packages made by the
// writer, loaded, extracted and installed by the driver, then the machine's
// files, registry, effects, links and the uninstall record checked.
#include "engine/install.h"

#include <filesystem>

#include "engine/uninstall_record.h"
#include "package/install_paths.h"
#include "package/package_builder.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/lnk_reader.h"
#include "platform/messages.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"

namespace setup::testing_sandbox {
namespace {

using testing_package::AddItem;
using testing_package::AddSetting;
using testing_package::BuildPackage;

struct Event {
    std::string fileName, hint;
    int64_t position, max;
};

class InstallTest : public SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        project_ = std::make_unique<TCompile>();
        AddSetting(*project_, igProject, "项目名称", "演示");
        AddSetting(*project_, igProject, "版本号", "1.0");
        AddSetting(*project_, igProject, "卸载程序", "启用");
        AddSetting(*project_, igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
        AddSetting(*project_, igStartFolder, "默认文件夹名称", "演示");
        AddSetting(*project_, igAddonsTask, "创建桌面快捷方式", "启用");
        AddSetting(*project_, igAddonsTask, "创建快速启栏快捷方式", "启用");
        project_->PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    }
    TCompileFileData& File(const std::string& name, const std::string& data,
                           const std::string& target = "目标计算机\\Program Files\\") {
        data_.push_back(data);
        return AddItem(*project_, fkFile, name, "D:\\src\\" + name, target);
    }
    TCompileFileData& Item(uint8_t kind, const std::string& name, const std::string& source, const std::string& data,
                           const std::string& target = "") {
        data_.push_back(data);
        return AddItem(*project_, kind, name, source, target);
    }
    // Builds, loads, extracts and installs; returns the loaded model.
    TCompile& Run() {
        // A model still alive holds the package file locked.
        model_.reset();
        OS().Files().CreateFolderTree("C:\\Downloads");
        OS().Files().Open(kSetup, OpenMode::Create)->WriteBytes(BuildPackage(*project_, data_));
        model_ = std::make_unique<TCompile>();
        model_->LoadFromExe(kSetup);
        model_->ExtractTempFiles(model_->PackageFile());
        model_->OnCompile = [this](const std::string& f, const std::string& h, int64_t p, int64_t m) {
            events_.push_back({f, h, p, m});
        };
        Install(*model_);
        return *model_;
    }
    std::string Read(const std::string& path) {
        std::unique_ptr<Stream> s = OpenFile(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    }
    TUnInstall Record() {
        TUnInstall record;
        record.LoadFromFile(kDir + "\\UnInstall 演示.log");
        return record;
    }
    std::vector<std::string> Hints() {
        std::vector<std::string> hints;
        for (const Event& e : events_) hints.push_back(e.hint);
        return hints;
    }

    static constexpr const char* kSetup = "C:\\Downloads\\setup.exe";
    const std::string kDir = "C:\\Program Files\\演示";
    std::unique_ptr<TCompile> project_, model_;
    std::vector<std::string> data_;
    std::vector<Event> events_;
};

// A standard user who swaps the package file in the Downloads folder after it
// was checked cannot get other bytes installed: while the model lives the
// file can be neither written, replaced, renamed nor deleted, and the
// installation reads the checked bytes. Once the model is gone the file is
// free again.
TEST_F(InstallTest, PackageFileCannotBeSwappedBetweenLoadAndInstall) {
    File("app.exe", "MZ genuine");
    Item(fkUnInsFile, "UnInstall 演示.exe", "D:\\src\\UnInstall 演示.exe", "uninstaller");
    OS().Files().CreateFolderTree("C:\\Downloads");
    OS().Files().Open(kSetup, OpenMode::Create)->WriteBytes(BuildPackage(*project_, data_));
    std::string genuine = Read(kSetup);
    data_[0] = "MZ attacker";
    std::string other = BuildPackage(*project_, data_);
    OS().Files().Open("C:\\Downloads\\other.exe", OpenMode::Create)->WriteBytes(other);

    model_ = std::make_unique<TCompile>();
    model_->LoadFromExe(kSetup);
    EXPECT_THROW(OS().Files().Open(kSetup, OpenMode::Create), Error);
    EXPECT_THROW(OS().Files().Open(kSetup, OpenMode::ReadWrite), Error);
    EXPECT_THROW(OS().Files().MoveFile("C:\\Downloads\\other.exe", kSetup, MoveMode::ReplaceExisting), Error);
    EXPECT_THROW(OS().Files().MoveFile(kSetup, "C:\\Downloads\\moved.exe", MoveMode::ReplaceExisting), Error);
    EXPECT_FALSE(OS().Files().DeleteFile(kSetup));
    // Others may still read it, as Windows allows under read sharing.
    EXPECT_EQ(Read(kSetup), genuine);
    model_->ExtractTempFiles(model_->PackageFile());
    Install(*model_);
    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ genuine");

    model_.reset();
    OS().Files().MoveFile("C:\\Downloads\\other.exe", kSetup, MoveMode::ReplaceExisting);
    EXPECT_EQ(Read(kSetup), other);
}

// Files land under the installation folder with their content and time, and
// the record and the Uninstall key hold exactly what was done.
TEST_F(InstallTest, FilesFoldersRecordAndUninstallEntry) {
    project_->FileFolderList = {"目标计算机\\Program Files\\logs"};
    File("app.exe", "MZ app").FileTime = 45356 + (13 * 3600 + 14 * 60 + 15.6) / 86400.0;
    AddItem(*project_, fkFolder, "docs", "D:\\src\\docs", "目标计算机\\Program Files\\");
    data_.emplace_back();
    File("guide.txt", "guide", "目标计算机\\Program Files\\docs");
    File("keep.ini", "[x]", "目标计算机\\Program Files\\config").KeepOnUninstall = true;
    Item(fkUnInsFile, "UnInstall 演示.exe", "D:\\src\\UnInstall 演示.exe", "uninstaller");
    TCompile& m = Run();

    EXPECT_EQ(Read(kDir + "\\app.exe"), "MZ app");
    EXPECT_EQ(Read(kDir + "\\docs\\guide.txt"), "guide");
    EXPECT_EQ(Read(kDir + "\\UnInstall 演示.exe"), "uninstaller");
    EXPECT_TRUE(OS().Files().FolderExists(kDir + "\\logs"));
    // 2024-03-05 13:14:14 local (two-second resolution) at UTC+8.
    EXPECT_EQ(OS().Files().GetFileTime(kDir + "\\app.exe", FileTimeKind::LastWrite),
              133541180540000000ull - 288000000000ull);
    EXPECT_EQ(m.FileList[0]->Source, kDir + "\\app.exe");

    TUnInstall record = Record();
    EXPECT_EQ(record.ProjectName(), "演示");
    EXPECT_EQ(record.PackageId(), "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F");
    std::vector<std::string> entries;
    for (const auto& e : record.Entries()) {
        entries.push_back(std::to_string(e->EntryKind) + std::to_string(e->DeleteFlag) + " " + e->Path);
    }
    std::string programs = GetSpecialFolder(kCsidlPrograms);
    EXPECT_EQ(entries,
              (std::vector<std::string>{"11 " + kDir, "11 " + kDir + "\\logs", "11 " + kDir + "\\docs",
                                        "01 " + kDir + "\\app.exe", "01 " + kDir + "\\docs\\guide.txt",
                                        "11 " + kDir + "\\config", "00 " + kDir + "\\config\\keep.ini",
                                        "11 " + programs + "\\演示", "01 " + programs + "\\演示\\卸载“演示”.lnk"}));
    std::string key = UninstallKeyPath(m.PackageId);
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, key, "UninstallString"),
              "\"" + kDir + "\\UnInstall 演示.exe\"");
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, key, "Install Dir"), kDir);
    std::optional<testing_lnk::LnkContents> link = testing_lnk::ReadLnk(Read(programs + "\\演示\\卸载“演示”.lnk"));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->localPath, kDir + "\\UnInstall 演示.exe");
}

// The progress events, in order, with their positions.
TEST_F(InstallTest, ProgressEvents) {
    Item(fkRegFile, "a.reg", "D:\\src\\a.reg", "REGEDIT4\r\n");
    File("a.exe", "a").IsService = true;
    File("b.exe", "b").TargetOs = "5.1";  // not for this machine
    File("c.exe", "c");
    auto shortcut = std::make_unique<TShotCutData>();
    shortcut->Folder = "桌面\\";
    shortcut->Name = "A";
    shortcut->Target = "D:\\src\\a.exe";
    project_->ShotCutList.push_back(std::move(shortcut));
    Item(fkUnInsFile, "UnInstall 演示.exe", "D:\\src\\UnInstall 演示.exe", "u");
    Run();
    std::vector<std::string> expected = {"正在创建安装文件夹，请稍候...",
                                         "正在安装文件",
                                         "正在安装文件",
                                         "正在注册服务“" + kDir + "\\a.exe”，请稍候",
                                         "正在写入注册表信息，请稍候",
                                         "正在创建快捷方式，请稍候...",
                                         "正在写入反安装信息，请稍候..."};
    EXPECT_EQ(Hints(), expected);
    EXPECT_EQ(events_[0].position, -1);
    EXPECT_EQ(events_[1].fileName, kDir + "\\a.exe");
    EXPECT_EQ(events_[1].position, 2);
    EXPECT_EQ(events_[1].max, 5);
    EXPECT_EQ(events_[2].position, 4);  // b.exe was skipped: no event
    EXPECT_FALSE(OS().Files().FileExists(kDir + "\\b.exe"));
    std::vector<std::string> lines = EffectLines();
    bool service = false;
    for (const std::string& l : lines) service = service || l.find("-Install") != std::string::npos;
    EXPECT_TRUE(service);
    // The shortcut points at the installed copy.
    std::optional<testing_lnk::LnkContents> link = testing_lnk::ReadLnk(Read("C:\\Users\\User\\Desktop\\A.lnk"));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->localPath, kDir + "\\a.exe");
}

TEST_F(InstallTest, TargetSystemFilterOnXp) {
    Configure("[Machine]\nOsVersion=5.1\n");
    File("xp.exe", "xp").TargetOs = "5.1";
    File("win7.exe", "7").TargetOs = "6.1";
    Run();
    EXPECT_TRUE(OS().Files().FileExists(kDir + "\\xp.exe"));
    EXPECT_FALSE(OS().Files().FileExists(kDir + "\\win7.exe"));
    EXPECT_EQ(model_->FileList[1]->Source, "D:\\src\\win7.exe");  // keeps the build-machine path
}

// An existing file: replaced even when read-only; kept (and not recorded) with NoOverwrite.
TEST_F(InstallTest, OverwriteRules) {
    OS().Files().CreateFolderTree(kDir);
    OS().Files().Open(kDir + "\\ro.dll", OpenMode::Create)->WriteBytes("old");
    OS().Files().SetAttributes(kDir + "\\ro.dll", kAttrReadOnly | kAttrHidden);
    OS().Files().Open(kDir + "\\keep.cfg", OpenMode::Create)->WriteBytes("mine");
    OS().Files().SetAttributes(kDir + "\\keep.cfg", kAttrReadOnly);
    File("ro.dll", "new");
    File("keep.cfg", "theirs").NoOverwrite = true;
    File("twice.txt", "first");
    // A second item on the same path is written after the first: it stays.
    File("twice.txt", "second");
    Item(fkUnInsFile, "UnInstall 演示.exe", "D:\\src\\UnInstall 演示.exe", "u");
    Run();
    EXPECT_EQ(Read(kDir + "\\ro.dll"), "new");
    EXPECT_EQ(*OS().Files().GetAttributes(kDir + "\\ro.dll"), kAttrArchive);
    // The read-only, hidden earlier file was kept aside until the end and is
    // gone then; no temporary name is left either.
    for (const FolderEntry& entry : OS().Files().ListFolder(kDir)) {
        EXPECT_EQ(entry.Name.find(".~"), std::string::npos) << entry.Name;
    }
    EXPECT_EQ(Read(kDir + "\\keep.cfg"), "mine");
    EXPECT_EQ(*OS().Files().GetAttributes(kDir + "\\keep.cfg"), kAttrReadOnly);
    EXPECT_EQ(Read(kDir + "\\twice.txt"), "second");
    EXPECT_TRUE(model_->Failures.empty());
    int twice = 0, keep = 0;
    TUnInstall record = Record();
    for (const auto& e : record.Entries()) {
        twice += e->Path == kDir + "\\twice.txt";
        keep += e->Path == kDir + "\\keep.cfg";
    }
    EXPECT_EQ(twice, 1);
    EXPECT_EQ(keep, 0);
}

// One file that cannot be written does not stop the others.
TEST_F(InstallTest, OneFailingFileDoesNotStopTheRest) {
    File("a.txt", "a");
    File("b.txt", "b");
    File("c.txt", "c");
    // A folder in the way of a file: its creation fails.
    OS().Files().CreateFolderTree(kDir + "\\a.txt");
    Run();
    EXPECT_TRUE(OS().Files().FolderExists(kDir + "\\a.txt"));
    EXPECT_EQ(Read(kDir + "\\b.txt"), "b");
    EXPECT_EQ(Read(kDir + "\\c.txt"), "c");
    int fileEvents = 0;
    for (const Event& e : events_) fileEvents += e.hint == "正在安装文件";
    EXPECT_EQ(fileEvents, 3);  // announced even when it failed
}

// Files of every size, a file for another system and one left in place among
// them: each installed file holds exactly its own data, and the reports keep
// their order while the data is inflated ahead of the writing.
TEST_F(InstallTest, FilesOfEverySizeArriveWhole) {
    OS().Files().CreateFolderTree(kDir);
    OS().Files().Open(kDir + "\\kept.txt", OpenMode::Create)->WriteBytes("mine");
    std::string big(3 * kChunkBlockSize + 777, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    File("big.bin", big);
    File("empty.txt", "");
    File("kept.txt", std::string(100000, 'k')).NoOverwrite = true;
    File("xp.txt", "xp").TargetOs = "5.1";
    auto small = [](int i) { return std::string(static_cast<size_t>(i) * 37, static_cast<char>('a' + i % 26)); };
    for (int i = 0; i < 300; ++i) File("f" + std::to_string(i) + ".txt", small(i));
    File("big2.bin", big.substr(1000));
    Run();
    EXPECT_EQ(Read(kDir + "\\big.bin"), big);
    EXPECT_EQ(Read(kDir + "\\empty.txt"), "");
    EXPECT_EQ(Read(kDir + "\\kept.txt"), "mine");
    EXPECT_FALSE(OS().Files().FileExists(kDir + "\\xp.txt"));
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(Read(kDir + "\\f" + std::to_string(i) + ".txt"), small(i)) << i;
    }
    EXPECT_EQ(Read(kDir + "\\big2.bin"), big.substr(1000));
    std::vector<int64_t> positions;
    for (const Event& e : events_) {
        if (e.position >= 0) positions.push_back(e.position);
    }
    ASSERT_EQ(positions.size(), 304u);  // every file but the one for XP
    EXPECT_EQ(positions[0], 1);
    EXPECT_EQ(positions[2], 3);  // the kept file is announced too
    EXPECT_EQ(positions[3], 5);
    EXPECT_EQ(positions.back(), 305);
    EXPECT_TRUE(model_->Failures.empty());
}

TEST_F(InstallTest, RegistryValuesKeysAndFiles) {
    project_->RegFolderList = {"目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示\\空键\\下一级"};
    auto value = [&](const std::string& key, const std::string& name, const std::string& data, uint8_t type,
                     const std::string& os = "") {
        testing_package::AddRegValue(*project_, key, name, data, type, os);
    };
    value("目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", "路径", "[安装目录]\\bin\\a.exe", 0);
    value("目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", "Win", "[Windows]\\x", 0);
    value("目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", "n", "23456789", 1);
    value("目标计算机\\HKEY_CURRENT_USER\\Software\\演示", "b", "ABC0", 2);
    value("目标计算机\\HKEY_CURRENT_USER\\Software\\演示", "xp", "1", 0, "5.1");
    // An unknown root is left out and listed; a second value of the same name
    // is written after the first, and the record holds it once.
    value("目标计算机\\HKEY_BOGUS\\x", "v", "1", 0);
    value("目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", "路径", "again", 0);
    // A type none of the three writes nothing and is not recorded.
    value("目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", "odd", "1", 7);
    Item(fkRegFile, "a.reg", "D:\\src\\a.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\导入]\r\n\"v\"=\"1\"\r\n");
    Item(fkUnInsFile, "UnInstall 演示.exe", "D:\\src\\UnInstall 演示.exe", "u");
    Run();
    RegistryApi& reg = OS().Registry();
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\演示", "路径"), "again");
    EXPECT_FALSE(reg.ReadValue(kHkeyLocalMachine, "SOFTWARE\\演示", "odd"));
    ASSERT_EQ(model_->Failures.size(), 1u);
    EXPECT_EQ(model_->Failures[0].Item, "目标计算机\\HKEY_BOGUS\\x\\v");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\演示", "Win"), "C:\\Windows\\x");
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, "SOFTWARE\\演示", "n")->Data, "\x89\x67\x45\x23");
    EXPECT_EQ(reg.ReadValue(kHkeyCurrentUser, "Software\\演示", "b")->Data, "\xAB\xC0");
    EXPECT_FALSE(reg.ReadValue(kHkeyCurrentUser, "Software\\演示", "xp"));
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\导入", "v"), "1");  // the registry file was imported
    std::vector<std::string> recorded;
    TUnInstall record = Record();
    for (const auto& e : record.Entries()) {
        if (e->EntryKind == ukRegistry) recorded.push_back(e->RootKey + " " + e->Path + " " + e->ValueName);
    }
    EXPECT_EQ(recorded, (std::vector<std::string>{"2147483650 SOFTWARE\\演示 ", "2147483650 SOFTWARE\\演示\\空键 ",
                                                  "2147483650 SOFTWARE\\演示\\空键\\下一级 ",
                                                  "2147483650 SOFTWARE\\演示 路径", "2147483650 SOFTWARE\\演示 Win",
                                                  "2147483650 SOFTWARE\\演示 n", "2147483649 Software ",
                                                  "2147483649 Software\\演示 ", "2147483649 Software\\演示 b"}));
    bool imported = false;
    for (const std::string& l : EffectLines()) imported = imported || l.find("\"imported\":true") != std::string::npos;
    EXPECT_TRUE(imported);
}

TEST_F(InstallTest, ShortcutsOfEveryKind) {
    File("app.exe", "MZ");
    File("docs.txt", "d", "目标计算机\\Program Files\\docs");
    project_->ShotCutFolderList = {"开始菜单\\工具", "桌面\\子目录"};
    auto add = [&](const std::string& folder, const std::string& name, const std::string& target, uint8_t kind,
                   const std::string& icon = "") {
        auto s = std::make_unique<TShotCutData>();
        s->Folder = folder;
        s->Name = name;
        s->Target = target;
        s->Kind = kind;
        s->IconFile = icon;
        s->Arguments = kind == 0 ? "-x" : "";
        s->Description = "说明";
        project_->ShotCutList.push_back(std::move(s));
    };
    add("开始菜单\\", "程序", "D:\\src\\app.exe", 0, "D:\\src\\app.exe");
    add("开始菜单\\工具", "文档", "D:\\src\\docs.txt", 2);
    add("开始菜单\\", "网站", "http://www.example.com/", 1);
    add("开始菜单\\", "带图标", "http://www.example.com/", 1, "D:\\src\\app.exe");
    add("快速启动栏\\", "程序", "D:\\src\\app.exe", 0);
    add("未知\\", "无处", "D:\\src\\app.exe", 0);
    std::string programs = GetSpecialFolder(kCsidlPrograms) + "\\演示";
    OS().Files().CreateFolderTree(programs);
    OS().Files().Open(programs + "\\程序.lnk", OpenMode::Create);  // an existing link of that name
    Run();
    auto link = [&](const std::string& path) {
        std::optional<testing_lnk::LnkContents> c = testing_lnk::ReadLnk(Read(path));
        EXPECT_TRUE(c) << path;
        return c.value_or(testing_lnk::LnkContents{});
    };
    testing_lnk::LnkContents program = link(programs + "\\程序(1).lnk");
    EXPECT_EQ(program.localPath, kDir + "\\app.exe");
    EXPECT_EQ(program.workingDirectory, kDir);
    EXPECT_EQ(program.iconLocation, kDir + "\\app.exe");
    EXPECT_EQ(program.arguments, "-x");
    testing_lnk::LnkContents folder = link(programs + "\\工具\\文档.lnk");
    EXPECT_EQ(folder.localPath, kDir + "\\docs\\");
    EXPECT_EQ(folder.iconLocation, "");
    EXPECT_EQ(Read(programs + "\\网站.url"), "[InternetShortcut]\r\nURL=http://www.example.com/\r\n");
    EXPECT_EQ(Read(programs + "\\带图标.url"),
              "[InternetShortcut]\r\nURL=http://www.example.com/\r\nIconFile=" + kDir + "\\app.exe\r\nIconIndex=0\r\n");
    EXPECT_TRUE(OS().Files().FolderExists("C:\\Users\\User\\Desktop\\子目录"));
    std::string quick = GetQuickLaunchFolder() + "\\程序.lnk";
    EXPECT_TRUE(OS().Files().FileExists(quick));
    bool pinned = false;
    for (const std::string& l : EffectLines()) pinned = pinned || l.find("TaskbarVerb") != std::string::npos;
    EXPECT_TRUE(pinned);
    EXPECT_EQ(model_->ShotCutList[0]->Name, "程序(1)");  // the free name is written back
}

TEST_F(InstallTest, UnwantedShortcutsAreSkippedAndXpDoesNotPin) {
    Configure("[Machine]\nOsVersion=5.1\n");
    AddSetting(*project_, igAddonsTask, "创建桌面快捷方式", "禁用");
    File("app.exe", "MZ");
    for (const char* folder : {"桌面\\", "快速启动栏\\"}) {
        auto s = std::make_unique<TShotCutData>();
        s->Folder = folder;
        s->Name = "程序";
        s->Target = "D:\\src\\app.exe";
        project_->ShotCutList.push_back(std::move(s));
    }
    Run();
    EXPECT_FALSE(OS().Files().FileExists("C:\\Users\\User\\Desktop\\程序.lnk"));
    std::string quick = GetQuickLaunchFolder() + "\\程序.lnk";
    EXPECT_TRUE(OS().Files().FileExists(quick));
    for (const std::string& l : EffectLines()) EXPECT_EQ(l.find("TaskbarVerb"), std::string::npos);
}

// A machine without a quick-launch folder gets one, recorded, so the link is
// not lost and the uninstaller takes the folder away with it.
TEST_F(InstallTest, MissingShortcutFolderIsMadeAndRecorded) {
    File("app.exe", "MZ");
    Item(fkUnInsFile, "UnInstall 演示.exe", "D:\\src\\UnInstall 演示.exe", "uninstaller");
    auto s = std::make_unique<TShotCutData>();
    s->Folder = "快速启动栏\\";
    s->Name = "程序";
    s->Target = "D:\\src\\app.exe";
    project_->ShotCutList.push_back(std::move(s));
    std::string folder = GetQuickLaunchFolder();
    std::filesystem::remove_all(HostPath("C/Users/User/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch"));
    ASSERT_FALSE(OS().Files().FolderExists(folder));
    Run();
    EXPECT_TRUE(OS().Files().FileExists(folder + "\\程序.lnk"));
    bool recorded = false;
    TUnInstall record = Record();
    for (const auto& e : record.Entries()) recorded = recorded || (e->EntryKind == ukFolder && e->Path == folder);
    EXPECT_TRUE(recorded);
}

// A patch package copies folders and files only.
TEST_F(InstallTest, PatchStopsAfterTheFiles) {
    AddSetting(*project_, igProject, "Patch", "True");
    OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(project_->PackageId));
    OS().Registry().WriteString(kHkeyLocalMachine, UninstallKeyPath(project_->PackageId), "Install Dir", "D:\\旧");
    Configure("[Drives]\nD=fixed 1000000\n");
    OS().Registry().WriteString(kHkeyLocalMachine, UninstallKeyPath(project_->PackageId), "Install Dir", "D:\\旧");
    File("fix.dll", "patched");
    auto r = std::make_unique<TRegInfoData>();
    r->Key = "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\补丁";
    r->ValueName = "v";
    project_->RegList.push_back(std::move(r));
    Item(fkUnInsFile, "UnInstall 演示.exe", "D:\\src\\UnInstall 演示.exe", "u");
    Run();
    EXPECT_EQ(Read("D:\\旧\\fix.dll"), "patched");
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, "SOFTWARE\\补丁"));
    EXPECT_FALSE(OS().Files().FileExists("D:\\旧\\UnInstall 演示.exe"));
    EXPECT_FALSE(OS().Files().FileExists("D:\\旧\\UnInstall 演示.log"));
}

TEST_F(InstallTest, ComponentPackages) {
    auto component = [&](const std::string& name) {
        auto c = std::make_unique<TCompileCompData>();
        c->Name = name;
        project_->CompList.push_back(std::move(c));
    };
    component("rt");
    component("fonts");
    component("done");
    component("unticked");
    auto file = [&](const std::string& comp, const std::string& name, const std::string& data) {
        Item(fkCompFile, comp, "D:\\src\\" + comp + "\\" + name, data, "D:\\src\\" + comp);
    };
    file("rt", "rt.ini", "[RegistryList]\r\nRegtype=System\r\n[Option]\r\nExeFile=rtsetup.exe\r\n");
    file("rt", "rtsetup.exe", "MZ");
    file("fonts", "fonts.ini",
         "[RegistryList]\r\nRegtype=system\r\n[SysDirList]\r\na.fon=[System Directory]\\\\Fonts\\a.fon\r\n");
    file("fonts", "a.fon", "font");
    file("done", "done.ini",
         "[Term]\r\nRegRun=HKEY_LOCAL_MACHINE\\SOFTWARE\\Done\\Installed\r\n[Option]\r\nExeFile=d.exe\r\n");
    file("done", "d.exe", "MZ");
    file("unticked", "unticked.ini", "[Option]\r\nExeFile=u.exe\r\n");
    file("unticked", "u.exe", "MZ");
    OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Done");
    OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Done", "Installed", "yes");
    OS().Files().CreateFolderTree("C:\\Downloads");
    OS().Files().Open(kSetup, OpenMode::Create)->WriteBytes(BuildPackage(*project_, data_));
    model_ = std::make_unique<TCompile>();
    model_->LoadFromExe(kSetup);
    model_->ComponentList = {"RT", "fonts", "done"};  // the user unticked one
    model_->ExtractTempFiles(model_->PackageFile());
    Install(*model_);
    std::string started;
    for (const std::string& l : EffectLines()) {
        if (l.find("\"wait\":true") != std::string::npos) started += l;
    }
    EXPECT_NE(started.find("rtsetup.exe"), std::string::npos) << started;
    EXPECT_EQ(started.find("d.exe"), std::string::npos);
    EXPECT_EQ(started.find("u.exe"), std::string::npos);
    EXPECT_EQ(Read("C:\\Windows\\Fonts\\a.fon"), "font");  // "system" in lower case copies
}

// The component files come from this run's own extraction folder, never from a
// planted Comp folder; a copy destination that would leave the Windows folder
// copies nothing and is listed with its reason, the others are copied; the
// extraction folder is gone after the run.
TEST_F(InstallTest, ComponentFilesAndDestinationsStayWhereTheyBelong) {
    auto c = std::make_unique<TCompileCompData>();
    c->Name = "fonts";
    project_->CompList.push_back(std::move(c));
    auto file = [&](const std::string& name, const std::string& data) {
        Item(fkCompFile, "fonts", "D:\\src\\fonts\\" + name, data, "D:\\src\\fonts");
    };
    file("fonts.ini",
         "[RegistryList]\r\nRegtype=Files\r\n[SysDirList]\r\na.fon=[System Directory]\\\\..\\a.fon\r\n"
         "b.fon=[System Directory]\\\\Fonts\\b.fon\r\nc.fon=[System Directory]\\\\D:\\c.fon\r\n");
    file("a.fon", "a");
    file("b.fon", "b");
    file("c.fon", "c");
    std::string planted = GetTempFolder() + "Comp\\fonts";
    ASSERT_TRUE(OS().Files().CreateFolderTree(planted));
    OS().Files()
        .Open(planted + "\\fonts.ini", OpenMode::Create)
        ->WriteBytes("[RegistryList]\r\nRegtype=Files\r\n[SysDirList]\r\nb.fon=C:\\planted.fon\r\n");
    OS().Files().CreateFolderTree("C:\\Downloads");
    OS().Files().Open(kSetup, OpenMode::Create)->WriteBytes(BuildPackage(*project_, data_));
    model_ = std::make_unique<TCompile>();
    model_->LoadFromExe(kSetup);
    model_->ComponentList = {"fonts"};
    model_->ExtractTempFiles(model_->PackageFile());
    std::string folder = model_->TempFolders.front();
    Install(*model_);
    model_->DeleteTempFiles();

    EXPECT_EQ(Read("C:\\Windows\\Fonts\\b.fon"), "b");
    EXPECT_FALSE(OS().Files().FileExists("C:\\a.fon"));
    EXPECT_FALSE(OS().Files().FileExists("C:\\planted.fon"));
    EXPECT_FALSE(OS().Files().FileExists("D:\\c.fon"));
    ASSERT_EQ(model_->Failures.size(), 2u);
    EXPECT_EQ(model_->Failures[0].Item, "[System Directory]\\\\..\\a.fon");
    EXPECT_EQ(model_->Failures[0].Reason, msg::ComponentDestinationRefused("a.fon", "fonts"));
    EXPECT_EQ(model_->Failures[1].Item, "[System Directory]\\\\D:\\c.fon");
    EXPECT_FALSE(OS().Files().FolderExists(folder));
    EXPECT_TRUE(OS().Files().FileExists(planted + "\\fonts.ini"));  // someone else's, left alone
}

}  // namespace
}  // namespace setup::testing_sandbox
