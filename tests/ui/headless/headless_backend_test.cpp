// The simulated user on a small wizard of three pages, in the test's own
// process: how a script line that names a later page is reached through
// Next, and every way the page can fail to show.
#include "ui/headless/headless_backend.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "ui/controls.h"

namespace setup::testing_sandbox {
namespace {

// Pages made in the reverse of the order Next visits them, so that only
// PagesInOrder tells the order. Each page holds a ticked CheckBox1; Next
// moves on, and past the last page closes the wizard, unless told otherwise
// for the page Next is pressed on.
class TestWizard : public ui::Form {
public:
    enum class OnNext { MoveOn, Stay, Close, DisableNext };

    TestWizard() : ui::Form("TfrmWizard"), bNext(ui::Make<ui::Button>(*this, "bNext")) {
        bNext.SetCaption("Next");
        for (const char* name : {"PageC", "PageB", "PageA"}) {
            auto& page = ui::Make<ui::Page>(*this, name);
            ui::Make<ui::CheckBox>(page, "CheckBox1").SetChecked(true);
            pages_.insert(pages_.begin(), &page);
        }
        DefaultButton = "bNext";
        RepeatDefault = true;
        NextButton = "bNext";
        OnShow = [this] { ShowPage(0); };
        bNext.OnClick = [this] { NextClick(); };
    }

    std::vector<const ui::Page*> PagesInOrder() const override { return {pages_.begin(), pages_.end()}; }

    bool Ticked(size_t page) const { return static_cast<ui::CheckBox*>(pages_[page]->Children()[0])->Checked(); }

    std::vector<OnNext> Behaviour = {OnNext::MoveOn, OnNext::MoveOn, OnNext::MoveOn};
    ui::Button& bNext;

private:
    void ShowPage(size_t index) {
        current_ = index;
        pages_[index]->SetVisible(true);
        pages_[index]->BringToFront();
        Snapshot("page " + pages_[index]->ClassName());
    }
    void NextClick() {
        switch (Behaviour[current_]) {
            case OnNext::MoveOn:
                if (current_ + 1 < pages_.size()) {
                    ShowPage(current_ + 1);
                } else {
                    Close();
                }
                return;
            case OnNext::Stay:
                return;
            case OnNext::Close:
                Close();
                return;
            case OnNext::DisableNext:
                bNext.SetEnabled(false);
                ShowPage(current_ + 1);
                return;
        }
    }

    std::vector<ui::Page*> pages_;
    size_t current_ = 0;
};

class HeadlessScriptTest : public SandboxTest {
protected:
    // Shows the wizard with the script; returns the failure's text, empty
    // when the wizard ran to its end.
    std::string Run(const std::string& script) {
        WriteHostFile("user.script", script);
        ui::HeadlessBackend backend(HostPath("transcript.txt"), HostPath("user.script"));
        ui::SetBackend(&backend);
        std::string failure;
        try {
            wizard_.ShowModal();
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Format) << e.what();
            failure = e.what();
        }
        ui::SetBackend(nullptr);
        return failure;
    }
    std::string Transcript() const { return ReadHostFile("transcript.txt"); }

    TestWizard wizard_;
};

// Next is pressed once per page between the one showing and the one named,
// then the step is taken there; the pages passed keep their defaults.
TEST_F(HeadlessScriptTest, LineNamingALaterPagePressesNextUntilItShows) {
    EXPECT_EQ(Run("untick TfrmWizard PageC.CheckBox1\n"), "");
    EXPECT_TRUE(wizard_.Ticked(0));
    EXPECT_TRUE(wizard_.Ticked(1));
    EXPECT_FALSE(wizard_.Ticked(2));
    std::string t = Transcript();
    size_t first = t.find("  (the user presses Next on the way to PageC)\n");
    ASSERT_NE(first, std::string::npos) << t;
    size_t second = t.find("  (the user presses Next on the way to PageC)\n", first + 1);
    ASSERT_NE(second, std::string::npos) << t;
    EXPECT_EQ(t.find("on the way to", t.find('\n', second)), std::string::npos) << t;
    EXPECT_LT(second, t.find("TfrmWizard: page PageC"));
    EXPECT_LT(t.find("TfrmWizard: page PageC"), t.find("(the user unticks PageC.CheckBox1)"));
}

// Lines that count the pages themselves are taken as they stand: no press
// on the way.
TEST_F(HeadlessScriptTest, LinesThatPressNextThemselvesAreUnchanged) {
    EXPECT_EQ(Run("click TfrmWizard bNext\nuntick TfrmWizard PageB.CheckBox1\n"), "");
    EXPECT_FALSE(wizard_.Ticked(1));
    EXPECT_TRUE(wizard_.Ticked(2));
    EXPECT_FALSE(Contains(Transcript(), "on the way to"));
}

struct UnreachablePage {
    const char* Name;
    std::vector<TestWizard::OnNext> Behaviour;
    const char* Script;
    const char* Failure;  // the whole message, after the script's name
};

class UnreachablePageTest : public HeadlessScriptTest, public ::testing::WithParamInterface<UnreachablePage> {};

// Every way the named page can fail to show fails the run at the line that
// names it.
TEST_P(UnreachablePageTest, FailsAtTheLineThatNamesThePage) {
    wizard_.Behaviour = GetParam().Behaviour;
    std::string failure = Run(GetParam().Script);
    EXPECT_EQ(failure, HostPath("user.script") + ", line " + GetParam().Failure) << Transcript();
}

using N = TestWizard::OnNext;
INSTANTIATE_TEST_SUITE_P(
    HeadlessScriptTest, UnreachablePageTest,
    ::testing::Values(
        UnreachablePage{"NoSuchPage",
                        {N::MoveOn, N::MoveOn, N::MoveOn},
                        "tick TfrmWizard PageX.CheckBox1\n",
                        "1: TfrmWizard has no page PageX (switched off or no such page), so PageX.CheckBox1 never "
                        "shows"},
        UnreachablePage{"PagePassed",
                        {N::MoveOn, N::MoveOn, N::MoveOn},
                        "click TfrmWizard bNext\n# on PageB\nclick TfrmWizard bNext\ntick TfrmWizard PageA.CheckBox1\n",
                        "4: TfrmWizard is past the page PageA (it shows PageC), so PageA.CheckBox1 no longer shows"},
        UnreachablePage{"NextStays",
                        {N::MoveOn, N::Stay, N::MoveOn},
                        "tick TfrmWizard PageC.CheckBox1\n",
                        "1: TfrmWizard stays on the page PageB when bNext is pressed, so PageC.CheckBox1 never shows"},
        UnreachablePage{"NextDisabled",
                        {N::DisableNext, N::MoveOn, N::MoveOn},
                        "tick TfrmWizard PageC.CheckBox1\n",
                        "1: TfrmWizard cannot go on from the page PageB to PageC: bNext is hidden or disabled"},
        UnreachablePage{"WizardEnds",
                        {N::MoveOn, N::Close, N::MoveOn},
                        "tick TfrmWizard PageC.CheckBox1\n",
                        "1: TfrmWizard ended before PageC.CheckBox1 could be reached"}),
    [](const ::testing::TestParamInfo<UnreachablePage>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace setup::testing_sandbox
