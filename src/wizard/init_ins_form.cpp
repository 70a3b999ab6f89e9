#include "wizard/init_ins_form.h"

#include "platform/errors.h"
#include "platform/os.h"
#include "ui/backend.h"

namespace setup {

TfrmInitIns::TfrmInitIns()
    : ui::Form("TfrmInitIns"),
      Label1(ui::Make<ui::Label>(*this, "Label1")),
      pRelease(ui::Make<ui::ProgressBar>(*this, "pRelease")),
      Timer1(ui::Make<ui::Timer>(*this, "Timer1")) {
    SetCaption("初始化...");
    SetBounds(0, 0, 383, 108);
    Border = ui::BorderStyle::Dialog;
    Position = ui::FormPosition::ScreenCenter;
    Label1.SetBounds(15, 25, 168, 12);
    Label1.SetCaption("正在解压安装文件,请稍候...");
    Label1.Transparent = true;
    pRelease.SetBounds(15, 51, 357, 19);
    Timer1.SetInterval(1000);
    Timer1.OnTimer = [this] { Timer1Timer(); };
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
}

void TfrmInitIns::ShowProgress(int position, int maximum) {
    pRelease.SetMax(maximum);
    pRelease.SetPosition(position);
    ui::Application::ProcessMessages();
}

void TfrmInitIns::Timer1Timer() {
    Timer1.SetActive(false);
    try {
        compile_->ExtractTempFiles(compile_->PackageFile(),
                                   [this](int position, int maximum) { ShowProgress(position, maximum); });
    } catch (const Error&) {
        // The window closes; the session raises the error, which the program
        // entry reports. Nothing stays open for ever.
        failure_ = std::current_exception();
        done_ = true;
        SetModalResult(ui::mrCancel);
        return;
    }
    done_ = true;
    SetModalResult(ui::mrOk);
}

void TfrmInitIns::FormCloseQuery(bool& canClose) { canClose = done_; }

}  // namespace setup
