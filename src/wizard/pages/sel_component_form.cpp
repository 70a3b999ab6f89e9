#include "wizard/pages/sel_component_form.h"

#include "platform/common.h"

namespace setup {

TfrmSelComponent::TfrmSelComponent(ui::Control& host)
    : TPage(host, "TfrmSelComponent", igComponent),
      Band(MakeTitleBand(*this, "Image5", 57, "Label18", "选择安装组件", 24, 15, "Label19", "选择你要安装的哪些组件",
                         48, 34)),
      Label4(MakeLabel(*this, "Label4", "选择您想要安装的组件，点击[下一步]继续。", 16, 73, 257)),
      Panel12(ui::Make<ui::Panel>(*this, "Panel12")),
      List_Component(ui::Make<ui::CheckListBox>(Panel12, "List_Component")),
      Label9(MakeLabel(*this, "Label9", "所需空间大小", 16, 257)) {
    SetBounds(0, 0, 500, 294);
    Panel12.SetBounds(16, 95, 382, 151);
    Panel12.Sunken = true;
    List_Component.SetBounds(0, 0, 382, 151);
    List_Component.SetAlign(ui::Align::Client);
    List_Component.SetFont(PageFont());
    List_Component.OnClickCheck = [this](int row) { List_ComponentClickCheck(row); };
}

void TfrmSelComponent::SetUp() {
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "标题图片")) Band.Image.LoadFromFile(item->Value);
    }
    List_Component.SetChecked(List_Component.Add("主程序"), true);
    TCompile& model = *Compile();
    model.ComponentList.clear();
    for (const auto& component : model.CompList) {
        List_Component.SetChecked(List_Component.Add(component->Name, component.get()), true);
        model.ComponentList.push_back(component->Name);
    }
    ShowSize();
}

int64_t TfrmSelComponent::RequiredSize() {
    int64_t total = 0;
    for (int row = 1; row < List_Component.Count(); ++row) {
        if (!List_Component.Checked(row)) continue;
        total += static_cast<const TCompileCompData*>(List_Component.RowAt(row).Data)->Size;
    }
    total += Compile()->Size;
    Compile()->InstallData.TotalSize = total;
    return total;
}

void TfrmSelComponent::ShowSize() { Label9.SetCaption("所需空间大小 " + FormatSize(RequiredSize())); }

void TfrmSelComponent::List_ComponentClickCheck(int) {
    // The main program is always installed.
    if (List_Component.Count() > 0 && !List_Component.Checked(0)) List_Component.SetChecked(0, true);
    ShowSize();
    std::vector<std::string>& list = Compile()->ComponentList;
    list.clear();
    for (int row = 1; row < List_Component.Count(); ++row) {
        if (List_Component.Checked(row)) list.push_back(List_Component.RowAt(row).Caption);
    }
}

}  // namespace setup
