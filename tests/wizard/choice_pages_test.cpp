// The wizard's choice pages in whole runs: documents, the Start-menu folder
// and its picker, components, the installation folder and its search.
#include <filesystem>

#include "wizard/pages/select_install_dir_form.h"
#include "wizard/wizard_fixture.h"

namespace setup::testing_sandbox {
namespace {

class ChoicePagesTest : public WizardTest {
protected:
    // A failing run leaves what the user saw beside the test's temporary folder.
    void TearDown() override {
        if (HasFailure()) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            std::filesystem::copy_file(
                HostPath("transcript.txt"),
                std::filesystem::temp_directory_path() / (std::string("transcript-") + info->name() + ".txt"),
                std::filesystem::copy_options::overwrite_existing);
        }
        WizardTest::TearDown();
    }
    // The page's block of the transcript, from its last showing.
    std::string PageBlock(const std::string& page) {
        std::string t = Transcript();
        size_t at = t.rfind("page " + page);
        if (at == std::string::npos) return "";
        size_t end = t.find("\n[", at);
        return t.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
};

// Next reads "我同意(&T)" on the agreement page on every visit, and the usual
// caption again on the next page and after going back from it.
TEST_F(ChoicePagesTest, AgreementCaptionOnEveryVisit) {
    Switches({"安装协议", "软件使用说明", "安装进程"});
    Setting(igProtocol, "协议文件", "D:\\src\\agreement.txt");
    Add(fkInfoFile, "agreement.txt", "第一条\r\n第二条\r\n", "");
    ASSERT_EQ(Run("click TfrmParent bNext\nclick TfrmParent bPrevious\nclick TfrmParent bNext\n"), 0) << output_;
    std::string t = Transcript();
    std::vector<std::string> captions;
    for (size_t at = 0; (at = t.find("bNext Button 336,304 75x22 \"", at)) != std::string::npos; ++at) {
        size_t start = at + 28;
        captions.push_back(t.substr(start, t.find('"', start) - start));
    }
    ASSERT_GE(captions.size(), 4u) << t;
    EXPECT_EQ(captions[0], "我同意(&T)");    // shown
    EXPECT_EQ(captions[1], "下一步(&N)->");  // the readme page
    EXPECT_EQ(captions[2], "我同意(&T)");    // back again
    EXPECT_EQ(captions[3], "下一步(&N)->");
    std::string agreement = PageBlock("TfrmProtocol");
    EXPECT_TRUE(Contains(agreement, "agreement.txt\" text, 2 lines")) << agreement;
    EXPECT_TRUE(Contains(agreement, "    | 第二条")) << agreement;
    // The readme page has no document: an empty viewer, the page works on.
    EXPECT_TRUE(Contains(PageBlock("TfrmSoftExplaion"), "WebBrowser1 HtmlView 0,0 467x160 no document"));
    EXPECT_TRUE(Installed());
}

// An HTML readme shows as laid-out text: its script is neither run nor
// shown, its remote picture not fetched.
TEST_F(ChoicePagesTest, HtmlDocumentShowsWithoutScriptOrFetch) {
    Switches({"软件使用说明", "安装进程"});
    Setting(igExplain, "说明文件", "D:\\src\\readme.html");
    Add(fkInfoFile, "readme.html",
        "<!DOCTYPE html><html><head><title>t</title><script>alert('x')</script></head><body>"
        "<h1>说明</h1><p>第一段 <b>粗体</b></p><ul><li>甲</li><li>乙</li></ul>"
        "<img src=\"http://example.com/track.png\"><script>document.write('不该出现')</script></body></html>",
        "");
    ASSERT_EQ(Run(), 0) << output_;
    std::string page = PageBlock("TfrmSoftExplaion");
    EXPECT_TRUE(Contains(page, "readme.html\" HTML, ")) << page;
    EXPECT_TRUE(Contains(page, "| 说明")) << page;
    EXPECT_TRUE(Contains(page, "| 第一段 粗体")) << page;
    EXPECT_FALSE(Contains(page, "不该出现")) << page;
    EXPECT_FALSE(Contains(page, "alert")) << page;
    for (const std::string& line : EffectLines()) EXPECT_FALSE(Contains(line, "example.com/track")) << line;
}

// With the name fixed the edit is read-only and Browse disabled; with the
// option hidden the box is hidden but ticked, so the shortcuts are made.
TEST_F(ChoicePagesTest, StartFolderReadOnlyAndHiddenOption) {
    Switches({"选择开始菜单文件夹", "确认安装", "安装进程"});
    Setting(igStartFolder, "默认文件夹名称", "演示");
    Setting(igStartFolder, "允许用户修改文件夹名称", "禁用");
    Setting(igStartFolder, "显示用户选择选项", "禁用");
    Shortcut("开始菜单\\", "演示", "D:\\src\\app.exe");
    EXPECT_EQ(Run("type TfrmParent TfrmStartFolder.Edit1 别的\n"), 1);
    EXPECT_TRUE(Contains(Effects("MessageBox").at(0), "is read-only"));

    WizardTest::TearDown();
    SetUp();
    Switches({"选择开始菜单文件夹", "确认安装", "安装进程"});
    Setting(igStartFolder, "默认文件夹名称", "演示");
    Setting(igStartFolder, "允许用户修改文件夹名称", "禁用");
    Setting(igStartFolder, "显示用户选择选项", "禁用");
    Shortcut("开始菜单\\", "演示", "D:\\src\\app.exe");
    ASSERT_EQ(Run(), 0) << output_;
    std::string page = PageBlock("TfrmStartFolder");
    EXPECT_TRUE(Contains(page, "Edit1 Edit 33,136 344x20 text \"演示\" read-only")) << page;
    EXPECT_TRUE(Contains(page, "BitBtn1 Button 384,134 81x22 \"浏览(&B)...\" disabled")) << page;
    EXPECT_FALSE(Contains(page, "CheckBox1"));
    EXPECT_TRUE(Contains(PageBlock("TfrmReadyIns"), "创建快捷方式到开始菜单的“演示”文件夹中"));
    EXPECT_TRUE(OS().Files().FileExists(
        "C:\\Users\\Demo\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\演示\\演示.lnk"));
}

// A nested folder picked in the picker gives its own name only; a name typed
// into the picker and confirmed with Enter is taken as typed; a cleared edit
// writes an empty name, which the page does not object to.
TEST_F(ChoicePagesTest, PickerGivesTheFolderNameOrTheTypedOne) {
    Switches({"选择开始菜单文件夹", "确认安装"});
    Setting(igStartFolder, "默认文件夹名称", "演示");
    OS().Files().CreateFolderTree("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\工具\\附件");
    ASSERT_EQ(Run("click TfrmParent TfrmStartFolder.BitBtn1\n"
                  "pick TfrmStartFolderInfo ShellTreeView1 工具\\附件\n"
                  "click TfrmStartFolderInfo BitBtn1\n"
                  "click TfrmParent bNext\n"
                  "click TfrmParent bPrevious\n"
                  "click TfrmParent TfrmStartFolder.BitBtn1\n"
                  "type TfrmStartFolderInfo Edit1 我的 程序\n"
                  "press TfrmStartFolderInfo Enter\n"
                  "click TfrmParent bNext\n"
                  "click TfrmParent bPrevious\n"
                  "type TfrmParent TfrmStartFolder.Edit1 \n"
                  "click TfrmParent bNext\n",
                  "*=yes\n"),
              0)
        << output_;
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "- 工具")) << t;
    EXPECT_TRUE(Contains(t, "附件  (selected)")) << t;
    size_t first = t.find("page TfrmReadyIns");
    size_t second = t.find("page TfrmReadyIns", first + 1);
    size_t third = t.find("page TfrmReadyIns", second + 1);
    ASSERT_NE(third, std::string::npos) << t;
    EXPECT_TRUE(Contains(t.substr(first, second - first), "开始菜单的“附件”文件夹中"));
    EXPECT_TRUE(Contains(t.substr(second, third - second), "开始菜单的“我的 程序”文件夹中"));
    EXPECT_TRUE(Contains(t.substr(third), "开始菜单的“”文件夹中"));
}

