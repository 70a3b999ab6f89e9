// Whole runs of the Linux setup program through the wizard on fresh simulated
// machines: the simulated user follows user.script, and the tests read what
// the user saw (transcript.txt), what the program did (effects.jsonl) and
// what it installed.
#include "wizard/wizard_fixture.h"

namespace setup::testing_sandbox {
namespace {

// Switches stored in reverse order, one of them "启用 " (off), still give the
// table order; the user told nothing presses Next on every page and Finish.
TEST_F(WizardTest, PagesFollowTheTableOrderWhateverTheSwitchOrder) {
    Switches({"安装完毕", "安装进程", "确认安装", "欢迎"});
    Setting(igPageSwitch, "附加任务", "启用 ");
    Setting(igPageSwitch, "未知页面", "启用");
    EXPECT_EQ(Run(), 0) << output_;
    EXPECT_EQ(PagesSeen(), (std::vector<std::string>{"TfrmFist", "TfrmReadyIns", "TfrmBeginIns", "TfrmEndIns"}));
    EXPECT_TRUE(Installed());
    std::string t = Transcript();
    // Previous is hidden on the first page, disabled with Next and Cancel
    // while installing; the finish page has only Finish.
    size_t welcome = t.find("show TfrmParent 508x331 centred: page TfrmFist"), ready = t.find("page TfrmReadyIns");
    EXPECT_EQ(t.substr(welcome, ready - welcome).find("bPrevious"), std::string::npos);
    size_t progress = t.find("page TfrmBeginIns"), finish = t.find("page TfrmEndIns");
    std::string installing = t.substr(progress, finish - progress);
    EXPECT_TRUE(Contains(installing, "bPrevious Button 256,304 75x22 \"<-上一步(&P)\" disabled")) << installing;
    EXPECT_TRUE(Contains(installing, "bCancel Button 424,304 75x22 \"取消(&C)\" disabled"));
    std::string finished = t.substr(finish, t.find("close TfrmParent") - finish);
    EXPECT_FALSE(Contains(finished, "bNext"));
    EXPECT_FALSE(Contains(finished, "bPrevious"));
    EXPECT_TRUE(Contains(finished, "bCancel Button 424,304 75x22 \"完成(&F)\"")) << finished;
}

// The progress page reports every file: 33% after the first of three, 100%
// at the end, and with details on one log line per file with no blank.
TEST_F(WizardTest, ProgressPageShowsFilesAndPercentages) {
    AllSwitches();
    ASSERT_EQ(Run(), 0) << output_;
    std::string t = Transcript();
    size_t ended = t.find("TfrmParent: the installation has ended");
    ASSERT_NE(ended, std::string::npos) << t;
    std::string done = t.substr(ended, t.find("page TfrmEndIns") - ended);
    EXPECT_TRUE(Contains(done, "Label31 Label 452,77 18x12 \"100%\"")) << done;
    EXPECT_TRUE(Contains(done, "正在安装文件“C:\\Program Files\\演示\\app.exe”")) << done;
    EXPECT_TRUE(Contains(done, "ProgressBar1 ProgressBar 24,98 446x19 position 3 of 0..3")) << done;
    // Before the first report the layout's "30%" and an empty file name show.
    size_t shown = t.find("page TfrmBeginIns");
    std::string before = t.substr(shown, ended - shown);
    EXPECT_TRUE(Contains(before, "\"30%\"")) << before;
}

// Unticking the desktop box drops the desktop entry from the summary and the
// desktop shortcut from the installation; going back keeps the tick.
TEST_F(WizardTest, TasksPageTicksReachTheSummaryAndTheInstallation) {
    AllSwitches();
    ASSERT_EQ(Run("click TfrmParent bNext\n"
                  "untick TfrmParent TfrmAddonsTask.CheckBox1\n"
                  "click TfrmParent bNext\n"
                  "click TfrmParent bPrevious\n"
                  "click TfrmParent bNext\n"),
              0)
        << output_;
    std::string t = Transcript();
    size_t back = t.find("TfrmParent: page TfrmAddonsTask", t.find("page TfrmReadyIns"));
    ASSERT_NE(back, std::string::npos) << t;
    EXPECT_TRUE(Contains(t.substr(back, 2000), "CheckBox1 CheckBox 32,136 373x17 \"创建桌面快捷方式\" unticked"));
    size_t summary = t.rfind("page TfrmReadyIns");
    std::string ready = t.substr(summary, t.find("page TfrmBeginIns") - summary);
    EXPECT_TRUE(Contains(ready, "“演示”安装到“C:\\Program Files\\演示”文件夹下")) << ready;
    EXPECT_FALSE(Contains(ready, "创建快捷方式到桌面")) << ready;
    EXPECT_TRUE(Installed());
    EXPECT_FALSE(OS().Files().FileExists("C:\\Users\\Demo\\Desktop\\演示.lnk"));
}

TEST_F(WizardTest, DesktopShortcutIsMadeWhenTheBoxStaysTicked) {
    AllSwitches();
    ASSERT_EQ(Run(), 0) << output_;
    EXPECT_TRUE(OS().Files().FileExists("C:\\Users\\Demo\\Desktop\\演示.lnk"));
}

// The close box pressed while the installation runs is refused at once and
// forgotten: the installation completes, the finish page shows and waits for
// Finish, and no exit question is asked.
TEST_F(WizardTest, CloseWhileInstallingIsRefusedAndTheFinishPageShows) {
    AllSwitches();
    ASSERT_EQ(Run("click TfrmParent bNext\nclick TfrmParent bNext\nclick TfrmParent bNext\nclose TfrmParent\n"), 0)
        << output_;
    EXPECT_TRUE(Installed());
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "(TfrmParent refuses to close)")) << t;
    std::vector<std::string> pages = PagesSeen();
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(pages.back(), "TfrmEndIns") << t;
    for (const std::string& box : Effects("MessageBox")) EXPECT_FALSE(Contains(box, "确定要退出")) << box;
}

