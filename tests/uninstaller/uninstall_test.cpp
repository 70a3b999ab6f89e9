// The uninstaller: its removal passes driven directly, and whole runs of the
// Linux setup program and then the uninstaller it installed, on one machine.
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "engine/uninstall_record.h"
#include "package/compile.h"
#include "package/install_paths.h"
#include "package/package_builder.h"
#include "platform/common.h"
#include "platform/host_files.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "startup/whole_run_fixture.h"
#include "platform/text.h"
#include "ui/headless/headless_backend.h"
#include "uninstaller/uninstall_form.h"

namespace setup::testing_sandbox {
namespace {

using testing_package::AddItem;
using testing_package::AddSetting;
using testing_package::BuildPackage;

class UninstallPassesTest : public SandboxTest {
protected:
    // Saves the record as the setup program does (file, Uninstall entry with
    // its digest) and loads it into a window as the uninstaller would.
    std::unique_ptr<TfrmUnInstall> Window(TUnInstall& record) {
        Save(record);
        auto window = std::make_unique<TfrmUnInstall>();
        window->SetRecordPath("C:\\UnInstall x.log");
        EXPECT_TRUE(window->LoadRecord());
        return window;
    }
    void Write(const std::string& path) { OS().Files().Open(path, OpenMode::Create)->WriteBytes("x"); }
    static void Save(TUnInstall& record, const std::string& path = "C:\\UnInstall x.log") {
        if (record.PackageId().empty()) record.SetPackageId(kId);
        OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(record.PackageId()));
        TUnInstall::WriteRecordDigest(record.PackageId(), record.SaveToFile(path));
    }
    // The window shown and used as the simulated user does (pressing
    // "卸载(&U)"); the record is the one Save wrote.
    struct WindowRun {
        int exitCode;
        std::vector<std::string> failures;
    };
    WindowRun RunWindow() {
        ui::HeadlessBackend backend(HostPath("transcript.txt"), HostPath("user.script"));
        ui::SetBackend(&backend);
        TfrmUnInstall window;
        window.SetRecordPath("C:\\UnInstall x.log");
        window.ShowModal();
        ui::SetBackend(nullptr);
        return {window.ExitCode(), window.Failures()};
    }
    static constexpr char kId[] = "{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}";
};

// Recorded values go; a key the installation created goes once nothing is
// left in it, deepest first whatever the record's order, directly under a
// root too. A created key that holds something else (the program's own
// settings, another product's subkey) stays, and so do keys that were there
// before, with their other values.
TEST_F(UninstallPassesTest, RegistryEntries) {
    RegistryApi& reg = OS().Registry();
    reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\X\\Sub");
    reg.WriteString(kHkeyLocalMachine, "SOFTWARE\\X\\Sub", "v", "1");
    reg.CreateKey(kHkeyCurrentUser, "Software\\Y");
    reg.WriteString(kHkeyCurrentUser, "Software\\Y", "keep", "1");
    reg.WriteString(kHkeyCurrentUser, "Software\\Y", "go", "1");
    reg.CreateKey(kHkeyClassesRoot, ".demo");
    reg.WriteString(kHkeyClassesRoot, ".demo", "", "Demo.Document");
    reg.CreateKey(kHkeyClassesRoot, "Demo.Document\\shell\\open\\command");
    reg.WriteString(kHkeyClassesRoot, "Demo.Document\\shell\\open\\command", "", "x.exe");
    reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Other");  // another product's, below a created key
    reg.CreateKey(kHkeyCurrentUser, "Software\\Z");
    reg.WriteString(kHkeyCurrentUser, "Software\\Z", "settings", "the program's own");
    TUnInstall record;
    record.AddRegistry("2147483650", "SOFTWARE\\X", "");
    record.AddRegistry("2147483650", "SOFTWARE\\X\\Sub", "");
    record.AddRegistry("2147483650", "SOFTWARE\\X\\Sub", "v");
    record.AddRegistry("2147483649", "Software\\Y", "go");
    record.AddRegistry("12345", "Software\\Y", "keep");  // not a root handle: skipped
    record.AddRegistry("2147483648", ".demo", "");
    record.AddRegistryValue("2147483648", ".demo", "");
    for (const char* level : {"Demo.Document", "Demo.Document\\shell", "Demo.Document\\shell\\open",
                              "Demo.Document\\shell\\open\\command"}) {
        record.AddRegistry("2147483648", level, "");
    }
    record.AddRegistryValue("2147483648", "Demo.Document\\shell\\open\\command", "");
    record.AddRegistry("2147483650", "SOFTWARE\\Vendor", "");
    record.AddRegistry("2147483649", "Software\\Z", "");
    // A level whose second GBK byte is a backslash ("誠" is D5 5C) is one level.
    reg.CreateKey(kHkeyCurrentUser, "Software\\誠\\誠");
    reg.WriteString(kHkeyCurrentUser, "Software\\誠\\誠", "v", "1");
    record.AddRegistry("2147483649", "Software\\誠", "");
    record.AddRegistry("2147483649", "Software\\誠\\誠", "");
    record.AddRegistry("2147483649", "Software\\誠\\誠", "v");
    auto window = Window(record);
    EXPECT_TRUE(window->RemoveEverything());
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "Software\\誠"));
    EXPECT_TRUE(reg.KeyExists(kHkeyCurrentUser, "Software"));
    EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "SOFTWARE\\X"));
    EXPECT_FALSE(reg.ReadString(kHkeyCurrentUser, "Software\\Y", "go"));
    EXPECT_EQ(reg.ReadString(kHkeyCurrentUser, "Software\\Y", "keep"), "1");
    EXPECT_FALSE(reg.KeyExists(kHkeyClassesRoot, ".demo"));
    EXPECT_FALSE(reg.KeyExists(kHkeyClassesRoot, "Demo.Document"));
    EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Other"));
    EXPECT_EQ(reg.ReadString(kHkeyCurrentUser, "Software\\Z", "settings"), "the program's own");
    // The last progress event is (N, N).
    EXPECT_TRUE(window->ProcessBar.Visible());
    EXPECT_EQ(window->ProcessBar.Position(), 17);
    EXPECT_EQ(window->ProcessBar.Max(), 17);
}

