// Unattended runs of the Linux setup program and uninstaller on fresh
// simulated machines: the switches, the log, the exit codes, the Uninstall
// entry that deployment tools read, and the hand-over to the elevated copy.
#include <filesystem>

#include "platform/host_files.h"
#include "platform/os.h"
#include "platform/text.h"
#include "startup/package_run_fixture.h"

namespace setup::testing_sandbox {
namespace {

const char kId[] = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
const char kDir[] = "C:\\Program Files\\演示";

class DeploymentTest : public PackageRunTest {
protected:
    void SetUp() override {
        PackageRunTest::SetUp();
        Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n");
        // A wizard project: a silent run must not show it.
        Setting(igProject, "项目名称", "演示");
        Setting(igProject, "版本号", "2.5");
        Setting(igProject, "作者名称", "演示公司");
        Setting(igProject, "作者网址", "http://www.example.com/");
        Setting(igProject, "显示安装界面", "启用");
        Setting(igProject, "显示加载进度", "启用");
        Setting(igProject, "显示安装背景窗口", "禁用");
        Setting(igProject, "卸载程序", "启用");
        Setting(igProject, "安装前弹出信息提示", "即将安装演示。");
        Setting(igProject, "安装完成后弹出信息提示", "演示已安装。");
        Setting(igProject, "安装完成后，重启操作系统", "启用");
        Setting(igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
        Setting(igStartFolder, "默认文件夹名称", "演示");
        Setting(igAddonsTask, "创建桌面快捷方式", "启用");
        Setting(igEndIns, "应用程序文件", "[安装目录]\\app.exe");
        for (const char* page : {"欢迎", "附加任务", "确认安装", "安装进程", "安装完毕"}) {
            Setting(igPageSwitch, page, "启用");
        }
        project_->PackageId = kId;
        Add(fkFile, "app.exe", std::string(3000, 'a'), "目标计算机\\Program Files\\");
        Add(fkFile, "readme.txt", "read me", "目标计算机\\Program Files\\docs");
        Add(fkUnInsFile, "UnInstall 演示.exe", setup::ReadHostFile(UNINSTALL_PROGRAM), "");
        auto value = std::make_unique<TRegInfoData>();
        value->Key = "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示";
        value->ValueName = "路径";
        value->Data = "[安装目录]";
        project_->RegList.push_back(std::move(value));
        Shortcut("桌面\\", "演示", "D:\\src\\app.exe");
    }
    int Run(const std::string& args, const std::string& package = "") {
        Place(package.empty() ? Package() : package);
        return RunProgram("C:\\Downloads\\setup", args);
    }
    // The log as GBK text.
    std::string Log(const std::string& path = "C:\\Downloads\\setup.log") {
        std::optional<std::string> bytes = Read(path);
        return bytes ? Utf8ToGbk(*bytes) : "";
    }
    std::string Key() { return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::string(kId); }
};

// /S: no window and no box at all; what the wizard's defaults would install
// is installed; the boxes, the restart question and every change are in the log.
TEST_F(DeploymentTest, SilentRunShowsNothingAndLogsEverything) {
    ASSERT_EQ(Run("/S /LOG=C:\\Downloads\\setup.log"), 0) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty()) << Effects("MessageBox")[0];
    EXPECT_TRUE(Effects("Restart").empty());
    EXPECT_FALSE(Contains(Transcript(), "show ")) << Transcript();
    // The wizard's defaults: the installation folder, the desktop shortcut.
    EXPECT_TRUE(OS().Files().FileExists(std::string(kDir) + "\\app.exe"));
    EXPECT_TRUE(OS().Files().FileExists("C:\\Users\\Demo\\Desktop\\演示.lnk"));
    // Nothing is started at the end of a run with no one there.
    for (const std::string& line : Effects("ShellExecuteEx")) EXPECT_FALSE(Contains(line, "app.exe")) << line;

