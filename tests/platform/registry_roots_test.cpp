// Root names as packages, registry files and logs spell them.
#include <gtest/gtest.h>

#include "platform/registry_roots.h"

namespace setup {
namespace {

// Every root's long name reads back to its handle in any case; the short form
// only where short forms are accepted.
TEST(RegistryRoots, NamesReadBackToTheirHandles) {
    for (const RegistryRoot& root : kRegistryRoots) {
        EXPECT_EQ(RootKeyName(root.Handle), root.Name);
        EXPECT_EQ(RootKeyFromName(root.Name, RootNameForms::LongOnly), root.Handle);
        std::string lower = root.Name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(RootKeyFromName(lower, RootNameForms::LongOnly), root.Handle);
        EXPECT_EQ(RootKeyFromName(root.ShortName, RootNameForms::LongOrShort), root.Handle);
        EXPECT_EQ(RootKeyFromName(root.ShortName, RootNameForms::LongOnly), std::nullopt) << root.ShortName;
    }
    EXPECT_EQ(RootKeyFromName("hklm", RootNameForms::LongOrShort), kHkeyLocalMachine);
    EXPECT_EQ(RootKeyFromName("HKEY_LOCAL_MACHINE\\SOFTWARE", RootNameForms::LongOrShort), std::nullopt);
    EXPECT_EQ(RootKeyFromName("", RootNameForms::LongOrShort), std::nullopt);
}

// Handles outside the five (performance data, dynamic data, anything) are
// written as decimal numbers, never as a wrong name.
TEST(RegistryRoots, OtherHandlesAreNumbers) {
    EXPECT_EQ(RootKeyName(kHkeyPerformanceData), "2147483652");
    EXPECT_EQ(RootKeyName(kHkeyDynData), "2147483654");
    EXPECT_EQ(RootKeyName(0), "0");
    EXPECT_EQ(FindRootKeyName(kHkeyDynData), std::nullopt);
    EXPECT_EQ(RootKeyFromName("HKEY_DYN_DATA", RootNameForms::LongOrShort), std::nullopt);
    EXPECT_EQ(RootKeyNameList(),
              "HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_CONFIG");
}

}  // namespace
}  // namespace setup