// A typed folder that climbs out of the Programs folder (into the Startup
// folder of every user) keeps the user on the page with the reason; once it
// is a plain name the wizard goes on, and nothing lands in Startup. Under the
// same name unticked, no Start-menu entries are wanted and Next goes on.
TEST_F(ChoicePagesTest, StartFolderThatClimbsOutIsRefused) {
    Switches({"选择开始菜单文件夹", "确认安装", "安装进程"});
    Setting(igStartFolder, "默认文件夹名称", "演示");
    Setting(igStartFolder, "显示用户选择选项", "启用");
    Shortcut("开始菜单\\", "演示", "D:\\src\\app.exe");
    ASSERT_EQ(Run("type TfrmParent TfrmStartFolder.Edit1 ..\\..\\..\\..\\..\\..\\ProgramData\\Microsoft\\Windows\\"
                  "Start Menu\\Programs\\Startup\n"
                  "click TfrmParent bNext\n"
                  "type TfrmParent TfrmStartFolder.Edit1 D:\\Apps\n"
                  "click TfrmParent bNext\n"
                  "type TfrmParent TfrmStartFolder.Edit1 演示\\工具\n"
                  "click TfrmParent bNext\n"),
              0)
        << output_;
    std::vector<std::string> boxes = Effects("MessageBox");
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_TRUE(Contains(boxes[0], "无效：文件夹名称不能是“.”或“..”。")) << boxes[0];
    EXPECT_TRUE(Contains(boxes[1], "不能是驱动器")) << boxes[1];
    EXPECT_TRUE(OS().Files().FileExists(
        "C:\\Users\\Demo\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\演示\\工具\\演示.lnk"));
    EXPECT_TRUE(OS().Files().ListFolder("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup").empty());

    WizardTest::TearDown();
    SetUp();
    Switches({"选择开始菜单文件夹", "确认安装", "安装进程"});
    Setting(igStartFolder, "默认文件夹名称", "..\\..\\Startup");
    Setting(igStartFolder, "显示用户选择选项", "启用");
    ASSERT_EQ(Run("untick TfrmParent TfrmStartFolder.CheckBox1\nclick TfrmParent bNext\n"), 0) << output_;
    EXPECT_TRUE(Effects("MessageBox").empty());
}

