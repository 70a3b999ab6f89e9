#include "platform/win32/windows_api.h"

#include "ui/win32/win32_backend.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <tuple>
#include <vector>

#include "platform/errors.h"
#include "platform/win32/dll_hardening.h"
#include "platform/win32/win32_platform.h"
#include "ui/document.h"
#include "ui/win32/win32_document_view.h"
#include "ui/win32/win32_picture.h"

namespace setup::ui {

namespace {

using setup::win32::Narrow;
using setup::win32::Wide;

const wchar_t kFormClass[] = L"SetupToolkitForm";
const wchar_t kPanelClass[] = L"SetupToolkitPanel";
const wchar_t kGaugeClass[] = L"SetupToolkitGauge";

// An exception raised by a handler inside a window procedure waits here until
// control is back in our own code (the modal loop or ProcessMessages), which
// raises it again: C++ exceptions never unwind through the system's frames.
std::exception_ptr pendingFailure;
// Set while the backend writes a control's state to its peer, so that the
// notifications this causes (EN_CHANGE) are not taken for user input.
bool updatingPeer = false;
// The document each viewer window shows, so that it is filled only on a change.
std::map<HWND, const Document*> shownDocuments;
bool busyCursor = false;

template <typename Handler>
void Guarded(Handler&& handler) {
    if (pendingFailure) return;  // the first failure ends the loop; later input is ignored
    try {
        handler();
    } catch (...) {
        pendingFailure = std::current_exception();
    }
}

void RaisePending() {
    if (pendingFailure) {
        std::exception_ptr failure = pendingFailure;
        pendingFailure = nullptr;
        std::rethrow_exception(failure);
    }
}

HFONT FontOf(const Font& font) {
    static std::map<std::tuple<int, bool, bool>, HFONT> fonts;
    auto key = std::make_tuple(font.Height, font.Bold, font.Underline);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    HFONT handle = CreateFontW(-font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, font.Underline, FALSE,
                               GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, L"宋体");
    fonts[key] = handle;
    return handle;
}

COLORREF ColorOf(uint32_t color) {
    return (color & 0x80000000u) ? GetSysColor(static_cast<int>(color & 0xFF)) : static_cast<COLORREF>(color);
}

HBRUSH BrushOf(uint32_t color) {
    if (color & 0x80000000u) return GetSysColorBrush(static_cast<int>(color & 0xFF));
    static std::map<uint32_t, HBRUSH> brushes;
    HBRUSH& brush = brushes[color];
    if (!brush) brush = CreateSolidBrush(static_cast<COLORREF>(color));
    return brush;
}

HWND Peer(const Control& control) { return static_cast<HWND>(control.Peer); }

Control* ControlOf(HWND hwnd) { return reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

// Controls without a window of their own: their container draws them.
bool IsGraphic(const Control& control) {
    return dynamic_cast<const Label*>(&control) || dynamic_cast<const Image*>(&control) ||
           dynamic_cast<const Bevel*>(&control);
}
bool IsContainer(const Control& control) {
    return dynamic_cast<const Panel*>(&control) || dynamic_cast<const Page*>(&control) ||
           dynamic_cast<const Form*>(&control);
}
bool HasNoPeer(const Control& control) {
    return dynamic_cast<const Timer*>(&control) || dynamic_cast<const MediaPlayer*>(&control) || IsGraphic(control);
}

// The nearest control around this one that has a window.
Control* Container(const Control& control) {
    Control* p = control.Parent();
    while (p && !IsContainer(*p)) p = p->Parent();
    return p;
}

// Timer ids are the timer's index among the form's timers, plus one.
UINT_PTR TimerId(Timer& timer) {
    Form* form = timer.OwnerForm();
    std::vector<Timer*> timers = form->Timers();
    for (size_t i = 0; i < timers.size(); ++i) {
        if (timers[i] == &timer) return i + 1;
    }
    return 0;
}

RECT RectOf(const Control& control) {
    const Rect& b = control.Bounds();
    return RECT{b.Left, b.Top, b.Left + b.Width, b.Top + b.Height};
}

void PaintGraphic(HDC dc, Control& control) {
    RECT r = RectOf(control);
    if (auto* image = dynamic_cast<Image*>(&control)) {
        if (const Picture* picture = image->GetPicture()) DrawPicture(dc, r, *picture, image->Stretch);
    } else if (dynamic_cast<Bevel*>(&control)) {
        RECT line{r.left, r.top, r.right, r.top + 2};
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    } else if (auto* label = dynamic_cast<Label*>(&control)) {
        SetBkMode(dc, TRANSPARENT);
        const Font& font = label->GetFont();
        SetTextColor(dc, label->Enabled() ? ColorOf(font.Color) : GetSysColor(COLOR_GRAYTEXT));
        HGDIOBJ old = SelectObject(dc, FontOf(font));
        std::wstring text = Wide(label->Caption());
        UINT format = label->WordWrap ? DT_WORDBREAK : DT_SINGLELINE;
        // A label whose place was sized for its text may draw past it rather
        // than cut the text off.
        RECT area = r;
        if (!label->WordWrap) area.right = area.left + 2000;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format | DT_NOCLIP);
        SelectObject(dc, old);
    }
}

// A container draws its background and its graphic children in their order.
void PaintContainer(HWND hwnd, Control& container) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, BrushOf(container.Color()));
    for (Control* child : container.Children()) {
        if (child->Visible() && IsGraphic(*child)) PaintGraphic(dc, *child);
    }
    if (auto* form = dynamic_cast<Form*>(&container); form && form->OnPaint) Guarded([&] { form->OnPaint(); });
    EndPaint(hwnd, &ps);
}