// Files go unless kept; folders go bottom-up whatever their order, unless
// something is left in them.
TEST_F(UninstallPassesTest, FilesAndFolders) {
    OS().Files().CreateFolderTree("C:\\App\\a\\b\\c");
    OS().Files().CreateFolderTree("C:\\App\\kept");
    Write("C:\\App\\a\\b\\c\\f.txt");
    Write("C:\\App\\kept\\settings.ini");
    Write("C:\\App\\mine.txt");  // not recorded: the user's own
    TUnInstall record;
    record.AddFolder("C:\\App\\a");  // outermost first, as recorded
    record.AddFolder("C:\\App\\kept");
    record.AddFile("C:\\App\\a\\b\\c\\f.txt", true);
    record.AddFile("C:\\App\\kept\\settings.ini", false);
    record.AddFile("C:\\App\\gone-already.txt", true);
    record.AddFolder("C:\\App");
    auto window = Window(record);
    window->RemoveEverything();
    EXPECT_FALSE(OS().Files().FolderExists("C:\\App\\a"));
    EXPECT_TRUE(OS().Files().FileExists("C:\\App\\kept\\settings.ini"));
    EXPECT_TRUE(OS().Files().FileExists("C:\\App\\mine.txt"));
    EXPECT_TRUE(OS().Files().FolderExists("C:\\App"));
    EXPECT_EQ(window->ProcessBar.Position(), 6);
}

TEST_F(UninstallPassesTest, QuickLaunchLinksAreUnpinnedFromWindows7On) {
    std::string quick = GetQuickLaunchFolder();
    for (const char* version : {"6.1", "5.1"}) {
        Configure(std::string("[Machine]\nOsVersion=") + version + "\n");
        Write(quick + "\\A.lnk");
        Write(quick + "\\B.LNK");  // the extension must be exactly ".lnk"
        if (std::string(version) == "6.1") {
            PinToTaskbar(quick + "\\A.lnk");
            PinToTaskbar(quick + "\\B.LNK");
        }
        TUnInstall record;
        record.AddFile(quick + "\\A.lnk", true);
        record.AddFile(quick + "\\B.LNK", true);
        size_t before = EffectLines().size();
        auto window = Window(record);
        window->RemoveEverything();
        std::string effects;
        std::vector<std::string> lines = EffectLines();
        for (size_t i = before; i < lines.size(); ++i) effects += lines[i];
        EXPECT_EQ(Contains(effects, GbkToUtf8("从任务栏脱离")), std::string(version) == "6.1") << version;
        EXPECT_FALSE(Contains(effects, "B.LNK"));
        EXPECT_FALSE(OS().Files().FileExists(quick + "\\A.lnk"));
    }
}

TEST_F(UninstallPassesTest, MissingOrDamagedRecordRemovesNothing) {
    TfrmUnInstall window;
    window.SetRecordPath("C:\\none.log");
    EXPECT_FALSE(window.LoadRecord());
    OS().Files().Open("C:\\bad.log", OpenMode::Create)->WriteBytes("not a record");
    window.SetRecordPath("C:\\bad.log");
    EXPECT_FALSE(window.LoadRecord());
    EXPECT_TRUE(window.Record().Entries().empty());
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], GbkToUtf8("安装日志文件不存在,卸载程序无法正常工作，程序将退出系统。")));
    EXPECT_TRUE(Contains(lines[0], "\"caption\":\"\",\"text\""));
    EXPECT_TRUE(Contains(lines[1], "\"icon\":\"stop\""));
}

