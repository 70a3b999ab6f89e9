#include "wizard/pages/addons_task_form.h"

namespace setup {

TfrmAddonsTask::TfrmAddonsTask(ui::Control& host)
    : TPage(host, "TfrmAddonsTask", igAddonsTask),
      Band(MakeTitleBand(*this, "Image6", 57, "Label10", "附加任务", 16, 14, "Label11", "您想要安装程序执行哪些任务？",
                         29, 33)),
      Label1(MakeLabel(*this, "Label1",
                       "选择您想要安装程序在安装“%s”的时候执行的附加任务，点击“下一步”按钮继续后面的操作。", 28, 69,
                       378, 28, true)),
      Label2(MakeLabel(*this, "Label2", "附加快捷方式：", 32, 112)),
      CheckBox1(MakeCheckBox(*this, "CheckBox1", "创建桌面快捷方式", 32, 136, 373, 17, 0)),
      CheckBox2(MakeCheckBox(*this, "CheckBox2", "创建快速启动栏快捷方式", 32, 160, 373, 17, 1)) {
    SetBounds(0, 0, 499, 294);
    CheckBox1.SetVisible(false);
    CheckBox2.SetVisible(false);
    CheckBox1.OnClick = [this] { Compile()->InstallData.DesktopShortcut = CheckBox1.Checked(); };
    CheckBox2.OnClick = [this] { Compile()->InstallData.QuickLaunchShortcut = CheckBox2.Checked(); };
}

void TfrmAddonsTask::SetUp() {
    FillTemplate(Label1);
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "标题图片")) {
            Band.Image.LoadFromFile(item->Value);
        } else if (KeyIs(*item, "创建桌面快捷方式") && SwitchIsOn(item->Value)) {
            CheckBox1.SetChecked(true);
            CheckBox1.SetVisible(true);
        } else if (KeyIs(*item, "创建快速启栏快捷方式") && SwitchIsOn(item->Value)) {
            CheckBox2.SetChecked(true);
            CheckBox2.SetVisible(true);
        }
    }
}

}  // namespace setup