void PaintGauge(HWND hwnd, Gauge& gauge) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(dc, &r, BrushOf(gauge.BackColor));
    RECT done = r;
    int percent = gauge.PercentDone();
    done.right = r.left + (r.right - r.left) * (percent < 0 ? 0 : percent > 100 ? 100 : percent) / 100;
    FillRect(dc, &done, BrushOf(gauge.ForeColor));
    wchar_t text[16];
    wsprintfW(text, L"%d%%", percent);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, FontOf(gauge.GetFont()));
    DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK GaugeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        if (auto* gauge = dynamic_cast<Gauge*>(ControlOf(hwnd))) {
            PaintGauge(hwnd, *gauge);
            return 0;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The graphic child under a point of the container, topmost first.
Control* GraphicAt(Control& container, int x, int y) {
    const std::vector<Control*>& children = container.Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        Control* c = *it;
        if (!c->Visible() || !dynamic_cast<Label*>(c)) continue;
        const Rect& b = c->Bounds();
        if (x >= b.Left && x < b.Left + b.Width && y >= b.Top && y < b.Top + b.Height) return c;
    }
    return nullptr;
}

Control* hovered = nullptr;

void SetHovered(Control* control) {
    if (control == hovered) return;
    Control* previous = hovered;
    hovered = control;
    if (previous) Guarded([&] { previous->MouseLeave(); });
    if (control) Guarded([&] { control->MouseEnter(); });
}

// One row of a check list: a check box and the caption.
void DrawCheckRow(const DRAWITEMSTRUCT& item, CheckListBox& list) {
    if (item.itemID == static_cast<UINT>(-1) || static_cast<int>(item.itemID) >= list.Count()) return;
    const CheckListBox::Row& row = list.RowAt(static_cast<int>(item.itemID));
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    RECT box{r.left + 2, r.top + (r.bottom - r.top - 13) / 2, r.left + 15, r.top + (r.bottom - r.top - 13) / 2 + 13};
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | (row.Checked ? DFCS_CHECKED : 0));
    RECT textRect{r.left + 20, r.top, r.right, r.bottom};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    HGDIOBJ old = SelectObject(dc, FontOf(list.GetFont()));
    std::wstring caption = Wide(row.Caption);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect, DT_SINGLELINE | DT_VCENTER);
    SelectObject(dc, old);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
}

HTREEITEM InsertNode(HWND tree, HTREEITEM parent, ShellTreeView::Node& node) {
    std::wstring text = Wide(node.Name);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask =
        TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | (node.IconIndex >= 0 ? TVIF_IMAGE | TVIF_SELECTEDIMAGE : 0);
    insert.item.pszText = text.data();
    insert.item.lParam = reinterpret_cast<LPARAM>(&node);
    insert.item.cChildren = node.HasChildren ? 1 : 0;
    insert.item.iImage = node.IconIndex;
    insert.item.iSelectedImage = node.IconIndex;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    node.Peer = item;
    return item;
}