// A second press while the passes run starts nothing: the buttons are disabled.
TEST_F(UninstallPassesTest, SecondClickDuringThePassesDoesNothing) {
    Write("C:\\a.txt");
    Write("C:\\b.txt");
    TUnInstall record;
    record.SetProjectName("演示");
    record.AddFile("C:\\a.txt", true);
    record.AddFile("C:\\b.txt", true);
    Save(record);
    WriteHostFile("user.script", "click TfrmUnInstall Button1\nclick TfrmUnInstall Button1\n");
    ui::HeadlessBackend backend(HostPath("transcript.txt"), HostPath("user.script"));
    ui::SetBackend(&backend);
    {
        TfrmUnInstall window;
        window.SetRecordPath("C:\\UnInstall x.log");
        window.ShowModal();
    }
    ui::SetBackend(nullptr);
    std::string transcript = SandboxTest::ReadHostFile("transcript.txt");
    EXPECT_TRUE(Contains(transcript, GbkToUtf8("(the user presses 卸载(&U), which is disabled)"))) << transcript;
    size_t successes = 0;
    for (const std::string& line : EffectLines()) successes += Contains(line, GbkToUtf8("卸载成功"));
    EXPECT_EQ(successes, 1u);
    EXPECT_FALSE(OS().Files().FileExists("C:\\b.txt"));
    EXPECT_FALSE(OS().Files().FileExists("C:\\UnInstall x.log"));  // the record goes too
    // The batch that deletes the uninstaller: the four lines, byte for byte,
    // started hidden.
    std::vector<FolderEntry> temp = OS().Files().ListFolder(GetTempFolder());
    ASSERT_EQ(temp.size(), 1u);
    EXPECT_EQ(temp[0].Name.substr(0, 10), "_deleteme-");
    EXPECT_EQ(temp[0].Name.size(), 10u + 16u + 4u);
    std::string batchPath = GetTempFolder() + temp[0].Name;
    std::unique_ptr<Stream> batch = OpenFile(batchPath, OpenMode::Read);
    const std::string own = OS().System().GetOwnExecutablePath();
    EXPECT_EQ(batch->ReadBytes(static_cast<size_t>(batch->Size())),
              ":try\r\ndel \"" + own + "\"\r\nif exist \"" + own + "\" goto try\r\ndel %0\r\n");
    bool started = false;
    for (const std::string& line : EffectLines()) {
        started = started || (Contains(line, "\"CreateProcess\"") && Contains(line, temp[0].Name + "\\\""));
    }
    EXPECT_TRUE(started);
}

// A genuine record that names a drive root, special folders or the system's
// own keys removes none of them; the rest of it is carried out.
TEST_F(UninstallPassesTest, ProtectedPlacesStayWhateverTheRecordSays) {
    RegistryApi& reg = OS().Registry();
    reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Vendor");
    reg.CreateKey(kHkeyCurrentUser, "Software\\Mine\\Sub");
    reg.CreateKey(kHkeyClassesRoot, "CLSID");
    std::string documents = GetSpecialFolder(kCsidlPersonal);
    std::string startup = GetSpecialFolder(kCsidlStartup);
    OS().Files().CreateFolderTree(documents);
    OS().Files().CreateFolderTree(startup);
    OS().Files().CreateFolderTree("C:\\Mine\\empty");
    TUnInstall record;
    record.AddRegistry("2147483650", "SOFTWARE", "");
    record.AddRegistry("2147483650", "\\SOFTWARE\\", "");
    record.AddRegistry("2147483649", "Software\\Mine", "");
    record.AddRegistry("2147483649", "Software\\Mine\\Sub", "");
    record.AddRegistry("2147483648", "CLSID", "");
    record.AddFolder("C:\\");
    record.AddFolder("C:\\Windows");
    record.AddFolder(documents);
    record.AddFolder("C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\.");
    record.AddFolder("C:\\Users");  // above the special folders: their emptied parents stay too
    record.AddFolder("C:\\Mine");
    auto window = Window(record);
    EXPECT_TRUE(window->RemoveEverything());
    EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Vendor"));
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "Software\\Mine"));
    EXPECT_TRUE(reg.KeyExists(kHkeyClassesRoot, "CLSID"));
    FilesApi& files = OS().Files();
    for (const std::string& folder :
         {std::string("C:\\Windows"), documents, startup, GetSpecialFolder(kCsidlDesktop)}) {
        EXPECT_TRUE(files.FolderExists(folder)) << folder;
    }
    EXPECT_FALSE(files.FolderExists("C:\\Mine"));
}

