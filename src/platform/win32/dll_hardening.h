// Protection of the setup program against DLL planting: it is often started
// from a Downloads folder, where a file named like a system DLL could wait.
#pragma once

namespace setup::win32 {

// Restricts the DLL search path to the system folder (where Windows offers
// that) and drops the current folder from it. Call first thing in main.
void RestrictDllSearchPath();

// Loads a system DLL from the system folder only; null when it is missing.
void* LoadSystemLibrary(const wchar_t* name);

}  // namespace setup::win32
