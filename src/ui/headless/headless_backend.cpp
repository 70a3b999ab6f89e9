#include "ui/headless/headless_backend.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace setup::ui {

namespace {
// A window that is still open after this much virtual time with nothing for
// the user to do would stay open for ever.
constexpr int64_t kGiveUpAfterMs = int64_t{3600} * 1000;

const char* PositionName(FormPosition p) {
    switch (p) {
        case FormPosition::Designed:
            return "at its designed place";
        case FormPosition::ScreenCenter:
            return "centred";
        case FormPosition::WorkArea:
            return "filling the work area";
    }
    return "";
}
}  // namespace

std::vector<UserStep> ParseUserScript(const std::string& text, const std::string& scriptPath) {
    std::vector<UserStep> script;
    int lineNumber = 0;
    for (const std::string& raw : SplitOn(text, '\n')) {
        ++lineNumber;
        std::string line(TrimBlanks(raw));
        if (line.empty() || line[0] == '#') continue;
        // The first words are the action, the form and the control; "type"
        // takes the rest of the line as its text, blanks included.
        std::vector<std::string> words;
        size_t pos = 0;
        std::string rest;
        while (pos < line.size()) {
            while (pos < line.size() && line[pos] == ' ') ++pos;
            if (pos >= line.size()) break;
            if (words.size() == 3 &&
                (words[0] == "type" || words[0] == "tick" || words[0] == "untick" || words[0] == "pick")) {
                rest = line.substr(pos);
                break;
            }
            size_t end = line.find(' ', pos);
            if (end == std::string::npos) end = line.size();
            words.push_back(line.substr(pos, end - pos));
            pos = end;
        }
        UserStep step;
        step.Line = lineNumber;
        step.Action = words[0];
        const std::string& a = step.Action;
        bool ok =
            (a == "close" && words.size() == 2) ||
            ((a == "click" || a == "tick" || a == "untick" || a == "type" || a == "press") && words.size() == 3) ||
            (a == "pick" && words.size() == 3 && !rest.empty()) || (a == "wait" && words.size() == 2);
        if (ok && a == "press") ok = words[2] == "Enter" || words[2] == "Escape";
        if (ok && a == "wait") {
            ok = words[1].find_first_not_of("0123456789") == std::string::npos && words[1].size() <= 9;
            if (ok) step.Milliseconds = std::stoll(words[1]);
        }
        if (!ok) {
            ThrowFormatError(scriptPath + ", line " + std::to_string(lineNumber) +
                             ": expected \"close FORM\", \"click FORM CONTROL\", \"type FORM CONTROL TEXT\", "
                             "\"tick FORM CONTROL [ROW]\", \"untick FORM CONTROL [ROW]\", \"pick FORM CONTROL PATH\", "
                             "\"press FORM Enter|Escape\" or \"wait MILLISECONDS\"");
        }
        if (a != "wait") step.Form = Utf8ToGbk(words[1]);
        if (words.size() == 3) step.Control = Utf8ToGbk(words[2]);
        step.Text = Utf8ToGbk(rest);
        script.push_back(step);
    }
    return script;
}

HeadlessBackend::HeadlessBackend(std::string transcriptPath, const std::string& scriptPath)
    : transcriptPath_(std::move(transcriptPath)), scriptPath_(scriptPath) {
    if (!HostFileExists(scriptPath)) return;
    script_ = ParseUserScript(ReadHostFile(scriptPath), scriptPath);
}

void HeadlessBackend::Log(const std::string& utf8) { AppendHostFile(transcriptPath_, utf8); }

namespace {

// The control a script names: "NAME" outside every page, or
// "PAGECLASS.NAME" inside the page of that class.
Control* FindControl(Control& root, const std::string& name, bool insidePage) {
    for (Control* child : root.Children()) {
        if (auto* page = dynamic_cast<Page*>(child)) {
            size_t dot = name.find('.');
            if (!insidePage && dot != std::string::npos && page->ClassName() == name.substr(0, dot)) {
                if (Control* found = FindControl(*page, name.substr(dot + 1), true)) return found;
            }
            continue;
        }
        if (child->Name() == name) return child;
        if (Control* found = FindControl(*child, name, insidePage)) return found;
    }
    return nullptr;
}

}  // namespace

void HeadlessBackend::ScriptFails(const UserStep& step, const std::string& what) {
    ThrowFormatError(scriptPath_ + ", line " + std::to_string(step.Line) + ": " + what);
}

