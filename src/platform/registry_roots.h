// The registry roots a package, a registry file or a log may name: their
// handles and their names, in one table that every reader and writer of root
// names shares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace setup {

struct RegistryRoot {
    uint32_t Handle;
    const char* Name;       // "HKEY_LOCAL_MACHINE"
    const char* ShortName;  // "HKLM"
};

// The five roots, in handle order.
inline constexpr RegistryRoot kRegistryRoots[] = {
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},     {kHkeyCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},   {kHkeyUsers, "HKEY_USERS", "HKU"},
    {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

// Which names RootKeyFromName accepts.
enum class RootNameForms { LongOnly, LongOrShort };

// The name of one of the five roots; nothing for any other handle.
std::optional<std::string_view> FindRootKeyName(uint32_t root);
// The name of one of the five roots, or the handle as unsigned decimal text.
std::string RootKeyName(uint32_t root);
// The handle of a root name in any ASCII case; nothing for any other name.
std::optional<uint32_t> RootKeyFromName(std::string_view name, RootNameForms forms);
// "A, B, C, D and E": the long names, for messages that list them.
std::string RootKeyNameList();

}  // namespace setup
