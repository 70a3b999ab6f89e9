#include "wizard/back_ins_form.h"

#include "platform/os.h"
#include "wizard/parent_form.h"

namespace setup {

TfrmBackIns::TfrmBackIns()
    : ui::Form("TfrmBackIns"),
      Picture(ui::Make<ui::Image>(*this, "Picture")),
      Timer(ui::Make<ui::Timer>(*this, "Timer")) {
    SetCaption("背景窗口");
    SetBounds(0, 0, 640, 480);
    Border = ui::BorderStyle::Sizeable;
    Position = ui::FormPosition::WorkArea;
    Picture.SetBounds(0, 0, 640, 480);
    Picture.SetAlign(ui::Align::Client);
    Picture.Stretch = true;
    Timer.SetInterval(100);
    Timer.OnTimer = [this] { TimerTimer(); };
    OnShow = [this] { FormShow(); };
}

void TfrmBackIns::SetCompile(TCompile* compile) {
    compile_ = compile;
    SetCaption("“" + compile_->ItemName + "”安装向导");
}

void TfrmBackIns::FormShow() { LoadBackPicture(); }

void TfrmBackIns::LoadBackPicture() {
    std::vector<TCompileData*> items;
    compile_->GetInfoItems(igProject, items);
    // The last setting that names an existing file wins. The picture is
    // decoded by its content, so a PNG or BMP works as well as a JPEG; one
    // that cannot be decoded leaves the window plain.
    for (TCompileData* item : items) {
        if (item->Key == "安装背景图片" && !item->Value.empty() && OS().Files().FileExists(item->Value)) {
            Picture.LoadFromFileByContent(item->Value);
        }
    }
}

void TfrmBackIns::TimerTimer() {
    Timer.SetActive(false);
    try {
        TfrmParent wizard;
        wizard.Border = ui::BorderStyle::Dialog;
        wizard.MinimizeBox = false;
        wizard.Position = ui::FormPosition::ScreenCenter;
        wizard.SetCompile(compile_);
        wizard.ShowModal();
        installFailed_ = wizard.InstallFailed();
        abandoned_ = wizard.Abandoned();
    } catch (...) {
        // The session raises it again once this window has closed.
        failure_ = std::current_exception();
    }
    Close();
}

}  // namespace setup
