// Whether a path names a reparse point that redirects (a junction, a mount
// point, a symbolic link), looked at without following it: the uninstaller and
// the journal's rollback ask it before they remove or restore anything below a
// folder that someone else may write.
#include "platform/win32/windows_api.h"

#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace setup::win32 {

namespace {

// Reparse tags with this bit name another place (IsReparseTagNameSurrogate):
// junctions, mount points, symbolic links. Others (deduplicated or cloud
// files) hold their data elsewhere but still are the file itself.
constexpr DWORD kNameSurrogateBit = 0x20000000;

}  // namespace

bool Win32Files::IsReparsePoint(const std::string& path) {
    std::string trimmed = path;
    // "C:\link\" would be the folder behind the link, not the link.
    while (trimmed.size() > 3 && EndsWithChar(trimmed, '\\')) trimmed.pop_back();
    std::wstring wide = Wide(trimmed);
    // GetFileAttributesW reports the entry itself: it does not follow a
    // reparse point at the last level.
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    // The folder's listing tells the reparse tag, and answers for an entry
    // whose own attributes this process may not read.
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        // Neither says what it is: taken for a link, which is the safe side
        // for whoever asks before removing something.
        return attributes != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND;
    }
    FindClose(find);
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return (data.dwReserved0 & kNameSurrogateBit) != 0;
}

}  // namespace setup::win32
