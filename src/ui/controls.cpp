#include "ui/controls.h"

#include <cstdio>

#include "ui/backend.h"

namespace setup::ui {

namespace {
Backend* activeBackend = nullptr;
std::string& TitleText() {
    static std::string title;
    return title;
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }
}  // namespace

void SetBackend(Backend* backend) { activeBackend = backend; }
Backend* ActiveBackend() { return activeBackend; }

void Application::SetTitle(const std::string& title) { TitleText() = title; }
const std::string& Application::Title() { return TitleText(); }
void Application::ProcessMessages() {
    if (activeBackend) activeBackend->ProcessMessages();
}

Control::Control(Control* parent, std::string name) : name_(std::move(name)), parent_(parent) {
    if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
    if (activeBackend && peer) activeBackend->Forget(*this);
    // Children go first, while this control still exists for their peers.
    while (!owned_.empty()) owned_.pop_back();
}

Form* Control::OwnerForm() {
    Control* c = this;
    while (c->parent_) c = c->parent_;
    return dynamic_cast<Form*>(c);
}

void Control::Changed() {
    if (activeBackend) activeBackend->Update(*this);
}

void Control::SetBounds(int left, int top, int width, int height) {
    bounds_ = Rect{left, top, width, height};
    Changed();
}

void Control::SetCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    Changed();
}

void Control::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    Changed();
}

void Control::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Changed();
}

void Control::SetFont(const Font& font) {
    font_ = font;
    Changed();
}

std::string Control::Describe() const {
    char geometry[64];
    std::snprintf(geometry, sizeof geometry, " %d,%d %dx%d", bounds_.left, bounds_.top, bounds_.width,
                  bounds_.height);
    std::string line = name_ + " " + Kind() + geometry;
    if (!caption_.empty()) line += " " + Quote(caption_);
    if (!enabled_) line += " disabled";
    return line;
}

void Button::Click() {
    if (Visible() && Enabled() && OnClick) OnClick();
}

std::string Image::Describe() const {
    return Control::Describe() + (picture_.empty() ? " no picture" : " picture " + Quote(picture_)) +
           (Stretch ? " stretched" : "");
}

void Image::SetPicture(const std::string& path) {
    picture_ = path;
    Changed();
}

std::string ProgressBar::Describe() const {
    return Control::Describe() + " position " + std::to_string(position_) + " of " + std::to_string(min_) + ".." +
           std::to_string(max_);
}

void ProgressBar::SetMax(int max) {
    max_ = max;
    if (position_ > max_) position_ = max_;
    Changed();
}

void ProgressBar::SetPosition(int position) {
    position_ = position < min_ ? min_ : position > max_ ? max_ : position;
    Changed();
}

std::string Gauge::Describe() const {
    return Control::Describe() + " progress " + std::to_string(progress_) + " of " + std::to_string(max_) + " \"" +
           std::to_string(PercentDone()) + "%\"";
}

void Gauge::SetMaxValue(int max) {
    max_ = max;
    Changed();
}

void Gauge::SetProgress(int progress) {
    progress_ = progress;
    Changed();
}

int Gauge::PercentDone() const {
    if (max_ == 0) return 0;
    return static_cast<int>(static_cast<int64_t>(progress_) * 100 / max_);
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
    if (activeBackend) activeBackend->RunModal(*this);
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    return modalResult_;
}

void Form::Close() {
    closeRequested_ = true;
    if (activeBackend) activeBackend->Wake(*this);
}

void Form::SetModalResult(int result) {
    modalResult_ = result;
    if (result != mrNone) Close();
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