void HeadlessBackend::DescribeTree(Control& control, int depth) {
    for (Control* child : control.Children()) {
        // What a user sees: showing controls; timers are listed with their
        // state, media players never.
        if (dynamic_cast<MediaPlayer*>(child)) continue;
        if (!dynamic_cast<Timer*>(child) && !child->ShowingToUser()) continue;
        Log(std::string(static_cast<size_t>(depth) * 2, ' ') + GbkToUtf8(child->Describe()) + "\n");
        DescribeTree(*child, depth + 1);
    }
}

void HeadlessBackend::Arm(Timer& timer) {
    due_[&timer] = now_ + timer.Interval();
    armedAt_[&timer] = sequence_++;
}

void HeadlessBackend::Update(Control& control) {
    auto* timer = dynamic_cast<Timer*>(&control);
    if (!timer) return;
    Form* form = timer->OwnerForm();
    bool running = timer->Active() && form && form->IsShowing();
    if (!running) {
        due_.erase(timer);
    } else {
        // Changing the interval or switching the timer on starts it anew.
        Arm(*timer);
    }
}

void HeadlessBackend::Forget(Control& control) {
    if (auto* timer = dynamic_cast<Timer*>(&control)) {
        due_.erase(timer);
        armedAt_.erase(timer);
    }
}

Timer* HeadlessBackend::NextTimer() {
    Timer* next = nullptr;
    for (const auto& [timer, due] : due_) {
        if (!next || due < due_[next] || (due == due_[next] && armedAt_[timer] < armedAt_[next])) next = timer;
    }
    return next;
}

bool HeadlessBackend::Press(Form& form, const std::string& name) {
    auto* button = dynamic_cast<Button*>(FindControl(form, name, false));
    if (!button || !button->ShowingToUser()) return false;
    Log("  (the user presses " + GbkToUtf8(button->Caption()) + (button->Enabled() ? "" : ", which is disabled") +
        ")\n");
    button->Click();
    return true;
}

HeadlessBackend::Approach HeadlessBackend::ApproachPage(Form& form, const UserStep& step, bool busy) {
    size_t dot = step.Control.find('.');
    std::vector<const Page*> pages = form.PagesInOrder();
    if (dot == std::string::npos || pages.empty()) return Approach::Reached;
    std::string pageClass = step.Control.substr(0, dot);
    size_t target = pages.size(), current = pages.size();
    for (size_t i = 0; i < pages.size(); ++i) {
        if (pages[i]->ClassName() == pageClass) target = i;
        if (pages[i]->ShowingToUser()) current = i;
    }
    if (target == pages.size()) {
        ScriptFails(step, step.Form + " has no page " + pageClass + " (switched off or no such page), so " +
                              step.Control + " never shows");
    }
    // With no page showing the step is tried as it stands.
    if (current == pages.size() || target == current) return Approach::Reached;
    const std::string& shown = pages[current]->ClassName();
    if (target < current) {
        ScriptFails(step, step.Form + " is past the page " + pageClass + " (it shows " + shown + "), so " +
                              step.Control + " no longer shows");
    }
    // Long work runs (the installation): the wizard goes on by itself.
    if (busy) return Approach::Waiting;
    if (approachStep_ == nextStep_ && pressedOn_ == pages[current]) {
        ScriptFails(step, step.Form + " stays on the page " + shown + " when " + form.NextButton + " is pressed, so " +
                              step.Control + " never shows");
    }
    auto* next = form.NextButton.empty() ? nullptr : dynamic_cast<Button*>(FindControl(form, form.NextButton, false));
    if (!next || !next->ShowingToUser() || !next->TakesInput()) {
        std::string button =
            form.NextButton.empty() ? std::string("it has no Next button") : form.NextButton + " is hidden or disabled";
        ScriptFails(step, step.Form + " cannot go on from the page " + shown + " to " + pageClass + ": " + button);
    }
    approachStep_ = nextStep_;
    pressedOn_ = pages[current];
    Log("  (the user presses " + GbkToUtf8(next->Caption()) + " on the way to " + GbkToUtf8(pageClass) + ")\n");
    next->Click();
    return Approach::Pressed;
}

void HeadlessBackend::CheckNoPageAhead(Form& form) {
    if (approachStep_ != nextStep_ || nextStep_ >= script_.size()) return;
    const UserStep& step = script_[nextStep_];
    if (!EqualsNoCase(form.ClassName(), step.Form)) return;
    ScriptFails(step, step.Form + " ended before " + step.Control + " could be reached");
}

