// Runs a program body on this build's platform and window backend: the real
// Windows ones (with the DLL search path restricted first), or on Linux the
// simulated machine of SANDBOX_ROOT with the headless backend, whose
// transcript and user script live in the machine's folder.
#pragma once

namespace setup::ui {

int RunProgram(int argc, char** argv, int (*body)());

}  // namespace setup::ui