// A record edited after the installation (its digest no longer matches the
// Uninstall entry) is refused: a message, nothing removed, exit status 1.
TEST_F(UninstallPassesTest, EditedRecordIsRefusedAndNothingRemoved) {
    OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Data");
    Write("C:\\Windows\\system.dll");
    Write("C:\\a.txt");
    TUnInstall record;
    record.SetProjectName("演示");
    record.AddFile("C:\\a.txt", true);
    Save(record);
    for (int variant = 0; variant < 2; ++variant) {
        // The second time the digest kept is another record's altogether.
        if (variant == 1) {
            TUnInstall::WriteRecordDigest(kId, std::string(64, '0'));
        }
        TUnInstall edited;
        edited.SetProjectName("演示");
        edited.SetPackageId(kId);
        edited.AddFile("C:\\a.txt", true);
        edited.AddFile("C:\\Windows\\system.dll", true);
        edited.AddRegistry("2147483650", "SOFTWARE\\Vendor", "");
        edited.SaveToFile("C:\\UnInstall x.log");
        size_t before = EffectLines().size();
        EXPECT_EQ(RunWindow().exitCode, 1);
        std::vector<std::string> lines = EffectLines();
        ASSERT_EQ(lines.size(), before + 1);
        EXPECT_TRUE(Contains(lines.back(), GbkToUtf8("安装日志文件与安装时保存的不一致"))) << lines.back();
        EXPECT_TRUE(Contains(lines.back(), "\"icon\":\"stop\""));
        EXPECT_TRUE(OS().Files().FileExists("C:\\Windows\\system.dll"));
        EXPECT_TRUE(OS().Files().FileExists("C:\\a.txt"));
        EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Data"));
        EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath(kId)));
        EXPECT_TRUE(OS().Files().FileExists("C:\\UnInstall x.log"));
    }
}

// The batch names the program literally: a "%" (which the command
// interpreter would expand, even between quotes) is doubled.
TEST(SelfDeleteBatchTest, PercentSignsAreDoubled) {
    EXPECT_EQ(SelfDeleteBatchText("C:\\App %TEMP%\\100%\\u.exe"),
              ":try\r\ndel \"C:\\App %%TEMP%%\\100%%\\u.exe\"\r\nif exist \"C:\\App %%TEMP%%\\100%%\\u.exe\" goto "
              "try\r\ndel %0\r\n");
    EXPECT_EQ(SelfDeleteBatchText("C:\\演示\\u.exe"),
              ":try\r\ndel \"C:\\演示\\u.exe\"\r\nif exist \"C:\\演示\\u.exe\" goto try\r\ndel %0\r\n");
}

// A record for which no digest is kept (saved by an earlier version of the
// setup program) removes what lies in its own folder and the product's links
// and the product's Uninstall entry; what it names elsewhere is listed, not
// removed, and the status is 3. A ".." that climbs out of the folder does not
// count as inside it.
TEST_F(UninstallPassesTest, RecordWithoutDigestRemovesOnlyItsOwnFolderAndLinks) {
    const std::string dir = "C:\\Program Files\\演示";
    OS().Files().CreateFolderTree(dir + "\\data");
    Write(dir + "\\app.exe");
    Write(dir + "\\data\\a.dat");
    Write("C:\\Windows\\system.dll");
    std::string desktop = GetSpecialFolder(kCsidlDesktopDirectory);
    OS().Files().CreateFolderTree(desktop);
    Write(desktop + "\\演示.lnk");
    Write(desktop + "\\notes.txt");
    OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Vendor");
    OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Vendor", "v", "1");
    TUnInstall record;
    record.SetProjectName("演示");
    record.SetPackageId(kId);
    record.AddFolder(dir + "\\data");
    record.AddFile(dir + "\\app.exe", true);
    record.AddFile(dir + "\\data\\a.dat", true);
    record.AddFile(dir + "\\..\\..\\Windows\\system.dll", true);
    record.AddFile(desktop + "\\演示.lnk", true);
    record.AddFile(desktop + "\\notes.txt", true);
    record.AddRegistry("2147483650", "SOFTWARE\\Vendor", "v");
    OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(kId));  // an entry without a digest
    record.SaveToFile(dir + "\\UnInstall x.log");

    ui::HeadlessBackend backend(HostPath("transcript.txt"), HostPath("user.script"));
    ui::SetBackend(&backend);
    int exitCode = 0;
    std::vector<std::string> skipped;
    {
        TfrmUnInstall window;
        window.SetRecordPath(dir + "\\UnInstall x.log");
        window.ShowModal();
        exitCode = window.ExitCode();
        skipped = window.Skipped();
    }
    ui::SetBackend(nullptr);
    EXPECT_EQ(exitCode, 3);
    FilesApi& files = OS().Files();
    EXPECT_FALSE(files.FileExists(dir + "\\app.exe"));
    EXPECT_FALSE(files.FolderExists(dir + "\\data"));
    EXPECT_FALSE(files.FileExists(desktop + "\\演示.lnk"));
    EXPECT_TRUE(files.FileExists("C:\\Windows\\system.dll"));
    EXPECT_TRUE(files.FileExists(desktop + "\\notes.txt"));
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, "SOFTWARE\\Vendor", "v"), "1");
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath(kId)));
    EXPECT_FALSE(files.FileExists(dir + "\\UnInstall x.log"));
    EXPECT_EQ(skipped, (std::vector<std::string>{"注册表 HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\v",
                                                 dir + "\\..\\..\\Windows\\system.dll", desktop + "\\notes.txt"}));
    std::string box;
    for (const std::string& line : EffectLines()) {
        if (Contains(line, "\"effect\":\"MessageBox\"")) box = line;
    }
    EXPECT_TRUE(Contains(box, GbkToUtf8("没有校验信息"))) << box;
    EXPECT_TRUE(Contains(box, "\"icon\":\"warning\"")) << box;
}

