// TfrmEndIns, the finish page: says the installation is complete and offers,
// as ticked check boxes, to run the program, open the readme and set the
// browser's home page; the ticks go into the install options, which the frame
// carries out when the user presses Finish.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

class TfrmEndIns : public TPage {
public:
    explicit TfrmEndIns(ui::Control& host);

    ui::Image& Image9;
    ui::Label& Lb_Insted_Prog;
    ui::Label& Label1;
    ui::Label& Label2;
    ui::CheckBox& CheckBox1;
    ui::CheckBox& CheckBox2;
    ui::CheckBox& CheckBox3;

protected:
    void SetUp() override;
};

}  // namespace setup
