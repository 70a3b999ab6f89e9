// Painting what the system does not draw: the graphic controls (labels,
// pictures, bevels) on their container's background, the gauge, and the rows
// of a check list; and the fonts and brushes they are drawn with.
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "ui/win32/win32_peers.h"
#include "ui/win32/win32_picture.h"

namespace setup::ui::peers {

HFONT FontOf(const Font& font, int dpi) {
    static std::map<std::tuple<int, bool, bool>, HFONT> fonts;
    const int height = Scaled(font.Height, dpi);
    auto key = std::make_tuple(height, font.Bold, font.Underline);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    HFONT handle =
        CreateFontW(-height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, font.Underline, FALSE, GB2312_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
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

// Word-wrapped text, a line at a time: each line as much of the text as fits
// the width (broken after a blank where the line has one), lines one em
// apart as the layout tables were made with (宋体 has no leading), so that
// a font with more leading does not push the last line out of the box.
// Drawing stops at the box's bottom.
void DrawWrapped(HDC dc, const std::wstring& text, const RECT& area) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int pitch =
        metrics.tmHeight - metrics.tmInternalLeading > 0 ? metrics.tmHeight - metrics.tmInternalLeading : 1;
    const int width = area.right - area.left;
    int top = area.top;
    size_t start = 0;
    while (start <= text.size() && top < area.bottom) {
        // A line ends at CR LF, a lone CR or a lone LF, as DrawText has it.
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring paragraph = text.substr(start, end - start);
        if (end + 1 < text.size() && text[end] == L'\r' && text[end + 1] == L'\n') ++end;
        size_t at = 0;
        do {
            int fit = 0;
            SIZE size;
            const int rest = static_cast<int>(paragraph.size() - at);
            GetTextExtentExPointW(dc, paragraph.c_str() + at, rest, width, &fit, nullptr, &size);
            size_t count = fit > 0 ? static_cast<size_t>(fit) : 1;
            if (static_cast<int>(count) < rest) {
                size_t blank = paragraph.rfind(L' ', at + count);
                if (blank != std::wstring::npos && blank > at) count = blank + 1 - at;
            }
            RECT line{area.left, top, area.right, area.bottom};
            DrawTextW(dc, paragraph.c_str() + at, static_cast<int>(std::min(count, paragraph.size() - at)), &line,
                      DT_SINGLELINE);
            at += count;
            top += pitch;
        } while (at < paragraph.size() && top < area.bottom);
        start = end + 1;
    }
}

namespace {

void PaintGraphic(HDC dc, Control& control) {
    RECT r = RectOf(control);
    if (auto* image = dynamic_cast<Image*>(&control)) {
        if (const Picture* picture = image->GetPicture()) {
            DrawPicture(dc, r, *picture, image->Stretch, DpiOf(control));
        }
    } else if (dynamic_cast<Bevel*>(&control)) {
        RECT line{r.left, r.top, r.right, r.top + 2};
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    } else if (auto* label = dynamic_cast<Label*>(&control)) {
        SetBkMode(dc, TRANSPARENT);
        const Font& font = label->GetFont();
        SetTextColor(dc, label->Enabled() ? ColorOf(font.Color) : GetSysColor(COLOR_GRAYTEXT));
        HGDIOBJ old = SelectObject(dc, FontOf(control));
        std::wstring text = WideShown(label->Caption());
        // A word-wrapped label has a fixed box and draws inside it only: text
        // longer than the box is cut off there rather than drawn over the
        // controls below. A single-line label's box is sized for its text in
        // the layout's font; where the system's font is wider it may draw past
        // the box's right edge rather than lose the end of the text.
        RECT area = r;
        if (label->WordWrap) {
            DrawWrapped(dc, text, area);
        } else {
            area.right = area.left + Scaled(2000, DpiOf(control));
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_SINGLELINE);
        }
        SelectObject(dc, old);
    }
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
    SelectObject(dc, FontOf(gauge));
    DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EndPaint(hwnd, &ps);
}

}  // namespace

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

LRESULT CALLBACK GaugeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        if (auto* gauge = dynamic_cast<Gauge*>(ControlOf(hwnd))) {
            PaintGauge(hwnd, *gauge);
            return 0;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void DrawCheckRow(const DRAWITEMSTRUCT& item, CheckListBox& list) {
    if (item.itemID == static_cast<UINT>(-1) || static_cast<int>(item.itemID) >= list.Count()) return;
    const CheckListBox::Row& row = list.RowAt(static_cast<int>(item.itemID));
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int dpi = DpiOf(list), side = Scaled(13, dpi), top = r.top + (r.bottom - r.top - side) / 2;
    RECT box{r.left + Scaled(2, dpi), top, r.left + Scaled(2, dpi) + side, top + side};
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | (row.Checked ? DFCS_CHECKED : 0));
    RECT textRect{r.left + Scaled(20, dpi), r.top, r.right, r.bottom};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    HGDIOBJ old = SelectObject(dc, FontOf(list));
    std::wstring caption = WideShown(row.Caption);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect, DT_SINGLELINE | DT_VCENTER);
    SelectObject(dc, old);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
}

}  // namespace setup::ui::peers
