// The page contract of the wizard: a page is a borderless child of the
// frame's page area that receives the project model through SetCompile, sets
// itself up from its own group of settings the first time, and writes the
// user's choices straight into the model. The page class registry maps a
// class name to the factory that makes the page.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/compile.h"
#include "ui/controls.h"

namespace setup {

class TPage : public ui::Page {
public:
    TPage(ui::Control& host, const std::string& className, uint8_t group);

    // The first set stores the model and runs the page's set-up; every later
    // set does nothing (pages that refresh on every showing override it).
    virtual void SetCompile(TCompile* compile);
    TCompile* Compile() const { return compile_; }
    // Why the user cannot go on from this page yet (GBK, shown when Next is
    // pressed); empty when Next may move on.
    virtual std::string NextProblem() const { return ""; }

protected:
    // Applies the page's settings to its controls.
    virtual void SetUp() = 0;
    // The page's settings in stream order, for set-up.
    std::vector<TCompileData*> Settings() const;
    // Whether a setting's key is the given one: exactly on the welcome page,
    // ignoring the case of ASCII letters on every other page.
    bool KeyIs(const TCompileData& item, const std::string& key) const;
    // Replaces every "%s" of the control's caption with the project name.
    void FillTemplate(ui::Control& control) const;
    bool ExactKeys = false;

private:
    TCompile* compile_ = nullptr;
    uint8_t group_;
};

// Whether a switch value means on: exactly "启用".
bool SwitchIsOn(const std::string& value);

// Every "%s" of the template replaced with the name, left to right.
std::string FillPlaceholders(const std::string& templateText, const std::string& name);

// The page font: 宋体 12 pixels, optionally bold and of another height.
ui::Font PageFont(int height = 12, bool bold = false);

// The title band of a page: a picture strip across the top, a bold title and
// a plain subtitle drawn over it.
struct TitleBand {
    ui::Image& Image;
    ui::Label& Title;
    ui::Label& Subtitle;
};
TitleBand MakeTitleBand(ui::Control& page, const std::string& imageName, int imageHeight, const std::string& titleName,
                        const std::string& titleText, int titleLeft, int titleTop, const std::string& subtitleName,
                        const std::string& subtitleText, int subtitleLeft, int subtitleTop);

// A label with its caption and place; its width and height follow its text
// unless given.
ui::Label& MakeLabel(ui::Control& parent, const std::string& name, const std::string& caption, int left, int top,
                     int width = 0, int height = 0, bool wordWrap = false);
ui::CheckBox& MakeCheckBox(ui::Control& parent, const std::string& name, const std::string& caption, int left, int top,
                           int width, int height, int tabOrder);

// The page class registry. The frame creates pages by class name with the
// page area as host; a class without a factory is not built and is skipped.
using PageFactory = std::function<std::unique_ptr<TPage>(ui::Control& host)>;
void RegisterPageClass(const std::string& name, PageFactory factory);
bool IsPageClassRegistered(const std::string& name);
std::vector<std::string> RegisteredPageClasses();
void UnregisterPageClasses();
// The page of that class on the host, or null when the class has no factory.
std::unique_ptr<TPage> CreatePage(const std::string& name, ui::Control& host);
// Registers the ten page class names with the factories of the pages built.
void RegisterWizardPages();

}  // namespace setup
