// Builds shell link (.lnk) files in the Shell Link Binary File Format: the
// header, a LinkInfo with the target as a local path (ANSI and UTF-16), and
// the string data (description, working folder, arguments, icon location) in
// UTF-16, so that any .lnk reader, Windows included, can follow the link.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os.h"

namespace setup::sandbox {

struct LinkTargetInfo {
    uint32_t attributes = kAttrArchive;  // of the target, as the header records them
    FileTime creation = 0, access = 0, write = 0;
    uint32_t size = 0;
    DriveType driveType = DriveType::Fixed;
    uint32_t driveSerial = 0;
};

// The bytes of a link file; texts are GBK.
std::string BuildShellLinkFile(const ShellLink& link, const LinkTargetInfo& target);

}  // namespace setup::sandbox
