// The system helpers: small free functions that build the exact command lines,
// flags and texts the installer uses and then call one operation of the OS
// seam. Logic elsewhere calls these by name and never the seam for these tasks.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "platform/os.h"
#include "platform/stream.h"

namespace setup {

// Caption of the information and yes/no boxes; set by the install session.
std::string& WizardTitle();
// The background music file chosen by the session; empty: none.
std::string& MusicFile();

// The text of the report of an error that ends the installation (GBK): what
// happened and the kind of error.
std::string ErrorReportText(const std::exception& error);

// Lets pending window messages through, so that windows stay alive during long
// work. The window toolkit installs the pump; without one it does nothing.
void SetMessagePump(std::function<void()> pump);
void ProcessMessages();

// "0" when the query fails or the platform is unknown, "1" Win32s, "2" the
// Windows 9x family, "major.minor" for the NT family ("5.1", "6.1", "10.0").
std::string GetOSVersionText();

// The version text read as a decimal number with "." as the decimal point,
// whatever the locale; text that is not a number reads as 0.
double VersionNumber(const std::string& versionText);
// True on Windows Vista (6.0) and later.
bool IsVistaOrLater(const std::string& versionText);
bool IsVistaOrLater();

// Starts program elevated ("runas") with the parameters and returns without
// waiting: true when it started. Raises the silent abort when the user
// refuses the elevation prompt.
bool RunElevated(const std::string& program, const std::string& parameters);
// Starts program elevated and waits for it, letting window messages through;
// returns its exit code, or -1 when it could not be started. Raises the
// silent abort when the user refuses the elevation prompt.
int64_t RunElevatedAndWait(const std::string& program, const std::string& parameters);

// Opens a file with the shell's "Open" verb, in the file's folder, shown
// normally; true when the shell started it.
bool ShellOpenFile(const std::string& path, bool asUser = false);

// Information box (OK) and question box (Yes/No) captioned with WizardTitle().
void ShowInfo(const std::string& message);
bool AskYesNo(const std::string& question);

// Byte count as text: "1024", "1.00KB", "1024.00KB", "1.00MB", "5.00GB".
std::string FormatSize(int64_t bytes);

// Free bytes for the caller on the drive's root, -1 when the drive is missing
// or not ready.
int64_t DiskFreeBytes(char driveLetter);

std::string GetSpecialFolder(int csidl);
// The user's Quick Launch folder (below the application data folder).
std::string GetQuickLaunchFolder();
std::string GetProgramFilesFolder();
std::string GetTempFolder();
std::string GetWindowsFolder();

// Registers (or unregisters) a COM server with regsvr32; on Vista and later
// elevated and without "/s", earlier through WinExec with "/s". True when
// regsvr32 started; a refused elevation raises the silent abort.
enum class ServerAction { Register, Unregister };
bool RegisterServer(const std::string& file, ServerAction action);
// Runs "\"<program>\" -Install" or "\"<program>\" -unInstall"; true when it started.
enum class ServiceAction { Install, Uninstall };
bool InstallService(const std::string& program, ServiceAction action);
// Imports a .reg file silently with the system's registry editor.
void ImportRegFile(const std::string& regFile);

// Full paths of the system programs, so that a copy planted beside the setup
// program is never started in their place.
std::string Regsvr32Path();
std::string RegeditPath();

// Sets one time of a file from a local date-time (days since 1899-12-30),
// through the DOS date-time format (two-second resolution). A file that
// cannot be opened is skipped.
void SetFileTimeOf(const std::string& file, FileTimeKind which, double dateTime);
// Sets the last-write time of a file being written, through its open stream,
// so the file is not opened a second time by name; a stream that cannot take
// it falls back to the name. Skipped like the above when neither works.
void SetLastWriteTimeOf(Stream& stream, const std::string& file, double dateTime);

// The date-time (days since 1899-12-30, fraction = time of day) of a civil
// date and time.
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second);

// Local DOS date (high word) and time (low word) of a date-time; 0 when the
// date lies outside 1980..2107.
uint32_t DateTimeToDosDateTime(double dateTime);
// The local file time of a DOS date and time; false when they are invalid.
bool DosDateTimeToLocalFileTime(uint32_t dosDateTime, uint64_t& localFileTime);

// Adds or removes a value of the machine-wide Run key; false when the key or
// value cannot be written.
enum class AutoRunAction { Add, Remove };
bool SetAutoRun(const std::string& name, const std::string& command, AutoRunAction action);

// Pins a program or shortcut to the taskbar through the shell's verbs; the
// uninstaller unpins with the same procedure and another verb text.
void PinToTaskbar(const std::string& file);
void InvokeTaskbarVerb(const std::string& file, const std::string& verbText);

}  // namespace setup
