// TfrmFist, the welcome page: the project name over a full-page picture, with
// the publisher's name and a web link when the project gives them. It writes
// nothing into the model; its setting keys are compared exactly.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

class TfrmFist : public TPage {
public:
    explicit TfrmFist(ui::Control& host);

    ui::Image& Image1;
    ui::Label& Label1;
    ui::Label& Label2;
    ui::Label& Label3;
    ui::Label& Label4;
    ui::Label& Label5;

protected:
    void SetUp() override;

private:
    void Label5Click();
};

}  // namespace setup
