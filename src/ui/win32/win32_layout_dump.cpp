// The layout file of the Wine tests: every shown form's control tree, one
// control a line, bounds in pixels relative to the form's client area as
// they were written to the windows (scaled to the form's DPI, which the
// header line names), in UTF-8. Only the test build of the setup program
// names a file; the shipped programs never write one.
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
    const int dpi = DpiOf(form);
    std::string header = "form " + form.ClassName() + " " + note + " dpi " + std::to_string(dpi) + "\n";
    std::fputs(utf8(header).c_str(), file);
    std::vector<std::pair<Control*, std::pair<int, int>>> pending;
    for (Control* child : form.Children()) pending.push_back({child, {0, 0}});
    while (!pending.empty()) {
        auto [control, origin] = pending.front();
        pending.erase(pending.begin());
        if (dynamic_cast<Timer*>(control) || dynamic_cast<MediaPlayer*>(control)) continue;
        // Pages behind the current one are not part of what the user sees.
        if (dynamic_cast<Page*>(control) && !control->ShowingToUser()) continue;
        // The place as the backend wrote it; the size of a control with a
        // window as its window has it.
        const RECT r = RectOf(*control);
        int width = r.right - r.left, height = r.bottom - r.top;
        RECT shown;
        if (control->Peer && GetWindowRect(Peer(*control), &shown)) {
            width = shown.right - shown.left;
            height = shown.bottom - shown.top;
        }
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
        std::string geometry = " " + std::to_string(origin.first + r.left) + " " +
                               std::to_string(origin.second + r.top) + " " + std::to_string(width) + " " +
                               std::to_string(height) + (control->ShowingToUser() ? " visible" : " hidden") +
                               (control->Enabled() ? " enabled " : " disabled ");
        std::string line = name + " " + control->Kind() + geometry + "\"" + text + "\"";
        if (auto* box = dynamic_cast<CheckBox*>(control)) line += box->Checked() ? " ticked" : " unticked";
        std::fputs(utf8(line + "\n").c_str(), file);
        for (Control* child : control->Children()) {
            pending.push_back({child, {origin.first + r.left, origin.second + r.top}});
        }
    }
    std::fclose(file);
}

}  // namespace setup::ui::peers
