// The Win32 backend's windows and message loop: the toolkit's window classes
// (forms, panels and pages, the gauge), the messages every container handles
// for its children, modal loops as real message loops, and the pumping of
// messages inside long work. Peers, painting, the folder tree and the layout
// file are in the other win32_*.cpp files.
#include "platform/win32/windows_api.h"

#include "ui/win32/win32_backend.h"

#include <commctrl.h>

#include <exception>
#include <map>
#include <vector>

#include "platform/win32/dll_hardening.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/win32_peers.h"

namespace setup::ui {

namespace peers {

std::exception_ptr pendingFailure;
bool updatingPeer = false;
std::map<HWND, const Document*> shownDocuments;
Control* hovered = nullptr;

void RaisePending() {
    if (pendingFailure) {
        std::exception_ptr failure = pendingFailure;
        pendingFailure = nullptr;
        std::rethrow_exception(failure);
    }
}

UINT_PTR TimerId(Timer& timer) {
    Form* form = timer.OwnerForm();
    std::vector<Timer*> timers = form->Timers();
    for (size_t i = 0; i < timers.size(); ++i) {
        if (timers[i] == &timer) return i + 1;
    }
    return 0;
}

}  // namespace peers

using namespace peers;

namespace {

bool busyCursor = false;

// The graphic child under a point of the container's window (a mouse
// message's lParam), topmost first.
Control* GraphicAt(Control& container, LPARAM point) {
    const int dpi = DpiOf(container);
    const int x = Unscaled(static_cast<short>(LOWORD(point)), dpi),
              y = Unscaled(static_cast<short>(HIWORD(point)), dpi);
    const std::vector<Control*>& children = container.Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        Control* c = *it;
        if (!c->Visible() || !dynamic_cast<Label*>(c)) continue;
        const Rect& b = c->Bounds();
        if (x >= b.Left && x < b.Left + b.Width && y >= b.Top && y < b.Top + b.Height) return c;
    }
    return nullptr;
}

void SetHovered(Control* control) {
    if (control == hovered) return;
    Control* previous = hovered;
    hovered = control;
    if (previous) Guarded([&] { previous->MouseLeave(); });
    if (control) Guarded([&] { control->MouseEnter(); });
}

// Text typed or pasted into an edit that GBK cannot hold (Hangul, an emoji)
// is refused there: the edit shows its text from before again, the caret
// where the input went, and a tip says why.
void RefuseTyped(HWND window, const Edit& edit, int typedLength) {
    DWORD caret = 0;
    SendMessageW(window, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    std::wstring before = WideShown(edit.Text());
    int added = typedLength - static_cast<int>(before.size());
    int at = static_cast<int>(caret) - (added > 0 ? added : 0);
    if (at < 0) at = 0;
    updatingPeer = true;
    SetWindowTextW(window, before.c_str());
    SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(at), static_cast<LPARAM>(at));
    updatingPeer = false;
    std::wstring title = WideShown("无法输入的字符");
    std::wstring tip = WideShown("安装程序只能使用简体中文(GBK)字符集中的字符。");
    EDITBALLOONTIP balloon{sizeof balloon, title.c_str(), tip.c_str(), TTI_WARNING};
    SendMessageW(window, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&balloon));
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
                    HWND window = reinterpret_cast<HWND>(lParam);
                    int length = GetWindowTextLengthW(window);
                    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                    GetWindowTextW(window, text.data(), length + 1);
                    text.resize(static_cast<size_t>(length));
                    std::string typed = NarrowTyped(text);
                    if (WideShown(typed) != text) {
                        RefuseTyped(window, *edit, length);
                    } else {
                        Guarded([&] { edit->SetText(typed); });
                    }
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
        case WM_NOTIFY:
            if (!TreeNotification(lParam)) return false;
            result = 0;
            return true;
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
            Control* under = GraphicAt(container, lParam);
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
            Control* under = GraphicAt(container, lParam);
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
        case WM_DPICHANGED:
            if (form) ApplyDpi(*form, hwnd, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
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

// The keys the dialog manager would take for a dialog's default and cancel
// buttons, which the toolkit's forms do not have: Enter presses the push
// button that has the focus, Escape does nothing. True when the key was
// taken (it then reaches neither the dialog manager nor the control).
bool DialogKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) return false;
    // Only keys for the toolkit's own forms: the system's dialogs (message
    // boxes, the file dialogs) keep theirs.
    wchar_t cls[64] = {};
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (!root || !GetClassNameW(root, cls, 64) || lstrcmpW(cls, kFormClass) != 0) return false;
    if (msg.wParam == VK_ESCAPE) return true;
    auto* button = dynamic_cast<Button*>(ControlOf(msg.hwnd));
    if (!button || !IsWindowEnabled(msg.hwnd)) return false;
    Guarded([&] { button->Click(); });
    return true;
}

