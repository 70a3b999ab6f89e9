// The document viewer of the agreement and readme pages on Windows: a
// read-only, scrollable rich-edit control showing a decoded document. Text
// shows as plain text, RTF as itself, HTML laid out and turned into RTF. No
// script runs and nothing is fetched: the control is given finished text.
#pragma once

#include "platform/win32/windows_api.h"
#include "ui/document.h"

namespace setup::ui {

// Creates the viewer as a child of parent at bounds (client coordinates of
// the parent), showing text in font until a document is shown. Uses the
// system's rich-edit control (msftedit.dll, else riched20.dll, loaded from the
// system folder only); without either, a read-only multi-line edit control
// that shows the document's text lines. Null when the window cannot be made.
HWND CreateDocumentView(HWND parent, const RECT& bounds, HFONT font);

// Replaces what the viewer shows with document (null: nothing) and scrolls to
// its start. A document the control cannot take leaves the viewer empty.
void ShowDocument(HWND view, const Document* document);

// ShowDocument once EnableDocumentViews (ui/backend.h) has run, else null:
// the backend reaches the layout only through this, so that a program that
// never loads a document leaves it and its decoders out of its file.
extern void (*DocumentLayout)(HWND view, const Document* document);

}  // namespace setup::ui
