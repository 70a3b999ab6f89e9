#include "wizard/parent_form.h"

#include <algorithm>

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"
#include "ui/backend.h"
#include "wizard/install_form.h"
#include "wizard/pages/begin_ins_form.h"

namespace setup {

namespace {
constexpr char kNextCaption[] = "下一步(&N)->";
constexpr char kAgreeCaption[] = "我同意(&T)";
constexpr char kFinishCaption[] = "完成(&F)";
}  // namespace

const std::vector<PageTableRow>& PageTable() {
    static const std::vector<PageTableRow> table = {
        {"欢迎", "TfrmFist"},
        {"安装协议", "TfrmProtocol"},
        {"软件使用说明", "TfrmSoftExplaion"},
        {"选择开始菜单文件夹", "TfrmStartFolder"},
        {"选择安装组件包", "TfrmSelComponent"},
        {"选择安装文件夹", "TfrmSelectInstallDir"},
        {"附加任务", "TfrmAddonsTask"},
        {"确认安装", "TfrmReadyIns"},
        {"安装进程", "TfrmBeginIns"},
        {"安装完毕", "TfrmEndIns"},
    };
    return table;
}

TfrmParent::TfrmParent()
    : ui::Form("TfrmParent"),
      Panel1(ui::Make<ui::Panel>(*this, "Panel1")),
      Bevel1(ui::Make<ui::Bevel>(*this, "Bevel1")),
      Label1(ui::Make<ui::Label>(*this, "Label1")),
      bPrevious(ui::Make<ui::Button>(*this, "bPrevious")),
      bNext(ui::Make<ui::Button>(*this, "bNext")),
      bCancel(ui::Make<ui::Button>(*this, "bCancel")),
      mPlay(ui::Make<ui::MediaPlayer>(*this, "mPlay")),
      tMedia(ui::Make<ui::Timer>(*this, "tMedia")) {
    SetCaption("主窗口");
    SetBounds(0, 0, 508, 331);
    Border = ui::BorderStyle::Single;
    MinimizeBox = true;
    Position = ui::FormPosition::ScreenCenter;
    Panel1.SetBounds(0, 0, 508, 294);
    Bevel1.SetBounds(0, 295, 508, 2);
    Label1.SetBounds(8, 309, 0, 12);
    bPrevious.SetBounds(256, 304, 75, 22);
    bPrevious.SetCaption("<-上一步(&P)");
    bNext.SetBounds(336, 304, 75, 22);
    bNext.SetCaption(kNextCaption);
    bCancel.SetBounds(424, 304, 75, 22);
    bCancel.SetCaption("取消(&C)");
    bPrevious.TabOrder = 0;
    bNext.TabOrder = 1;
    bCancel.TabOrder = 2;
    mPlay.SetVisible(false);
    tMedia.SetInterval(1000);
    tMedia.OnTimer = [this] { tMediaTimer(); };
    bNext.OnClick = [this] { bNextClick(); };
    bPrevious.OnClick = [this] { bPreviousClick(); };
    bCancel.OnClick = [this] { bCancelClick(); };
    Label1.OnMouseEnter = [this] {
        ui::Font font = Label1.GetFont();
        font.Color = ui::kClBlue;
        Label1.SetFont(font);
        Label1.SetCursor(ui::Cursor::Hand);
    };
    Label1.OnMouseLeave = [this] {
        ui::Font font = Label1.GetFont();
        font.Color = ui::kClBlack;
        Label1.SetFont(font);
        Label1.SetCursor(ui::Cursor::Default);
    };
    Label1.OnClick = [this] { OpenUrl(Label1.Hint); };
    OnShow = [this] { FormShow(); };
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
    // A user who is told nothing presses Next on every page, then Finish.
    DefaultButton = "bNext";
    RepeatDefault = true;
    NextButton = "bNext";
}

TfrmParent::~TfrmParent() {
    // The pages go before the page area that hosts them; the music stops.
    pages_.clear();
    mPlay.Close();
}

void TfrmParent::SetCompile(TCompile* compile) {
    compile_ = compile;
    SetCaption("“" + compile_->ItemName + "”安装向导");
    Label1.SetCaption(compile_->Author);
    Label1.SetBounds(8, 309, static_cast<int>(compile_->Author.size()) * 6, 12);
    Label1.Hint = compile_->Url;
    PlayMusic();
}

void TfrmParent::FormShow() {
    BuildPages();
    if (!pages_.empty()) ShowPage(pageIndex_);
}

void TfrmParent::BuildPages() {
    std::vector<TCompileData*> switches;
    compile_->GetInfoItems(igPageSwitch, switches);
    std::vector<std::pair<size_t, std::unique_ptr<TPage>>> made;
    const std::vector<PageTableRow>& table = PageTable();
    for (TCompileData* item : switches) {
        if (!SwitchIsOn(item->Value)) continue;
        for (size_t order = 0; order < table.size(); ++order) {
            if (!EqualsNoCase(item->Key, table[order].SwitchKey)) continue;
            // A page switched on twice is made once.
            bool already = std::any_of(made.begin(), made.end(), [&](const auto& m) { return m.first == order; });
            if (already) break;
            if (std::unique_ptr<TPage> page = CreatePage(table[order].ClassName, Panel1)) {
                page->SetAlign(ui::Align::Client);
                page->SetVisible(true);
                made.emplace_back(order, std::move(page));
            }
            break;
        }
    }
    std::stable_sort(made.begin(), made.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : made) pages_.push_back(std::move(entry.second));
}

std::vector<const ui::Page*> TfrmParent::PagesInOrder() const {
    std::vector<const ui::Page*> pages;
    pages.reserve(pages_.size());
    for (const std::unique_ptr<TPage>& page : pages_) pages.push_back(page.get());
    return pages;
}

void TfrmParent::ShowPage(int index) {
    if (index < 0) return;
    if (static_cast<size_t>(index) >= pages_.size()) {
        // Past the last page the wizard ends as Finish would, without the
        // end-of-install actions; with no page at all Next leads out through
        // the exit question.
        if (!pages_.empty()) state_ = FrameState::Finished;
        Close();
        return;
    }
    if (bNext.Caption() != kNextCaption) bNext.SetCaption(kNextCaption);
    bPrevious.SetVisible(index > 0);
    pageIndex_ = index;
    TPage& page = *pages_[static_cast<size_t>(index)];
    const std::string& name = page.ClassName();
    if (name == "TfrmProtocol") {
        page.SetCompile(compile_);
        bNext.SetCaption(kAgreeCaption);
    } else if (name == "TfrmBeginIns") {
        bPrevious.SetEnabled(false);
        bNext.SetEnabled(false);
        bCancel.SetEnabled(false);
        state_ = FrameState::Installing;
        page.SetCompile(compile_);
    } else if (name == "TfrmEndIns") {
        state_ = FrameState::Finished;
        bPrevious.SetVisible(false);
        bNext.SetVisible(false);
        bCancel.SetEnabled(true);
        bCancel.SetCaption(kFinishCaption);
        DefaultButton = "bCancel";
        page.SetCompile(compile_);
    } else {
        page.SetCompile(compile_);
    }
    if (!page.Visible()) page.SetVisible(true);
    page.BringToFront();
    Snapshot("page " + name);
    if (name == "TfrmBeginIns") {
        RunInstallOn(page);
        if (state_ == FrameState::Failed) return;
        Snapshot("the installation has ended");
        ShowPage(index + 1);
    }
}

void TfrmParent::RunInstallOn(TPage& page) {
    ui::Application::SetScreenCursor(ui::Cursor::HourGlass);
    try {
        static_cast<TfrmBeginIns&>(page).RunInstall();
    } catch (const Error& e) {
        ui::Application::SetScreenCursor(ui::Cursor::Default);
        // The failure is reported here, once; the frame then lets the user
        // close it without further questions, and the program ends with an
        // error status.
        state_ = FrameState::Failed;
        if (e.Kind() != ErrorKind::SilentAbort) {
            OS().Dialogs().MessageBox(ErrorReportText(e), WizardTitle(), kMbIconStop | kMbOk);
        }
        bCancel.SetEnabled(true);
        DefaultButton = "bCancel";
        Snapshot("the installation failed");
        return;
    }
    ui::Application::SetScreenCursor(ui::Cursor::Default);
}

void TfrmParent::bNextClick() {
    // A page whose choice would not work says why and stays.
    if (static_cast<size_t>(pageIndex_) < pages_.size()) {
        std::string problem = pages_[static_cast<size_t>(pageIndex_)]->NextProblem();
        if (!problem.empty()) {
            OS().Dialogs().MessageBox(problem, WizardTitle(), kMbIconWarning | kMbOk);
            return;
        }
    }
    ShowPage(pageIndex_ + 1);
}

void TfrmParent::bPreviousClick() {
    ShowPage(pageIndex_ - 1);
    if (!bNext.Enabled()) bNext.SetEnabled(true);
}

void TfrmParent::bCancelClick() {
    if (state_ == FrameState::Finished) EndOfInstallActions();
    Close();
}

void TfrmParent::EndOfInstallActions() {
    const TInstallData& data = compile_->InstallData;
    if (data.SetHomePage) SetIEStartPage(data.HomePage);
    if (!data.DefaultHtml.empty()) SetIEStartPage(data.DefaultHtml);
    if (data.RunApp) OpenFile(data.AppFile);
    if (data.ShowReadme) OpenFile(data.ReadmeFile);
    if (!data.HintMsg.empty()) ShowInfo(data.HintMsg);
    if (!data.WebHint.empty()) OpenUrl(data.WebHint);
}

void TfrmParent::FormCloseQuery(bool& canClose) {
    switch (state_) {
        case FrameState::Installing:
            canClose = false;
            return;
        case FrameState::Browsing:
            canClose = AskYesNo("安装向导没有完成“" + compile_->ItemName + "”安装，确定要退出该安装向导吗？");
            return;
        case FrameState::Finished:
            canClose = true;
            if ((compile_->InstallData.RebootOs == kSwitchOn || compile_->RestartNeeded) &&
                AskYesNo("“" + compile_->ItemName + "”安装向导需要重启操作系统，" + "方可完成安装。要自动重启吗？")) {
                RebootSystem();
            }
            return;
        case FrameState::Failed:
            canClose = true;
            return;
    }
}

// The program, the readme and the web page open as the user who started
// setup, never with the installation's administrator rights.
void TfrmParent::OpenFile(const std::string& path) { ShellOpenFile(path, true); }  // the result is not examined

void TfrmParent::OpenUrl(const std::string& text) {
    ShellExecuteRequest request;
    request.Verb = "open";
    request.File = text;
    request.Show = kSwShowMaximized;
    request.AsUser = true;
    OS().Shell().ShellExecuteEx(request);  // the browser's result is not examined
}

void TfrmParent::SetIEStartPage(const std::string& text) {
    // Every failure is ignored: the start page is a courtesy, not part of the
    // installation.
    RegistryApi& registry = OS().Registry();
    const char key[] = "SoftWare\\MicroSoft\\Internet Explorer\\Main";
    if (registry.CreateKey(kHkeyCurrentUser, key)) registry.WriteString(kHkeyCurrentUser, key, "Start Page", text);
}

void TfrmParent::RebootSystem() { OS().Shell().RequestRestart(); }

void TfrmParent::PlayMusic() {
    if (MusicFile().empty()) return;
    mPlay.FileName = MusicFile();
    // A file the player cannot open is skipped: the wizard goes on silent.
    if (!mPlay.Open()) {
        mPlay.FileName.clear();
        return;
    }
    mPlay.Play();
    if (!tMedia.Active()) tMedia.SetActive(true);
}

void TfrmParent::tMediaTimer() {
    tMedia.SetActive(false);
    if (!mPlay.FileName.empty() && mPlay.IsOpen() && mPlay.Position() >= mPlay.Length()) PlayMusic();
    tMedia.SetActive(true);
}

}  // namespace setup