// A file that cannot be deleted (read-only here, as a locked one) is listed to
// the user; the record then holds exactly what is left, the Uninstall entry
// stays with the new record's digest, and the exit status is 3. A second run,
// once the file is free, finishes the work.
TEST_F(UninstallPassesTest, WhatCannotBeRemovedIsReportedAndASecondRunFinishes) {
    FilesApi& files = OS().Files();
    files.CreateFolderTree("C:\\App\\bin");
    Write("C:\\App\\bin\\locked.dll");
    Write("C:\\App\\bin\\free.dll");
    Write("C:\\App\\readme.txt");
    files.SetAttributes("C:\\App\\bin\\locked.dll", kAttrReadOnly);
    OS().Registry().CreateKey(kHkeyCurrentUser, "Software\\演示");
    TUnInstall record;
    record.SetProjectName("演示");
    record.AddFolder("C:\\App");
    record.AddFolder("C:\\App\\bin");
    record.AddFile("C:\\App\\bin\\locked.dll", true);
    record.AddFile("C:\\App\\bin\\free.dll", true);
    record.AddFile("C:\\App\\readme.txt", true);
    record.AddRegistry("2147483649", "Software\\演示", "");
    Save(record);
    WindowRun first = RunWindow();
    EXPECT_EQ(first.exitCode, 3);
    EXPECT_EQ(first.failures, (std::vector<std::string>{"文件 C:\\App\\bin\\locked.dll"}));
    std::string message = EffectLines().back();
    EXPECT_TRUE(Contains(message, GbkToUtf8("“演示”未能完全卸载"))) << message;
    EXPECT_TRUE(Contains(message, GbkToUtf8("C:\\\\App\\\\bin\\\\locked.dll"))) << message;
    EXPECT_TRUE(Contains(message, "\"icon\":\"warning\"")) << message;
    EXPECT_FALSE(Contains(message, GbkToUtf8("卸载成功")));
    EXPECT_FALSE(files.FileExists("C:\\App\\bin\\free.dll"));
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyCurrentUser, "Software\\演示"));
    ASSERT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath(kId)));
    EXPECT_TRUE(OS().Files().ListFolder(GetTempFolder()).empty());  // the uninstaller stays
    TUnInstall left;
    ASSERT_TRUE(left.LoadVerifiedFromFile("C:\\UnInstall x.log"));
    std::vector<std::string> entries;
    for (const auto& e : left.Entries()) entries.push_back(std::to_string(e->EntryKind) + " " + e->Path);
    EXPECT_EQ(entries, (std::vector<std::string>{"0 C:\\App\\bin\\locked.dll", "1 C:\\App", "1 C:\\App\\bin"}));
    EXPECT_EQ(left.ProjectName(), "演示");

    files.SetAttributes("C:\\App\\bin\\locked.dll", kAttrNormal);
    EXPECT_EQ(RunWindow().exitCode, 0);
    EXPECT_FALSE(files.FolderExists("C:\\App"));
    EXPECT_FALSE(files.FileExists("C:\\UnInstall x.log"));
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath(kId)));
    std::string effects;
    for (const std::string& line : EffectLines()) effects += line;
    EXPECT_TRUE(Contains(effects, GbkToUtf8("“演示”卸载成功！")));
}

// More failures than the message lists: the first twenty, then the count.
TEST_F(UninstallPassesTest, LongFailureListIsCut) {
    TUnInstall record;
    for (int i = 0; i < 23; ++i) {
        std::string path = "C:\\f" + std::to_string(i) + ".txt";
        Write(path);
        OS().Files().SetAttributes(path, kAttrReadOnly);
        record.AddFile(path, true);
    }
    Save(record);
    EXPECT_EQ(RunWindow().exitCode, 3);
    std::string message = EffectLines().back();
    EXPECT_TRUE(Contains(message, "f19.txt"));
    EXPECT_FALSE(Contains(message, "f20.txt"));
    EXPECT_TRUE(Contains(message, GbkToUtf8("另有 3 项"))) << message;
}

// Install, then uninstall, on one machine: the machine is as it was, but for
// what is kept on purpose.
class InstallThenUninstallTest : public WholeRunTest {};

