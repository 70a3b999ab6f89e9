// Forms and what belongs to them as a whole: the pages they host, their
// timers, and the modal loop the backend runs for them.
#include "ui/backend.h"
#include "ui/controls.h"

namespace setup::ui {

Page::Page(Control* host, std::string className) : Control(host, className), className_(std::move(className)) {
    SetVisible(false);
}

std::string Timer::Describe() const {
    return Name() + " Timer " + std::to_string(interval_) + " ms" + (active_ ? "" : " stopped");
}

void Timer::SetInterval(int ms) {
    interval_ = ms;
    Changed();
}

void Timer::SetActive(bool active) {
    if (active_ == active) return;
    active_ = active;
    Changed();
}

void Timer::Fire() {
    if (active_ && OnTimer) OnTimer();
}

Form::Form(std::string className) : Control(nullptr, className), className_(std::move(className)) {}

Form::~Form() = default;

int Form::ShowModal() {
    modalResult_ = mrNone;
    closeRequested_ = false;
    if (Backend* backend = ActiveBackend()) backend->RunModal(*this);
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    return modalResult_;
}

void Form::Close() {
    closeRequested_ = true;
    if (Backend* backend = ActiveBackend()) backend->Wake(*this);
}

void Form::SetModalResult(int result) {
    modalResult_ = result;
    if (result != mrNone) Close();
}

void Form::Snapshot(const std::string& note) {
    if (Backend* backend = ActiveBackend(); backend && showing_) backend->Snapshot(*this, note);
}

bool Form::QueryClose() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(canClose);
    if (!canClose) modalResult_ = mrNone;
    return canClose;
}

std::vector<Timer*> Form::Timers() {
    std::vector<Timer*> timers;
    std::vector<Control*> pending = {this};
    while (!pending.empty()) {
        Control* c = pending.front();
        pending.erase(pending.begin());
        if (auto* t = dynamic_cast<Timer*>(c)) timers.push_back(t);
        pending.insert(pending.end(), c->Children().begin(), c->Children().end());
    }
    return timers;
}

}  // namespace setup::ui
