#include "ui/program_host.h"

#include <iostream>

#include "platform/errors.h"
#include "platform/os.h"
#include "platform/sandbox/effects.h"
#include "platform/sandbox/sandbox_machine.h"
#include "ui/headless/headless_backend.h"

namespace setup::ui {

int RunProgram(int argc, char** argv, int (*body)()) {
    try {
        std::unique_ptr<Platform> platform = CreateNativePlatform(argc, argv);
        auto& machine = static_cast<sandbox::SandboxMachine&>(*platform);
        SetPlatform(platform.get());
        HeadlessBackend backend(machine.Root() + "/transcript.txt", machine.Root() + "/user.script");
        SetBackend(&backend);
        machine.Clock = [&backend] { return backend.Now(); };
        int status = body();
        // A host process passes on only the low eight bits of its status; a
        // Windows exit code beyond them (1223) is kept whole in the effects.
        if (status < 0 || status > 255) {
            machine.EffectLog().Record("ExitCode", sandbox::JsonObject().Number("status", status));
        }
        machine.Clock = nullptr;
        SetBackend(nullptr);
        SetPlatform(nullptr);
        return status;
    } catch (const Error& e) {
        // The simulated machine itself could not be used (a malformed
        // machine.ini or user.script): nothing can be shown on it.
        std::cerr << argv[0] << ": " << e.what() << "\n";
        return 1;
    }
}

}  // namespace setup::ui
