// The windows of the controls: each control that is not drawn by its
// container gets a system control (static, button, edit, list box, tree view,
// progress bar, rich edit) or a window of the toolkit's own classes as its
// peer, made in tab order and kept in line with the portable state.
#include "platform/win32/windows_api.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "ui/win32/win32_backend.h"
#include "ui/win32/win32_document_view.h"
#include "ui/win32/win32_peers.h"

namespace setup::ui {

namespace peers {

namespace {

const wchar_t kOriginalProc[] = L"SetupToolkitOriginalProc";

// The check list's own input: a click on a row's box, a double click on a
// row, or the space bar toggles the tick as the user's action.
LRESULT CALLBACK CheckListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto original = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kOriginalProc));
    auto* list = dynamic_cast<CheckListBox*>(ControlOf(hwnd));
    int toggle = -1;
    if (list && (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK)) {
        LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lParam);
        int x = static_cast<short>(LOWORD(lParam));
        if (HIWORD(hit) == 0 && (message == WM_LBUTTONDBLCLK || x < Scaled(18, DpiOf(*list)))) toggle = LOWORD(hit);
    } else if (list && message == WM_KEYDOWN && wParam == VK_SPACE) {
        toggle = static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0));
    }
    LRESULT result = CallWindowProcW(original, hwnd, message, wParam, lParam);
    if (toggle >= 0 && list) {
        Guarded([&] { list->ToggleByUser(toggle); });
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    return result;
}

}  // namespace

Control* Container(const Control& control) {
    Control* p = control.Parent();
    while (p && !IsContainer(*p)) p = p->Parent();
    return p;
}

namespace {

// Creates the window of one control inside its container's window.
void CreatePeer(Control& control) {
    if (control.Peer || HasNoPeer(control) || dynamic_cast<Form*>(&control)) return;
    Control* container = Container(control);
    if (!container || !container->Peer) return;
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    std::wstring text = WideShown(control.Caption());
    if (dynamic_cast<Button*>(&control)) {
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
    } else if (dynamic_cast<CheckBox*>(&control)) {
        cls = L"BUTTON";
        style |= BS_CHECKBOX | WS_TABSTOP;
    } else if (auto* edit = dynamic_cast<Edit*>(&control)) {
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER;
        text = WideShown(edit->Text());
    } else if (auto* memo = dynamic_cast<Memo*>(&control)) {
        cls = L"EDIT";
        style |= ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL | WS_TABSTOP;
        if (memo->Border) exStyle |= WS_EX_CLIENTEDGE;
        text.clear();
    } else if (auto* list = dynamic_cast<CheckListBox*>(&control)) {
        cls = L"LISTBOX";
        style |= LBS_OWNERDRAWFIXED | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
        if (list->Border) exStyle |= WS_EX_CLIENTEDGE;
        text.clear();
    } else if (dynamic_cast<ShellTreeView*>(&control)) {
        cls = WC_TREEVIEWW;
        style |= TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS | WS_TABSTOP;
        exStyle |= WS_EX_CLIENTEDGE;
        text.clear();
    } else if (dynamic_cast<HtmlView*>(&control)) {
        // The document viewer makes its own window (a rich-edit control).
        RECT bounds = RectOf(control);
        HWND view = CreateDocumentView(Peer(*container), bounds, FontOf(control));
        if (!view) return;
        SetWindowLongPtrW(view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
        control.Peer = view;
        return;
    } else if (dynamic_cast<ProgressBar*>(&control)) {
        cls = PROGRESS_CLASSW;
    } else if (dynamic_cast<Gauge*>(&control)) {
        cls = kGaugeClass;
    } else if (IsContainer(control)) {
        cls = kPanelClass;
        style |= WS_CLIPCHILDREN;
        exStyle |= WS_EX_CONTROLPARENT;
        if (auto* panel = dynamic_cast<Panel*>(&control); panel && panel->Sunken) exStyle |= WS_EX_STATICEDGE;
        text.clear();
    }
    RECT r = RectOf(control);
    HWND hwnd = CreateWindowExW(exStyle, cls, text.c_str(), style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                Peer(*container), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), FALSE);
    if (dynamic_cast<CheckListBox*>(&control)) {
        auto original = SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckListProc));
        SetPropW(hwnd, kOriginalProc, reinterpret_cast<HANDLE>(original));
    }
    control.Peer = hwnd;
}

// Children get their windows in tab order, which is the order the Tab key
// visits them.
std::vector<Control*> InTabOrder(const Control& parent) {
    std::vector<Control*> children = parent.Children();
    std::stable_sort(children.begin(), children.end(), [](Control* a, Control* b) {
        int ta = a->TabOrder < 0 ? 1000 : a->TabOrder, tb = b->TabOrder < 0 ? 1000 : b->TabOrder;
        return ta < tb;
    });
    return children;
}

}  // namespace

void CreatePeers(Control& parent) {
    for (Control* child : InTabOrder(parent)) {
        CreatePeer(*child);
        if (child->Peer || IsGraphic(*child)) ActiveBackend()->Update(*child);
        CreatePeers(*child);
    }
}

void ForgetPeers(Control& control) {
    control.Peer = nullptr;
    for (Control* child : control.Children()) ForgetPeers(*child);
}

}  // namespace peers

