#include "wizard/pages/start_folder_form.h"

#include "package/item_rules.h"
#include "platform/common.h"
#include "platform/messages.h"
#include "wizard/pages/page_pictures.h"
#include "wizard/pages/start_folder_info_form.h"

namespace setup {

TfrmStartFolder::TfrmStartFolder(ui::Control& host)
    : TPage(host, "TfrmStartFolder", igStartFolder),
      Band(MakeTitleBand(*this, "Image6", 57, "Label10", "选择开始菜单文件夹", 16, 14, "Label11",
                         "您想在哪里创建程序的快捷方式？", 29, 33)),
      Image1(ui::Make<ui::Image>(*this, "Image1")),
      Label1(MakeLabel(*this, "Label1", "安装程序将创建程序的快捷方式到下面的开始菜单文件夹中。", 80, 76)),
      Label2(MakeLabel(*this, "Label2", "单击“下一步”按钮继续，如果您想选择其它的文件夹请点击“浏览”按钮。", 32, 112)),
      Edit1(ui::Make<ui::Edit>(*this, "Edit1")),
      BitBtn1(ui::Make<ui::Button>(*this, "BitBtn1")),
      CheckBox1(MakeCheckBox(*this, "CheckBox1", "创建开始菜单的快捷方式", 32, 248, 177, 17, 2)) {
    SetBounds(0, 0, 502, 294);
    Image1.SetBounds(31, 67, 32, 32);
    Image1.SetPicture(StartMenuPicture(), "startmenu.png");
    Edit1.SetBounds(33, 136, 344, 20);
    Edit1.TabOrder = 0;
    Edit1.SetFont(PageFont());
    BitBtn1.SetBounds(384, 134, 81, 22);
    BitBtn1.SetCaption("浏览(&B)...");
    BitBtn1.TabOrder = 1;
    Edit1.OnChange = [this] {
        if (Compile()) Compile()->InstallData.StartFolder = Edit1.Text();
    };
    CheckBox1.OnClick = [this] {
        if (Compile()) Compile()->InstallData.CreateStartFolder = CheckBox1.Checked();
    };
    BitBtn1.OnClick = [this] { BitBtn1Click(); };
}

void TfrmStartFolder::SetUp() {
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "标题图片")) {
            Band.Image.LoadFromFile(item->Value);
        } else if (KeyIs(*item, "默认文件夹名称")) {
            Edit1.SetText(item->Value);
        } else if (KeyIs(*item, "允许用户修改文件夹名称") && !SwitchIsOn(item->Value)) {
            Edit1.SetReadOnly(true);
            BitBtn1.SetEnabled(false);
        } else if (KeyIs(*item, "显示用户选择选项")) {
            CheckBox1.SetVisible(SwitchIsOn(item->Value));
        }
    }
    // A hidden box is ticked too, so that with the option hidden the
    // shortcuts are made.
    CheckBox1.SetChecked(Compile()->InstallData.CreateStartFolder);
}

std::string TfrmStartFolder::NextProblem() const {
    if (!Compile() || !Compile()->InstallData.CreateStartFolder) return "";
    std::string problem = StartFolderProblem(Compile()->InstallData.StartFolder);
    return problem.empty() ? "" : msg::StartFolderInvalid(Compile()->InstallData.StartFolder, problem);
}

void TfrmStartFolder::BitBtn1Click() {
    TfrmStartFolderInfo picker;
    picker.SetRoot(GetSpecialFolder(kCsidlCommonPrograms));
    picker.Kind = tfkStart;
    picker.SetValue(Edit1.Text());
    if (picker.ShowModal() == ui::mrOk) Edit1.SetText(picker.Value());
}

}  // namespace setup
