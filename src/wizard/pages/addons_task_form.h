// TfrmAddonsTask, the additional tasks page: offers the desktop and the
// quick-launch shortcut as ticked check boxes when the project enables them,
// and writes the ticks into the install options.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

class TfrmAddonsTask : public TPage {
public:
    explicit TfrmAddonsTask(ui::Control& host);

    TitleBand Band;
    ui::Label& Label1;
    ui::Label& Label2;
    ui::CheckBox& CheckBox1;
    ui::CheckBox& CheckBox2;

protected:
    void SetUp() override;
};

}  // namespace setup
