// The Win32 backend of the window toolkit: each control has an HWND peer
// (static, button, progress bar, an owner-drawn gauge), fonts are "宋体" 12 px
// with the GB2312 character set, modal loops are real message loops, and
// native input (clicks, the close box, timers) comes back as the same events
// the portable layer defines.
#pragma once

#include "ui/backend.h"

namespace setup::ui {

class Win32Backend : public Backend {
public:
    Win32Backend();
    ~Win32Backend() override;
    void RunModal(Form& form) override;
    void ProcessMessages() override;
    void Update(Control& control) override;
    void Forget(Control& control) override;
    void Wake(Form& form) override;
    void Reorder(Control& control) override;
    void Snapshot(Form& form, const std::string& note) override;
    void SetScreenCursor(Cursor cursor) override;

private:
    // Serves the messages waiting now, as ProcessMessages does once.
    void PumpMessages();
};

}  // namespace setup::ui