    std::string log = Log();
    for (const std::string& expected :
         {std::string("参数：/S /LOG=C:\\Downloads\\setup.log"), std::string("项目：演示 2.5（") + kId + "）",
          std::string("信息框［演示］：即将安装演示。"), std::string("安装文件夹：") + kDir,
          std::string("桌面快捷方式：是"), std::string("文件夹：") + kDir + "\\docs",
          std::string("文件：") + kDir + "\\app.exe", std::string("文件：") + kDir + "\\docs\\readme.txt",
          std::string("注册表值：HKEY_LOCAL_MACHINE\\SOFTWARE\\演示\\路径 = \"") + kDir + "\\\"",
          std::string("快捷方式：C:\\Users\\Demo\\Desktop\\演示.lnk"),
          std::string("注册表值：HKEY_LOCAL_MACHINE\\") + Key() + "\\QuietUninstallString",
          std::string("文件：") + kDir + "\\UnInstall 演示.exe", std::string("信息框［“演示”安装向导］：演示已安装。"),
          std::string("未启动（静默安装）："), std::string("没有 /REBOOT，未重新启动"),
          std::string("结果：退出代码 0（安装完成）")}) {
        EXPECT_TRUE(Contains(log, expected)) << expected << "\n---\n" << GbkToUtf8(log);
    }
    // The resources' own folder is listed when it is made and when it goes.
    EXPECT_TRUE(Contains(log, "文件夹：C:\\Users\\Demo\\AppData\\Local\\Temp\\~setup-")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "删除文件夹：C:\\Users\\Demo\\AppData\\Local\\Temp\\~setup-")) << GbkToUtf8(log);
    // The steps of writing a file are not listed as files of their own.
    EXPECT_FALSE(Contains(log, ".~new")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "\r\n"));
}

// /REBOOT lets a silent run restart Windows when the project asks for it.
TEST_F(DeploymentTest, SilentRunRestartsOnlyWithReboot) {
    ASSERT_EQ(Run("-s -reboot"), 0) << output_;
    EXPECT_EQ(Effects("Restart").size(), 1u);
    EXPECT_TRUE(Effects("MessageBox").empty());
}

// /D= is the last argument: blanks unquoted, Chinese names, switches in any case.
TEST_F(DeploymentTest, InstallFolderFromTheCommandLine) {
    const std::string dir = "C:\\Some Folder\\应用";
    ASSERT_EQ(Run("/s /d=C:\\Some Folder\\应用\\"), 0) << output_;
    EXPECT_TRUE(OS().Files().FileExists(dir + "\\app.exe"));
    EXPECT_FALSE(OS().Files().FolderExists(kDir));
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, Key(), "InstallLocation"), dir);
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, "SOFTWARE\\演示", "路径"), dir + "\\");
}

// A /D= that is no full path is refused before anything is installed.
TEST_F(DeploymentTest, RelativeInstallFolderIsRefused) {
    EXPECT_EQ(Run("/S /LOG=C:\\Downloads\\setup.log /D=Apps\\Demo"), 1) << output_;
    EXPECT_FALSE(OS().Files().FolderExists(kDir));
    EXPECT_TRUE(Effects("MessageBox").empty());
    EXPECT_TRUE(Contains(Log(), "参数 /D= 需要文件夹的完整路径（例如 C:\\Apps\\Demo）：“Apps\\Demo”"))
        << GbkToUtf8(Log());
}

// The log is opened by a process that may have administrator rights at a
// path the caller chose: a relative name, an existing file and a link planted
// at the name are all refused before anything is installed, and nothing is
// written through them. Under /S no box shows the refusal.
TEST_F(DeploymentTest, LogFileMustBeNewAndAFullPath) {
    const std::string startup = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    OS().Files().CreateFolderTree(startup);
    OS().Files().CreateFolderTree("C:\\Downloads");
    OS().Files().Open(startup + "\\run.cmd", OpenMode::Create)->WriteBytes("rem kept");
    OS().Files().Open("C:\\Downloads\\old.log", OpenMode::Create)->WriteBytes("old");
    std::filesystem::create_symlink(HostPath(Utf8Path(startup + "\\run.cmd")), HostPath("C/Downloads/link.log"));
    for (const char* log : {"setup.log", "C:\\Downloads\\old.log", "C:\\Downloads\\link.log"}) {
        EXPECT_EQ(Run(std::string("/S /LOG=") + log), 1) << log << output_;
        EXPECT_FALSE(OS().Files().FolderExists(kDir)) << log;
        EXPECT_TRUE(Effects("MessageBox").empty()) << log;
    }
    EXPECT_EQ(Log("C:\\Downloads\\old.log"), "old");
    EXPECT_EQ(Log(startup + "\\run.cmd"), "rem kept");
}

