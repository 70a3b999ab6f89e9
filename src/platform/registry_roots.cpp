#include "platform/registry_roots.h"

#include <iterator>

#include "platform/text.h"

namespace setup {

std::optional<std::string_view> FindRootKeyName(uint32_t root) {
    for (const RegistryRoot& r : kRegistryRoots) {
        if (r.Handle == root) return r.Name;
    }
    return std::nullopt;
}

std::string RootKeyName(uint32_t root) {
    std::optional<std::string_view> name = FindRootKeyName(root);
    return name ? std::string(*name) : std::to_string(root);
}

std::optional<uint32_t> RootKeyFromName(std::string_view name, RootNameForms forms) {
    for (const RegistryRoot& r : kRegistryRoots) {
        if (EqualsNoCase(name, r.Name)) return r.Handle;
        if (forms == RootNameForms::LongOrShort && EqualsNoCase(name, r.ShortName)) return r.Handle;
    }
    return std::nullopt;
}

std::string RootKeyNameList() {
    std::string list;
    constexpr size_t count = std::size(kRegistryRoots);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) list += i + 1 == count ? " and " : ", ";
        list += kRegistryRoots[i].Name;
    }
    return list;
}

}  // namespace setup
