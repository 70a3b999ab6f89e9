#include "startup/install_session.h"

#include "platform/common.h"
#include "platform/os.h"
#include "startup/setup_entry.h"
#include "ui/backend.h"
#include "wizard/init_ins_form.h"
#include "wizard/back_ins_form.h"
#include "wizard/install_form.h"
#include "wizard/parent_form.h"

namespace setup {

TInstall::TInstall() : model_(std::make_unique<TCompile>()) {}

TInstall::~TInstall() { model_->DeleteTempFiles(); }

void TInstall::Run() {
    exeName_ = OS().System().GetOwnExecutablePath();
    model_->LoadFromExe(exeName_);
    ui::Application::SetTitle(model_->ItemName);
    const TInstallData& data = model_->InstallData;
    if (!data.BeforeHintMsg.empty()) {
        OS().Dialogs().MessageBox(data.BeforeHintMsg, ui::Application::Title(), kMbIconInformation | kMbOk);
    }
    WizardTitle() = "“" + model_->ItemName + "”安装向导";

    if (TCompileData* loaded = FindProjectInfo("显示加载进度")) {
        if (loaded->Value == kSwitchOn) {
            ShowLoadingWindow();
        } else {
            LoadWithoutWindow();
        }
    }

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

void TInstall::LoadWithoutWindow() {
    std::unique_ptr<Stream> file = OpenFile(exeName_, OpenMode::Read);
    model_->ExtractTempFiles(*file);
}

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
