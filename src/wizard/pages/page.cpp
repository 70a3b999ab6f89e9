#include "wizard/pages/page.h"

#include <map>

#include "platform/text.h"

namespace setup {

namespace {
std::map<std::string, PageFactory>& Registry() {
    static std::map<std::string, PageFactory> registry;
    return registry;
}

// Width of a one-line caption in the 12-pixel font: 6 pixels a byte, so a
// two-byte character is 12 pixels wide, as SimSun draws it.
int TextWidth(const std::string& text, int fontHeight) { return static_cast<int>(text.size()) * fontHeight / 2; }
}  // namespace

TPage::TPage(ui::Control& host, const std::string& className, uint8_t group)
    : ui::Page(&host, className), group_(group) {
    SetFont(PageFont());
}

void TPage::SetCompile(TCompile* compile) {
    if (compile_ || !compile) return;
    compile_ = compile;
    SetUp();
}

std::vector<TCompileData*> TPage::Settings() const {
    std::vector<TCompileData*> items;
    compile_->GetInfoItems(group_, items);
    return items;
}

bool TPage::KeyIs(const TCompileData& item, const std::string& key) const {
    return ExactKeys ? item.Key == key : EqualsNoCase(item.Key, key);
}

void TPage::FillTemplate(ui::Control& control) const {
    control.SetCaption(FillPlaceholders(control.Caption(), compile_->ItemName));
}

bool SwitchIsOn(const std::string& value) { return value == kSwitchOn; }

std::string FillPlaceholders(const std::string& templateText, const std::string& name) {
    std::string filled;
    size_t start = 0;
    for (size_t at; (at = templateText.find("%s", start)) != std::string::npos; start = at + 2) {
        filled += templateText.substr(start, at - start) + name;
    }
    return filled + templateText.substr(start);
}

ui::Font PageFont(int height, bool bold) {
    ui::Font font;
    font.Height = height;
    font.Bold = bold;
    return font;
}

TitleBand MakeTitleBand(ui::Control& page, const std::string& imageName, int imageHeight, const std::string& titleName,
                        const std::string& titleText, int titleLeft, int titleTop, const std::string& subtitleName,
                        const std::string& subtitleText, int subtitleLeft, int subtitleTop) {
    auto& image = ui::Make<ui::Image>(page, imageName);
    image.SetBounds(0, 0, page.Bounds().Width, imageHeight);
    image.SetAlign(ui::Align::Top);
    auto& title = MakeLabel(page, titleName, titleText, titleLeft, titleTop);
    title.SetFont(PageFont(12, true));
    title.Transparent = true;
    auto& subtitle = MakeLabel(page, subtitleName, subtitleText, subtitleLeft, subtitleTop);
    subtitle.Transparent = true;
    return TitleBand{image, title, subtitle};
}

ui::Label& MakeLabel(ui::Control& parent, const std::string& name, const std::string& caption, int left, int top,
                     int width, int height, bool wordWrap) {
    auto& label = ui::Make<ui::Label>(parent, name);
    label.SetFont(PageFont());
    label.SetCaption(caption);
    label.WordWrap = wordWrap;
    label.SetBounds(left, top, width ? width : TextWidth(caption, 12), height ? height : 12);
    return label;
}

ui::CheckBox& MakeCheckBox(ui::Control& parent, const std::string& name, const std::string& caption, int left, int top,
                           int width, int height, int tabOrder) {
    auto& box = ui::Make<ui::CheckBox>(parent, name);
    box.SetFont(PageFont());
    box.SetCaption(caption);
    box.SetBounds(left, top, width, height);
    box.TabOrder = tabOrder;
    return box;
}

void RegisterPageClass(const std::string& name, PageFactory factory) { Registry()[name] = std::move(factory); }

bool IsPageClassRegistered(const std::string& name) { return Registry().count(name) != 0; }

std::vector<std::string> RegisteredPageClasses() {
    std::vector<std::string> names;
    for (const auto& entry : Registry()) names.push_back(entry.first);
    return names;
}

void UnregisterPageClasses() { Registry().clear(); }

std::unique_ptr<TPage> CreatePage(const std::string& name, ui::Control& host) {
    auto it = Registry().find(name);
    if (it == Registry().end() || !it->second) return nullptr;
    return it->second(host);
}

}  // namespace setup
