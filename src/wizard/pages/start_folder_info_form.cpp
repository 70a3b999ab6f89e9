#include "wizard/pages/start_folder_info_form.h"

#include "wizard/pages/page.h"

namespace setup {

TfrmStartFolderInfo::TfrmStartFolderInfo()
    : ui::Form("TfrmStartFolderInfo"),
      Label1(MakeLabel(*this, "Label1", "在下列列表中选择一个文件夹，点击“确定”按钮", 14, 18)),
      Edit1(ui::Make<ui::Edit>(*this, "Edit1")),
      ShellTreeView1(ui::Make<ui::ShellTreeView>(*this, "ShellTreeView1")),
      BitBtn1(ui::Make<ui::Button>(*this, "BitBtn1")),
      BitBtn2(ui::Make<ui::Button>(*this, "BitBtn2")) {
    SetCaption("浏览文件夹");
    SetBounds(0, 0, 363, 330);
    Border = ui::BorderStyle::Dialog;
    Position = ui::FormPosition::ScreenCenter;
    KeyPreview = true;
    Edit1.SetBounds(14, 42, 339, 20);
    Edit1.TabOrder = 0;
    ShellTreeView1.SetBounds(15, 65, 339, 220);
    ShellTreeView1.TabOrder = 3;
    BitBtn1.SetBounds(190, 301, 75, 22);
    BitBtn1.SetCaption("确定(&O)");
    BitBtn1.TabOrder = 1;
    BitBtn2.SetBounds(270, 301, 75, 22);
    BitBtn2.SetCaption("取消(&C)");
    BitBtn2.TabOrder = 2;
    BitBtn1.OnClick = [this] { SetModalResult(ui::mrOk); };
    BitBtn2.OnClick = [this] { SetModalResult(ui::mrCancel); };
    OnKeyDown = [this](Key key) { SetModalResult(key == Key::Enter ? ui::mrOk : ui::mrCancel); };
    ShellTreeView1.OnChange = [this] { ShellTreeView1Change(); };
    // The tree is filled when the dialog appears, from its root.
    OnShow = [this] {
        if (!rootSet_) ShellTreeView1.SetRoot("");
    };
    // A user told nothing confirms what the dialog proposes.
    DefaultButton = "BitBtn1";
}

void TfrmStartFolderInfo::SetRoot(const std::string& folder) {
    rootSet_ = true;
    ShellTreeView1.SetRoot(folder);
}

void TfrmStartFolderInfo::ShellTreeView1Change() {
    ui::ShellTreeView::Node* node = ShellTreeView1.Selected();
    if (!node) return;
    Edit1.SetText(Kind == tfkStart ? node->Name : node->Path);
}

}  // namespace setup
