// TfrmReadyIns, the ready page: a read-only summary of where the product is
// installed and which shortcuts are made, rebuilt every time the page shows,
// so a choice changed on an earlier page is seen here.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

class TfrmReadyIns : public TPage {
public:
    explicit TfrmReadyIns(ui::Control& host);
    // The first set runs the set-up; every set rebuilds the summary.
    void SetCompile(TCompile* compile) override;
    void BuildSummary();

    TitleBand Band;
    ui::Label& Label27;
    ui::Panel& Panel1;
    ui::Memo& Memo1;

protected:
    void SetUp() override;
};

}  // namespace setup
