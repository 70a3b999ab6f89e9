// The setup program on Windows: the real platform and the Win32 window backend.
#include "platform/os.h"
#include "platform/win32/dll_hardening.h"
#include "startup/setup_entry.h"
#include "ui/win32/win32_backend.h"

int main(int argc, char** argv) {
    // Before anything else can load a DLL: only the system folder is searched.
    setup::win32::RestrictDllSearchPath();
    std::unique_ptr<setup::Platform> platform = setup::CreateNativePlatform(argc, argv);
    setup::SetPlatform(platform.get());
    setup::ui::Win32Backend backend;
    setup::ui::SetBackend(&backend);
    int status = setup::SetupMain();
    setup::ui::SetBackend(nullptr);
    setup::SetPlatform(nullptr);
    return status;
}
