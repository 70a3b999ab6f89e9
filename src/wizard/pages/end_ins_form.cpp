#include "wizard/pages/end_ins_form.h"

namespace setup {

TfrmEndIns::TfrmEndIns(ui::Control& host)
    : TPage(host, "TfrmEndIns", igEndIns),
      Image9(ui::Make<ui::Image>(*this, "Image9")),
      Lb_Insted_Prog(MakeLabel(*this, "Lb_Insted_Prog", "“%s”安装向导已完成安装", 168, 28, 302, 45, true)),
      Label1(MakeLabel(*this, "Label1", "安装程序已在您电脑中成功安装了“%s”，此应用程序可通过快捷方式启动运行。", 168,
                       74, 302, 28, true)),
      Label2(MakeLabel(*this, "Label2", "点击“完成”按钮退出安装向导", 168, 110)),
      CheckBox1(MakeCheckBox(*this, "CheckBox1", "运行“%s”", 168, 133, 297, 17, 0)),
      CheckBox2(MakeCheckBox(*this, "CheckBox2", "Readme", 168, 157, 289, 17, 1)),
      CheckBox3(MakeCheckBox(*this, "CheckBox3", "设置我的主页", 168, 181, 297, 17, 2)) {
    SetBounds(0, 0, 499, 279);
    SetColor(ui::kClWhite);
    Image9.SetBounds(0, 0, 499, 279);
    Image9.SetAlign(ui::Align::Client);
    Lb_Insted_Prog.SetFont(PageFont(16, true));
    for (ui::Label* label : {&Lb_Insted_Prog, &Label1, &Label2}) label->Transparent = true;
    for (ui::CheckBox* box : {&CheckBox1, &CheckBox2, &CheckBox3}) {
        box->SetVisible(false);
        box->SetColor(ui::kClWhite);
    }
    CheckBox1.OnClick = [this] { Compile()->InstallData.RunApp = CheckBox1.Checked(); };
    CheckBox2.OnClick = [this] { Compile()->InstallData.ShowReadme = CheckBox2.Checked(); };
    CheckBox3.OnClick = [this] { Compile()->InstallData.SetHomePage = CheckBox3.Checked(); };
}

void TfrmEndIns::SetUp() {
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "背景图片")) {
            Image9.LoadFromFile(item->Value);
        } else if (KeyIs(*item, "应用程序文件") && !item->Value.empty()) {
            CheckBox1.SetChecked(true);
            CheckBox1.SetVisible(true);
            FillTemplate(CheckBox1);
        } else if (KeyIs(*item, "Readme文件") && !item->Value.empty()) {
            CheckBox2.SetChecked(true);
            CheckBox2.SetVisible(true);
        } else if (KeyIs(*item, "默认主页链接") && !item->Value.empty()) {
            CheckBox3.SetVisible(true);
            CheckBox3.SetChecked(true);
        }
    }
    FillTemplate(Lb_Insted_Prog);
    FillTemplate(Label1);
}

}  // namespace setup
