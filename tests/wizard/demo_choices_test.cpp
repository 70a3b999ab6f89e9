// The demo project through the whole wizard with every choice changed by the
// simulated user, and the installation following each choice.
#include "wizard/wizard_fixture.h"

namespace setup::testing_sandbox {
namespace {

class DemoChoicesTest : public WholeRunTest {};

TEST_F(DemoChoicesTest, TheInstallationFollowsEveryChoice) {
    Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n[Drives]\nD=fixed 1000000000\n");
    OS().Files().CreateFolderTree("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\附件\\系统工具");
    int status = -1;
    std::string log = RunHost(
        std::string(MAKESETUP) + " build " + DEMO_PROJECT + " -o '" + HostPath("C/demo-setup") + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << log;
    WriteHostFile("user.script", GbkToUtf8("click TfrmParent bNext\n"
                                           "click TfrmParent bNext\n"
                                           "click TfrmParent bNext\n"
                                           "click TfrmParent TfrmStartFolder.BitBtn1\n"
                                           "pick TfrmStartFolderInfo ShellTreeView1 附件\\系统工具\n"
                                           "click TfrmStartFolderInfo BitBtn1\n"
                                           "click TfrmParent bNext\n"
                                           "untick TfrmParent TfrmSelComponent.List_Component fonts\n"
                                           "click TfrmParent bNext\n"
                                           "type TfrmParent TfrmSelectInstallDir.Edit1 D:\\演示 应用\\\n"
                                           "click TfrmParent bNext\n"
                                           "untick TfrmParent TfrmAddonsTask.CheckBox1\n"
                                           "click TfrmParent bNext\n"
                                           "click TfrmParent bNext\n"
                                           "untick TfrmParent TfrmEndIns.CheckBox1\n"));
    EXPECT_EQ(RunProgram("C:\\demo-setup", ""), 0) << output_ << ReadHostFile("effects.jsonl");
    // The folder typed (its trailing backslash dropped), the Start-menu folder
    // picked, no fonts component, no desktop link, no program started.
    EXPECT_TRUE(OS().Files().FileExists("D:\\演示 应用\\demo.exe"));
    EXPECT_FALSE(OS().Files().FolderExists("C:\\Program Files\\演示程序"));
    std::string programs = "C:\\Users\\Demo\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";
    EXPECT_TRUE(OS().Files().FileExists(programs + "系统工具\\演示程序.lnk"));
    EXPECT_FALSE(OS().Files().FileExists("C:\\Windows\\Fonts\\demo.fon"));
    EXPECT_FALSE(OS().Files().FileExists("C:\\Users\\Demo\\Desktop\\演示程序.lnk"));
    EXPECT_TRUE(OS().Files().FileExists(
        "C:\\Users\\Demo\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\演示程序.lnk"));
    bool started = false, readme = false;
    for (const std::string& line : EffectLines()) {
        std::string gbk = Utf8ToGbk(line);
        started = started || Contains(gbk, "演示 应用\\\\demo.exe\",\"parameters\":\"\"");
        readme = readme || Contains(gbk, "readme.txt");
    }
    EXPECT_FALSE(started);
    EXPECT_TRUE(readme);
    std::string transcript = Utf8ToGbk(ReadHostFile("transcript.txt"));
    EXPECT_TRUE(Contains(transcript, "  “演示程序”安装到“D:\\演示 应用”文件夹下")) << transcript;
    EXPECT_TRUE(Contains(transcript, "创建快捷方式到开始菜单的“系统工具”文件夹中"));
}

}  // namespace
}  // namespace setup::testing_sandbox