bool HeadlessBackend::Perform(Form& form, const UserStep& step, bool busy) {
    if (step.Action == "close") {
        Log("  (the user closes " + GbkToUtf8(step.Form) + ")\n");
        if (form.CloseBox) form.Close();
        return true;
    }
    if (step.Action == "press") {
        Log("  (the user presses " + step.Control + ")\n");
        if (form.KeyPreview && form.OnKeyDown) {
            form.OnKeyDown(step.Control == "Enter" ? Form::Key::Enter : Form::Key::Escape);
        }
        return true;
    }
    Control* control = FindControl(form, step.Control, false);
    if (!control) ScriptFails(step, step.Form + " has no control " + step.Control);
    if (!control->ShowingToUser()) {
        if (busy) return false;
        ScriptFails(step, step.Control + " of " + step.Form + " is not showing");
    }
    std::string name = GbkToUtf8(step.Control);
    if (step.Action == "click") {
        if (auto* button = dynamic_cast<Button*>(control)) {
            Log("  (the user presses " + GbkToUtf8(button->Caption()) +
                (button->Enabled() ? "" : ", which is disabled") + ")\n");
            button->Click();
        } else if (auto* label = dynamic_cast<Label*>(control)) {
            Log("  (the user clicks " + name + ")\n");
            label->Click();
        } else if (auto* box = dynamic_cast<CheckBox*>(control)) {
            Log("  (the user clicks " + name + ")\n");
            box->Toggle();
        } else {
            ScriptFails(step, step.Control + " of " + step.Form + " cannot be clicked");
        }
        return true;
    }
    if (!control->TakesInput()) {
        if (busy) return false;
        ScriptFails(step, step.Control + " of " + step.Form + " is disabled");
    }
    if (step.Action == "pick") {
        auto* tree = dynamic_cast<ShellTreeView*>(control);
        if (!tree) ScriptFails(step, step.Control + " of " + step.Form + " is not a folder tree");
        ShellTreeView::Node* node = tree->Find(step.Text);
        if (!node) ScriptFails(step, step.Control + " of " + step.Form + " has no folder " + step.Text);
        Log("  (the user picks " + GbkToUtf8(step.Text) + " in " + name + ")\n");
        tree->Select(node);
        return true;
    }
    if (auto* list = dynamic_cast<CheckListBox*>(control); list && step.Action != "type") {
        int row = list->IndexOf(step.Text);
        if (row < 0) ScriptFails(step, step.Control + " of " + step.Form + " has no row " + step.Text);
        bool tick = step.Action == "tick";
        Log("  (the user " + step.Action + "s " + GbkToUtf8(step.Text) + " in " + name + ")\n");
        if (list->Checked(row) != tick) list->ToggleByUser(row);
        return true;
    }
    if (step.Action == "type") {
        auto* edit = dynamic_cast<Edit*>(control);
        if (!edit) ScriptFails(step, step.Control + " of " + step.Form + " is not an edit");
        if (edit->ReadOnly()) ScriptFails(step, step.Control + " of " + step.Form + " is read-only");
        Log("  (the user types \"" + GbkToUtf8(step.Text) + "\" into " + name + ")\n");
        edit->SetText(step.Text);
        return true;
    }
    auto* box = dynamic_cast<CheckBox*>(control);
    if (!box) ScriptFails(step, step.Control + " of " + step.Form + " is not a check box");
    bool tick = step.Action == "tick";
    Log("  (the user " + step.Action + "s " + name + ")\n");
    if (box->Checked() != tick) box->Toggle();
    return true;
}

bool HeadlessBackend::UserActs(bool busy) {
    if (open_.empty()) return false;
    Form* top = open_.back();
    if (waitUntil_ >= 0) {
        if (now_ < waitUntil_) return false;
        waitUntil_ = -1;
    }
    // A window that is disabled while work runs takes no input: the user waits.
    if (busy && !top->Enabled()) return false;
    if (nextStep_ < script_.size()) {
        const UserStep& step = script_[nextStep_];
        if (step.Action == "wait") {
            ++nextStep_;
            Log("  (the user waits " + std::to_string(step.Milliseconds) + " ms)\n");
            waitUntil_ = now_ + step.Milliseconds;
            return true;
        }
        if (EqualsNoCase(top->ClassName(), step.Form)) {
            switch (ApproachPage(*top, step, busy)) {
                case Approach::Reached:
                    break;
                case Approach::Pressed:
                    return true;
                case Approach::Waiting:
                    return false;
            }
            // The step is taken before it acts: an action that opens a window
            // or runs long work lets the user go on with the next steps there.
            ++nextStep_;
            if (!Perform(*top, step, busy)) {
                --nextStep_;
                return false;
            }
            return true;
        }
    }
    // Told nothing, the user presses the window's default button: once, or
    // whenever it can be pressed.
    if (top->DefaultButton.empty()) return false;
    if (top->RepeatDefault) {
        // Once more only after the form showed something new: a press that
        // changed nothing (a question answered No) is not repeated for ever.
        auto* button = dynamic_cast<Button*>(FindControl(*top, top->DefaultButton, false));
        if (!button || !button->ShowingToUser() || !button->TakesInput()) return false;
        auto pressed = defaultPressedAt_.find(top);
        if (pressed != defaultPressedAt_.end() && pressed->second == snapshots_) return false;
        defaultPressedAt_[top] = snapshots_;
        return Press(*top, top->DefaultButton);
    }
    if (!defaultPressed_[top]) {
        defaultPressed_[top] = true;
        return Press(*top, top->DefaultButton);
    }
    return false;
}

