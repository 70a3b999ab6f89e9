// TfrmBackIns, the background window: covers the desktop's work area with the
// project's background picture stretched over it and opens the wizard frame
// on top; closing the wizard closes it too.
#pragma once

#include <exception>

#include "package/compile.h"
#include "ui/controls.h"

namespace setup {

class TfrmBackIns : public ui::Form {
public:
    TfrmBackIns();
    // Stores the model and sets the caption.
    void SetCompile(TCompile* compile);
    // Whether the wizard on top ended with a failed installation.
    bool InstallFailed() const { return installFailed_; }
    bool Abandoned() const { return abandoned_; }
    std::exception_ptr Failure() const { return failure_; }

    ui::Image& Picture;  // the background picture, stretched over the client area
    ui::Timer& Timer;

private:
    void FormShow();
    void LoadBackPicture();
    void TimerTimer();

    TCompile* compile_ = nullptr;
    bool installFailed_ = false;
    bool abandoned_ = false;
    std::exception_ptr failure_;
};

}  // namespace setup
