// The headless backend: no pixels, only state. Modal loops run on virtual
// time: timers fire in order, and when nothing is due the simulated user acts,
// following user.script where it says something. Every window shown and closed
// is written to the transcript with its visible controls, so tests and
// authors can read what a user would have seen.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/backend.h"

namespace setup::ui {

// One step of user.script (UTF-8, one step a line, "#" starts a comment):
//   close FORM                 the close box of the window FORM (its class name)
//   click FORM CONTROL         presses a button, clicks a label or a check box
//   type FORM CONTROL TEXT     replaces the text of an edit (TEXT: the rest of the line)
//   tick FORM CONTROL          ticks a check box (nothing when it is ticked)
//   untick FORM CONTROL        unticks a check box
//   wait MILLISECONDS          the user does nothing for that long
// A control inside a page is named PAGECLASS.CONTROL. A step is taken when
// its form is the top window; a control that does not exist, or that the
// user cannot see or reach when nothing else is going on, fails the run.
// A step that names a page later in a wizard than the one showing has the
// user first press the wizard's Next button, accepting every default, until
// that page shows; it fails when the wizard has no such page (one switched
// off), is already past it, stays where it is on Next, or ends.
struct UserStep {
    std::string Action;
    std::string Form;
    std::string Control;
    std::string Text;
    int64_t Milliseconds = 0;
    int Line = 0;
};

// The steps of a user script (UTF-8 text, one action a line, "#" starts a
// comment); scriptPath names the script in errors. Raises a Format error
// naming the file and line for a line that is no action.
std::vector<UserStep> ParseUserScript(const std::string& text, const std::string& scriptPath);

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
    void Snapshot(Form& form, const std::string& note) override;
    void SetScreenCursor(Cursor cursor) override;

    int64_t Now() const { return now_; }

private:
    // The user's next action; busy: called from inside long work, where a
    // step whose control is not showing yet waits instead of failing.
    bool UserActs(bool busy);
    // Where a step stands that may name a control of a wizard's page: its
    // page shows (or the form is no wizard), the user pressed Next on the way
    // to it, or the step waits because work is going on. Fails the run when
    // the page can no longer show.
    enum class Approach { Reached, Pressed, Waiting };
    Approach ApproachPage(Form& form, const UserStep& step, bool busy);
    // Fails the run when the form closes while the user was on the way to a
    // page of it.
    void CheckNoPageAhead(Form& form);
    bool Perform(Form& form, const UserStep& step, bool busy);
    bool Press(Form& form, const std::string& name);
    [[noreturn]] void ScriptFails(const UserStep& step, const std::string& what);
    void Log(const std::string& utf8);
    Timer* NextTimer();
    void Arm(Timer& timer);
    void DescribeTree(Control& control, int depth);

    std::string transcriptPath_;
    std::string scriptPath_;
    int64_t waitUntil_ = -1;
    std::vector<UserStep> script_;
    size_t nextStep_ = 0;
    // The step the user last pressed Next for, and the page it was pressed on.
    size_t approachStep_ = SIZE_MAX;
    const Page* pressedOn_ = nullptr;
    std::vector<Form*> open_;
    std::map<Timer*, int64_t> due_;
    int64_t now_ = 0;
    int64_t sequence_ = 0;
    std::map<Timer*, int64_t> armedAt_;  // for a stable order among equal due times
    std::map<Form*, bool> defaultPressed_;
    std::set<Form*> announced_;
    std::map<Form*, std::string> shownAs_;       // what a form showed as it appeared
    std::map<Form*, int64_t> defaultPressedAt_;  // snapshot count at the last repeated default press
    int64_t snapshots_ = 0;                      // forms whose showing is in the transcript
};

}  // namespace setup::ui
