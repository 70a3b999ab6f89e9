// The scale of the windows: forms and their controls are laid out in 96-dpi
// units, and each shown form is drawn at the DPI of the monitor it is on.
// The program is per-monitor aware where the system knows that (Windows 8.1
// and later, through the manifest), so it is told when a form moves to a
// monitor of another DPI and places everything again; on older systems the
// one DPI of the system is the scale of every form.
#include "platform/win32/windows_api.h"

#include <map>

#include "platform/win32/dll_hardening.h"
#include "ui/backend.h"
#include "ui/win32/win32_peers.h"

namespace setup::ui::peers {

namespace {

std::map<const Form*, int> formDpi;

// What the system offers for DPI depends on its version: each function is
// looked up once and may be missing.
template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name, bool load) {
    HMODULE handle = load ? static_cast<HMODULE>(win32::LoadSystemLibrary(module)) : GetModuleHandleW(module);
    if (!handle) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kBaseDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

}  // namespace

int DpiOf(const Control& control) {
    const Form* form = const_cast<Control&>(control).OwnerForm();
    auto it = form ? formDpi.find(form) : formDpi.end();
    return it != formDpi.end() ? it->second : kBaseDpi;
}

void SetFormDpi(const Form& form, int dpi) { formDpi[&form] = dpi > 0 ? dpi : kBaseDpi; }

void ForgetFormDpi(const Form& form) { formDpi.erase(&form); }

int MonitorDpi(HMONITOR monitor) {
    // shcore.dll: Windows 8.1 and later; MDT_EFFECTIVE_DPI is 0.
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static auto getDpiForMonitor = SystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor", true);
    UINT x = 0, y = 0;
    if (monitor && getDpiForMonitor && SUCCEEDED(getDpiForMonitor(monitor, 0, &x, &y)) && y > 0) {
        return static_cast<int>(y);
    }
    return SystemDpi();
}

int WindowDpi(HWND hwnd, int fallback) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static auto getDpiForWindow = SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow", false);
    UINT dpi = getDpiForWindow ? getDpiForWindow(hwnd) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : fallback;
}

RECT FrameFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
    // The frame's own parts (caption, borders) at the DPI too, where the
    // system can say how large they are there.
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static auto adjustForDpi = SystemFunction<AdjustForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi", false);
    RECT r{0, 0, clientWidth, clientHeight};
    if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return r;
}

namespace {

// Every control that has a window, and the graphic ones through their
// containers, written again at the form's scale: places, sizes and fonts.
void UpdateAll(Control& parent) {
    for (Control* child : parent.Children()) {
        if (child->Peer || IsGraphic(*child)) ActiveBackend()->Update(*child);
        UpdateAll(*child);
    }
}

}  // namespace

void FitWorkArea(Form& form, HWND hwnd) {
    RECT client;
    GetClientRect(hwnd, &client);
    int dpi = DpiOf(form);
    const Rect& b = form.Bounds();
    form.SetBounds(b.Left, b.Top, Unscaled(client.right, dpi), Unscaled(client.bottom, dpi));
}

void ApplyDpi(Form& form, HWND hwnd, int dpi, const RECT& suggested) {
    if (dpi == DpiOf(form)) return;
    SetFormDpi(form, dpi);
    if (form.Position == FormPosition::WorkArea) {
        // The background window fills the work area of the monitor it is on.
        MONITORINFO info{};
        info.cbSize = sizeof info;
        GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info);
        const RECT& work = info.rcWork;
        SetWindowPos(hwnd, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        FitWorkArea(form, hwnd);
    } else {
        // At the place the system suggests, the client area at the new scale.
        const Rect& b = form.Bounds();
        RECT frame = FrameFor(Scaled(b.Width, dpi), Scaled(b.Height, dpi),
                              static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)),
                              static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)), dpi);
        SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UpdateAll(form);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace setup::ui::peers