// The log names the switches it understood, never the raw arguments: an
// argument cannot put a line of its choosing into the log.
TEST_F(DeploymentTest, LogShowsTheSwitchesNotTheRawArguments) {
    ASSERT_EQ(Run("/S /LOG=C:\\Downloads\\setup.log /X\r\n@start\tcalc"), 0) << output_;
    std::string log = Log();
    EXPECT_TRUE(Contains(log, "参数：/S /LOG=C:\\Downloads\\setup.log 另有 1 个其他参数\r\n")) << GbkToUtf8(log);
    EXPECT_FALSE(Contains(log, "calc")) << GbkToUtf8(log);
}

// The values the program list and deployment tools read.
TEST_F(DeploymentTest, UninstallEntryForDeploymentTools) {
    ASSERT_EQ(Run("/S"), 0) << output_;
    RegistryApi& reg = OS().Registry();
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, Key(), "DisplayName"), "演示2.5");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, Key(), "DisplayVersion"), "2.5");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, Key(), "Publisher"), "演示公司");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, Key(), "URLInfoAbout"), "http://www.example.com/");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, Key(), "InstallLocation"), kDir);
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, Key(), "QuietUninstallString"),
              "\"" + std::string(kDir) + "\\UnInstall 演示.exe\" /S");
    // 3000 + 7 bytes of files: 3 KiB.
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, Key(), "EstimatedSize")->Data, std::string("\x03\0\0\0", 4));
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, Key(), "NoModify")->Data, std::string("\x01\0\0\0", 4));
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, Key(), "NoRepair")->Data, std::string("\x01\0\0\0", 4));
}

// A target that cannot be written (a folder holds its name): installed with
// failures, status 3, the failure in the log.
TEST_F(DeploymentTest, UnwritableFileEndsWithStatusThree) {
    OS().Files().CreateFolderTree(std::string(kDir) + "\\app.exe");
    Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n");
    ASSERT_EQ(Run("/S /LOG=C:\\Downloads\\setup.log"), 3) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty());
    EXPECT_TRUE(OS().Files().FileExists(std::string(kDir) + "\\docs\\readme.txt"));
    std::string log = Log();
    EXPECT_TRUE(Contains(log, std::string("失败：") + kDir + "\\app.exe：")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "结果：退出代码 3（")) << GbkToUtf8(log);
}

// A target a program holds locked: the new file waits beside it and replaces
// it when Windows restarts; the run ends with 3010 and the log says which
// file waits. Without /REBOOT the restart is only logged.
TEST_F(DeploymentTest, LockedFileIsReplacedAtRestartWithStatus3010) {
    OS().Files().CreateFolderTree(kDir);
    OS().Files().Open(std::string(kDir) + "\\app.exe", OpenMode::Create)->WriteBytes("old");
    Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n[Faults]\nLocked=C:\\Program Files\\演示\\app.exe\n");
    Run("/S /LOG=C:\\Downloads\\setup.log");
    std::vector<std::string> exits = Effects("ExitCode");
    ASSERT_EQ(exits.size(), 1u) << output_;
    EXPECT_TRUE(Contains(exits[0], "\"status\":3010")) << exits[0];
    EXPECT_TRUE(Effects("MessageBox").empty());
    std::string log = Log();
    EXPECT_TRUE(Contains(log, "重新启动后替换：" + std::string(kDir) + "\\app.exe <- ")) << GbkToUtf8(log);
    EXPECT_TRUE(
        Contains(log, "等待重新启动：" + std::string(kDir) + "\\app.exe（文件正在使用，将在重新启动 Windows 后替换）"))
        << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "需要重新启动 Windows 才能完成安装；没有 /REBOOT，未重新启动。")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "结果：退出代码 3010（安装完成，需要重新启动 Windows 才能完成）")) << GbkToUtf8(log);
    EXPECT_FALSE(Contains(log, "失败：")) << GbkToUtf8(log);
}

