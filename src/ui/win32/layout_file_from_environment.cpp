// Linked into the test build of the setup program only: the layout file of
// the Wine tests is the one SETUP_LAYOUT_FILE names. The shipped programs
// lack this file, so a variable set in their environment writes nothing.
#include "platform/win32/windows_api.h"

#include "ui/win32/win32_peers.h"

namespace setup::ui::peers {
namespace {

// Runs before the program's entry, in this program alone.
const bool layoutFileRead = [] {
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"SETUP_LAYOUT_FILE", path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) SetLayoutFile(path);
    return true;
}();

}  // namespace
}  // namespace setup::ui::peers
