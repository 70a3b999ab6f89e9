// Whole runs of the Linux setup program on fresh simulated machines: packages
// made by the writer on the setup stub, started as a user would start them.
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <regex>
#include <thread>

#include "platform/common.h"
#include "platform/host_files.h"
#include "platform/sandbox/effects.h"
#include "platform/text.h"
#include "startup/package_run_fixture.h"

namespace setup::testing_sandbox {
namespace {

// The transcript shows the window ("show NAME WxH ...") and the control
// ("CONTROL TYPE X,Y WxH ..."); the control must lie wholly inside the window,
// or part of it is never seen.
::testing::AssertionResult ControlInsideWindow(const std::string& transcript, const std::string& window,
                                               const std::string& control) {
    std::smatch w, c;
    if (!std::regex_search(transcript, w, std::regex("show " + window + " ([0-9]+)x([0-9]+)"))) {
        return ::testing::AssertionFailure() << window << " is never shown";
    }
    if (!std::regex_search(transcript, c, std::regex(control + " [A-Za-z]+ (-?[0-9]+),(-?[0-9]+) ([0-9]+)x([0-9]+)"))) {
        return ::testing::AssertionFailure() << control << " is not in the transcript";
    }
    int width = std::stoi(w[1]), height = std::stoi(w[2]);
    int x = std::stoi(c[1]), y = std::stoi(c[2]), cw = std::stoi(c[3]), ch = std::stoi(c[4]);
    if (cw == 0 || ch == 0 || x < 0 || y < 0 || x + cw > width || y + ch > height) {
        return ::testing::AssertionFailure() << control << " at " << x << "," << y << " " << cw << "x" << ch
                                             << " does not fit " << window << " " << width << "x" << height;
    }
    return ::testing::AssertionSuccess();
}

using testing_package::AddSetting;
using testing_package::BuildPackage;

class SetupProgramTest : public PackageRunTest {
protected:
    void SetUp() override {
        PackageRunTest::SetUp();
        AddSetting(*project_, igProject, "项目名称", "演示");
        AddSetting(*project_, igProject, "显示安装界面", "禁用");
        AddSetting(*project_, igProject, "卸载程序", "启用");
        AddSetting(*project_, igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
        project_->PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
        Add(fkFile, "app.exe", "MZ app", "目标计算机\\Program Files\\");
        Add(fkInfoFile, "logo.png", "png", "");
        Add(fkUnInsFile, "UnInstall 演示.exe", "uninstaller", "");
    }
    // Places the package on the machine and runs it; returns the exit status.
    int Run(const std::string& args = "", const std::string& bytes = "") {
        Place(bytes.empty() ? Package() : bytes);
        return RunHostProgram(HostPath("C/Downloads/setup"), args);
    }
    // Whether a run left its extraction folder in the temporary folder.
    bool ExtractionLeft() {
        for (const FolderEntry& entry : OS().Files().ListFolder(GetTempFolder())) {
            if (entry.Name.rfind("~setup-", 0) == 0) return true;
        }
        return false;
    }
    std::string Effects() {
        std::string all;
        for (const std::string& line : EffectLines()) all += line + "\n";
        return all;
    }
};

// On Windows 7 the first process relaunches itself elevated with "-1" and
// ends; the copy installs.
TEST_F(SetupProgramTest, RelaunchesOnceOnWindows7) {
    EXPECT_EQ(Run(), 0) << output_;
    std::string exit = WaitForProcessExits();
    EXPECT_TRUE(Contains(exit, "\"status\":0")) << exit;
    Reopen();
    EXPECT_TRUE(Installed());
    std::string effects = Effects();
    EXPECT_TRUE(Contains(effects, Field("file", "C:\\Downloads\\setup") + ",\"parameters\":\"-1\"")) << effects;
    size_t relaunches = 0;
    for (const std::string& line : EffectLines()) relaunches += Contains(line, "\"verb\":\"runas\"");
    EXPECT_EQ(relaunches, 1u) << effects;
}

// In the elevated copy the end-of-install program and the readme open as the
// user who started setup, not with the installation's administrator rights;
// the relaunch itself and a program the package runs elevated on purpose
// ("run after installation") say so too.
TEST_F(SetupProgramTest, EndOfInstallProgramsStartAsTheUser) {
    AddSetting(*project_, igEndIns, "应用程序文件", "D:\\src\\app.exe");
    AddSetting(*project_, igEndIns, "Readme文件", "D:\\src\\readme.txt");
    Add(fkFile, "readme.txt", "read me", "目标计算机\\Program Files\\");
    project_->FileList[0]->RunAfterInstall = true;
    EXPECT_EQ(Run(), 0) << output_;
    WaitForProcessExits();
    Reopen();
    ASSERT_TRUE(Installed());
    std::map<std::string, std::string> starts;  // the started file and its "elevated" field
    for (const std::string& line : EffectLines()) {
        if (!Contains(line, "\"effect\":\"ShellExecuteEx\"")) continue;
        size_t file = line.find("\"file\":\"");
        size_t end = line.find('"', file + 8);
        std::string name = line.substr(file + 8, end - file - 8);
        starts[name + (Contains(line, "\"verb\":\"runas\"") ? " runas" : "")] =
            Contains(line, "\"elevated\":true")    ? "elevated"
            : Contains(line, "\"elevated\":false") ? "user"
                                                   : "?";
    }
    const std::string dir = GbkToUtf8("C:\\\\Program Files\\\\演示\\\\");
    EXPECT_EQ(starts["C:\\\\Downloads\\\\setup runas"], "elevated") << Effects();
    EXPECT_EQ(starts[dir + "app.exe runas"], "elevated") << Effects();
    EXPECT_EQ(starts[dir + "app.exe"], "user") << Effects();
    EXPECT_EQ(starts[dir + "readme.txt"], "user") << Effects();
}

TEST_F(SetupProgramTest, XpInstallsInPlaceWithTheQuietWindow) {
    Configure("[Machine]\nOsVersion=5.1\n");
    EXPECT_EQ(Run(), 0) << output_;
    EXPECT_TRUE(Installed());
    EXPECT_FALSE(Contains(Effects(), "runas"));
    std::string transcript = Transcript();
    EXPECT_TRUE(Contains(transcript, "at its designed place")) << transcript;
    EXPECT_TRUE(Contains(transcript, GbkToUtf8("caption \"正在安装“演示”，请稍候...\""))) << transcript;
    EXPECT_TRUE(Contains(transcript, "progress 12 of 100 \"12%\"")) << transcript;
    EXPECT_TRUE(ControlInsideWindow(transcript, "TfrmInstall", "Gauge1"));
    EXPECT_TRUE(Contains(transcript, "close TfrmInstall")) << transcript;
    EXPECT_FALSE(Contains(transcript, "TfrmInitIns"));  // no loading setting: no extraction window
    EXPECT_FALSE(ExtractionLeft());                     // and nothing extracted
    // The uninstaller and its record were written.
    EXPECT_TRUE(OS().Files().FileExists("C:\\Program Files\\演示\\UnInstall 演示.log"));
}

// Refusing the elevation prompt: an error box, status 1223 (of which the
// host sees the low byte), nothing installed.
TEST_F(SetupProgramTest, RefusedElevationEndsWithStatus1223) {
    Configure("[Machine]\nElevation=refuse\n");
    EXPECT_EQ(Run(), 1223 & 0xFF);
    EXPECT_FALSE(Installed());
    std::string effects = Effects();
    EXPECT_TRUE(Contains(effects, "\"result\":\"cancelled\""));
    EXPECT_TRUE(Contains(effects, "\"icon\":\"stop\"")) << effects;
    EXPECT_TRUE(Contains(effects, "\"taskModal\":true")) << effects;
}

// An argument suppresses the relaunch; the pre-install message comes first,
// captioned with the bare project name.
TEST_F(SetupProgramTest, PreInstallMessageAndLoadingWindow) {
    AddSetting(*project_, igProject, "安装前弹出信息提示", "即将安装。");
    AddSetting(*project_, igProject, "显示加载进度", "启用");
    EXPECT_EQ(Run("-1"), 0) << output_;
    std::vector<std::string> lines = EffectLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(Contains(lines[0], Field("caption", "演示") + "," + Field("text", "即将安装。"))) << lines[0];
    std::string transcript = Transcript();
    EXPECT_TRUE(Contains(transcript, "centred")) << transcript;
    EXPECT_TRUE(Contains(transcript, "pRelease ProgressBar")) << transcript;
    EXPECT_TRUE(Contains(transcript, "position 3 of 0..3")) << transcript;
    EXPECT_TRUE(ControlInsideWindow(transcript, "TfrmInitIns", "pRelease"));
    EXPECT_LT(transcript.find("TfrmInitIns"), transcript.find("TfrmInstall"));
    EXPECT_TRUE(Installed());
    // The extracted resources are gone when the program ends.
    EXPECT_FALSE(ExtractionLeft());
}

// "禁用" extracts without a window; the close box of the loading window does nothing.
TEST_F(SetupProgramTest, LoadingSwitchedOffAndCloseRefused) {
    AddSetting(*project_, igProject, "显示加载进度", "禁用");
    EXPECT_EQ(Run("-1"), 0);
    EXPECT_FALSE(Contains(Transcript(), "TfrmInitIns"));
    EXPECT_TRUE(Installed());

    project_->InfoList.back()->Value = "启用";
    WriteHostFile("user.script", "close TfrmInitIns\nclose TfrmInstall\n");
    WriteHostFile("transcript.txt", "");
    EXPECT_EQ(Run("-1"), 0);
    std::string transcript = Transcript();
    EXPECT_TRUE(Contains(transcript, "(TfrmInitIns refuses to close)")) << transcript;
    EXPECT_TRUE(Contains(transcript, "close TfrmInitIns, result 1")) << transcript;
}

TEST_F(SetupProgramTest, PatchPackagesUseTheQuietWindowEvenWithTheInterface) {
    project_->InfoList[1]->Value = "启用";  // the wizard is switched on
    AddSetting(*project_, igProject, "Patch", "1");
    OS().Registry().CreateKey(kHkeyLocalMachine,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + project_->PackageId);
    OS().Registry().WriteString(kHkeyLocalMachine,
                                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + project_->PackageId,
                                "Install Dir", "C:\\Program Files\\演示");
    EXPECT_EQ(Run("-1"), 0);
    EXPECT_TRUE(Contains(Transcript(), "show TfrmInstall"));
    EXPECT_TRUE(Installed());
    EXPECT_FALSE(OS().Files().FileExists("C:\\Program Files\\演示\\UnInstall 演示.exe"));  // files only
}

// The restart question comes once, after the installation; Yes restarts.
TEST_F(SetupProgramTest, RestartQuestion) {
    AddSetting(*project_, igProject, "安装完成后，重启操作系统", "启用");
    Configure("[Answers]\n重启操作系统=yes\n");
    EXPECT_EQ(Run("-1"), 0);
    std::string effects = Effects();
    size_t questions = 0;
    for (const std::string& line : EffectLines()) questions += Contains(line, "\"buttons\":\"yesno\"");
    EXPECT_EQ(questions, 1u);
    EXPECT_TRUE(Contains(effects, Field("text", "“演示”安装向导需要重启操作系统，方可完成安装。要自动重启吗？")));
    EXPECT_TRUE(Contains(effects, "\"effect\":\"Restart\""));
    EXPECT_TRUE(Installed());
}

// A damaged package: an error report naming the damage, status 1, temporary
// files removed.
TEST_F(SetupProgramTest, DamagedPackageEndsInAnErrorReport) {
    AddSetting(*project_, igProject, "显示加载进度", "禁用");
    std::string bytes = BuildPackage(*project_, data_, setup::ReadHostFile(SETUP_PROGRAM));
    // Damage the resource's data: the extraction fails before anything is installed.
    const TCompileFileData& resource = *project_->FileList[1];
    bytes[static_cast<size_t>(resource.DataStart) + 6] ^= 0x55;
    EXPECT_EQ(Run("-1", bytes), 1);
    std::string effects = Effects();
    EXPECT_TRUE(Contains(effects, "\"icon\":\"stop\"")) << effects;
    EXPECT_FALSE(ExtractionLeft());
    EXPECT_FALSE(Installed());

    // A byte lost in the middle: every offset after it is wrong.
    std::string shortened = BuildPackage(*project_, data_, setup::ReadHostFile(SETUP_PROGRAM));
    shortened.erase(shortened.size() - 300, 1);
    EXPECT_EQ(Run("-1", shortened), 1) << output_;
}

// Damage that only the checksum shows: the Adler-32 trailer of a chunk, or a
// byte of the content of a stored (uncompressed) deflate block, changed, so
// that the chunk still inflates to the length the item promises. The package
// is refused all the same: status 1, the damage box, nothing installed.
TEST_F(SetupProgramTest, ChecksumDamageOfTheRightLengthIsRefused) {
    std::string bytes = BuildPackage(*project_, data_, setup::ReadHostFile(SETUP_PROGRAM), cplNone);
    const TCompileFileData& app = *project_->FileList[0];
    auto start = static_cast<size_t>(app.DataStart);
    // One chunk: its length, the zlib header, one final stored block (its
    // header byte, LEN and NLEN, the six bytes of content), the Adler-32.
    ASSERT_EQ(app.DataEnd - app.DataStart, 4 + 2 + 5 + 6 + 4);
    ASSERT_EQ(bytes[start + 6], '\x01');
    ASSERT_EQ(bytes.substr(start + 7, 4), std::string("\x06\x00\xF9\xFF", 4));
    ASSERT_EQ(bytes.substr(start + 11, 6), "MZ app");
    std::string trailer = bytes;
    trailer[static_cast<size_t>(app.DataEnd) - 1] ^= 0x01;
    std::string content = bytes;
    content[start + 11 + 3] ^= 0x20;  // "MZ App"
    for (const std::string* damaged : {&trailer, &content}) {
        WriteHostFile("effects.jsonl", "");
        EXPECT_EQ(Run("-1", *damaged), 1) << output_;
        std::string effects = Effects();
        EXPECT_TRUE(Contains(effects, "\"icon\":\"stop\"")) << effects;
        EXPECT_TRUE(Contains(effects, GbkToUtf8("安装包已损坏"))) << effects;
        EXPECT_FALSE(OS().Files().FolderExists("C:\\Program Files\\演示"));
        EXPECT_FALSE(OS().Registry().KeyExists(
            kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + project_->PackageId));
    }
}

}  // namespace
}  // namespace setup::testing_sandbox
