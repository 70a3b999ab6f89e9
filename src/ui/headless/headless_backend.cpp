#include "ui/headless/headless_backend.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace setup::ui {

namespace {
// A window that is still open after this much virtual time with nothing for
// the user to do would stay open for ever.
constexpr int64_t kGiveUpAfterMs = 3600 * 1000;

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

HeadlessBackend::HeadlessBackend(std::string transcriptPath, const std::string& scriptPath)
    : transcriptPath_(std::move(transcriptPath)) {
    if (!HostFileExists(scriptPath)) return;
    std::string text = ReadHostFile(scriptPath);
    int lineNumber = 0;
    for (const std::string& raw : SplitOn(text, '\n')) {
        ++lineNumber;
        std::string line(TrimBlanks(raw));
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> words;
        for (const std::string& w : SplitOn(line, ' ')) {
            if (!w.empty()) words.push_back(w);
        }
        UserStep step;
        step.line = lineNumber;
        step.action = words[0];
        bool ok = (step.action == "close" && words.size() == 2) || (step.action == "click" && words.size() == 3);
        if (!ok) {
            ThrowFormatError(scriptPath + ", line " + std::to_string(lineNumber) +
                             ": expected \"close FORM\" or \"click FORM CONTROL\"");
        }
        step.form = Utf8ToGbk(words[1]);
        if (words.size() == 3) step.control = Utf8ToGbk(words[2]);
        script_.push_back(step);
    }
}

void HeadlessBackend::DescribeTree(Control& control, int depth) {
    for (Control* child : control.Children()) {
        if (!child->Visible() && !dynamic_cast<Timer*>(child)) continue;
        AppendHostFile(transcriptPath_, std::string(static_cast<size_t>(depth) * 2, ' ') + GbkToUtf8(child->Describe()) + "\n");
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
    std::vector<Control*> pending = {&form};
    while (!pending.empty()) {
        Control* c = pending.back();
        pending.pop_back();
        if (auto* button = dynamic_cast<Button*>(c); button && button->Name() == name) {
            AppendHostFile(transcriptPath_, "  (the user presses " + GbkToUtf8(button->Caption()) +
                                                (button->Enabled() ? "" : ", which is disabled") + ")\n");
            button->Click();
            return true;
        }
        pending.insert(pending.end(), c->Children().begin(), c->Children().end());
    }
    return false;
}

bool HeadlessBackend::UserActs() {
    if (open_.empty()) return false;
    Form* top = open_.back();
    if (nextStep_ < script_.size()) {
        const UserStep& step = script_[nextStep_];
        if (EqualsNoCase(top->ClassName(), step.form)) {
            ++nextStep_;
            if (step.action == "close") {
                AppendHostFile(transcriptPath_, "  (the user closes " + GbkToUtf8(step.form) + ")\n");
                if (top->CloseBox) top->Close();
                return true;
            }
            if (!Press(*top, step.control)) {
                ThrowFormatError("user.script, line " + std::to_string(step.line) + ": " + step.form +
                                 " has no button " + step.control);
            }
            return true;
        }
    }
    // Told nothing, the user presses the window's default button once.
    if (!top->DefaultButton.empty() && !defaultPressed_[top]) {
        defaultPressed_[top] = true;
        return Press(*top, top->DefaultButton);
    }
    return false;
}

void HeadlessBackend::RunModal(Form& form) {
    form.SetShowing(true);
    open_.push_back(&form);
    for (Timer* timer : form.Timers()) {
        if (timer->Active()) Arm(*timer);
    }

    defaultPressed_[&form] = false;
    auto finish = [&] {
        defaultPressed_.erase(&form);
        for (Timer* timer : form.Timers()) due_.erase(timer);
        form.SetShowing(false);
        open_.pop_back();
    };
    try {
        // What the user sees: the window as its OnShow left it.
        if (form.OnShow) form.OnShow();
        const Rect& b = form.Bounds();
        char header[160];
        std::snprintf(header, sizeof header, "[%lld ms] show %s %dx%d %s\n", static_cast<long long>(now_),
                      form.ClassName().c_str(), b.width, b.height, PositionName(form.Position));
        AppendHostFile(transcriptPath_, header + std::string("  caption \"") + GbkToUtf8(form.Caption()) + "\"\n");
        DescribeTree(form, 1);
        int64_t shownAt = now_;
        for (;;) {
            if (form.CloseRequested()) {
                if (form.QueryClose()) break;
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
            if (UserActs()) continue;
            if (!timer) {
                ThrowOsError("The window " + form.ClassName() + " waits for input that never comes");
            }
            now_ = due_[timer];
            if (now_ - shownAt > kGiveUpAfterMs) {
                ThrowOsError("The window " + form.ClassName() + " stayed open for an hour with nothing to do");
            }
        }
    } catch (...) {
        AppendHostFile(transcriptPath_, "[" + std::to_string(now_) + " ms] " + GbkToUtf8(form.ClassName()) +
                                            " ends with an error\n");
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
    if (!open_.empty() && UserActs()) {
        Form* top = open_.back();
        if (top->CloseRequested()) {
            if (top->QueryClose()) return;  // the modal loop ends when control returns to it
            top->ClearCloseRequest();
            AppendHostFile(transcriptPath_, "  (" + GbkToUtf8(top->ClassName()) + " refuses to close)\n");
        }
    }
}

}  // namespace setup::ui
