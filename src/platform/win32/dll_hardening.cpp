#include "platform/win32/windows_api.h"

#include "platform/win32/dll_hardening.h"

namespace setup::win32 {

namespace {
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
}

void RestrictDllSearchPath() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return;
    // Windows 8 and Windows 7 with KB2533623 have SetDefaultDllDirectories.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(kSearchSystem32);
    // Everywhere from XP SP1 on: the current folder leaves the search path.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
    auto setDirectory =
        reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
    if (setDirectory) setDirectory(L"");
}

void* LoadSystemLibrary(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n + 2 + wcslen(name) >= MAX_PATH) return nullptr;
    std::wstring full = std::wstring(path, n) + L"\\" + name;
    return LoadLibraryW(full.c_str());
}

}  // namespace setup::win32
