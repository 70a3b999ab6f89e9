#include "platform/win32/windows_api.h"

#include "ui/win32/win32_backend.h"

#include <commctrl.h>

#include <map>
#include <vector>

#include "platform/win32/dll_hardening.h"

namespace setup::ui {

namespace {

using setup::win32::Wide;

const wchar_t kFormClass[] = L"SetupToolkitForm";
const wchar_t kGaugeClass[] = L"SetupToolkitGauge";

HFONT DialogFont() {
    static HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
    return font;
}

HWND Peer(Control& control) { return static_cast<HWND>(control.peer); }

// Controls inside panels are children of the form's window, so their place
// is their bounds offset by every panel around them.
RECT WindowRect(Control& control) {
    const Rect& b = control.Bounds();
    RECT r{b.left, b.top, b.left + b.width, b.top + b.height};
    for (Control* p = control.Parent(); p && !dynamic_cast<Form*>(p); p = p->Parent()) {
        OffsetRect(&r, p->Bounds().left, p->Bounds().top);
    }
    return r;
}

Control* ControlOf(HWND hwnd) { return reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

// Timer ids are the timer's index among the form's timers, plus one.
UINT_PTR TimerId(Timer& timer) {
    Form* form = timer.OwnerForm();
    std::vector<Timer*> timers = form->Timers();
    for (size_t i = 0; i < timers.size(); ++i) {
        if (timers[i] == &timer) return i + 1;
    }
    return 0;
}

void PaintGauge(HWND hwnd, Gauge& gauge) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    HBRUSH back = CreateSolidBrush(gauge.BackColor);
    FillRect(dc, &r, back);
    DeleteObject(back);
    RECT done = r;
    int percent = gauge.PercentDone();
    done.right = r.left + (r.right - r.left) * (percent < 0 ? 0 : percent > 100 ? 100 : percent) / 100;
    HBRUSH fore = CreateSolidBrush(gauge.ForeColor);
    FillRect(dc, &done, fore);
    DeleteObject(fore);
    wchar_t text[16];
    wsprintfW(text, L"%d%%", percent);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, DialogFont());
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

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = dynamic_cast<Form*>(ControlOf(hwnd));
    switch (message) {
        case WM_CLOSE:
            if (form && form->CloseBox) form->Close();
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam) {
                if (auto* button = dynamic_cast<Button*>(ControlOf(reinterpret_cast<HWND>(lParam)))) button->Click();
            }
            return 0;
        case WM_TIMER:
            if (form) {
                std::vector<Timer*> timers = form->Timers();
                if (wParam >= 1 && wParam <= timers.size()) timers[wParam - 1]->Fire();
            }
            return 0;
        case WM_CTLCOLORSTATIC: {
            auto* label = dynamic_cast<Label*>(ControlOf(reinterpret_cast<HWND>(lParam)));
            if (label && label->Transparent) {
                SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        }
        case WM_PAINT:
            if (form && form->OnPaint) {
                form->OnPaint();
            }
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void CreatePeers(Control& parent, HWND parentWindow) {
    for (Control* child : parent.Children()) {
        if (dynamic_cast<Timer*>(child)) continue;
        const wchar_t* cls = L"STATIC";
        DWORD style = WS_CHILD;
        if (dynamic_cast<Button*>(child)) {
            cls = L"BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
        } else if (dynamic_cast<ProgressBar*>(child)) {
            cls = PROGRESS_CLASSW;
        } else if (dynamic_cast<Gauge*>(child)) {
            cls = kGaugeClass;
        } else if (dynamic_cast<Bevel*>(child)) {
            style |= SS_ETCHEDHORZ;
        } else if (auto* label = dynamic_cast<Label*>(child)) {
            style |= label->WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
        }
        RECT r = WindowRect(*child);
        HWND hwnd = CreateWindowExW(0, cls, Wide(child->Caption()).c_str(), style, r.left, r.top, r.right - r.left,
                                    r.bottom - r.top, parentWindow, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) continue;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(child));
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
        child->peer = hwnd;
        ActiveBackend()->Update(*child);
        CreatePeers(*child, parentWindow);
    }
}

}  // namespace

Win32Backend::Win32Backend() {
    // Common controls from the system folder (or, with the manifest, version 6).
    if (HMODULE comctl = static_cast<HMODULE>(win32::LoadSystemLibrary(L"comctl32.dll"))) {
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        if (init) init(&icc);
    }
    WNDCLASSW wc{};
    wc.lpfnWndProc = FormProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    wc.lpszClassName = kFormClass;
    RegisterClassW(&wc);
    WNDCLASSW gauge{};
    gauge.lpfnWndProc = GaugeProc;
    gauge.hInstance = GetModuleHandleW(nullptr);
    gauge.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    gauge.lpszClassName = kGaugeClass;
    RegisterClassW(&gauge);
}

Win32Backend::~Win32Backend() = default;

void Win32Backend::RunModal(Form& form) {
    DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    if (form.CloseBox) style |= WS_SYSMENU;
    if (form.Border == BorderStyle::Sizeable) style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    if (form.Border == BorderStyle::Dialog) exStyle |= WS_EX_DLGMODALFRAME;
    const Rect& b = form.Bounds();
    RECT r{0, 0, b.width, b.height};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    int width = r.right - r.left, height = r.bottom - r.top;
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = b.left, y = b.top;
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
    HWND hwnd = CreateWindowExW(exStyle, kFormClass, Wide(form.Caption()).c_str(), style, x, y, width, height,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
    form.peer = hwnd;
    CreatePeers(form, hwnd);
    for (Control* child : form.Children()) {
        if (child->Visible() && child->peer) ShowWindow(Peer(*child), SW_SHOW);
    }
    form.SetShowing(true);
    for (Timer* timer : form.Timers()) Update(*timer);
    if (previous) EnableWindow(previous, FALSE);
    ShowWindow(hwnd, SW_SHOW);
    // The new modal window is the active one, so that message boxes raised
    // from it are owned by it and stay above it.
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
    UpdateWindow(hwnd);

    auto cleanup = [&] {
        for (Timer* timer : form.Timers()) KillTimer(hwnd, TimerId(*timer));
        form.SetShowing(false);
        if (previous) EnableWindow(previous, TRUE);
        DestroyWindow(hwnd);
        std::vector<Control*> pending = {&form};
        while (!pending.empty()) {
            Control* c = pending.back();
            pending.pop_back();
            c->peer = nullptr;
            pending.insert(pending.end(), c->Children().begin(), c->Children().end());
        }
        if (previous) SetActiveWindow(previous);
    };
    try {
        if (form.OnShow) form.OnShow();
        MSG msg;
        for (;;) {
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
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Win32Backend::Update(Control& control) {
    if (auto* timer = dynamic_cast<Timer*>(&control)) {
        Form* form = timer->OwnerForm();
        if (!form || !form->peer) return;
        HWND hwnd = Peer(*form);
        if (timer->Active() && form->IsShowing()) {
            SetTimer(hwnd, TimerId(*timer), static_cast<UINT>(timer->Interval()), nullptr);
        } else {
            KillTimer(hwnd, TimerId(*timer));
        }
        return;
    }
    HWND hwnd = Peer(control);
    if (!hwnd) return;
    if (dynamic_cast<Form*>(&control)) {
        SetWindowTextW(hwnd, Wide(control.Caption()).c_str());
        return;
    }
    RECT r = WindowRect(control);
    MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    SetWindowTextW(hwnd, Wide(control.Caption()).c_str());
    EnableWindow(hwnd, control.Enabled());
    ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
    if (auto* bar = dynamic_cast<ProgressBar*>(&control)) {
        SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(bar->Min()), static_cast<LPARAM>(bar->Max()));
        SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(bar->Position()), 0);
    }
    if (dynamic_cast<Gauge*>(&control)) InvalidateRect(hwnd, nullptr, FALSE);
}

void Win32Backend::Forget(Control& control) {
    if (auto* timer = dynamic_cast<Timer*>(&control)) {
        Form* form = timer->OwnerForm();
        if (form && form->peer) KillTimer(Peer(*form), TimerId(*timer));
        return;
    }
    control.peer = nullptr;
}

void Win32Backend::Wake(Form& form) {
    if (form.peer) PostMessageW(Peer(form), WM_NULL, 0, 0);
}

}  // namespace setup::ui
