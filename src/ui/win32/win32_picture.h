// Draws a decoded picture into a device context: pixels unscaled from the
// target's top-left corner (clipped to it) or stretched over the whole target.
#pragma once

#include "platform/win32/windows_api.h"
#include "ui/picture.h"

namespace setup::ui {

void DrawPicture(HDC dc, const RECT& target, const Picture& picture, bool stretch);

}  // namespace setup::ui
