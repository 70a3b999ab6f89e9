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
    DriveType type = DriveType::Fixed;
    bool missing = false;
    int64_t freeBytes = 0;
};

struct AnswerRule {
    std::string fragment;  // GBK; a message box whose text contains it ("*": any)
    int answer = kIdOk;
};

struct MachineConfig {
    std::string osVersion = "6.1";  // as the version text reads: "5.1", "10.0", "2", "0"
    Elevation elevation = Elevation::Accept;
    std::string user = "User";  // GBK
    int utcOffsetMinutes = 480;  // local time = UTC + offset
    std::map<char, DriveConfig> drives;  // upper-case letter -> drive
    std::vector<AnswerRule> answers;     // first match wins
};

MachineConfig DefaultMachineConfig();
// Parses the text of machine.ini; fileName is used in error messages.
MachineConfig ParseMachineConfig(const std::string& utf8Text, const std::string& fileName);
// Reads <root>/machine.ini, or the defaults when it does not exist.
MachineConfig LoadMachineConfig(const std::string& root);

// Turns an OS version text into what GetVersionEx would report.
std::optional<OsVersion> VersionFromText(const std::string& text);

}  // namespace setup::sandbox