TEST_F(InstallThenUninstallTest, LeavesTheMachineAsItWas) {
    Configure("[Machine]\nOsVersion=6.1\n");
    // Something of the user's that the installation must not take away.
    OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\演示");
    OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\演示", "用户", "保留");
    OS().Files().CreateFolderTree("C:\\Program Files\\演示");
    OS().Files().Open("C:\\Program Files\\演示\\user.txt", OpenMode::Create)->WriteBytes("mine");

    TCompile project;
    AddSetting(project, igProject, "项目名称", "演示");
    AddSetting(project, igProject, "显示安装界面", "禁用");
    AddSetting(project, igProject, "卸载程序", "启用");
    AddSetting(project, igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
    AddSetting(project, igStartFolder, "默认文件夹名称", "演示");
    AddSetting(project, igAddonsTask, "创建快速启栏快捷方式", "启用");
    project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    project.FileFolderList = {"目标计算机\\Program Files\\data\\deep"};
    AddItem(project, fkFile, "app.exe", "D:\\s\\app.exe", "目标计算机\\Program Files\\");
    AddItem(project, fkFile, "keep.ini", "D:\\s\\keep.ini", "目标计算机\\Program Files\\config").KeepOnUninstall = true;
    AddItem(project, fkUnInsFile, "UnInstall 演示.exe", "D:\\s\\UnInstall 演示.exe", "");
    auto value = std::make_unique<TRegInfoData>();
    value->Key = "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示";
    value->ValueName = "路径";
    value->Data = "[安装目录]\\";
    project.RegList.push_back(std::move(value));
    project.RegFolderList = {"目标计算机\\HKEY_CURRENT_USER\\Software\\演示\\设置"};
    for (const char* folder : {"开始菜单\\", "快速启动栏\\"}) {
        auto s = std::make_unique<TShotCutData>();
        s->Folder = folder;
        s->Name = "演示";
        s->Target = "D:\\s\\app.exe";
        project.ShotCutList.push_back(std::move(s));
    }
    std::string package = BuildPackage(project, {"MZ app", "[x]", setup::ReadHostFile(UNINSTALL_PROGRAM)},
                                       setup::ReadHostFile(SETUP_PROGRAM));
    Place(package);
    ASSERT_EQ(RunHostProgram(HostPath("C/Downloads/setup"), "-1"), 0) << output_;
    std::string dir = "C:\\Program Files\\演示";
    ASSERT_TRUE(OS().Files().FileExists(dir + "\\UnInstall 演示.exe"));
    ASSERT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath(project.PackageId)));
    std::string programs = GetSpecialFolder(kCsidlPrograms) + "\\演示";
    ASSERT_TRUE(OS().Files().FileExists(programs + "\\卸载“演示”.lnk"));

    // The uninstaller, started as a user would (it relaunches itself elevated).
    ASSERT_EQ(RunHostProgram(HostPath(GbkToUtf8("C/Program Files/演示/UnInstall 演示.exe")), ""), 0) << output_;
    ASSERT_FALSE(WaitForProcessExits().empty());
    Reopen();
    FilesApi& files = OS().Files();
    EXPECT_FALSE(files.FileExists(dir + "\\app.exe"));
    EXPECT_FALSE(files.FolderExists(dir + "\\data"));
    EXPECT_TRUE(files.FileExists(dir + "\\config\\keep.ini"));  // kept on purpose, with its folder
    EXPECT_TRUE(files.FileExists(dir + "\\user.txt"));          // there before the installation
    EXPECT_FALSE(files.FileExists(dir + "\\UnInstall 演示.log"));
    EXPECT_FALSE(files.FolderExists(programs));
    EXPECT_FALSE(files.FileExists(GetQuickLaunchFolder() + "\\演示.lnk"));
    RegistryApi& reg = OS().Registry();
    EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, UninstallKeyPath(project.PackageId)));
    EXPECT_FALSE(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\演示", "路径"));
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\演示", "用户"), "保留");
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "Software\\演示"));
    std::string effects;
    for (const std::string& line : EffectLines()) effects += line + "\n";
    EXPECT_TRUE(Contains(effects, GbkToUtf8("“演示”卸载成功！"))) << effects;
    EXPECT_TRUE(Contains(effects, "_deleteme-")) << effects;
    EXPECT_TRUE(Contains(effects, "\"window\":\"hidden\",\"priority\":\"idle\""));
    std::string transcript = SandboxTest::ReadHostFile("transcript.txt");
    EXPECT_TRUE(Contains(transcript, "show TfrmUnInstall 511x331 centred")) << transcript;
    EXPECT_TRUE(Contains(transcript, GbkToUtf8("Label3 Label 14,13 480x12 \"卸载“演示”\""))) << transcript;
    EXPECT_TRUE(Contains(transcript, GbkToUtf8("(the user presses 卸载(&U))"))) << transcript;
}

// Every file and folder of drive C: (folders end in "/"), with file contents.
std::map<std::string, std::string> DriveSnapshot(const std::string& root) {
    std::map<std::string, std::string> result;
    std::string base = root + "/C";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
        std::string relative = entry.path().string().substr(base.size());
        result[relative + (entry.is_directory() ? "/" : "")] =
            entry.is_directory() ? "" : setup::ReadHostFile(entry.path().string());
    }
    return result;
}

