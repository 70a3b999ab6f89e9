// A small reader of shell link files for the tests, written from the file
// format alone, independent of the writers under test. Texts come back GBK.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace setup::testing_lnk {

struct LnkContents {
    uint32_t flags = 0;
    uint32_t attributes = 0;
    int32_t iconIndex = 0;
    uint32_t showCommand = 0;
    bool hasIdList = false;
    std::string localPath;  // LinkInfo: base path + suffix
    std::string description, workingDirectory, arguments, iconLocation;
};

// Nothing when the bytes are not a well-formed link.
std::optional<LnkContents> ReadLnk(const std::string& bytes);

}  // namespace setup::testing_lnk
