// The window toolkit: forms and controls that hold their own state (bounds,
// caption, visibility, font, values) and events, in the style of a classic
// component library. The control semantics live here, the same on every
// backend; a backend (headless or Win32) mirrors the state and feeds user
// input back in. Controls belong to their form, which frees them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace setup::ui {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct Font {
    std::string name = "宋体";
    int height = 12;   // pixels
    int charset = 134; // GB2312
};

class Form;

class Control {
public:
    Control(Control* parent, std::string name);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return name_; }
    Control* Parent() const { return parent_; }
    Form* OwnerForm();
    const std::vector<Control*>& Children() const { return children_; }
    virtual const char* Kind() const = 0;

    const Rect& Bounds() const { return bounds_; }
    void SetBounds(int left, int top, int width, int height);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    const Font& GetFont() const { return font_; }
    void SetFont(const Font& font);

    // One line of the control's state for transcripts (GBK): kind-specific
    // values after the common ones.
    virtual std::string Describe() const;

    // Lets the backend keep its own mirror of this control.
    void* peer = nullptr;

protected:
    void Changed();

private:
    std::string name_;
    Control* parent_;
    std::vector<Control*> children_;
    std::vector<std::unique_ptr<Control>> owned_;
    Rect bounds_;
    std::string caption_;
    bool visible_ = true;
    bool enabled_ = true;
    Font font_;

    friend class Form;
    template <typename T, typename... Args>
    friend T& Make(Control& parent, Args&&... args);
};

// Creates a control owned by its parent.
template <typename T, typename... Args>
T& Make(Control& parent, Args&&... args) {
    auto control = std::make_unique<T>(&parent, std::forward<Args>(args)...);
    T& ref = *control;
    parent.owned_.push_back(std::move(control));
    return ref;
}

class Label : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Label"; }
    bool WordWrap = false;
    bool Transparent = false;
};

class Button : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Button"; }
    std::function<void()> OnClick;
    // Presses the button as a user would: nothing happens when it is hidden or disabled.
    void Click();
};

class Panel : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Panel"; }
};

class Bevel : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Bevel"; }
};

class Image : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Image"; }
    std::string Describe() const override;
    void SetPicture(const std::string& path);  // a file on the machine; empty: none
    const std::string& Picture() const { return picture_; }
    bool Stretch = false;

private:
    std::string picture_;
};

class ProgressBar : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "ProgressBar"; }
    std::string Describe() const override;
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMax(int max);
    void SetPosition(int position);

private:
    int min_ = 0, max_ = 100, position_ = 0;
};

// A bar that draws its percentage (progress * 100 / max, truncated) in the middle.
class Gauge : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Gauge"; }
    std::string Describe() const override;
    int MaxValue() const { return max_; }
    int Progress() const { return progress_; }
    void SetMaxValue(int max);
    void SetProgress(int progress);
    int PercentDone() const;
    uint32_t ForeColor = 0xC08000;  // as 0x00BBGGRR: RGB 0, 128, 192
    uint32_t BackColor = 0xFFFFFF;

private:
    int max_ = 100, progress_ = 0;
};

class Timer : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Timer"; }
    std::string Describe() const override;
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Active() const { return active_; }
    void SetActive(bool active);
    std::function<void()> OnTimer;
    void Fire();

private:
    int interval_ = 1000;
    bool active_ = true;
};

enum class BorderStyle { Dialog, Sizeable, None };
enum class FormPosition { Designed, ScreenCenter, WorkArea };

enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

class Form : public Control {
public:
    explicit Form(std::string className);
    ~Form() override;
    const char* Kind() const override { return "Form"; }
    const std::string& ClassName() const { return className_; }

    BorderStyle Border = BorderStyle::Dialog;
    FormPosition Position = FormPosition::ScreenCenter;
    bool CloseBox = true;
    uint32_t Color = 0x80000000 | 15;  // the system's button face

    // Runs the modal loop until the form closes; returns the modal result.
    int ShowModal();
    // Asks the form to close; OnCloseQuery may refuse.
    void Close();
    // Ends the modal loop with the result, when OnCloseQuery allows it.
    void SetModalResult(int result);
    int GetModalResult() const { return modalResult_; }
    bool IsShowing() const { return showing_; }

    // The button a user who is told nothing presses (the simulated user of the
    // headless backend presses it once per showing); empty: none.
    std::string DefaultButton;

    std::function<void()> OnShow;
    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void()> OnPaint;

    // The backend's side of the modal loop: whether a close request may end it.
    bool CloseRequested() const { return closeRequested_; }
    bool QueryClose();
    void ClearCloseRequest() { closeRequested_ = false; }
    void SetShowing(bool showing) { showing_ = showing; }

    // Every timer of the form, in creation order.
    std::vector<Timer*> Timers();

private:
    std::string className_;
    int modalResult_ = mrNone;
    bool closeRequested_ = false;
    bool showing_ = false;
};

}  // namespace setup::ui