// Adds the loaded children of expanded nodes that the tree does not show yet.
void SyncNode(HWND tree, ShellTreeView::Node& node) {
    if (!node.Loaded) return;
    HTREEITEM parent = static_cast<HTREEITEM>(node.Peer);
    for (auto& child : node.Children) {
        if (!child->Peer) InsertNode(tree, parent, *child);
        SyncNode(tree, *child);
    }
    if (node.Expanded && parent) SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
}

void SyncTree(HWND tree, ShellTreeView& view) {
    ShellTreeView::Node* root = view.Root();
    if (!root) {
        SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        return;
    }
    if (!root->Peer) {
        SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        // The system's small icons, shared with the shell; the list belongs to the system.
        SHFILEINFOW info{};
        auto images = reinterpret_cast<HIMAGELIST>(
            SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
        if (images) SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
        SendMessageW(tree, TVM_SETINDENT, static_cast<WPARAM>(view.Indent), 0);
        InsertNode(tree, TVI_ROOT, *root);
    }
    SyncNode(tree, *root);
    if (ShellTreeView::Node* selected = view.Selected(); selected && selected->Peer) {
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(selected->Peer));
    }
}

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
        if (HIWORD(hit) == 0 && (message == WM_LBUTTONDBLCLK || x < 18)) toggle = LOWORD(hit);
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

// Messages every container (form, panel, page) handles alike: notifications
// of its child windows, their colours, the graphic controls' painting and
// pointer.
bool ContainerMessage(HWND hwnd, Control& container, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND: {
            Control* child = lParam ? ControlOf(reinterpret_cast<HWND>(lParam)) : nullptr;
            if (!child) return false;
            if (HIWORD(wParam) == BN_CLICKED) {
                if (auto* button = dynamic_cast<Button*>(child)) Guarded([&] { button->Click(); });
                if (auto* box = dynamic_cast<CheckBox*>(child)) Guarded([&] { box->Toggle(); });
            } else if (HIWORD(wParam) == EN_CHANGE && !updatingPeer) {
                if (auto* edit = dynamic_cast<Edit*>(child)) {
                    int length = GetWindowTextLengthW(reinterpret_cast<HWND>(lParam));
                    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                    GetWindowTextW(reinterpret_cast<HWND>(lParam), text.data(), length + 1);
                    text.resize(static_cast<size_t>(length));
                    Guarded([&] { edit->SetText(Narrow(text)); });
                }
            }
            result = 0;
            return true;
        }
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (auto* list = dynamic_cast<CheckListBox*>(ControlOf(item->hwndItem))) {
                DrawCheckRow(*item, *list);
                result = TRUE;
                return true;
            }
            return false;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            auto* tree = dynamic_cast<ShellTreeView*>(ControlOf(header->hwndFrom));
            if (!tree || updatingPeer) return false;
            if (header->code == TVN_ITEMEXPANDINGW) {
                auto* view = reinterpret_cast<NMTREEVIEWW*>(lParam);
                auto* node = reinterpret_cast<ShellTreeView::Node*>(view->itemNew.lParam);
                if (node && view->action == TVE_EXPAND && !node->Loaded) Guarded([&] { tree->Expand(*node); });
            } else if (header->code == TVN_SELCHANGEDW) {
                auto* view = reinterpret_cast<NMTREEVIEWW*>(lParam);
                auto* node = reinterpret_cast<ShellTreeView::Node*>(view->itemNew.lParam);
                if (node && node != tree->Selected()) Guarded([&] { tree->Select(node); });
            }
            result = 0;
            return true;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            Control* child = ControlOf(reinterpret_cast<HWND>(lParam));
            HDC dc = reinterpret_cast<HDC>(wParam);
            uint32_t color = child ? child->Color() : container.Color();
            if (auto* memo = dynamic_cast<Memo*>(child)) color = memo->Color();
            SetBkColor(dc, ColorOf(color));
            if (child) SetTextColor(dc, ColorOf(child->GetFont().Color));
            result = reinterpret_cast<LRESULT>(BrushOf(color));
            return true;
        }
        case WM_ERASEBKGND:
            result = 1;  // WM_PAINT fills the whole client area
            return true;
        case WM_PAINT:
            PaintContainer(hwnd, container);
            result = 0;
            return true;
        case WM_MOUSEMOVE: {
            Control* under =
                GraphicAt(container, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            SetHovered(under);
            if (under) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
                TrackMouseEvent(&track);
            }
            return false;
        }
        case WM_MOUSELEAVE:
            SetHovered(nullptr);
            return false;
        case WM_LBUTTONUP: {
            Control* under =
                GraphicAt(container, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            if (auto* label = dynamic_cast<Label*>(under)) Guarded([&] { label->Click(); });
            return false;
        }
        case WM_SETCURSOR:
            if (busyCursor) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
                result = TRUE;
                return true;
            }
            if (reinterpret_cast<HWND>(wParam) == hwnd && hovered && hovered->GetCursor() == Cursor::Hand &&
                Container(*hovered) == &container) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                result = TRUE;
                return true;
            }
            return false;
    }
    return false;
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Control* panel = ControlOf(hwnd);
    LRESULT result = 0;
    if (panel && ContainerMessage(hwnd, *panel, message, wParam, lParam, result)) return result;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = dynamic_cast<Form*>(ControlOf(hwnd));
    switch (message) {
        case WM_CLOSE:
            if (form && form->CloseBox) Guarded([&] { form->Close(); });
            return 0;
        case WM_TIMER:
            if (form) {
                std::vector<Timer*> timers = form->Timers();
                if (wParam >= 1 && wParam <= timers.size()) Guarded([&] { timers[wParam - 1]->Fire(); });
            }
            return 0;
    }
    LRESULT result = 0;
    if (form && ContainerMessage(hwnd, *form, message, wParam, lParam, result)) return result;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Creates the window of one control inside its container's window.
