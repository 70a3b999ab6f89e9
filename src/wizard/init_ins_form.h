// TfrmInitIns, the loading window: extracts the setup resources into the
// temporary folder under a progress bar before anything else is shown. It
// cannot be closed until the extraction is done; an extraction that fails
// closes it and leaves the error for the session to raise.
#pragma once

#include <exception>

#include "package/compile.h"
#include "ui/controls.h"

namespace setup {

class TfrmInitIns : public ui::Form {
public:
    TfrmInitIns();
    void SetCompile(TCompile* compile) { compile_ = compile; }
    // The progress handler of the extraction: (position, maximum).
    void ShowProgress(int position, int maximum);
    // The error that ended the extraction, if any.
    std::exception_ptr Failure() const { return failure_; }

    ui::Label& Label1;
    ui::ProgressBar& pRelease;
    ui::Timer& Timer1;

private:
    void Timer1Timer();
    void FormCloseQuery(bool& canClose);

    TCompile* compile_ = nullptr;
    bool done_ = false;
    std::exception_ptr failure_;
};

}  // namespace setup
