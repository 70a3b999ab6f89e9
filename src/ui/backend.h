// What a window-system backend does for the toolkit: mirror control state,
// run modal loops, let pending messages through. One backend is active per
// process, chosen by the program entry (headless on the sandbox platform,
// Win32 on Windows).
#pragma once

#include "ui/controls.h"

namespace setup::ui {

class Backend {
public:
    virtual ~Backend() = default;
    // Runs the modal loop of the form until it closes.
    virtual void RunModal(Form& form) = 0;
    // Serves pending input and timers once, without waiting.
    virtual void ProcessMessages() = 0;
    // The control's state changed; the backend updates its mirror.
    virtual void Update(Control& control) = 0;
    // The control is going away.
    virtual void Forget(Control& control) = 0;
    // A form asked to close (its loop should look at it).
    virtual void Wake(Form& form) = 0;
    // The control moved above its siblings.
    virtual void Reorder(Control& control) { Update(control); }
    // The form shows something new as a whole (a wizard page): headless
    // writes it to the transcript, Win32 to the layout file when asked.
    virtual void Snapshot(Form& form, const std::string& note) = 0;
    // The cursor of the whole screen (the hourglass while work runs).
    virtual void SetScreenCursor(Cursor cursor) = 0;
};

void SetBackend(Backend* backend);
Backend* ActiveBackend();

// Lets the backend lay documents out in document views. A view calls it when
// it loads a document, so that a program whose windows never show one (the
// uninstaller) leaves the document layout, and the picture decoders it
// needs, out of its file.
void EnableDocumentViews();

// The application object: title and message pump.
class Application {
public:
    static void SetTitle(const std::string& title);
    static const std::string& Title();
    static void ProcessMessages();
    // The hourglass over every window of the program, or the default again.
    static void SetScreenCursor(Cursor cursor);
};

}  // namespace setup::ui
