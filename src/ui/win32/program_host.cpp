#include "ui/program_host.h"

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
