// TfrmStartFolderInfo, the folder picker: a tree of the shell's folders and
// an edit that holds the chosen value. For the Start menu (tfkStart) a
// selected folder gives its own name; for an installation folder
// (tfkFolder) its full path. Enter anywhere confirms, Escape cancels.
#pragma once

#include "ui/controls.h"

namespace setup {

enum TStartFolderKindEnum { tfkStart = 0, tfkFolder = 1 };

class TfrmStartFolderInfo : public ui::Form {
public:
    TfrmStartFolderInfo();

    std::string Value() const { return Edit1.Text(); }
    void SetValue(const std::string& value) { Edit1.SetText(value); }
    // Roots the tree at a file-system folder (the desktop until set).
    void SetRoot(const std::string& folder);
    TStartFolderKindEnum Kind = tfkStart;

    ui::Label& Label1;
    ui::Edit& Edit1;
    ui::ShellTreeView& ShellTreeView1;
    ui::Button& BitBtn1;
    ui::Button& BitBtn2;

private:
    void ShellTreeView1Change();
    bool rootSet_ = false;
};

}  // namespace setup