// Components: row 0 cannot be unticked; a component ticked again returns to
// its row position; two of one name give two rows; the installation folder
// page keeps the size it showed first.
TEST_F(ChoicePagesTest, ComponentRowsAndSizes) {
    Switches({"选择安装组件包", "选择安装文件夹", "确认安装"});
    for (auto [name, size] : {std::pair{"甲", 1024}, std::pair{"乙", 2048}, std::pair{"甲", 4096}}) {
        auto component = std::make_unique<TCompileCompData>();
        component->Name = name;
        component->Size = size;
        project_->CompList.push_back(std::move(component));
    }
    ASSERT_EQ(Run("untick TfrmParent TfrmSelComponent.List_Component 主程序\n"
                  "untick TfrmParent TfrmSelComponent.List_Component 甲\n"
                  "click TfrmParent bNext\n"
                  "click TfrmParent bPrevious\n"
                  "untick TfrmParent TfrmSelComponent.List_Component 乙\n"
                  "tick TfrmParent TfrmSelComponent.List_Component 甲\n"
                  "click TfrmParent bNext\n"
                  "click TfrmParent bPrevious\n",
                  "*=yes\n"),
              0)
        << output_;
    std::string t = Transcript();
    size_t shown = t.find("page TfrmSelComponent");
    EXPECT_TRUE(Contains(t.substr(shown, 3000), "Label9 Label 16,257 72x12 \"所需空间大小 7.02KB\"")) << t;
    std::string components = PageBlock("TfrmSelComponent");
    EXPECT_TRUE(Contains(components, "| [x] 主程序\n    | [x] 甲\n    | [ ] 乙\n    | [x] 甲")) << components;
    // The packaged files' 17 bytes + 1024 + 4096
    EXPECT_TRUE(Contains(components, "所需空间大小 5.02KB")) << components;
    // The size the folder page showed first (all but the first 甲) stays.
    EXPECT_TRUE(Contains(PageBlock("TfrmSelectInstallDir"), "lNeedsSize Label 148,200 120x12 \"6.02KB\""))
        << PageBlock("TfrmSelectInstallDir");
}