// Installed three times over, then uninstalled: the machine holds what it held
// before, but for the installation folder with the uninstaller, which the
// system deletes after it ends (the sandbox records the batch without running
// it). Names whose second byte is "\" (誠), "|" (墊) or a letter (丄A, 乤a: two
// different files) install and go like any other. A default value written into
// the existing HKEY_CLASSES_ROOT\.txt is removed as a value: the key and its
// other data stay.
TEST_F(InstallThenUninstallTest, ReinstallThreeTimesThenUninstallLeavesNothing) {
    Configure("[Machine]\nOsVersion=6.1\n");
    RegistryApi& reg = OS().Registry();
    // Keys every Windows machine has, which an installation never removes.
    reg.CreateKey(kHkeyCurrentUser, "Software");
    reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    reg.CreateKey(kHkeyClassesRoot, ".txt\\ShellNew");
    reg.WriteString(kHkeyClassesRoot, ".txt", "Content Type", "text/plain");
    reg.WriteString(kHkeyClassesRoot, ".txt\\ShellNew", "NullFile", "");
    TCompile project;
    AddSetting(project, igProject, "项目名称", "誠墊");
    AddSetting(project, igProject, "显示安装界面", "禁用");
    AddSetting(project, igProject, "卸载程序", "启用");
    AddSetting(project, igInstallDir, "默认安装路径", "[System ProgramFiles]\\誠");
    AddSetting(project, igStartFolder, "默认文件夹名称", "誠墊");
    AddSetting(project, igAddonsTask, "创建桌面快捷方式", "启用");
    project.PackageId = "{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}";
    project.FileFolderList = {"目标计算机\\Program Files\\誠\\墊\\丄A"};
    AddItem(project, fkFile, "誠.exe", "D:\\s\\誠.exe", "目标计算机\\Program Files\\");
    AddItem(project, fkFile, "丄A.txt", "D:\\s\\丄A.txt", "目标计算机\\Program Files\\墊");
    AddItem(project, fkFile, "乤a.txt", "D:\\s\\乤a.txt", "目标计算机\\Program Files\\墊");
    AddItem(project, fkUnInsFile, "UnInstall 誠.exe", "D:\\s\\UnInstall 誠.exe", "");
    auto value = std::make_unique<TRegInfoData>();
    value->Key = "目标计算机\\HKEY_CLASSES_ROOT\\.txt";
    value->Data = "誠墊.Document";
    project.RegList.push_back(std::move(value));
    value = std::make_unique<TRegInfoData>();
    value->Key = "目标计算机\\HKEY_CURRENT_USER\\Software\\誠墊\\設定";
    value->ValueName = "路径";
    value->Data = "[安装目录]\\誠.exe";
    project.RegList.push_back(std::move(value));
    project.RegFolderList = {"目标计算机\\HKEY_CURRENT_USER\\Software\\誠墊\\設定"};
    for (const char* folder : {"开始菜单\\", "桌面\\"}) {
        auto s = std::make_unique<TShotCutData>();
        s->Folder = folder;
        s->Name = "誠墊";
        s->Target = "D:\\s\\誠.exe";
        project.ShotCutList.push_back(std::move(s));
    }
    std::string package = BuildPackage(project, {"MZ 誠", "丄A", "乤a", setup::ReadHostFile(UNINSTALL_PROGRAM)},
                                       setup::ReadHostFile(SETUP_PROGRAM));
    Place(package);
    std::map<std::string, std::string> before = DriveSnapshot(root_);
    std::string registryBefore = ReadHostFile("registry.reg");

    const std::string dir = "C:\\Program Files\\誠";
    const std::string programs = GetSpecialFolder(kCsidlPrograms) + "\\誠墊";
    for (int run = 0; run < 3; ++run) {
        ASSERT_EQ(RunHostProgram(HostPath("C/Downloads/setup"), "-1"), 0) << output_;
        EXPECT_EQ(OS().Registry().ReadString(kHkeyClassesRoot, ".txt", ""), "誠墊.Document");
        EXPECT_TRUE(OS().Files().FileExists(dir + "\\墊\\丄A.txt"));
        EXPECT_TRUE(OS().Files().FileExists(dir + "\\墊\\乤a.txt"));
        EXPECT_TRUE(OS().Files().FolderExists(dir + "\\墊\\丄A"));
        EXPECT_EQ(OS().Registry().ReadString(kHkeyCurrentUser, "Software\\誠墊\\設定", "路径"), dir + "\\誠.exe");
        // Links of the earlier runs are replaced, never numbered.
        std::vector<std::string> links;
        for (const FolderEntry& e : OS().Files().ListFolder(programs)) links.push_back(e.Name);
        std::sort(links.begin(), links.end());
        EXPECT_EQ(links, (std::vector<std::string>{"卸载“誠墊”.lnk", "誠墊.lnk"})) << run;
        EXPECT_TRUE(OS().Files().FileExists(GetSpecialFolder(kCsidlDesktop) + "\\誠墊.lnk"));
        EXPECT_FALSE(OS().Files().FileExists(GetSpecialFolder(kCsidlDesktop) + "\\誠墊(1).lnk"));
    }

    ASSERT_EQ(RunHostProgram(HostPath(GbkToUtf8("C/Program Files/誠/UnInstall 誠.exe")), "-1"), 0) << output_;
    std::map<std::string, std::string> after = DriveSnapshot(root_);
    std::string uninstaller = GbkToUtf8("/Program Files/誠/UnInstall 誠.exe");
    EXPECT_EQ(after[GbkToUtf8("/Program Files/誠/")], "");
    EXPECT_EQ(after.erase(GbkToUtf8("/Program Files/誠/")), 1u);
    EXPECT_EQ(after.erase(uninstaller), 1u);
    std::string temp = "/Users/User/AppData/Local/Temp/";
    for (auto it = after.begin(); it != after.end();) {
        bool batch = it->first.compare(0, temp.size() + 10, temp + "_deleteme-") == 0;
        it = batch ? after.erase(it) : std::next(it);
    }
    std::string leftovers;
    for (const auto& [path, bytes] : after) {
        if (!before.count(path)) leftovers += "+ " + path + "\n";
    }
    for (const auto& [path, bytes] : before) {
        if (!after.count(path)) leftovers += "- " + path + "\n";
    }
    EXPECT_EQ(leftovers, "");
    EXPECT_EQ(ReadHostFile("registry.reg"), registryBefore);
}

