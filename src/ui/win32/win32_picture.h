// Painting a decoded picture into a device context, for the Image control and
// the background window: pixels through StretchDIBits, icons and metafiles by
// the system from their bytes.
#pragma once

#include "platform/win32/windows_api.h"
#include "ui/picture.h"

namespace setup::ui {

// Draws the picture into target. Without stretch it is drawn at its own size
// scaled by dpi / 96 (smoothly) from target's top-left corner and clipped to
// target; with stretch it fills target, the aspect ratio not kept. A metafile
// that does not say its size always fills target. Transparent pixels show the
// button-face colour. Draws nothing (and raises nothing) for bytes the system
// refuses.
void DrawPicture(HDC dc, const RECT& target, const Picture& picture, bool stretch, int dpi = 96);

}  // namespace setup::ui