void CreatePeer(Control& control) {
    if (control.Peer || HasNoPeer(control) || dynamic_cast<Form*>(&control)) return;
    Control* container = Container(control);
    if (!container || !container->Peer) return;
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    std::wstring text = Wide(control.Caption());
    if (dynamic_cast<Button*>(&control)) {
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
    } else if (dynamic_cast<CheckBox*>(&control)) {
        cls = L"BUTTON";
        style |= BS_CHECKBOX | WS_TABSTOP;
    } else if (auto* edit = dynamic_cast<Edit*>(&control)) {
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER;
        text = Wide(edit->Text());
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
        HWND view = CreateDocumentView(Peer(*container), bounds, FontOf(control.GetFont()));
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
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control.GetFont())), FALSE);
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

// The layout file of the Wine tests: every shown form's control tree, one
// control a line, bounds relative to the form's client area.
void WriteLayout(Form& form, const std::string& note) {
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"SETUP_LAYOUT_FILE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    FILE* file = _wfopen(path, L"ab");
    if (!file) return;
    auto utf8 = [](const std::string& gbk) {
        std::wstring wide = Wide(gbk);
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
                    text += Narrow(std::wstring(1, shown[i]));
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

}  // namespace

namespace {

// The common controls and the window classes are set up when the first window
// is shown, not at start-up: an unattended run shows none and so loads none
// of it.
void PrepareWindowClasses() {
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    win32::AwaitDesktop();
    // Common controls from the system folder (or, with the manifest, version 6).
    if (HMODULE comctl = static_cast<HMODULE>(win32::LoadSystemLibrary(L"comctl32.dll"))) {
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES};
        if (init) init(&icc);
    }
    auto registerClass = [](WNDPROC proc, const wchar_t* name, HICON icon) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hIcon = icon;
        wc.lpszClassName = name;
        RegisterClassW(&wc);
    };
    registerClass(FormProc, kFormClass, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)));
    registerClass(PanelProc, kPanelClass, nullptr);
    registerClass(GaugeProc, kGaugeClass, nullptr);
}

}  // namespace

Win32Backend::Win32Backend() = default;

Win32Backend::~Win32Backend() = default;

