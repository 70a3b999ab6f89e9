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

struct Picture;
struct Document;

struct Rect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

// Colours are 0x00BBGGRR; a value with the top bit set names a system colour
// by its index (kClBtnFace is the button face).
constexpr uint32_t kClBlack = 0x000000;
constexpr uint32_t kClWhite = 0xFFFFFF;
constexpr uint32_t kClBlue = 0xFF0000;
constexpr uint32_t kClBtnFace = 0x80000000 | 15;

struct Font {
    std::string Name = "宋体";
    int Height = 12;    // pixels
    int Charset = 134;  // GB2312
    bool Bold = false;
    bool Underline = false;
    uint32_t Color = kClBlack;
};

// How a control takes its place in its parent: at its bounds, across the top
// edge at its own height, or filling the parent.
enum class Align { None, Top, Client };

enum class Cursor { Default, Hand, HourGlass };

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
    // Whether the control takes input: it and every control around it are
    // enabled (a disabled window disables what it holds).
    bool TakesInput() const;
    const Font& GetFont() const { return font_; }
    void SetFont(const Font& font);
    Align Alignment() const { return align_; }
    // Aligning takes the parent's size now and whenever the parent is resized.
    void SetAlign(Align align);
    Cursor GetCursor() const { return cursor_; }
    void SetCursor(Cursor cursor);
    // Background colour of forms, pages and panels.
    uint32_t Color() const { return color_; }
    void SetColor(uint32_t color);
    // Moves the control above its siblings (last in Children()).
    void BringToFront();
    // Whether a user can see the control: it and every control around it are
    // visible, and no page lies in front of the page that holds it.
    bool ShowingToUser() const;

    // Edges of the parent the control keeps its distance to when the parent
    // is resized (left and top always, unless AnchorTop is cleared).
    bool AnchorTop = true;
    bool AnchorRight = false;
    bool AnchorBottom = false;

    // Text a control carries without showing it (the frame's link keeps the
    // author's address here).
    std::string Hint;
    // Order of the control among its siblings for the Tab key; -1: creation order.
    int TabOrder = -1;
    std::function<void()> OnClick;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;
    // The mouse entered or left the control (the backends call these).
    void MouseEnter();
    void MouseLeave();

    // One line of the control's state for transcripts (GBK): kind-specific
    // values after the common ones.
    virtual std::string Describe() const;

    // Lets the backend keep its own mirror of this control.
    void* Peer = nullptr;

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
    Align align_ = Align::None;
    Cursor cursor_ = Cursor::Default;
    uint32_t color_ = kClBtnFace;

    void Realign();
    void ParentResized(int dw, int dh);

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
    // Clicked as a user would: only when the user can see it.
    void Click();
};

class Button : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Button"; }
    // Presses the button as a user would: nothing happens when it is hidden or disabled.
    void Click();
};

// A single-line edit. Every change of its text, typed or set by code, fires
// OnChange once.
class Edit : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Edit"; }
    std::string Describe() const override;
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    std::function<void()> OnChange;

private:
    std::string text_;
    bool readOnly_ = false;
};

// A check box. Every change of its tick, by the user or by code, fires
// OnClick once.
class CheckBox : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "CheckBox"; }
    std::string Describe() const override;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    // Toggles the tick as a user's click would, only when the user can reach it.
    void Toggle();

private:
    bool checked_ = false;
};

// A multi-line read-only text with a vertical scroll bar.
class Memo : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Memo"; }
    std::string Describe() const override;
    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear();
    // Adds the text as a new line; line breaks inside it ("\r\n") start
    // further lines, so a text ending in one is followed by an empty line.
    void Add(const std::string& text);
    // The lines joined with "\r\n".
    std::string Text() const;
    bool Border = true;
    bool ShowsLastLine = true;  // scrolls to the end on Add

private:
    std::vector<std::string> lines_;
};

class Panel : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "Panel"; }
    bool Sunken = false;  // a lowered edge around the panel
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
    // Shows a picture the program carries (named for transcripts).
    void SetPicture(std::shared_ptr<const Picture> picture, const std::string& name);
    // Loads a picture file of the machine; a file that is missing, of an
    // unknown type or damaged leaves the image empty. Empty path: none.
    void LoadFromFile(const std::string& path);
    // The same, with the picture's format taken from its content.
    void LoadFromFileByContent(const std::string& path);
    const std::string& FileName() const { return file_; }
    const Picture* GetPicture() const { return picture_.get(); }
    bool Stretch = false;
    bool Transparent = false;

private:
    std::string file_;
    std::shared_ptr<const Picture> picture_;
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

