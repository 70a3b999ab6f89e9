// Test support: the simulated machine counts the changes a program makes to
// it (each file created, written, moved, deleted, each registry change) and,
// when SANDBOX_KILL_AT=N is set, kills the program with SIGKILL right after
// its Nth change, as a power cut or a task manager would. Tests use it to
// stop a run at every moment and look at what the next run makes of it.
#pragma once

namespace setup::sandbox {

void CountChange();

}  // namespace setup::sandbox
