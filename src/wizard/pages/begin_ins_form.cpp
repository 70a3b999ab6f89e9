#include "wizard/pages/begin_ins_form.h"

#include <cmath>

#include "engine/install.h"
#include "platform/os.h"
#include "ui/backend.h"

namespace setup {

TfrmBeginIns::TfrmBeginIns(ui::Control& host)
    : TPage(host, "TfrmBeginIns", igBeginIns),
      Band(MakeTitleBand(*this, "Image8", 57, "Label28", "安装程序正在进行安装操作，请稍候...", 16, 15, "Label29",
                         "安装过程中，请不要强制退出安装向导。否则会导致文件安装不完整", 45, 34)),
      Label30(MakeLabel(*this, "Label30", "", 24, 76, 398, 14, true)),
      Label31(MakeLabel(*this, "Label31", "30%", 452, 77)),
      ProgressBar1(ui::Make<ui::ProgressBar>(*this, "ProgressBar1")),
      mInstall(ui::Make<ui::Memo>(*this, "mInstall")) {
    SetBounds(0, 0, 498, 294);
    ProgressBar1.SetBounds(24, 98, 446, 19);
    ProgressBar1.TabOrder = 0;
    mInstall.SetBounds(23, 128, 447, 148);
    mInstall.TabOrder = 1;
    mInstall.SetFont(PageFont());
    mInstall.SetVisible(false);
}

void TfrmBeginIns::SetUp() {
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "标题图片")) {
            Band.Image.LoadFromFile(item->Value);
        } else if (KeyIs(*item, "安装详细信息") && SwitchIsOn(item->Value)) {
            mInstall.SetVisible(true);
        }
    }
}

void TfrmBeginIns::RunInstall() {
    TCompile* model = Compile();
    if (!model) return;
    model->OnCompile = [this](const std::string& f, const std::string& h, int64_t p, int64_t m) {
        CompileProgress(f, h, p, m);
    };
    ui::Application::ProcessMessages();
    Install(*model);
    ShowInstallFailures(*model);
}

std::string PercentText(int64_t position, int64_t max) {
    if (position == max) return "100%";
    double percent = static_cast<double>(position) / static_cast<double>(max) * 100.0;
    // nearbyint rounds in the default mode: to nearest, a half to even.
    return std::to_string(static_cast<long long>(std::nearbyint(percent))) + "%";
}

void TfrmBeginIns::CompileProgress(const std::string& fileName, const std::string& hintMsg, int64_t position,
                                   int64_t max) {
    if (position < 0) {
        mInstall.Add(hintMsg);
    } else {
        Label30.SetCaption(fileName);
        // The bar counts in int; a count beyond that range is scaled down.
        int64_t scale = 1;
        while (max / scale > 0x7FFFFFFF) scale *= 2;
        ProgressBar1.SetMax(static_cast<int>(max / scale));
        ProgressBar1.SetPosition(static_cast<int>(position / scale));
        // A report with no maximum is complete: nothing is left to do.
        Label31.SetCaption(max == 0 ? "100%" : PercentText(position, max));
        if (mInstall.Visible()) mInstall.Add(hintMsg + "“" + fileName + "”");
    }
    ui::Application::ProcessMessages();
}

}  // namespace setup