// A list of rows with a tick each. A user's tick change fires OnClickCheck
// with the row; ticks set by code fire nothing.
class CheckListBox : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "CheckListBox"; }
    std::string Describe() const override;
    struct Row {
        std::string Caption;
        bool Checked = false;
        const void* Data = nullptr;
    };
    int Count() const { return static_cast<int>(rows_.size()); }
    const Row& RowAt(int index) const { return rows_.at(static_cast<size_t>(index)); }
    int Add(const std::string& caption, const void* data = nullptr);
    void Clear();
    bool Checked(int index) const { return RowAt(index).Checked; }
    void SetChecked(int index, bool checked);
    // Toggles a row's tick as a user's click would, then fires OnClickCheck.
    void ToggleByUser(int index);
    // The first row with the caption, or -1.
    int IndexOf(const std::string& caption) const;
    std::function<void(int)> OnClickCheck;
    int RowHeight = 18;
    bool Border = false;

private:
    std::vector<Row> rows_;
};

// A tree of the shell's folders, filled as its nodes open. Rooted at the
// desktop, or at a file-system folder once SetRoot names one.
class ShellTreeView : public Control {
public:
    using Control::Control;
    ~ShellTreeView() override;
    const char* Kind() const override { return "ShellTreeView"; }
    std::string Describe() const override;
    struct Node {
        std::string Name;  // display name
        std::string Id;    // the shell's parsing name ("" for the desktop)
        std::string Path;  // file-system path, empty for a virtual folder
        bool HasChildren = false;
        bool Loaded = false;
        bool Expanded = false;
        int IconIndex = -1;
        Node* Parent = nullptr;
        std::vector<std::unique_ptr<Node>> Children;
        void* Peer = nullptr;  // the backend's item
    };
    // Empty: the desktop. A folder the shell does not know leaves the tree empty.
    void SetRoot(const std::string& fileSystemPath);
    Node* Root() const { return root_.get(); }
    // Loads the node's subfolders once, as opening it in the tree does.
    void Expand(Node& node);
    Node* Selected() const { return selected_; }
    // Selects a node as a user's click does and fires OnChange.
    void Select(Node* node);
    // The node at a path of display names below the root ("计算机\本地磁盘 (C:)"),
    // opening nodes on the way; null when there is none.
    Node* Find(const std::string& displayPath);
    std::function<void()> OnChange;
    int Indent = 19;

private:
    std::unique_ptr<Node> root_;
    Node* selected_ = nullptr;
};

// A scrollable read-only view of a document file (text, RTF or HTML).
class HtmlView : public Control {
public:
    using Control::Control;
    const char* Kind() const override { return "HtmlView"; }
    std::string Describe() const override;
    // Loads a document file of the machine; a file that is missing or cannot
    // be decoded leaves the view empty. Empty path: none.
    void LoadFromFile(const std::string& path);
    const std::string& FileName() const { return file_; }
    const Document* GetDocument() const { return document_.get(); }

private:
    std::string file_;
    std::shared_ptr<const Document> document_;
};

// The background music player: a control that is never visible, playing one
// file through the platform's media player.
class MediaPlayer : public Control {
public:
    using Control::Control;
    ~MediaPlayer() override;
    const char* Kind() const override { return "MediaPlayer"; }
    std::string FileName;
    // Opens FileName (an open device is closed first); false when it cannot.
    bool Open();
    void Play();
    int64_t Length();
    int64_t Position();
    void Close();
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
};

// A page: a borderless child window with a class name of its own, hosted by a
// panel of a form. Scripts name its controls "PAGECLASS.CONTROL".
class Page : public Control {
public:
    Page(Control* host, std::string className);
    const char* Kind() const override { return "Page"; }
    const std::string& ClassName() const { return className_; }

private:
    std::string className_;
};

enum class BorderStyle { Dialog, Sizeable, Single, None };
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
    // headless backend presses it once per showing, or every time it can when
    // RepeatDefault is set); empty: none.
    std::string DefaultButton;
    bool RepeatDefault = false;
    // A form that leads the user through pages (a wizard) names the button
    // that moves on to the next page, and lists its pages in the order that
    // button visits them. The simulated user presses the button to reach a
    // page that a script names. Other forms name no button and list no page.
    std::string NextButton;
    virtual std::vector<const Page*> PagesInOrder() const { return {}; }
    bool MinimizeBox = false;
    // The form sees the Enter and Escape keys before its controls do.
    bool KeyPreview = false;
    enum class Key { Enter, Escape };
    std::function<void(Key)> OnKeyDown;

    // The form changed what it shows as a whole (a wizard moved to another
    // page): the backend records it as a user sees it.
    void Snapshot(const std::string& note);

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