// Cancel and the close box ask before leaving; No keeps the wizard on its
// page, Yes ends the run (status 2) with nothing installed.
TEST_F(WizardTest, ExitQuestionOnCancelAndCloseBox) {
    AllSwitches();
    ASSERT_EQ(Run("click TfrmParent bNext\nclick TfrmParent bCancel\nclose TfrmParent\n"), 0) << output_;
    std::vector<std::string> questions = Effects("MessageBox");
    ASSERT_GE(questions.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(Contains(questions[i], "安装向导没有完成“演示”安装，确定要退出该安装向导吗？")) << questions[i];
        EXPECT_TRUE(Contains(questions[i], "\"caption\":\"“演示”安装向导\"")) << questions[i];
    }
    EXPECT_TRUE(Installed());  // No twice: the default user went on to the end
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "(TfrmParent refuses to close)"));

    WizardTest::TearDown();
    WizardTest::SetUp();
    AllSwitches();
    EXPECT_EQ(Run("click TfrmParent bNext\nclose TfrmParent\n", "确定要退出=yes\n"), 2) << output_;
    EXPECT_FALSE(Installed());
    EXPECT_EQ(PagesSeen(), (std::vector<std::string>{"TfrmFist", "TfrmAddonsTask"}));
}

// Finish runs the end-of-install actions in order: start page (the default
// page wins), program, readme, the information box, the web page.
TEST_F(WizardTest, FinishRunsTheEndActionsInOrder) {
    AllSwitches();
    Setting(igEndIns, "应用程序文件", "D:\\src\\app.exe");
    Setting(igEndIns, "readme文件", "D:\\src\\readme.txt");
    Setting(igEndIns, "默认主页链接", "http://home.example.com/");
    Setting(igProject, "安装完成后弹出信息提示", "谢谢");
    Setting(igProject, "安装完成后弹出网页链接", "http://web.example.com/");
    Setting(igProject, "安装完成后设置IE默认主页", "http://default.example.com/");
    ASSERT_EQ(Run(), 0) << output_;
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "CheckBox1 CheckBox 168,133 297x17 \"运行“演示”\" ticked")) << t;
    EXPECT_TRUE(Contains(t, "CheckBox3 CheckBox 168,181 297x17 \"设置我的主页\" ticked")) << t;
    std::vector<std::string> order;
    for (const std::string& line : EffectLines()) {
        std::string gbk = Utf8ToGbk(line);
        if (Contains(gbk, "\"effect\":\"ShellExecuteEx\"") || Contains(gbk, "\"effect\":\"MessageBox\"")) {
            order.push_back(gbk);
        }
    }
    ASSERT_EQ(order.size(), 4u) << output_;
    EXPECT_TRUE(Contains(order[0], "C:\\\\Program Files\\\\演示\\\\app.exe")) << order[0];
    EXPECT_TRUE(Contains(order[1], "readme.txt")) << order[1];
    EXPECT_TRUE(Contains(order[2], "谢谢")) << order[2];
    EXPECT_TRUE(Contains(order[3], "http://web.example.com/")) << order[3];
    EXPECT_TRUE(Contains(order[3], "\"show\":3")) << order[3];
    std::optional<std::string> page =
        OS().Registry().ReadString(kHkeyCurrentUser, "Software\\Microsoft\\Internet Explorer\\Main", "Start Page");
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(*page, "http://default.example.com/");
}

