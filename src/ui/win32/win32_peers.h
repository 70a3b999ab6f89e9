// What the parts of the Win32 backend share: the window classes of the
// toolkit, the state of the one message loop (a failure waiting to be raised,
// a peer being written, the control under the pointer, the documents shown),
// the GDI objects of fonts and colours, and the peers of controls. Private to
// src/ui/win32.
#pragma once

#include "platform/win32/windows_api.h"

#include <exception>
#include <map>
#include <string>
#include <vector>

#include "ui/controls.h"

namespace setup::ui::peers {

using setup::win32::NarrowTyped;
using setup::win32::WideShown;

inline constexpr wchar_t kFormClass[] = L"SetupToolkitForm";
inline constexpr wchar_t kPanelClass[] = L"SetupToolkitPanel";
inline constexpr wchar_t kGaugeClass[] = L"SetupToolkitGauge";

// ---- the message loop's state (win32_backend.cpp) --------------------------

// An exception raised by a handler inside a window procedure waits here until
// control is back in our own code (the modal loop or ProcessMessages), which
// raises it again: C++ exceptions never unwind through the system's frames.
extern std::exception_ptr pendingFailure;
// Set while the backend writes a control's state to its peer, so that the
// notifications this causes (EN_CHANGE) are not taken for user input.
extern bool updatingPeer;
// The document each viewer window shows, so that it is filled only on a change.
extern std::map<HWND, const Document*> shownDocuments;
// The graphic control under the pointer, or null.
extern Control* hovered;

// Runs a handler of the portable layer from inside a window procedure.
template <typename Handler>
void Guarded(Handler&& handler) {
    if (pendingFailure) return;  // the first failure ends the loop; later input is ignored
    try {
        handler();
    } catch (...) {
        pendingFailure = std::current_exception();
    }
}

// Raises the failure a handler left behind, if any.
void RaisePending();

// Timer ids are the timer's index among the form's timers, plus one.
UINT_PTR TimerId(Timer& timer);

// ---- the scale (win32_dpi.cpp) ---------------------------------------------

// Forms and controls are laid out in units of a 96-dpi screen; a form shown on
// a monitor of another DPI has every place, size and font scaled by DPI / 96.
inline constexpr int kBaseDpi = 96;
inline int Scaled(int value, int dpi) { return MulDiv(value, dpi, kBaseDpi); }
inline int Unscaled(int value, int dpi) { return MulDiv(value, kBaseDpi, dpi); }

// The DPI the control's form is drawn at (96 before it is shown).
int DpiOf(const Control& control);
void SetFormDpi(const Form& form, int dpi);
void ForgetFormDpi(const Form& form);
// The DPI of a monitor (the system's DPI where the system has no per-monitor
// DPI), and that of a shown window (fallback where the system cannot say).
int MonitorDpi(HMONITOR monitor);
int WindowDpi(HWND hwnd, int fallback);
// The window rectangle around a client area of the size, frame parts at dpi.
RECT FrameFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);
// A form filling the work area takes its client area, in 96-dpi units, as its
// size, which its children align to.
void FitWorkArea(Form& form, HWND hwnd);
// The form moved to a monitor of another DPI (WM_DPICHANGED): its window goes
// to the suggested place at the new size and every control is placed again.
void ApplyDpi(Form& form, HWND hwnd, int dpi, const RECT& suggested);

// ---- fonts, colours and painting (win32_paint.cpp) --------------------------

// The font of a control: "宋体" at its height scaled to dpi with the GB2312
// character set, made once for each height and style.
HFONT FontOf(const Font& font, int dpi);
inline HFONT FontOf(const Control& control) { return FontOf(control.GetFont(), DpiOf(control)); }
// A colour of the toolkit (system colours by their index) as GDI takes it.
COLORREF ColorOf(uint32_t color);
// A solid brush of the colour, made once and kept.
HBRUSH BrushOf(uint32_t color);

// Word-wrapped text in the device context's font inside area: lines break at
// CR LF, a lone CR or LF, and where the width is full (after a blank if the
// line has one); they are one em apart; nothing is drawn below area.
void DrawWrapped(HDC dc, const std::wstring& text, const RECT& area);
// A container draws its background and its graphic children in their order.
void PaintContainer(HWND hwnd, Control& container);
// One row of a check list: a check box and the caption.
void DrawCheckRow(const DRAWITEMSTRUCT& item, CheckListBox& list);
// The window procedure of the gauge, which is drawn, not a system control.
LRESULT CALLBACK GaugeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- the peers of controls (win32_native_controls.cpp) ---------------------

inline HWND Peer(const Control& control) { return static_cast<HWND>(control.Peer); }

inline Control* ControlOf(HWND hwnd) { return reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

// The control's place in its container's window, at its form's scale. Edges
// are scaled, not sizes, so that controls that meet in the table still meet.
inline RECT RectOf(const Control& control) {
    const Rect& b = control.Bounds();
    int dpi = DpiOf(control);
    return RECT{Scaled(b.Left, dpi), Scaled(b.Top, dpi), Scaled(b.Left + b.Width, dpi), Scaled(b.Top + b.Height, dpi)};
}

// Controls without a window of their own: their container draws them.
inline bool IsGraphic(const Control& control) {
    return dynamic_cast<const Label*>(&control) || dynamic_cast<const Image*>(&control) ||
           dynamic_cast<const Bevel*>(&control);
}
inline bool IsContainer(const Control& control) {
    return dynamic_cast<const Panel*>(&control) || dynamic_cast<const Page*>(&control) ||
           dynamic_cast<const Form*>(&control);
}
inline bool HasNoPeer(const Control& control) {
    return dynamic_cast<const Timer*>(&control) || dynamic_cast<const MediaPlayer*>(&control) || IsGraphic(control);
}

// The nearest control around this one that has a window.
Control* Container(const Control& control);

// Gives every child of parent, and their children, its window, in tab order.
void CreatePeers(Control& parent);
// Drops the peers of a control and everything in it (their windows are gone).
void ForgetPeers(Control& control);

// ---- the folder tree (win32_tree_view.cpp) ----------------------------------

// Brings the tree view's items in line with the portable tree: the root, the
// loaded children of expanded nodes, the selection.
void SyncTree(HWND tree, ShellTreeView& view);
// A tree view's notification to its container (a node expanded or selected
// by the user) passed on to the portable tree; false when the notification
// is not from a folder tree or comes from the backend's own update.
bool TreeNotification(LPARAM lParam);

// ---- the layout file (win32_layout_dump.cpp) --------------------------------

// Appends the form's control tree to the layout file of the Wine tests, when
// one was set; does nothing otherwise.
void WriteLayout(Form& form, const std::string& note);
// Names the layout file (empty: none). Only the test build of the setup
// program calls it, from the environment; the shipped programs never do.
void SetLayoutFile(const std::wstring& path);

}  // namespace setup::ui::peers
