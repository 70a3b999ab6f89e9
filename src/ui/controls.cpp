// The control base (place, alignment, visibility, the transcript line) and
// the controls that only hold their state: labels, buttons, edits, check
// boxes, memos, pictures, check lists, document views and progress bars.
#include "ui/controls.h"

#include "ui/backend.h"
#include "ui/document.h"
#include "ui/picture.h"

namespace setup::ui {

namespace {
Backend* activeBackend = nullptr;
std::string& TitleText() {
    static std::string title;
    return title;
}

// Line breaks inside a caption show as \r and \n, so one control stays one line.
std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}
}  // namespace

void SetBackend(Backend* backend) { activeBackend = backend; }
Backend* ActiveBackend() { return activeBackend; }

void Application::SetTitle(const std::string& title) { TitleText() = title; }
const std::string& Application::Title() { return TitleText(); }
void Application::ProcessMessages() {
    if (activeBackend) activeBackend->ProcessMessages();
}
void Application::SetScreenCursor(Cursor cursor) {
    if (activeBackend) activeBackend->SetScreenCursor(cursor);
}

Control::Control(Control* parent, std::string name) : name_(std::move(name)), parent_(parent) {
    if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
    if (activeBackend && Peer) activeBackend->Forget(*this);
    // Children go first, while this control still exists for their peers.
    while (!owned_.empty()) owned_.pop_back();
    // A control owned elsewhere (a page held by its frame) leaves its host.
    if (parent_) {
        auto& siblings = parent_->children_;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (*it == this) {
                siblings.erase(it);
                break;
            }
        }
    }
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
    int dw = width - bounds_.Width, dh = height - bounds_.Height;
    bounds_ = Rect{left, top, width, height};
    if (align_ != Align::None && parent_) {
        Realign();
    } else {
        Changed();
    }
    if (dw || dh) {
        for (Control* child : children_) child->ParentResized(dw, dh);
    }
}

void Control::ParentResized(int dw, int dh) {
    if (align_ != Align::None) {
        Realign();
        return;
    }
    Rect b = bounds_;
    if (AnchorRight) b.Width += dw;
    if (AnchorBottom) {
        if (AnchorTop) {
            b.Height += dh;
        } else {
            b.Top += dh;
        }
    }
    if (b.Left != bounds_.Left || b.Top != bounds_.Top || b.Width != bounds_.Width || b.Height != bounds_.Height) {
        SetBounds(b.Left, b.Top, b.Width, b.Height);
    }
}

void Control::Realign() {
    if (!parent_ || align_ == Align::None) return;
    const Rect& p = parent_->bounds_;
    Rect b = align_ == Align::Client ? Rect{0, 0, p.Width, p.Height} : Rect{0, 0, p.Width, bounds_.Height};
    int dw = b.Width - bounds_.Width, dh = b.Height - bounds_.Height;
    bounds_ = b;
    Changed();
    if (dw || dh) {
        for (Control* child : children_) child->ParentResized(dw, dh);
    }
}

void Control::SetAlign(Align align) {
    align_ = align;
    Realign();
}

void Control::SetCursor(Cursor cursor) {
    cursor_ = cursor;
    Changed();
}

void Control::SetColor(uint32_t color) {
    color_ = color;
    Changed();
}

void Control::BringToFront() {
    if (!parent_) return;
    auto& siblings = parent_->children_;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (*it == this) {
            siblings.erase(it);
            break;
        }
    }
    siblings.push_back(this);
    if (activeBackend) activeBackend->Reorder(*this);
}

bool Control::ShowingToUser() const {
    for (const Control* c = this; c; c = c->parent_) {
        if (!c->visible_) return false;
        // A page lies behind any visible page that comes after it in its host.
        if (dynamic_cast<const Page*>(c) && c->parent_) {
            const auto& siblings = c->parent_->children_;
            bool after = false;
            for (const Control* s : siblings) {
                if (s == c) {
                    after = true;
                } else if (after && s->visible_ && dynamic_cast<const Page*>(s)) {
                    return false;
                }
            }
        }
    }
    return true;
}

void Control::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter();
}

void Control::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave();
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

bool Control::TakesInput() const {
    for (const Control* c = this; c; c = c->parent_) {
        if (!c->enabled_) return false;
    }
    return true;
}