// Closing the finished wizard with the close box skips the end actions but
// still offers the restart.
TEST_F(WizardTest, CloseBoxOnTheFinishedWizardOnlyAsksAboutRestarting) {
    AllSwitches();
    Setting(igEndIns, "应用程序文件", "D:\\src\\app.exe");
    Setting(igProject, "安装完成后，重启操作系统", "启用");
    // The tick waits for the finish page: steps whose control is not showing
    // wait while the installation runs.
    ASSERT_EQ(Run("click TfrmParent bNext\nclick TfrmParent bNext\nclick TfrmParent bNext\n"
                  "tick TfrmParent TfrmEndIns.CheckBox1\nclose TfrmParent\n",
                  "重启=yes\n"),
              0)
        << output_;
    EXPECT_TRUE(Effects("ShellExecuteEx").empty()) << Effects("ShellExecuteEx").front();
    EXPECT_EQ(Effects("Restart").size(), 1u);
}

// A failure inside the installation is reported once, the wizard can then be
// closed without a question, and the run ends with status 1.
TEST_F(WizardTest, InstallErrorIsReportedAndTheFrameClosable) {
    AllSwitches();
    Setting(igProject, "卸载程序", "启用");
    Add(fkUnInsFile, "UnInstall 演示.exe", "uninstaller", "");
    Place(Package());
    // A full disk: the uninstaller cannot be written, which ends the installation.
    Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n[Faults]\nDiskFull=C 0\n");
    EXPECT_EQ(RunProgram("C:\\Downloads\\setup", ""), 1) << output_;
    std::vector<std::string> boxes = Effects("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], "安装程序因错误而终止")) << boxes[0];
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "TfrmParent: the installation failed")) << t;
    EXPECT_TRUE(Contains(t, "(the user presses 取消(&C))")) << t;
    EXPECT_FALSE(Contains(t, "page TfrmEndIns"));
}

// A file that cannot be written is listed after the installation, the
// wizard goes on to its finish page, and the run ends with status 3.
TEST_F(WizardTest, FailedItemsAreListedAndTheStatusSaysSo) {
    AllSwitches();
    OS().Files().CreateFolderTree("C:\\Program Files\\演示\\b.dll");
    Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n");
    EXPECT_EQ(Run(), 3) << output_;
    std::vector<std::string> boxes = Effects("MessageBox");
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], "b.dll")) << boxes[0];
    EXPECT_TRUE(Contains(Transcript(), "page TfrmEndIns"));
    EXPECT_TRUE(Installed());
    EXPECT_TRUE(OS().Files().FolderExists("C:\\Program Files\\演示\\b.dll"));
}

// Background music of two seconds starts with the wizard and is restarted
// within about a second of its end, again and again, in virtual time.
TEST_F(WizardTest, MusicLoops) {
    AllSwitches();
    Setting(igProject, "背景音乐", "D:\\src\\music.wav");
    Add(fkInfoFile, "music.wav", Wave(2000), "");
    ASSERT_EQ(Run("wait 10000\n"), 0) << output_;
    std::vector<int64_t> plays;
    for (const std::string& line : Effects("Music")) {
        size_t at = line.find("\"at\":");
        if (Contains(line, "\"action\":\"play\"") && at != std::string::npos)
            plays.push_back(std::stoll(line.substr(at + 5)));
    }
    ASSERT_GE(plays.size(), 4u) << output_;
    for (size_t i = 1; i < plays.size(); ++i) {
        EXPECT_GE(plays[i] - plays[i - 1], 2000);
        EXPECT_LE(plays[i] - plays[i - 1], 3000);
    }
    EXPECT_TRUE(Contains(Effects("Music").back(), "\"action\":\"close\""));
}

