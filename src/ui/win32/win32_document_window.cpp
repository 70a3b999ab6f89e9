// The window of the document viewer, apart from the layout of documents in
// it (win32_document_view.cpp): every program with the toolkit links this,
// only programs that load documents link the layout.
#include "ui/win32/win32_document_view.h"

#include <richedit.h>

#include "platform/win32/dll_hardening.h"

namespace setup::ui {

void (*DocumentLayout)(HWND view, const Document* document) = nullptr;

namespace {

// The class of the newest rich-edit control the system has, or null.
const wchar_t* RichEditClass() {
    static const wchar_t* const name = []() -> const wchar_t* {
        if (win32::LoadSystemLibrary(L"msftedit.dll")) return L"RICHEDIT50W";
        if (win32::LoadSystemLibrary(L"riched20.dll")) return L"RichEdit20W";
        return nullptr;
    }();
    return name;
}

}  // namespace

HWND CreateDocumentView(HWND parent, const RECT& bounds, HFONT font) {
    const wchar_t* richEdit = RichEditClass();
    DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                  ES_DISABLENOSCROLL;
    HWND view = CreateWindowExW(WS_EX_CLIENTEDGE, richEdit ? richEdit : L"EDIT", L"", style, bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (!view) return nullptr;
    if (font) SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (richEdit) {
        // A read-only rich edit keeps the window colour of a document, and
        // turns nothing it shows into a clickable address.
        SendMessageW(view, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
        SendMessageW(view, EM_AUTOURLDETECT, FALSE, 0);
        SendMessageW(view, EM_SETEVENTMASK, 0, 0);
    }
    return view;
}

}  // namespace setup::ui
