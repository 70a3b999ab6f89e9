#include "wizard/pages/ready_ins_form.h"

namespace setup {

TfrmReadyIns::TfrmReadyIns(ui::Control& host)
    : TPage(host, "TfrmReadyIns", igReadyIns),
      Band(MakeTitleBand(*this, "Image6", 57, "Label10", "准备安装", 16, 14, "Label11",
                         "安装程序现在开始准备安装“%s”到您的电脑中", 29, 33)),
      Label27(MakeLabel(*this, "Label27",
                        "点击“安装”按钮继续安装程序，如果您要改变之前设置，请点击“上一步”按钮。在安装过程中，请不要强制"
                        "中断或是退出安装进程，否则会导致程序不能正常被卸载。",
                        16, 70, 473, 28, true)),
      Panel1(ui::Make<ui::Panel>(*this, "Panel1")),
      Memo1(ui::Make<ui::Memo>(Panel1, "Memo1")) {
    SetBounds(0, 0, 497, 294);
    Panel1.SetBounds(16, 114, 473, 153);
    Panel1.TabOrder = 0;
    Panel1.Sunken = true;
    Memo1.SetBounds(0, 0, 473, 153);
    Memo1.SetAlign(ui::Align::Client);
    Memo1.Border = false;
    Memo1.ShowsLastLine = false;
    Memo1.SetFont(PageFont());
}

void TfrmReadyIns::SetCompile(TCompile* compile) {
    TPage::SetCompile(compile);
    if (Compile()) BuildSummary();
}

void TfrmReadyIns::SetUp() {
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "标题图片")) Band.Image.LoadFromFile(item->Value);
    }
    FillTemplate(Band.Subtitle);
}

void TfrmReadyIns::BuildSummary() {
    const TInstallData& data = Compile()->InstallData;
    Memo1.Clear();
    Memo1.Add("");
    Memo1.Add("  “" + Compile()->ItemName + "”安装到“" + data.InstallDir + "”文件夹下" + "\r\n");
    if (data.DesktopShortcut) Memo1.Add("  创建快捷方式到桌面\r\n");
    if (data.QuickLaunchShortcut) Memo1.Add("  创建快捷方式到快速启栏中\r\n");
    if (data.CreateStartFolder) Memo1.Add("  创建快捷方式到开始菜单的“" + data.StartFolder + "”文件夹中" + "\r\n");
}

}  // namespace setup
