// The layout file of the Wine tests: every shown form's control tree, one
// control a line, bounds relative to the form's client area, in UTF-8. Only
// the test build of the setup program names a file; the shipped programs
// never write one.
#include "platform/win32/windows_api.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "ui/win32/win32_peers.h"

namespace setup::ui::peers {

namespace {

std::wstring& LayoutFile() {
    static std::wstring path;
    return path;
}

}  // namespace

void SetLayoutFile(const std::wstring& path) { LayoutFile() = path; }

void WriteLayout(Form& form, const std::string& note) {
    if (LayoutFile().empty()) return;
    FILE* file = _wfopen(LayoutFile().c_str(), L"ab");
    if (!file) return;
    auto utf8 = [](const std::string& gbk) {
        std::wstring wide = WideShown(gbk);
        int size =
            WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        std::string out(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), size, nullptr,
                            nullptr);
        return out;
    };
    std::string header = "form " + form.ClassName() + " " + note + "\n";
    std::fputs(utf8(header).c_str(), file);
    std::vector<std::pair<Control*, std::pair<int, int>>> pending;
    for (Control* child : form.Children()) pending.push_back({child, {0, 0}});
    while (!pending.empty()) {
        auto [control, origin] = pending.front();
        pending.erase(pending.begin());
        if (dynamic_cast<Timer*>(control) || dynamic_cast<MediaPlayer*>(control)) continue;
        // Pages behind the current one are not part of what the user sees.
        if (dynamic_cast<Page*>(control) && !control->ShowingToUser()) continue;
        const Rect& b = control->Bounds();
        // Controls of a page are named as scripts name them: PAGECLASS.NAME.
        std::string name = control->Name();
        if (auto* page = dynamic_cast<Page*>(control)) {
            name = page->ClassName();
        } else {
            for (Control* c = control->Parent(); c && c != &form; c = c->Parent()) {
                if (auto* host = dynamic_cast<Page*>(c)) {
                    name = host->ClassName() + "." + name;
                    break;
                }
            }
        }
        std::string text = control->Caption();
        if (auto* edit = dynamic_cast<Edit*>(control)) text = edit->Text();
        if (auto* memo = dynamic_cast<Memo*>(control)) text = memo->Text();
        // A document view: the start of what its window shows.
        if (dynamic_cast<HtmlView*>(control) && control->Peer) {
            wchar_t shown[41] = {};
            int got = GetWindowTextW(Peer(*control), shown, 41);
            // Characters GBK cannot spell are left out: the check looks only
            // for text.
            text.clear();
            for (int i = 0; i < got; ++i) {
                try {
                    text += NarrowTyped(std::wstring(1, shown[i]));
                } catch (const Error&) {
                }
            }
        }
        for (char& c : text) {
            if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        }
        std::string geometry = " " + std::to_string(origin.first + b.Left) + " " +
                               std::to_string(origin.second + b.Top) + " " + std::to_string(b.Width) + " " +
                               std::to_string(b.Height) + (control->ShowingToUser() ? " visible" : " hidden") +
                               (control->Enabled() ? " enabled " : " disabled ");
        std::string line = name + " " + control->Kind() + geometry + "\"" + text + "\"";
        if (auto* box = dynamic_cast<CheckBox*>(control)) line += box->Checked() ? " ticked" : " unticked";
        std::fputs(utf8(line + "\n").c_str(), file);
        for (Control* child : control->Children()) {
            pending.push_back({child, {origin.first + b.Left, origin.second + b.Top}});
        }
    }
    std::fclose(file);
}

}  // namespace setup::ui::peers