// The modal forms, innermost last. A close box pressed while work runs inside
// the innermost one (an installation reporting progress) is decided at once,
// as the user sees it: a refusal is forgotten, not kept for the moment the
// work returns to the modal loop, when the form would no longer refuse.
std::vector<Form*> modalForms;

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
    // The monitor the form appears on: that of the window it is shown over,
    // else the primary one; its DPI is the form's scale.
    HWND previous = GetActiveWindow();
    HMONITOR monitor = previous ? MonitorFromWindow(previous, MONITOR_DEFAULTTOPRIMARY)
                                : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO screen{};
    screen.cbSize = sizeof screen;
    GetMonitorInfoW(monitor, &screen);
    int dpi = MonitorDpi(monitor);
    SetFormDpi(form, dpi);
    const Rect& b = form.Bounds();
    RECT r = FrameFor(Scaled(b.Width, dpi), Scaled(b.Height, dpi), style, exStyle, dpi);
    int width = r.right - r.left, height = r.bottom - r.top;
    const RECT& work = screen.rcWork;
    int x = Scaled(b.Left, dpi), y = Scaled(b.Top, dpi);
    if (form.Position == FormPosition::ScreenCenter) {
        x = (screen.rcMonitor.left + screen.rcMonitor.right - width) / 2;
        y = (screen.rcMonitor.top + screen.rcMonitor.bottom - height) / 2;
    } else if (form.Position == FormPosition::WorkArea) {
        x = work.left;
        y = work.top;
        width = work.right - work.left;
        height = work.bottom - work.top;
    }
    HWND hwnd = CreateWindowExW(exStyle, kFormClass, WideShown(form.Caption()).c_str(), style, x, y, width, height,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) {
        ForgetFormDpi(form);
        return;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
    form.Peer = hwnd;
    // The system may know better which monitor's DPI the window has.
    if (int actual = WindowDpi(hwnd, dpi); actual != dpi && form.Position != FormPosition::WorkArea) {
        dpi = actual;
        SetFormDpi(form, dpi);
        r = FrameFor(Scaled(b.Width, dpi), Scaled(b.Height, dpi), style, exStyle, dpi);
        SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    // The form's own size is its client area, which its children align to.
    if (form.Position == FormPosition::WorkArea) FitWorkArea(form, hwnd);
    CreatePeers(form);
    form.SetShowing(true);
    for (Timer* timer : form.Timers()) Update(*timer);
    if (previous) EnableWindow(previous, FALSE);

    modalForms.push_back(&form);
    auto cleanup = [&] {
        modalForms.pop_back();
        for (Timer* timer : form.Timers()) KillTimer(hwnd, TimerId(*timer));
        form.SetShowing(false);
        hovered = nullptr;
        if (previous) EnableWindow(previous, TRUE);
        DestroyWindow(hwnd);
        shownDocuments.clear();
        ForgetPeers(form);
        ForgetFormDpi(form);
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
            if (DialogKey(msg)) continue;
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

namespace {

// Milliseconds that every pumping inside long work lasts at least: the Wine
// tests slow an installation down with SETUP_TEST_PROGRESS_PAUSE so that its
// progress page can be photographed and a close request sent while it runs.
// Unset (as for every user), nothing waits.
DWORD ProgressPause() {
    static const DWORD pause = [] {
        wchar_t text[16];
        DWORD n = GetEnvironmentVariableW(L"SETUP_TEST_PROGRESS_PAUSE", text, 16);
        return n > 0 && n < 16 ? static_cast<DWORD>(_wtoi(text)) : 0;
    }();
    return pause;
}

}  // namespace

void Win32Backend::ProcessMessages() {
    if (DWORD pause = ProgressPause()) {
        // Input and painting are served throughout the pause.
        DWORD start = GetTickCount();
        for (DWORD waited = 0; waited < pause; waited = GetTickCount() - start) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, pause - waited, QS_ALLINPUT);
            PumpMessages();
        }
    }
    PumpMessages();
}

void Win32Backend::PumpMessages() {
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
        if (DialogKey(msg)) continue;
        if (!top || !IsDialogMessageW(top, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    RaisePending();
    if (!modalForms.empty()) {
        Form& top = *modalForms.back();
        if (top.CloseRequested() && !top.QueryClose()) top.ClearCloseRequest();
    }
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