void Win32Backend::RunModal(Form& form) {
    PrepareWindowClasses();
    DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (form.CloseBox) style |= WS_SYSMENU;
    if (form.MinimizeBox) style |= WS_MINIMIZEBOX;
    if (form.Border == BorderStyle::Sizeable) style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    if (form.Border == BorderStyle::Dialog) exStyle |= WS_EX_DLGMODALFRAME;
    const Rect& b = form.Bounds();
    RECT r{0, 0, b.Width, b.Height};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    int width = r.right - r.left, height = r.bottom - r.top;
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = b.Left, y = b.Top;
    if (form.Position == FormPosition::ScreenCenter) {
        x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    } else if (form.Position == FormPosition::WorkArea) {
        x = work.left;
        y = work.top;
        width = work.right - work.left;
        height = work.bottom - work.top;
    }
    HWND previous = GetActiveWindow();
    HWND hwnd = CreateWindowExW(exStyle, kFormClass, Wide(form.Caption()).c_str(), style, x, y, width, height, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
    form.Peer = hwnd;
    if (form.Position == FormPosition::WorkArea) {
        // The form's own size is its client area, which its children align to.
        RECT client;
        GetClientRect(hwnd, &client);
        form.SetBounds(b.Left, b.Top, client.right, client.bottom);
    }
    CreatePeers(form);
    form.SetShowing(true);
    for (Timer* timer : form.Timers()) Update(*timer);
    if (previous) EnableWindow(previous, FALSE);

    auto cleanup = [&] {
        for (Timer* timer : form.Timers()) KillTimer(hwnd, TimerId(*timer));
        form.SetShowing(false);
        hovered = nullptr;
        if (previous) EnableWindow(previous, TRUE);
        DestroyWindow(hwnd);
        shownDocuments.clear();
        ForgetPeers(form);
        if (previous) SetActiveWindow(previous);
    };
    try {
        if (form.OnShow) form.OnShow();
        ShowWindow(hwnd, SW_SHOW);
        // The new modal window is the active one, so that message boxes raised
        // from it are owned by it and stay above it.
        SetForegroundWindow(hwnd);
        SetActiveWindow(hwnd);
        UpdateWindow(hwnd);
        WriteLayout(form, "shown");
        MSG msg;
        for (;;) {
            RaisePending();
            if (form.CloseRequested()) {
                if (form.QueryClose()) break;
                form.ClearCloseRequest();
            }
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit for the outer loop
                break;
            }
            if (got < 0) break;
            // A form that sees keys first takes Enter and Escape itself.
            if (form.KeyPreview && form.OnKeyDown && msg.message == WM_KEYDOWN &&
                (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) && GetAncestor(msg.hwnd, GA_ROOT) == hwnd) {
                Form::Key key = msg.wParam == VK_RETURN ? Form::Key::Enter : Form::Key::Escape;
                Guarded([&] { form.OnKeyDown(key); });
                continue;
            }
            if (!IsDialogMessageW(hwnd, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}

void Win32Backend::ProcessMessages() {
    // Windows are painted at most about 30 times a second: an installation
    // reports every file, and painting for each costs more than writing a
    // small file. Input, posted and sent messages are served at every call.
    static DWORD lastPaint = 0;
    DWORD now = GetTickCount();
    UINT filter = 0;
    if (now - lastPaint >= 33) {
        lastPaint = now;
    } else {
        filter = PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | filter)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        HWND top = GetAncestor(msg.hwnd, GA_ROOT);
        if (!top || !IsDialogMessageW(top, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    RaisePending();
}

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
            SetWindowTextW(Peer(*form), Wide(form->Caption()).c_str());
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
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control.GetFont())), FALSE);
    if (auto* edit = dynamic_cast<Edit*>(&control)) {
        if (Narrow([&] {
                int length = GetWindowTextLengthW(hwnd);
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                GetWindowTextW(hwnd, text.data(), length + 1);
                text.resize(static_cast<size_t>(length));
                return text;
            }()) != edit->Text()) {
            SetWindowTextW(hwnd, Wide(edit->Text()).c_str());
        }
        SendMessageW(hwnd, EM_SETREADONLY, edit->ReadOnly(), 0);
    } else if (auto* memo = dynamic_cast<Memo*>(&control)) {
        SetWindowTextW(hwnd, Wide(memo->Text()).c_str());
        if (memo->ShowsLastLine) SendMessageW(hwnd, EM_LINESCROLL, 0, 0x7FFFFFF);
    } else if (!IsContainer(control) && !dynamic_cast<CheckListBox*>(&control) &&
               !dynamic_cast<ShellTreeView*>(&control) && !dynamic_cast<HtmlView*>(&control)) {
        SetWindowTextW(hwnd, Wide(control.Caption()).c_str());
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
        SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, list->RowHeight);
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

void Win32Backend::Wake(Form& form) {
    if (form.Peer) PostMessageW(Peer(form), WM_NULL, 0, 0);
}

void Win32Backend::Snapshot(Form& form, const std::string& note) {
    if (form.Peer) UpdateWindow(Peer(form));
    WriteLayout(form, note);
}

void Win32Backend::SetScreenCursor(Cursor cursor) {
    busyCursor = cursor == Cursor::HourGlass;
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(busyCursor ? IDC_WAIT : IDC_ARROW)));
}

}  // namespace setup::ui
