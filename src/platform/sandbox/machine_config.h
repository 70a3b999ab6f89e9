// The settings of a simulated machine, read from machine.ini (UTF-8) in the
// sandbox root. Every key is optional; a missing file gives a Windows 7 machine
// with one fixed drive C:. A malformed file raises a Format error that names
// the file and the line.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/os.h"

namespace setup::sandbox {

enum class Elevation { Accept, Refuse, Fail };

struct DriveConfig {
    DriveType Type = DriveType::Fixed;
    bool Missing = false;
    int64_t FreeBytes = 0;
};

struct AnswerRule {
    std::string Fragment;  // GBK; a message box whose text contains it ("*": any)
    int Answer = kIdOk;
};

// Failures injected into the machine, so that tests and package authors can
// see how a program copes with them.
struct FaultConfig {
    // Drive letter -> bytes that one program run may still write to the drive;
    // the write that needs more fails as on a full disk.
    std::map<char, int64_t> WritableBytes;
    // Files (GBK Windows paths) locked by another program: they cannot be
    // opened for writing, deleted, renamed or replaced. A path ending in "\*"
    // locks everything below the folder.
    std::vector<std::string> LockedFiles;
    // Files (same forms) that are running programs: they read and can be
    // renamed, but cannot be opened for writing, replaced or deleted.
    std::vector<std::string> InUseFiles;
    // Registry keys (root handle, subkey) that refuse writes to themselves and
    // every key below them: creating subkeys, writing and deleting values.
    std::vector<std::pair<uint32_t, std::string>> ReadOnlyKeys;
    // Program starts whose program path contains one of these fragments (ASCII
    // case ignored) fail as if the file could not be run.
    std::vector<std::string> FailedStarts;
};

// True when path (GBK, any ASCII case) is locked by faults.
bool IsLockedPath(const FaultConfig& faults, const std::string& path);
// True when path matches one of the patterns (a full path, or a folder with "\*").
bool MatchesPathPattern(const std::vector<std::string>& patterns, const std::string& path);
// True when the key root\subkey lies at or below a key that refuses writes.
bool IsReadOnlyKey(const FaultConfig& faults, uint32_t root, const std::string& subkey);
// True when a program start of this program path or command line must fail.
bool IsFailedStart(const FaultConfig& faults, const std::string& program);

struct MachineConfig {
    std::string OsVersion = "6.1";  // as the version text reads: "5.1", "10.0", "2", "0"
    sandbox::Elevation Elevation = sandbox::Elevation::Accept;
    std::string User = "User";           // GBK
    bool Windows64 = false;              // a 64-bit Windows, on which 32-bit programs run through WoW64
    int UtcOffsetMinutes = 480;          // local time = UTC + offset
    std::map<char, DriveConfig> Drives;  // upper-case letter -> drive
    std::vector<AnswerRule> Answers;     // first match wins
    FaultConfig Faults;
};

MachineConfig DefaultMachineConfig();
// Parses the text of machine.ini; fileName is used in error messages.
MachineConfig ParseMachineConfig(const std::string& utf8Text, const std::string& fileName);
// Reads <root>/machine.ini, or the defaults when it does not exist.
MachineConfig LoadMachineConfig(const std::string& root);

// Turns an OS version text into what GetVersionEx would report.
std::optional<OsVersion> VersionFromText(const std::string& text);

}  // namespace setup::sandbox
