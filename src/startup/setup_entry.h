// The program entry of the setup program: process-wide texts, the page class
// registry, and the decision between relaunching elevated and running the
// install session here. Returns the exit status: 0 after a normal run or a
// hand-over to the elevated copy, 3 when the installation ended with failed
// items (listed to the user), 2 when the user left the wizard, 1 when an
// error escaped (after a task-modal error box that names it; the installation
// has been undone by then), 1223 when the user refused the elevation. With a
// switch the relaunching process waits for the elevated copy and ends with
// its status.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace setup {

namespace ui {
class Form;
}
class TCompile;

// The folder of the running program, with a trailing backslash.
std::string& ProgramFolder();

// What a status means, for the log (GBK).
std::string ExitStatusMeaning(int status);

// The whole program after the platform and the window backend are set.
// Switches: see platform/command_switches.h.
int SetupMain();

}  // namespace setup