// A music file the player cannot open is skipped; the wizard goes on.
TEST_F(WizardTest, UnplayableMusicIsSkipped) {
    AllSwitches();
    Setting(igProject, "背景音乐", "D:\\src\\music.wav");
    Add(fkInfoFile, "music.wav", "RIFF\x04\x00\x00\x00WAVE", "");
    EXPECT_EQ(Run(), 0) << output_;
    EXPECT_TRUE(Installed());
    std::vector<std::string> music = Effects("Music");
    ASSERT_EQ(music.size(), 1u);
    EXPECT_TRUE(Contains(music[0], "\"ok\":false"));
}

// A script line that names no such control, or one the user cannot see,
// fails the run naming the script's line.
TEST_F(WizardTest, ScriptNamingNoSuchControlFailsTheRun) {
    AllSwitches();
    EXPECT_EQ(Run("click TfrmParent bNext\ntick TfrmParent TfrmAddonsTask.CheckBox9\n"), 1);
    std::vector<std::string> boxes = Effects("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], "user.script, line 2")) << boxes[0];
    EXPECT_TRUE(Contains(boxes[0], "TfrmAddonsTask.CheckBox9")) << boxes[0];
    EXPECT_FALSE(Installed());

    WizardTest::TearDown();
    WizardTest::SetUp();
    AllSwitches();
    Setting(igWelcome, "网址", "");  // the link stays hidden
    EXPECT_EQ(Run("click TfrmParent TfrmFist.Label5\n"), 1);
    EXPECT_TRUE(Contains(Effects("MessageBox").at(0), "TfrmFist.Label5 of TfrmParent is not showing"));
}

// A line naming a control of a later page needs no Next lines before it: the
// user presses Next, accepting the defaults, until the page shows.
TEST_F(WizardTest, ScriptLineReachesItsPageThroughNext) {
    AllSwitches();
    ASSERT_EQ(Run("untick TfrmParent TfrmAddonsTask.CheckBox1\n"), 0) << output_;
    std::string t = Transcript();
    EXPECT_EQ(PagesSeen(),
              (std::vector<std::string>{"TfrmFist", "TfrmAddonsTask", "TfrmReadyIns", "TfrmBeginIns", "TfrmEndIns"}));
    size_t pressed = t.find("(the user presses 下一步(&N)-> on the way to TfrmAddonsTask)");
    ASSERT_NE(pressed, std::string::npos) << t;
    EXPECT_EQ(t.find("on the way to", t.find('\n', pressed)), std::string::npos) << t;
    EXPECT_LT(pressed, t.find("TfrmParent: page TfrmAddonsTask"));
    EXPECT_TRUE(Contains(t, "(the user unticks TfrmAddonsTask.CheckBox1)")) << t;
    EXPECT_TRUE(Installed());
    EXPECT_FALSE(OS().Files().FileExists("C:\\Users\\Demo\\Desktop\\演示.lnk"));
}

// The way to the finish page leads through the installation, which the user
// waits for; the unticked box then keeps Finish from starting the program.
TEST_F(WizardTest, ScriptLineOnTheFinishPageWaitsForTheInstallation) {
    AllSwitches();
    Setting(igEndIns, "应用程序文件", "D:\\src\\app.exe");
    ASSERT_EQ(Run("untick TfrmParent TfrmEndIns.CheckBox1\n"), 0) << output_;
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "on the way to TfrmEndIns")) << t;
    size_t unticked = t.find("(the user unticks TfrmEndIns.CheckBox1)");
    ASSERT_NE(unticked, std::string::npos) << t;
    EXPECT_GT(unticked, t.find("TfrmParent: page TfrmEndIns"));
    EXPECT_TRUE(Installed());
    EXPECT_TRUE(Effects("ShellExecuteEx").empty()) << Effects("ShellExecuteEx").front();
}