// The uninstaller's exit status through the program: 3 while a file it cannot
// delete remains (the record and the Uninstall entry stay), 0 once a second
// run has removed it; 1 for a record edited after the installation.
TEST_F(InstallThenUninstallTest, ExitStatusOfTheUninstaller) {
    Configure("[Machine]\nOsVersion=6.1\n");
    TCompile project;
    AddSetting(project, igProject, "项目名称", "演示");
    AddSetting(project, igProject, "显示安装界面", "禁用");
    AddSetting(project, igProject, "卸载程序", "启用");
    AddSetting(project, igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
    AddSetting(project, igStartFolder, "默认文件夹名称", "演示");
    project.PackageId = "{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}";
    AddItem(project, fkFile, "app.exe", "D:\\s\\app.exe", "目标计算机\\Program Files\\bin");
    AddItem(project, fkUnInsFile, "UnInstall 演示.exe", "D:\\s\\UnInstall 演示.exe", "");
    std::string package =
        BuildPackage(project, {"MZ app", setup::ReadHostFile(UNINSTALL_PROGRAM)}, setup::ReadHostFile(SETUP_PROGRAM));
    Place(package);
    ASSERT_EQ(RunHostProgram(HostPath("C/Downloads/setup"), "-1"), 0) << output_;
    const std::string dir = "C:\\Program Files\\演示";
    const std::string uninstaller = HostPath(GbkToUtf8("C/Program Files/演示/UnInstall 演示.exe"));
    const std::string key = UninstallKeyPath(project.PackageId);

    OS().Files().SetAttributes(dir + "\\bin\\app.exe", kAttrReadOnly);
    EXPECT_EQ(RunHostProgram(uninstaller, "-1"), 3) << output_;
    EXPECT_TRUE(OS().Files().FileExists(dir + "\\bin\\app.exe"));
    EXPECT_TRUE(OS().Files().FileExists(dir + "\\UnInstall 演示.log"));
    EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, key));
    EXPECT_EQ(RunHostProgram(uninstaller, "-1"), 3) << output_;  // still in use: still reported

    // The record edited in between: refused, nothing removed.
    TUnInstall record;
    record.LoadFromFile(dir + "\\UnInstall 演示.log");
    record.AddFile("C:\\Windows\\win.ini", true);
    record.SaveToFile(dir + "\\UnInstall 演示.log");
    OS().Files().Open("C:\\Windows\\win.ini", OpenMode::Create)->WriteBytes("[windows]");
    OS().Files().SetAttributes(dir + "\\bin\\app.exe", kAttrNormal);
    EXPECT_EQ(RunHostProgram(uninstaller, "-1"), 1) << output_;
    EXPECT_TRUE(OS().Files().FileExists("C:\\Windows\\win.ini"));
    EXPECT_TRUE(OS().Files().FileExists(dir + "\\bin\\app.exe"));

    // A reinstall repairs it. The edited record is not merged (its entries
    // are not trusted), so the folder "bin", which this run found existing,
    // is no longer recorded and stays, empty.
    ASSERT_EQ(RunHostProgram(HostPath("C/Downloads/setup"), "-1"), 0) << output_;
    EXPECT_EQ(RunHostProgram(uninstaller, "-1"), 0) << output_;
    EXPECT_FALSE(OS().Files().FileExists(dir + "\\bin\\app.exe"));
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, key));
    EXPECT_TRUE(OS().Files().FileExists("C:\\Windows\\win.ini"));
}

}  // namespace
}  // namespace setup::testing_sandbox
