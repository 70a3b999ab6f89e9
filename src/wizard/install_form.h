// TfrmInstall, the quiet install window: one gauge, no choices. It starts the
// installation by itself, opens the program and readme the project names,
// offers the restart when the project asks for it, and closes. It cannot be
// closed while the installation runs; an installation that fails closes it
// and leaves the error for the session to raise.
#pragma once

#include <exception>

#include "package/compile.h"
#include "ui/controls.h"

namespace setup {

class TfrmInstall : public ui::Form {
public:
    TfrmInstall();
    void SetCompile(TCompile* compile);
    // The installation's progress event.
    void CompileProgress(const std::string& fileName, const std::string& hintMsg, int64_t position, int64_t max);
    std::exception_ptr Failure() const { return failure_; }

    ui::Gauge& Gauge1;
    ui::Timer& Timer;

private:
    void TimerTimer();
    void FormCloseQuery(bool& canClose);
    void OpenFile(const std::string& path);

    TCompile* compile_ = nullptr;
    bool done_ = false;
    std::exception_ptr failure_;
};

}  // namespace setup