// A line naming a page the wizard does not show (switched off) or has left
// behind fails the run with its line before the user does anything more.
TEST_F(WizardTest, ScriptLineNamingAPageThatCannotShowFailsTheRun) {
    Switches({"欢迎", "确认安装", "安装进程", "安装完毕"});
    EXPECT_EQ(Run("untick TfrmParent TfrmAddonsTask.CheckBox1\n"), 1) << output_;
    std::vector<std::string> boxes = Effects("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0], "user.script, line 1: TfrmParent has no page TfrmAddonsTask")) << boxes[0];
    EXPECT_EQ(PagesSeen(), (std::vector<std::string>{"TfrmFist"}));
    EXPECT_FALSE(Installed());

    WizardTest::TearDown();
    WizardTest::SetUp();
    AllSwitches();
    EXPECT_EQ(Run("click TfrmParent bNext\nclick TfrmParent bNext\nuntick TfrmParent TfrmAddonsTask.CheckBox1\n"), 1)
        << output_;
    boxes = Effects("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Contains(boxes[0],
                         "user.script, line 3: TfrmParent is past the page TfrmAddonsTask (it shows "
                         "TfrmReadyIns)"))
        << boxes[0];
    EXPECT_FALSE(Installed());
}

// The welcome page without company and address shows neither label, the
// name twice in Label2, and no picture for a file that does not exist.
TEST_F(WizardTest, WelcomePageWithoutOptionalSettings) {
    Switches({"欢迎", "安装进程"});
    Setting(igWelcome, "公司名称", "");
    Setting(igWelcome, "网址", "");
    Setting(igWelcome, "背景图片", "C:\\nowhere\\welcome.png");
    Setting(igWelcome, "公司名称", "后来的公司");
    ASSERT_EQ(Run(), 0) << output_;
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "欢迎使用“演示”，这个向导将指引您完成对“演示”的安装进程。")) << t;
    EXPECT_TRUE(Contains(t, "Label4 Label 160,209 337x28 \"后来的公司\"")) << t;
    EXPECT_FALSE(Contains(t, "Label5 Label"));
    EXPECT_TRUE(Contains(t, "Image1 Image 0,0 508x294 no picture")) << t;
    // Past the last page (the progress page) the wizard ends by itself.
    EXPECT_TRUE(Installed());
    EXPECT_TRUE(Contains(t, "close TfrmParent"));
}

// The welcome page's link opens the address in the browser.
TEST_F(WizardTest, WelcomeLinkOpensTheAddress) {
    AllSwitches();
    Setting(igWelcome, "网址", "http://www.example.com/");
    ASSERT_EQ(Run("click TfrmParent TfrmFist.Label5\n"), 0) << output_;
    std::vector<std::string> opened = Effects("ShellExecuteEx");
    ASSERT_GE(opened.size(), 1u);
    EXPECT_TRUE(Contains(opened[0], "\"verb\":\"Open\",\"file\":\"http://www.example.com/\"")) << opened[0];
    EXPECT_TRUE(Contains(opened[0], "\"show\":1")) << opened[0];
}

// With no page switched on, Next leads out through the exit question.
TEST_F(WizardTest, EmptyPageListLeadsOutThroughTheQuestion) {
    EXPECT_EQ(Run("", "*=yes\n"), 2) << output_;
    EXPECT_FALSE(Installed());
    ASSERT_EQ(Effects("MessageBox").size(), 1u);
}

// The background window covers the work area with its picture stretched and
// closes with the wizard.
TEST_F(WizardTest, BackgroundWindowHostsTheWizard) {
    AllSwitches();
    for (auto& item : project_->InfoList) {
        if (item->Key == "显示安装背景窗口") item->Value = "启用";
    }
    // A PNG picture named as a JPEG still shows: it is decoded by its content.
    Setting(igProject, "安装背景图片", "D:\\src\\back.jpg");
    Add(fkInfoFile, "back.jpg", setup::ReadHostFile(TEST_DATA "/pictures/rgb.png"), "");
    ASSERT_EQ(Run(), 0) << output_;
    std::string t = Transcript();
    EXPECT_TRUE(Contains(t, "show TfrmBackIns 640x480 filling the work area")) << t;
    EXPECT_TRUE(Contains(t, "back.jpg\" PNG ")) << t;
    EXPECT_TRUE(Contains(t, "caption \"“演示”安装向导\""));
    size_t wizardClosed = t.find("close TfrmParent"), backClosed = t.find("close TfrmBackIns");
    EXPECT_NE(wizardClosed, std::string::npos);
    EXPECT_LT(wizardClosed, backClosed);
    EXPECT_TRUE(Installed());
}

}  // namespace
}  // namespace setup::testing_sandbox