// A damaged package: status 1, nothing installed, the error in the log, no box.
TEST_F(DeploymentTest, DamagedPackageEndsWithStatusOne) {
    std::string package = Package();
    package.resize(package.size() - 5);
    ASSERT_EQ(Run("/S /LOG=C:\\Downloads\\setup.log", package), 1) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty());
    EXPECT_FALSE(OS().Files().FolderExists(kDir));
    std::string log = Log();
    EXPECT_TRUE(Contains(log, "错误框")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "结果：退出代码 1（出错，没有安装）")) << GbkToUtf8(log);
}

// Cancel in the wizard: status 2; with /LOG the box and the answer are logged
// while the user still sees them.
TEST_F(DeploymentTest, CancelInTheWizardEndsWithStatusTwo) {
    Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n[Answers]\n确定要退出=yes\n");
    WriteHostFile("user.script", "click TfrmParent bNext\nclick TfrmParent bCancel\n");
    ASSERT_EQ(Run("/LOG=C:\\Downloads\\setup.log"), 2) << output_;
    EXPECT_FALSE(OS().Files().FolderExists(kDir));
    EXPECT_EQ(Effects("MessageBox").size(), 2u);  // the pre-install message and the question
    std::string log = Log();
    EXPECT_TRUE(Contains(log, "确定要退出该安装向导吗？\r\n（回答“是”）")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "结果：退出代码 2（用户取消）")) << GbkToUtf8(log);
}

// Refused elevation: 1223 (the host sees its low byte, the machine records it
// whole); under /S without a box, otherwise with one.
TEST_F(DeploymentTest, RefusedElevationEndsWith1223) {
    Configure("[Machine]\nOsVersion=6.1\nElevation=refuse\n");
    EXPECT_EQ(Run("/S /LOG=C:\\Downloads\\setup.log"), 1223 & 0xFF) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty());
    ASSERT_EQ(Effects("ExitCode").size(), 1u);
    EXPECT_TRUE(Contains(Effects("ExitCode")[0], "\"status\":1223"));
    EXPECT_TRUE(Contains(Log(), "权限提升被拒绝")) << GbkToUtf8(Log());
    EXPECT_FALSE(OS().Files().FolderExists(kDir));

    WriteHostFile("effects.jsonl", "");
    EXPECT_EQ(Run(""), 1223 & 0xFF) << output_;
    ASSERT_EQ(Effects("MessageBox").size(), 1u);
    EXPECT_TRUE(Contains(Effects("MessageBox")[0], "\"icon\":\"stop\""));
}

// On Windows 7 the switches go to the elevated copy after "-1", /D= last; the
// first process waits and ends with the copy's status.
TEST_F(DeploymentTest, SwitchesSurviveTheRelaunch) {
    Configure("[Machine]\nOsVersion=6.1\nUser=Demo\n");
    ASSERT_EQ(Run("/S /LOG=C:\\Downloads\\setup.log /D=C:\\Some Folder\\应用"), 0) << output_;
    std::vector<std::string> starts = Effects("ShellExecuteEx");
    ASSERT_FALSE(starts.empty());
    EXPECT_TRUE(Contains(starts[0], "\"verb\":\"runas\"")) << starts[0];
    EXPECT_TRUE(
        Contains(starts[0], "\"parameters\":\"-1 /S /LOG=C:\\\\Downloads\\\\setup.log /D=C:\\\\Some Folder\\\\应用\""))
        << starts[0];
    size_t relaunches = 0;
    for (const std::string& line : starts) relaunches += Contains(line, "\"verb\":\"runas\"");
    EXPECT_EQ(relaunches, 1u);
    EXPECT_TRUE(OS().Files().FileExists("C:\\Some Folder\\应用\\app.exe"));
    EXPECT_TRUE(Effects("MessageBox").empty());
    EXPECT_TRUE(Contains(Log(), "参数：-1 /S /LOG=C:\\Downloads\\setup.log /D=C:\\Some Folder\\应用"))
        << GbkToUtf8(Log());

    // The copy's status 3 reaches whoever started the first process.
    OS().Files().DeleteFile("C:\\Some Folder\\应用\\app.exe");
    OS().Files().CreateFolderTree("C:\\Some Folder\\应用\\app.exe");
    Configure("[Machine]\nOsVersion=6.1\nUser=Demo\n");
    EXPECT_EQ(Run("/S /D=C:\\Some Folder\\应用"), 3) << output_;
}

