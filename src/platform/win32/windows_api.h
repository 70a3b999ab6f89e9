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
// For what windows show and users type: bytes that are no GBK show as the
// replacement character, and a typed or pasted character GBK cannot hold
// (Hangul, an emoji) becomes "?", instead of an error that ends the program.
std::wstring WideShown(const std::string& gbk);
std::string NarrowTyped(const std::wstring& wide);
// A path the system gives (a special folder, the temporary folder, the own
// program, a folder's entry): as GBK when it can be, otherwise its short
// (8.3) form, which every file function takes and is plain ASCII; empty when
// the volume keeps no short names.
std::string NarrowPath(const std::wstring& path);
// The system's message for an error code, as GBK ("error 5" when there is none).
std::string SystemMessage(DWORD error);

}  // namespace setup::win32
