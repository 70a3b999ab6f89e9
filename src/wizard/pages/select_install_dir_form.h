// TfrmSelectInstallDir, the installation folder page: the proposed folder
// from the project's default path, the space needed and free, the folder
// picker and, when the project names key files, a search of the fixed drives
// for an earlier installation.
#pragma once

#include <vector>

#include "wizard/pages/page.h"

namespace setup {

class TfrmSelectInstallDir : public TPage {
public:
    explicit TfrmSelectInstallDir(ui::Control& host);

    TitleBand Band;
    ui::Image& Image1;
    ui::Label& Label1;
    ui::Label& Label2;
    ui::Edit& Edit1;
    ui::Button& BitBtn1;
    ui::Button& BitBtn2;
    ui::Label& Label14;
    ui::Label& lNeedsSize;
    ui::Label& Label20;
    ui::Label& lDrvSize;

protected:
    void SetUp() override;

private:
    void Edit1Change();
    void BitBtn1Click();
    void BitBtn2Click();

    std::string searchKeys_;
};

// The key file names of a search setting: items separated by a comma and/or
// blanks; an item in double quotes may hold blanks and commas (a doubled
// quote stands for one); a comma at the very end adds an empty item.
std::vector<std::string> ParseKeyNames(const std::string& text);

// The first folder below root, in depth-first order of the folder listing,
// that directly holds a file named as one of the keys (ASCII case ignored);
// empty when none does. Junctions and symbolic links are not followed, the
// walk keeps no stack of calls, an unreadable folder is skipped alone, and
// pump is called between folders so that windows stay alive.
std::string FindKeyFolder(const std::string& root, const std::vector<std::string>& keys,
                          const std::function<void()>& pump = nullptr);

}  // namespace setup