// /? lists the switches in a box, or with /S in the log; nothing is installed.
TEST_F(DeploymentTest, HelpListsTheSwitches) {
    ASSERT_EQ(Run("/?"), 0) << output_;
    std::vector<std::string> boxes = Effects("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], "/LOG=文件")) << boxes[0];
    EXPECT_FALSE(OS().Files().FolderExists(kDir));
    WriteHostFile("effects.jsonl", "");
    ASSERT_EQ(Run("/S /HELP /LOG=C:\\Downloads\\setup.log"), 0) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty());
    EXPECT_TRUE(Contains(Log(), "1223 拒绝了权限提升")) << GbkToUtf8(Log());
}

// The installed uninstaller with /S removes everything with no box, still
// deletes itself, and logs what it removed; the quiet uninstall command of
// the Uninstall entry does the same through the elevated relaunch.
TEST_F(DeploymentTest, SilentUninstall) {
    ASSERT_EQ(Run("/S"), 0) << output_;
    std::string uninstaller = std::string(kDir) + "\\UnInstall 演示.exe";
    ASSERT_TRUE(OS().Files().FileExists(uninstaller));
    WriteHostFile("effects.jsonl", "");
    ASSERT_EQ(RunProgram(uninstaller, "/S /LOG=C:\\Downloads\\un.log"), 0) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty());
    EXPECT_FALSE(Contains(Transcript(), "TfrmUnInstall")) << Transcript();
    EXPECT_FALSE(OS().Files().FileExists(std::string(kDir) + "\\app.exe"));
    EXPECT_FALSE(OS().Files().FolderExists(std::string(kDir) + "\\docs"));
    EXPECT_FALSE(OS().Files().FileExists("C:\\Users\\Demo\\Desktop\\演示.lnk"));
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, Key()));
    EXPECT_FALSE(OS().Registry().ReadValue(kHkeyLocalMachine, "SOFTWARE\\演示", "路径").has_value());
    EXPECT_EQ(Effects("CreateProcess").size(), 1u);  // the batch that deletes the uninstaller
    std::string log = Log("C:\\Downloads\\un.log");
    EXPECT_TRUE(Contains(log, std::string("删除文件：") + kDir + "\\app.exe")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "信息框：“演示”卸载成功！")) << GbkToUtf8(log);
    EXPECT_TRUE(Contains(log, "结果：退出代码 0（卸载完成）")) << GbkToUtf8(log);

    // Again on Windows 7, started as a deployment tool starts the quiet command.
    Configure("[Machine]\nOsVersion=6.1\nUser=Demo\n");
    ASSERT_EQ(Run("/S"), 0) << output_;
    std::optional<std::string> quiet = OS().Registry().ReadString(kHkeyLocalMachine, Key(), "QuietUninstallString");
    ASSERT_TRUE(quiet.has_value());
    size_t close = quiet->find('"', 1);
    ASSERT_NE(close, std::string::npos);
    WriteHostFile("effects.jsonl", "");
    ASSERT_EQ(RunProgram(quiet->substr(1, close - 1), quiet->substr(close + 2)), 0) << output_;
    EXPECT_TRUE(Contains(Effects("ShellExecuteEx")[0], "\"parameters\":\"-1 /S\""));
    EXPECT_FALSE(OS().Files().FileExists(std::string(kDir) + "\\app.exe"));
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, Key()));
    EXPECT_TRUE(Effects("MessageBox").empty());
}

// A silent uninstaller whose record is missing removes nothing and says so in
// its status, with no box.
TEST_F(DeploymentTest, SilentUninstallWithoutRecord) {
    ASSERT_EQ(Run("/S"), 0) << output_;
    OS().Files().DeleteFile(std::string(kDir) + "\\UnInstall 演示.log");
    WriteHostFile("effects.jsonl", "");
    EXPECT_EQ(RunProgram(std::string(kDir) + "\\UnInstall 演示.exe", "/S"), 1) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty());
    EXPECT_TRUE(OS().Files().FileExists(std::string(kDir) + "\\app.exe"));
}

}  // namespace
}  // namespace setup::testing_sandbox
