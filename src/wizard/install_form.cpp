#include "wizard/install_form.h"

#include "engine/install.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"
#include "ui/backend.h"

namespace setup {

TfrmInstall::TfrmInstall()
    : ui::Form("TfrmInstall"),
      Gauge1(ui::Make<ui::Gauge>(*this, "Gauge1")),
      Timer(ui::Make<ui::Timer>(*this, "Timer")) {
    SetCaption("无选项安装");
    SetBounds(387, 356, 338, 61);
    Border = ui::BorderStyle::Dialog;
    Position = ui::FormPosition::Designed;
    Gauge1.SetBounds(16, 22, 305, 24);
    Gauge1.SetMaxValue(100);
    Gauge1.SetProgress(12);
    Timer.SetInterval(10);
    Timer.SetActive(false);
    Timer.OnTimer = [this] { TimerTimer(); };
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
}

void TfrmInstall::SetCompile(TCompile* compile) {
    compile_ = compile;
    if (!compile_) return;
    compile_->OnCompile = [this](const std::string& f, const std::string& h, int64_t p, int64_t m) {
        CompileProgress(f, h, p, m);
    };
    SetCaption("正在安装“" + compile_->ItemName + "”，请稍候...");
    Timer.SetActive(true);
}

void TfrmInstall::CompileProgress(const std::string&, const std::string&, int64_t position, int64_t max) {
    ui::Application::ProcessMessages();
    if (max != -1 && position != -1) {
        Gauge1.SetMaxValue(static_cast<int>(max));
        Gauge1.SetProgress(static_cast<int>(position));
    }
}

// Opened as the user who started setup, not with its administrator rights.
void TfrmInstall::OpenFile(const std::string& path) { ShellOpenFile(path, true); }  // the result is not examined

void TfrmInstall::TimerTimer() {
    Timer.SetActive(false);
    try {
        Install(*compile_);
        // What could not be installed is listed before anything is opened.
        ShowInstallFailures(*compile_);
        const TInstallData& data = compile_->InstallData;
        if (data.RunApp) OpenFile(data.AppFile);
        if (data.ShowReadme) OpenFile(data.ReadmeFile);
    } catch (const Error& e) {
        // The installation has been undone. Any error is raised again by the
        // session and reported by the program entry, the silent abort (a
        // cancel) included, so that the run does not end as a success.
        failure_ = std::current_exception();
        done_ = true;
        compile_->OnCompile = nullptr;
        SetModalResult(ui::mrCancel);
        return;
    }
    done_ = true;
    Close();
}

void TfrmInstall::FormCloseQuery(bool& canClose) {
    if (!done_) {
        canClose = false;
        return;
    }
    canClose = true;
    if (!failure_ && (compile_->InstallData.RebootOs == kSwitchOn || compile_->RestartNeeded)) {
        if (AskYesNo("“" + compile_->ItemName + "”安装向导需要重启操作系统，方可完成安装。要自动重启吗？")) {
            OS().Shell().RequestRestart();
        }
    }
}

}  // namespace setup
