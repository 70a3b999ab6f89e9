// The setup program on the sandbox platform: the simulated machine named by
// SANDBOX_ROOT (default ./sandbox) and the headless window backend, whose
// transcript and user script live in the machine's folder.
#include <iostream>

#include "platform/errors.h"
#include "platform/os.h"
#include "platform/sandbox/sandbox_machine.h"
#include "platform/text.h"
#include "startup/setup_entry.h"
#include "ui/headless/headless_backend.h"

int main(int argc, char** argv) {
    try {
        std::unique_ptr<setup::Platform> platform = setup::CreateNativePlatform(argc, argv);
        auto& machine = static_cast<setup::sandbox::SandboxMachine&>(*platform);
        setup::SetPlatform(platform.get());
        setup::ui::HeadlessBackend backend(machine.Root() + "/transcript.txt", machine.Root() + "/user.script");
        setup::ui::SetBackend(&backend);
        int status = setup::SetupMain();
        setup::ui::SetBackend(nullptr);
        setup::SetPlatform(nullptr);
        return status;
    } catch (const setup::Error& e) {
        // The simulated machine itself could not be used (a malformed
        // machine.ini or user.script): nothing can be shown on it.
        std::cerr << "setup: " << e.what() << "\n";
        return 1;
    }
}
