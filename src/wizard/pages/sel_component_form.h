// TfrmSelComponent, the component page: the main program row, always ticked,
// and one ticked row per component package; the ticks keep the model's
// component list and the needed size in step.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

class TfrmSelComponent : public TPage {
public:
    explicit TfrmSelComponent(ui::Control& host);
    // The bytes the ticked rows need (the components and the install files),
    // stored in TotalSize.
    int64_t RequiredSize();

    TitleBand Band;
    ui::Label& Label4;
    ui::Panel& Panel12;
    ui::CheckListBox& List_Component;
    ui::Label& Label9;

protected:
    void SetUp() override;

private:
    void List_ComponentClickCheck(int row);
    void ShowSize();
};

}  // namespace setup