// The default path's macros in either case, one blank, a trailing backslash
// and a cleared edit.
TEST_F(ChoicePagesTest, InstallFolderMacrosAndEdits) {
    struct Case {
        std::string setting, shown, installDir;
    };
    std::vector<Case> cases = {
        {"[System ProgramFiles]\\应用", "C:\\Program Files\\应用", "C:\\Program Files\\应用"},
        {"[system programfiles]\\应用", "C:\\Program Files\\应用", "C:\\Program Files\\应用"},
        {"[System Desk]\\应用", "C:\\Documents and Settings\\Demo\\Desktop\\应用", ""},
        {"[RUN]", "C:\\Downloads", "C:\\Downloads"},
        {" ", "C:\\Downloads\\", "C:\\Downloads"},
        {"D:\\\\应用\\", "D:\\\\应用\\", "D:\\\\应用"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        WizardTest::TearDown();
        SetUp();
        Switches({"选择安装文件夹", "确认安装"});
        for (auto& item : project_->InfoList) {
            if (item->Key == "默认安装路径") item->Value = c.setting;
        }
        // Past the last page the wizard ends, with nothing installed.
        ASSERT_EQ(Run("", "*=yes\n"), 0) << output_;
        std::string page = PageBlock("TfrmSelectInstallDir");
        if (c.installDir.empty()) {
            EXPECT_TRUE(Contains(page, "Desktop\\应用\"")) << page;
            continue;
        }
        EXPECT_TRUE(Contains(page, "Edit1 Edit 33,148 376x20 text \"" + c.shown + "\"")) << page;
        EXPECT_TRUE(Contains(PageBlock("TfrmReadyIns"), "安装到“" + c.installDir + "”文件夹下"));
    }
    // A cleared edit empties the folder and leaves the free space shown.
    WizardTest::TearDown();
    SetUp();
    Switches({"选择安装文件夹", "确认安装"});
    ASSERT_EQ(Run("type TfrmParent TfrmSelectInstallDir.Edit1 \nclick TfrmParent bNext\n", "*=yes\n"), 0);
    EXPECT_TRUE(Contains(PageBlock("TfrmSelectInstallDir"), "lDrvSize Label 148,224 120x12 \"100.00GB\""));
    EXPECT_TRUE(Contains(PageBlock("TfrmReadyIns"), "安装到“”文件夹下"));
}

TEST(KeyNamesTest, QuotedNamesCommasAndBlanks) {
    EXPECT_EQ(ParseKeyNames("demo.exe, \"my app.exe\""), (std::vector<std::string>{"demo.exe", "my app.exe"}));
    EXPECT_EQ(ParseKeyNames("a.exe b.dll,c.ini"), (std::vector<std::string>{"a.exe", "b.dll", "c.ini"}));
    EXPECT_EQ(ParseKeyNames("\"say \"\"hi\"\",x\""), (std::vector<std::string>{"say \"hi\",x"}));
    EXPECT_EQ(ParseKeyNames("a,"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(ParseKeyNames("  \x01 a"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(ParseKeyNames("誠.exe,墊.exe"), (std::vector<std::string>{"誠.exe", "墊.exe"}));
    EXPECT_TRUE(ParseKeyNames("").empty());
}

// The search takes the first fixed drive in letter order that holds a key
// file, does not follow a junction that leads back to a parent, and says so
// when nothing is found.
TEST_F(ChoicePagesTest, SearchFindsTheFirstDriveAndEndsOnLoops) {
    Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n[Drives]\nD=fixed 1000000\nE=cdrom 0\n");
    OS().Files().CreateFolderTree("C:\\Apps\\旧版\\bin");
    OS().Files().Open("C:\\Apps\\旧版\\bin\\KEY.EXE", OpenMode::Create)->WriteBytes("x");
    OS().Files().CreateFolderTree("D:\\Other");
    OS().Files().Open("D:\\Other\\key.exe", OpenMode::Create)->WriteBytes("x");
    OS().Files().CreateFolderTree("E:\\Disc");
    OS().Files().Open("E:\\Disc\\key.exe", OpenMode::Create)->WriteBytes("x");
    OS().Files().CreateFolderTree("C:\\Loop");
    std::filesystem::create_directory_symlink(HostPath("C"), HostPath("C/Loop/back"));
    Switches({"选择安装文件夹", "确认安装"});
    Setting(igInstallDir, "搜索关键字", "key.exe");
    Setting(igInstallDir, "允许用户修改安装路径", "禁用");
    ASSERT_EQ(Run("click TfrmParent TfrmSelectInstallDir.BitBtn2\nclick TfrmParent bNext\n", "*=yes\n"), 0) << output_;
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "(the pointer becomes an hourglass)")) << t;
    EXPECT_TRUE(Contains(PageBlock("TfrmReadyIns"), "安装到“C:\\Apps\\旧版\\bin”文件夹下")) << t;
    std::string page = PageBlock("TfrmSelectInstallDir");
    // Read-only for the user, the search may still replace the folder.
    EXPECT_TRUE(Contains(page, "Edit1 Edit 33,148 288x20 text \"C:\\Program Files\\演示\" read-only")) << page;
    EXPECT_TRUE(Contains(page, "BitBtn1 Button 328,146 81x22 \"浏览(&B)...\" disabled")) << page;
}

TEST_F(ChoicePagesTest, SearchThatFindsNothingSaysSo) {
    Switches({"选择安装文件夹", "确认安装"});
    Setting(igInstallDir, "搜索关键字", "nothing.exe");
    ASSERT_EQ(Run("click TfrmParent TfrmSelectInstallDir.BitBtn2\n", "确定要退出=yes\n"), 0) << output_;
    EXPECT_TRUE(Contains(Effects("MessageBox").at(0), "没有找到“演示”的安装目录，请点击“浏览”按钮进行手工确认。"));
}

// A network path's free space cannot be queried: "-1".
TEST_F(ChoicePagesTest, NetworkPathShowsMinusOne) {
    Switches({"选择安装文件夹", "确认安装"});
    ASSERT_EQ(Run("type TfrmParent TfrmSelectInstallDir.Edit1 \\\\server\\share\\应用\\\n"
                  "click TfrmParent bNext\nclick TfrmParent bPrevious\n",
                  "*=yes\n"),
              0)
        << output_;
    std::string page = PageBlock("TfrmSelectInstallDir");
    EXPECT_TRUE(Contains(page, "lDrvSize Label 148,224 120x12 \"-1\"")) << page;
}

}  // namespace
}  // namespace setup::testing_sandbox