void Control::SetFont(const Font& font) {
    font_ = font;
    Changed();
}

std::string Control::Describe() const {
    std::string line = name_ + " " + Kind() + " " + std::to_string(bounds_.Left) + "," + std::to_string(bounds_.Top) +
                       " " + std::to_string(bounds_.Width) + "x" + std::to_string(bounds_.Height);
    if (!caption_.empty()) line += " " + Quote(caption_);
    if (!enabled_) line += " disabled";
    return line;
}

void Button::Click() {
    if (Visible() && TakesInput() && OnClick) OnClick();
}

void Label::Click() {
    if (ShowingToUser() && TakesInput() && OnClick) OnClick();
}

std::string Edit::Describe() const {
    return Control::Describe() + " text " + Quote(text_) + (readOnly_ ? " read-only" : "");
}

void Edit::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    Changed();
    if (OnChange) OnChange();
}

void Edit::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    Changed();
}

std::string CheckBox::Describe() const { return Control::Describe() + (checked_ ? " ticked" : " unticked"); }

void CheckBox::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    Changed();
    if (OnClick) OnClick();
}

void CheckBox::Toggle() {
    if (ShowingToUser() && TakesInput()) SetChecked(!checked_);
}

std::string Memo::Describe() const {
    std::string text = Control::Describe() + " " + std::to_string(lines_.size()) + " lines";
    for (const std::string& line : lines_) text += "\n    | " + line;
    return text;
}

void Memo::Clear() {
    lines_.clear();
    Changed();
}

void Memo::Add(const std::string& text) {
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines_.push_back(text.substr(start));
            break;
        }
        lines_.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    Changed();
}

std::string Memo::Text() const {
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) text += (i ? "\r\n" : "") + lines_[i];
    return text;
}

std::string Image::Describe() const {
    std::string line = Control::Describe();
    if (picture_) {
        line += " picture " + Quote(file_) + " " + PictureFormatName(picture_->Format) + " " +
                std::to_string(picture_->Width) + "x" + std::to_string(picture_->Height);
    } else {
        line += file_.empty() ? " no picture" : " no picture (" + Quote(file_) + " cannot be shown)";
    }
    return line + (Stretch ? " stretched" : "");
}

void Image::SetPicture(std::shared_ptr<const Picture> picture, const std::string& name) {
    file_ = name;
    picture_ = std::move(picture);
    Changed();
}

std::string CheckListBox::Describe() const {
    std::string line = Control::Describe() + " " + std::to_string(rows_.size()) + " rows";
    for (const Row& row : rows_) line += std::string("\n    | [") + (row.Checked ? "x" : " ") + "] " + row.Caption;
    return line;
}

int CheckListBox::Add(const std::string& caption, const void* data) {
    rows_.push_back(Row{caption, false, data});
    Changed();
    return static_cast<int>(rows_.size()) - 1;
}

void CheckListBox::Clear() {
    rows_.clear();
    Changed();
}

void CheckListBox::SetChecked(int index, bool checked) {
    rows_.at(static_cast<size_t>(index)).Checked = checked;
    Changed();
}

void CheckListBox::ToggleByUser(int index) {
    if (!ShowingToUser() || !TakesInput() || index < 0 || index >= Count()) return;
    SetChecked(index, !Checked(index));
    if (OnClickCheck) OnClickCheck(index);
}

int CheckListBox::IndexOf(const std::string& caption) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].Caption == caption) return static_cast<int>(i);
    }
    return -1;
}

std::string HtmlView::Describe() const {
    std::string line = Control::Describe();
    if (!document_)
        return line + (file_.empty() ? " no document" : " no document (" + Quote(file_) + " cannot be shown)");
    static const char* const kinds[] = {"text", "RTF", "HTML"};
    line += " document " + Quote(file_) + " " + kinds[static_cast<int>(document_->Kind)] + ", " +
            std::to_string(document_->Lines.size()) + " lines";
    // The first lines, as a user sees them before scrolling.
    for (size_t i = 0; i < document_->Lines.size() && i < 8; ++i) line += "\n    | " + document_->Lines[i];
    return line;
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

}  // namespace setup::ui