void HeadlessBackend::Snapshot(Form& form, const std::string& note) {
    // While the form is being shown its whole state is written once it appears.
    ++snapshots_;
    if (!announced_.count(&form)) {
        shownAs_[&form] = note;
        return;
    }
    Log("[" + std::to_string(now_) + " ms] " + GbkToUtf8(form.ClassName()) + ": " + GbkToUtf8(note) + "\n");
    DescribeTree(form, 1);
}

void HeadlessBackend::SetScreenCursor(Cursor cursor) {
    Log(cursor == Cursor::HourGlass ? "  (the pointer becomes an hourglass)\n" : "  (the pointer is an arrow again)\n");
}

void HeadlessBackend::RunModal(Form& form) {
    form.SetShowing(true);
    open_.push_back(&form);
    for (Timer* timer : form.Timers()) {
        if (timer->Active()) Arm(*timer);
    }

    defaultPressed_[&form] = false;
    auto finish = [&] {
        announced_.erase(&form);
        shownAs_.erase(&form);
        defaultPressed_.erase(&form);
        defaultPressedAt_.erase(&form);
        for (Timer* timer : form.Timers()) due_.erase(timer);
        form.SetShowing(false);
        open_.pop_back();
    };
    try {
        // What the user sees: the window as its OnShow left it.
        if (form.OnShow) form.OnShow();
        const Rect& b = form.Bounds();
        char header[160];
        std::snprintf(header, sizeof header, "[%lld ms] show %s %dx%d %s", static_cast<long long>(now_),
                      form.ClassName().c_str(), b.Width, b.Height, PositionName(form.Position));
        auto note = shownAs_.find(&form);
        Log(header + (note == shownAs_.end() ? std::string() : ": " + GbkToUtf8(note->second)) + "\n");
        Log("  caption \"" + GbkToUtf8(form.Caption()) + "\"\n");
        DescribeTree(form, 1);
        announced_.insert(&form);
        int64_t shownAt = now_;
        for (;;) {
            if (form.CloseRequested()) {
                if (form.QueryClose()) {
                    CheckNoPageAhead(form);
                    break;
                }
                form.ClearCloseRequest();
                AppendHostFile(transcriptPath_, "  (" + GbkToUtf8(form.ClassName()) + " refuses to close)\n");
                continue;
            }
            Timer* timer = NextTimer();
            if (timer && due_[timer] <= now_) {
                Arm(*timer);
                timer->Fire();
                continue;
            }
            if (UserActs(false)) continue;
            if (waitUntil_ > now_ && (!timer || due_[timer] > waitUntil_)) {
                now_ = waitUntil_;  // nothing happens while the user waits
                continue;
            }
            if (!timer) {
                ThrowOsError("The window " + form.ClassName() + " waits for input that never comes");
            }
            now_ = due_[timer];
            if (now_ - shownAt > kGiveUpAfterMs) {
                ThrowOsError("The window " + form.ClassName() + " stayed open for an hour with nothing to do");
            }
        }
    } catch (...) {
        Log("[" + std::to_string(now_) + " ms] " + GbkToUtf8(form.ClassName()) + " ends with an error\n");
        finish();
        throw;
    }
    char header[160];
    std::snprintf(header, sizeof header, "[%lld ms] close %s", static_cast<long long>(now_), form.ClassName().c_str());
    AppendHostFile(transcriptPath_, header + (form.GetModalResult() == mrNone
                                                  ? std::string("\n")
                                                  : ", result " + std::to_string(form.GetModalResult()) + "\n"));
    DescribeTree(form, 1);
    finish();
}

void HeadlessBackend::ProcessMessages() {
    // Pending input: the simulated user may act (a close box pressed while
    // work goes on); virtual time does not move inside long work.
    if (!open_.empty() && UserActs(true)) {
        Form* top = open_.back();
        if (top->CloseRequested()) {
            if (top->QueryClose()) return;  // the modal loop ends when control returns to it
            top->ClearCloseRequest();
            AppendHostFile(transcriptPath_, "  (" + GbkToUtf8(top->ClassName()) + " refuses to close)\n");
        }
    }
}

// The transcript describes documents from the views themselves.
void EnableDocumentViews() {}

}  // namespace setup::ui
