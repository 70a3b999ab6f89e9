// The one way into <windows.h> for the Win32 implementation. The macros that
// would rename the seam's own methods (DeleteFile, MessageBox, ...) are
// removed; this code calls the W functions by their full names.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <exdisp.h>
#include <shldisp.h>
#include <mmsystem.h>
#include <sddl.h>

#include <string>

#undef CopyFile
#undef CreateProcess
#undef DeleteFile
#undef GetDriveType
#undef GetSystemDirectory
#undef GetTempPath
#undef GetWindowsDirectory
#undef MessageBox
#undef MoveFile
#undef ShellExecuteEx
#undef SetFileTime

namespace setup::win32 {

// Whether this process runs with an elevated token (false before Vista).
bool ProcessIsElevated();

// GBK text to and from the wide strings of the W functions.
std::wstring Wide(const std::string& gbk);
std::string Narrow(const wchar_t* wide);
std::string Narrow(const std::wstring& wide);
// The system's message for an error code, as GBK ("error 5" when there is none).
std::string SystemMessage(DWORD error);

}  // namespace setup::win32
