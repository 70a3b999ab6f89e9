#include "startup/install_session.h"

#include "platform/common.h"
#include "platform/messages.h"
#include "engine/install.h"
#include "platform/os.h"
#include "platform/run_log.h"
#include "startup/setup_entry.h"
#include "ui/backend.h"
#include "wizard/init_ins_form.h"
#include "wizard/back_ins_form.h"
#include "wizard/install_form.h"
#include "wizard/parent_form.h"

namespace setup {

TInstall::TInstall() : model_(std::make_unique<TCompile>()) {}

TInstall::TInstall(const CommandSwitches& switches) : model_(std::make_unique<TCompile>()), switches_(switches) {}

TInstall::~TInstall() { FinishRun(*model_); }

void TInstall::Run() {
    exeName_ = OS().System().GetOwnExecutablePath();
    model_->LoadFromExe(exeName_);
    LogLine("安装包：" + exeName_);
    LogLine("项目：" + model_->ItemName + " " + model_->Version + "（" + model_->PackageId + "）");
    if (!switches_.InstallDir.empty()) model_->InstallData.InstallDir = switches_.InstallDir;
    ui::Application::SetTitle(model_->ItemName);
    const TInstallData& data = model_->InstallData;
    if (!data.BeforeHintMsg.empty()) {
        OS().Dialogs().MessageBox(data.BeforeHintMsg, ui::Application::Title(), kMbIconInformation | kMbOk);
    }
    WizardTitle() = "“" + model_->ItemName + "”安装向导";
    if (switches_.Silent) {
        RunSilently();
        return;
    }

    if (TCompileData* loaded = FindProjectInfo("显示加载进度")) {
        if (loaded->Value == kSwitchOn) {
            ShowLoadingWindow();
        } else {
            LoadWithoutWindow();
        }
    }

    Present();
    // The choices are the user's, made in the window that has just closed.
    LogChoices();
    LogFailures();
}

void TInstall::Present() {
    const TInstallData& data = model_->InstallData;
    if (!data.ShowSetupUI || model_->Patched()) {
        ShowQuietWindow();
        return;
    }
    TCompileData* music = FindProjectInfo("背景音乐");
    if (music && !music->Value.empty() && OS().Files().FileExists(music->Value)) MusicFile() = music->Value;
    if (TCompileData* background = FindProjectInfo("显示安装背景窗口")) {
        if (background->Value == kSwitchOn) {
            ShowBackgroundWindow();
        } else {
            ShowWizard();
        }
    }
}

void TInstall::LogChoices() const {
    if (!RunLogOpen()) return;
    const TInstallData& data = model_->InstallData;
    auto yesNo = [](bool on) { return std::string(on ? "是" : "否"); };
    LogLine("安装文件夹：" + data.InstallDir);
    LogLine("开始菜单文件夹：" + (data.CreateStartFolder ? data.StartFolder : std::string("（不创建）")));
    LogLine("桌面快捷方式：" + yesNo(data.DesktopShortcut) + "；快速启动栏快捷方式：" +
            yesNo(data.QuickLaunchShortcut));
    for (const auto& component : model_->CompList) LogLine("组件：" + component->Name);
}

void TInstall::LogFailures() const {
    for (const InstallFailure& failure : model_->Failures) LogLine("失败：" + failure.Item + "：" + failure.Reason);
    for (const std::string& waiting : model_->ReplacedAtRestart) {
        LogLine("等待重新启动：" + waiting + "（" + msg::ReplacedAtRestart() + "）");
    }
}

void TInstall::RunSilently() {
    if (FindProjectInfo("显示加载进度")) LoadWithoutWindow();
    LogChoices();
    std::string lastHint;
    model_->OnCompile = [&lastHint](const std::string&, const std::string& hint, int64_t, int64_t) {
        if (!hint.empty() && hint != lastHint) LogLine(hint);
        lastHint = hint;
    };
    try {
        Install(*model_);
    } catch (...) {
        model_->OnCompile = nullptr;
        throw;
    }
    model_->OnCompile = nullptr;
    LogFailures();

    const TInstallData& data = model_->InstallData;
    if (data.RunApp && !data.AppFile.empty()) LogLine("未启动（静默安装）：" + data.AppFile);
    if (data.ShowReadme && !data.ReadmeFile.empty()) LogLine("未打开（静默安装）：" + data.ReadmeFile);
    if (!data.HintMsg.empty()) ShowInfo(data.HintMsg);
    if (data.RebootOs == kSwitchOn || model_->RestartNeeded) {
        if (switches_.Reboot) {
            OS().Shell().RequestRestart();
        } else {
            LogLine("需要重新启动 Windows 才能完成安装；没有 /REBOOT，未重新启动。");
        }
    }
}

void TInstall::ShowLoadingWindow() {
    std::exception_ptr failure;
    {
        TfrmInitIns window;
        window.SetCompile(model_.get());
        window.ShowModal();
        failure = window.Failure();
    }
    if (failure) std::rethrow_exception(failure);
}

void TInstall::LoadWithoutWindow() { model_->ExtractTempFiles(model_->PackageFile()); }

void TInstall::ShowQuietWindow() {
    std::exception_ptr failure;
    {
        TfrmInstall window;
        window.SetCompile(model_.get());
        window.ShowModal();
        failure = window.Failure();
        model_->OnCompile = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

void TInstall::ShowWizard() {
    TfrmParent wizard;
    wizard.SetCompile(model_.get());
    wizard.ShowModal();
    exitStatus_ = wizard.InstallFailed() ? 1 : wizard.Abandoned() ? 2 : 0;
}

void TInstall::ShowBackgroundWindow() {
    std::exception_ptr failure;
    {
        TfrmBackIns window;
        window.SetCompile(model_.get());
        window.ShowModal();
        exitStatus_ = window.InstallFailed() ? 1 : window.Abandoned() ? 2 : 0;
        failure = window.Failure();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace setup
