#include "wizard/pages/fist_form.h"

#include "platform/os.h"

namespace setup {

TfrmFist::TfrmFist(ui::Control& host)
    : TPage(host, "TfrmFist", igWelcome),
      Image1(ui::Make<ui::Image>(*this, "Image1")),
      Label1(MakeLabel(*this, "Label1", "欢迎使用“%s”安装向导", 160, 16, 341, 41, true)),
      Label2(
          MakeLabel(*this, "Label2", "欢迎使用“%s”，这个向导将指引您完成对“%s”的安装进程。", 160, 64, 341, 47, true)),
      Label3(MakeLabel(*this, "Label3",
                       "在开始安装之前，建议先关闭其它应用程序，这将使安装向导能顺利安装所有文件。\r\r"
                       "点击[下一步(&N)>]将继续。",
                       160, 120, 341, 52, true)),
      Label4(MakeLabel(*this, "Label4", "Label4", 160, 209, 337, 28, true)),
      Label5(MakeLabel(*this, "Label5", "Label5", 160, 241)) {
    ExactKeys = true;
    SetBounds(0, 0, 508, 287);
    Image1.SetBounds(0, 0, 508, 287);
    Image1.SetAlign(ui::Align::Client);
    Image1.Transparent = true;
    Label1.SetFont(PageFont(16, true));
    for (ui::Label* label : {&Label1, &Label2, &Label3, &Label4, &Label5}) label->Transparent = true;
    Label4.SetVisible(false);
    ui::Font link = PageFont();
    link.Color = ui::kClBlue;
    link.Underline = true;
    Label5.SetFont(link);
    Label5.SetCursor(ui::Cursor::Hand);
    Label5.SetVisible(false);
    Label5.OnClick = [this] { Label5Click(); };
}

void TfrmFist::SetUp() {
    FillTemplate(Label1);
    FillTemplate(Label2);
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "公司名称")) {
            Label4.SetVisible(!item->Value.empty());
            if (!item->Value.empty()) Label4.SetCaption(item->Value);
        } else if (KeyIs(*item, "网址")) {
            Label5.SetVisible(!item->Value.empty());
            if (!item->Value.empty()) {
                Label5.SetCaption(item->Value);
                // The link is as wide as its text.
                Label5.SetBounds(160, 241, static_cast<int>(item->Value.size()) * 6, 12);
            }
        } else if (KeyIs(*item, "背景图片")) {
            if (OS().Files().FileExists(item->Value)) Image1.LoadFromFile(item->Value);
        }
    }
}

void TfrmFist::Label5Click() {
    ShellExecuteRequest request;
    request.Verb = "Open";
    request.File = Label5.Caption();
    request.Show = kSwShowNormal;
    request.AsUser = true;                 // the browser gets the user's rights, not the installation's
    OS().Shell().ShellExecuteEx(request);  // the browser's result is not examined
}

}  // namespace setup
