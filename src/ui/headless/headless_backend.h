// The headless backend: no pixels, only state. Modal loops run on virtual
// time: timers fire in order, and when nothing is due the simulated user acts,
// following user.script where it says something. Every window shown and closed
// is written to the transcript with its visible controls, so tests and
// authors can read what a user would have seen.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/backend.h"

namespace setup::ui {

// One step of user.script (UTF-8, one step a line, "#" starts a comment):
//   close FORM            the close box of the window FORM (its class name)
//   click FORM CONTROL    presses the button CONTROL of FORM
struct UserStep {
    std::string action;
    std::string form;
    std::string control;
    int line = 0;
};

class HeadlessBackend : public Backend {
public:
    // transcriptPath and scriptPath are host files (UTF-8 paths); a missing
    // script is an empty one. A malformed script raises a Format error.
    HeadlessBackend(std::string transcriptPath, const std::string& scriptPath);

    void RunModal(Form& form) override;
    void ProcessMessages() override;
    void Update(Control& control) override;
    void Forget(Control& control) override;
    void Wake(Form&) override {}

    int64_t Now() const { return now_; }

private:
    bool UserActs();
    bool Press(Form& form, const std::string& name);
    Timer* NextTimer();
    void Arm(Timer& timer);
    void DescribeTree(Control& control, int depth);

    std::string transcriptPath_;
    std::vector<UserStep> script_;
    size_t nextStep_ = 0;
    std::vector<Form*> open_;
    std::map<Timer*, int64_t> due_;
    int64_t now_ = 0;
    int64_t sequence_ = 0;
    std::map<Timer*, int64_t> armedAt_;  // for a stable order among equal due times
    std::map<Form*, bool> defaultPressed_;
};

}  // namespace setup::ui
