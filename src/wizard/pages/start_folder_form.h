// TfrmStartFolder, the Start-menu folder page: the name of the Start-menu
// folder that receives the shortcuts and, when the project offers it, whether
// the Start-menu shortcuts are made at all.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

class TfrmStartFolder : public TPage {
public:
    explicit TfrmStartFolder(ui::Control& host);

    TitleBand Band;
    ui::Image& Image1;
    ui::Label& Label1;
    ui::Label& Label2;
    ui::Edit& Edit1;
    ui::Button& BitBtn1;
    ui::CheckBox& CheckBox1;

    // A folder name that would leave the Programs folder or that Windows
    // cannot create keeps the user on the page, unless no Start-menu entries
    // are wanted.
    std::string NextProblem() const override;

protected:
    void SetUp() override;

private:
    void BitBtn1Click();
};

}  // namespace setup
