// TfrmBeginIns, the progress page: runs the installation when the frame asks
// and shows every progress report (file name, bar, percentage and, when the
// project asks for details, a log line), letting window messages through at
// each report so the wizard stays painted on the one interface thread.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

class TfrmBeginIns : public TPage {
public:
    explicit TfrmBeginIns(ui::Control& host);
    // Runs the whole installation; returns when it has ended. Errors of the
    // installation reach the caller.
    void RunInstall();
    void CompileProgress(const std::string& fileName, const std::string& hintMsg, int64_t position, int64_t max);

    TitleBand Band;
    ui::Label& Label30;
    ui::Label& Label31;
    ui::ProgressBar& ProgressBar1;
    ui::Memo& mInstall;

protected:
    void SetUp() override;
};

// The percentage text of a report: "100%" at the end, otherwise
// position / max * 100 rounded to the nearest whole number, a half to the
// even neighbour.
std::string PercentText(int64_t position, int64_t max);

}  // namespace setup
