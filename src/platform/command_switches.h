// The switches of an unattended run, shared by the setup program and the
// uninstaller: "/S" (no window, no message box), "/D=PATH" (the installation
// folder; the last argument, blanks allowed unquoted), "/LOG=FILE" (a UTF-8
// log of the run), "/REBOOT" (a silent run may restart Windows), "/?" and
// "/HELP". Letters are matched without regard to ASCII case, "-" works like
// "/". The argument "-1" marks the copy that the program started elevated.
#pragma once

#include <string>
#include <vector>

namespace setup {

// The exit statuses of the setup program and the uninstaller, the same on
// every platform.
inline constexpr int kExitDone = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitCancelled = 2;
inline constexpr int kExitDoneWithFailures = 3;
// Installed (or removed), but files in use wait for a restart of Windows.
inline constexpr int kExitRestartNeeded = 3010;
inline constexpr int kExitElevationRefused = 1223;

struct CommandSwitches {
    bool Silent = false;
    bool Reboot = false;
    bool Help = false;
    // "-1": this process is the elevated copy and never relaunches again.
    bool Relaunched = false;
    std::string InstallDir;  // "/D=": empty when not given
    std::string LogFile;     // "/LOG=": a full path; empty when not given
    // Arguments that are none of the above, in order. They suppress the
    // elevated relaunch, as any argument always has.
    std::vector<std::string> Others;
    // Why the switches cannot be used ("/D=" or "/LOG=" without a full
    // path, "/LOG=" without a file); empty when they can.
    std::string Problem;

    // True when at least one switch of an unattended run was given.
    bool AnySwitch() const { return Silent || Reboot || Help || !InstallDir.empty() || !LogFile.empty(); }
    // True when this process should hand over to an elevated copy on a
    // system that asks for elevation: no "-1" and no other argument.
    bool MayRelaunch() const { return !Relaunched && Others.empty(); }
};

// Reads the arguments (without the program name). "/D=" takes every argument
// after it too, joined with single blanks, since deployment tools pass the
// folder unquoted; a trailing backslash is dropped. Raises nothing: what is
// wrong is described in Problem.
CommandSwitches ParseCommandSwitches(const std::vector<std::string>& arguments);

// The parameters of the elevated copy: "-1" and the switches, a value with a
// blank quoted, "/D=" last and unquoted.
std::string RelaunchParameters(const CommandSwitches& switches);

// The switches as the log shows them: the recognised ones in a fixed order,
// the other arguments only counted, control characters as "?". The raw
// arguments never reach the log, so no caller can choose its lines.
std::string SwitchesLogText(const CommandSwitches& switches);

// The text that lists the switches (GBK), for the setup program or the
// uninstaller.
std::string SetupSwitchesHelp();
std::string UninstallSwitchesHelp();

}  // namespace setup
