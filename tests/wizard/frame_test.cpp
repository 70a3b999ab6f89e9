// The wizard frame and its pages driven in the test's own process on a fresh
// simulated machine: what a user's pointer does that a script cannot say.
#include "platform/common.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "ui/headless/headless_backend.h"
#include <filesystem>

#include "platform/os.h"
#include "wizard/pages/begin_ins_form.h"
#include "wizard/pages/select_install_dir_form.h"
#include "wizard/parent_form.h"

namespace setup::testing_sandbox {
namespace {

TEST(PercentTextTest, RoundsToNearestWithHalvesToEven) {
    EXPECT_EQ(PercentText(1, 3), "33%");
    EXPECT_EQ(PercentText(1, 8), "12%");  // 12.5 goes to the even neighbour
    EXPECT_EQ(PercentText(3, 8), "38%");  // 37.5 goes to the even neighbour
    EXPECT_EQ(PercentText(2, 3), "67%");
    EXPECT_EQ(PercentText(7, 7), "100%");
    EXPECT_EQ(PercentText(0, 5), "0%");
}

class FrameTest : public SandboxTest {};

// The author link turns blue with a hand pointer on hover, back on leaving,
// and opens the address maximised on a click.
TEST_F(FrameTest, AuthorLinkHoverAndClick) {
    ui::HeadlessBackend backend(HostPath("transcript.txt"), HostPath("user.script"));
    ui::SetBackend(&backend);
    TCompile model;
    model.ItemName = "演示";
    model.Author = "演示公司";
    model.Url = "http://www.example.com/";
    {
        TfrmParent frame;
        frame.SetCompile(&model);
        EXPECT_EQ(frame.Caption(), "“演示”安装向导");
        EXPECT_EQ(frame.Label1.Caption(), "演示公司");
        frame.Label1.MouseEnter();
        EXPECT_EQ(frame.Label1.GetFont().Color, ui::kClBlue);
        EXPECT_EQ(frame.Label1.GetCursor(), ui::Cursor::Hand);
        frame.Label1.MouseLeave();
        EXPECT_EQ(frame.Label1.GetFont().Color, ui::kClBlack);
        EXPECT_EQ(frame.Label1.GetCursor(), ui::Cursor::Default);
        frame.Label1.Click();
    }
    ui::SetBackend(nullptr);
    std::vector<std::string> effects = EffectLines();
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_TRUE(Contains(effects[0], "\"verb\":\"open\",\"file\":\"http://www.example.com/\"")) << effects[0];
    EXPECT_TRUE(Contains(effects[0], "\"show\":3")) << effects[0];
}

// The controls' own semantics: an edit's change event on every change, a
// check box's click event when code ticks it, a memo's lines.
TEST(ControlsTest, EventsFireOnEveryChangeByCode) {
    ui::Form form("TfrmTest");
    auto& edit = ui::Make<ui::Edit>(form, "Edit1");
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    edit.SetText("a");
    edit.SetText("a");
    edit.SetText("");
    EXPECT_EQ(changes, 2);
    auto& box = ui::Make<ui::CheckBox>(form, "CheckBox1");
    int clicks = 0;
    box.OnClick = [&] { ++clicks; };
    box.SetChecked(true);
    box.SetChecked(true);
    box.SetVisible(false);
    box.Toggle();  // hidden: a user cannot reach it
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(box.Checked());
    auto& memo = ui::Make<ui::Memo>(form, "Memo1");
    memo.Add("");
    memo.Add("  一\r\n");
    EXPECT_EQ(memo.Lines(), (std::vector<std::string>{"", "  一", ""}));
}

// A page behind another page is not showing; bringing it to the front shows it.
TEST(ControlsTest, OnlyTheFrontPageShows) {
    ui::Form form("TfrmTest");
    auto& host = ui::Make<ui::Panel>(form, "Panel1");
    host.SetBounds(0, 0, 100, 50);
    ui::Page first(&host, "TfrmA");
    ui::Page second(&host, "TfrmB");
    first.SetAlign(ui::Align::Client);
    EXPECT_EQ(first.Bounds().Width, 100);
    EXPECT_EQ(first.Bounds().Height, 50);
    first.SetVisible(true);
    second.SetVisible(true);
    auto& label = ui::Make<ui::Label>(first, "Label1");
    EXPECT_FALSE(label.ShowingToUser());
    first.BringToFront();
    EXPECT_TRUE(label.ShowingToUser());
    EXPECT_FALSE(second.ShowingToUser());
}

}  // namespace
}  // namespace setup::testing_sandbox

namespace setup::testing_sandbox {
namespace {

class KeyFolderTest : public SandboxTest {};

// The walk goes depth first in listing order, does not follow a junction
// that leads back to its parent, and skips a folder it cannot read.
TEST_F(KeyFolderTest, DepthFirstWithoutFollowingJunctions) {
    OS().Files().CreateFolderTree("C:\\A\\Loop");
    OS().Files().CreateFolderTree("C:\\B\\Deep\\Er");
    OS().Files().Open("C:\\B\\Deep\\Er\\Key.exe", OpenMode::Create)->WriteBytes("x");
    OS().Files().Open("C:\\B\\key.exe", OpenMode::Create)->WriteBytes("x");
    std::filesystem::create_directory_symlink(HostPath("C"), HostPath("C/A/Loop/back"));
    int pumps = 0;
    EXPECT_EQ(FindKeyFolder("C:", {"other.dll", "KEY.EXE"}, [&] { ++pumps; }), "C:\\B\\Deep\\Er");
    EXPECT_GT(pumps, 0);
    EXPECT_EQ(FindKeyFolder("C:", {"none.exe"}), "");
}

}  // namespace
}  // namespace setup::testing_sandbox
