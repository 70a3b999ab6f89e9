#include "ui/program_host.h"

#include <cstdlib>

#include "platform/os.h"
#include "platform/win32/dll_hardening.h"
#include "ui/win32/win32_backend.h"

namespace setup::ui {

int RunProgram(int argc, char** argv, int (*body)()) {
    // Before anything else can load a DLL: only the system folder is searched.
    win32::RestrictDllSearchPath();
    std::unique_ptr<Platform> platform = CreateNativePlatform(argc, argv);
    SetPlatform(platform.get());
    Win32Backend backend;
    SetBackend(&backend);
    int status = body();
    SetBackend(nullptr);
    SetPlatform(nullptr);
    return status;
}

}  // namespace setup::ui

// A program without a console has nowhere to print why it ends: the C++
// library's verbose handler for an uncaught exception (and the name demangler
// it brings along) is replaced by one that ends the process as that handler
// does after printing.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
