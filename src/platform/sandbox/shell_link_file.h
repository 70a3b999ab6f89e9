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
    uint32_t Attributes = kAttrArchive;  // of the target, as the header records them
    FileTime Creation = 0, Access = 0, Write = 0;
    uint32_t Size = 0;
    setup::DriveType DriveType = setup::DriveType::Fixed;
    uint32_t DriveSerial = 0;
};

// The bytes of a link file; texts are GBK.
std::string BuildShellLinkFile(const ShellLink& link, const LinkTargetInfo& target);

}  // namespace setup::sandbox