using namespace peers;

void Win32Backend::Update(Control& control) {
    if (auto* timer = dynamic_cast<Timer*>(&control)) {
        Form* form = timer->OwnerForm();
        if (!form || !form->Peer) return;
        HWND hwnd = Peer(*form);
        if (timer->Active() && form->IsShowing()) {
            SetTimer(hwnd, TimerId(*timer), static_cast<UINT>(timer->Interval()), nullptr);
        } else {
            KillTimer(hwnd, TimerId(*timer));
        }
        return;
    }
    if (dynamic_cast<MediaPlayer*>(&control)) return;
    if (auto* form = dynamic_cast<Form*>(&control)) {
        if (form->Peer) {
            SetWindowTextW(Peer(*form), WideShown(form->Caption()).c_str());
            EnableWindow(Peer(*form), form->Enabled());
            InvalidateRect(Peer(*form), nullptr, FALSE);
        }
        return;
    }
    if (IsGraphic(control)) {
        // Its container repaints the control's place.
        Control* container = Container(control);
        if (container && container->Peer) InvalidateRect(Peer(*container), nullptr, FALSE);
        return;
    }
    // A control made while its form shows gets its window now.
    if (!control.Peer) {
        CreatePeer(control);
        if (!control.Peer) return;
        CreatePeers(control);
    }
    HWND hwnd = Peer(control);
    updatingPeer = true;
    RECT r = RectOf(control);
    MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), FALSE);
    if (auto* edit = dynamic_cast<Edit*>(&control)) {
        if (NarrowTyped([&] {
                int length = GetWindowTextLengthW(hwnd);
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                GetWindowTextW(hwnd, text.data(), length + 1);
                text.resize(static_cast<size_t>(length));
                return text;
            }()) != edit->Text()) {
            SetWindowTextW(hwnd, WideShown(edit->Text()).c_str());
        }
        SendMessageW(hwnd, EM_SETREADONLY, edit->ReadOnly(), 0);
    } else if (auto* memo = dynamic_cast<Memo*>(&control)) {
        SetWindowTextW(hwnd, WideShown(memo->Text()).c_str());
        if (memo->ShowsLastLine) SendMessageW(hwnd, EM_LINESCROLL, 0, 0x7FFFFFF);
    } else if (!IsContainer(control) && !dynamic_cast<CheckListBox*>(&control) &&
               !dynamic_cast<ShellTreeView*>(&control) && !dynamic_cast<HtmlView*>(&control)) {
        SetWindowTextW(hwnd, WideShown(control.Caption()).c_str());
    }
    EnableWindow(hwnd, control.Enabled());
    ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
    if (auto* box = dynamic_cast<CheckBox*>(&control)) {
        SendMessageW(hwnd, BM_SETCHECK, box->Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (auto* list = dynamic_cast<CheckListBox*>(&control)) {
        // Rows are drawn from the portable state; the list only counts them.
        int count = static_cast<int>(SendMessageW(hwnd, LB_GETCOUNT, 0, 0));
        while (count > list->Count()) SendMessageW(hwnd, LB_DELETESTRING, static_cast<WPARAM>(--count), 0);
        while (count < list->Count()) {
            SendMessageW(hwnd, LB_ADDSTRING, 0, 0);
            ++count;
        }
        SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, Scaled(list->RowHeight, DpiOf(*list)));
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    if (auto* tree = dynamic_cast<ShellTreeView*>(&control)) SyncTree(hwnd, *tree);
    if (auto* view = dynamic_cast<HtmlView*>(&control)) {
        // The viewer is filled again only when its document changed.
        const Document* document = view->GetDocument();
        auto it = shownDocuments.find(hwnd);
        if (it == shownDocuments.end() || it->second != document) {
            // Set whenever a document was loaded; nothing to clear otherwise.
            if (DocumentLayout) DocumentLayout(hwnd, document);
            shownDocuments[hwnd] = document;
        }
    }
    if (auto* bar = dynamic_cast<ProgressBar*>(&control)) {
        SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(bar->Min()), static_cast<LPARAM>(bar->Max()));
        SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(bar->Position()), 0);
    }
    if (dynamic_cast<Gauge*>(&control) || IsContainer(control)) InvalidateRect(hwnd, nullptr, FALSE);
    updatingPeer = false;
}

void Win32Backend::Reorder(Control& control) {
    if (control.Peer) {
        SetWindowPos(Peer(control), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        InvalidateRect(Peer(control), nullptr, TRUE);
    } else {
        Update(control);
    }
}

void Win32Backend::Forget(Control& control) {
    if (auto* timer = dynamic_cast<Timer*>(&control)) {
        Form* form = timer->OwnerForm();
        if (form && form->Peer) KillTimer(Peer(*form), TimerId(*timer));
        return;
    }
    if (hovered == &control) hovered = nullptr;
    if (control.Peer) shownDocuments.erase(Peer(control));
    // A control that goes while its form shows takes its window with it.
    if (control.Peer && !dynamic_cast<Form*>(&control) && IsWindow(Peer(control))) DestroyWindow(Peer(control));
    ForgetPeers(control);
}

}  // namespace setup::ui
