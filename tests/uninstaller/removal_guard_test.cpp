// What the uninstaller never removes, however a path is spelled.
#include "uninstaller/removal_guard.h"

#include "platform/common.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

class RemovalGuardTest : public SandboxTest {};

TEST(NormalFolderPathTest, SpellingsOfOneFolder) {
    EXPECT_EQ(NormalFolderPath("C:\\Windows"), "c:\\windows");
    for (const char* path : {"c:\\windows\\", "C:/Windows", "C:\\\\Windows\\.", "C:\\Program Files\\..\\Windows",
                             "C:\\Windows. .", "\\\\?\\C:\\WINDOWS", "C:\\..\\..\\Windows"}) {
        EXPECT_EQ(NormalFolderPath(path), "c:\\windows") << path;
    }
    EXPECT_EQ(NormalFolderPath("\\\\?\\UNC\\server\\share\\a"), "\\\\server\\share\\a");
    // The second byte of 誠 is "\": the name stays whole.
    EXPECT_EQ(NormalFolderPath("C:\\誠\\"), "c:\\誠");
}

TEST_F(RemovalGuardTest, RootsAndSpecialFoldersAreProtected) {
    RemovalGuard guard;
    std::vector<std::string> protectedFolders = {
        "C:\\",
        "c:",
        "D:\\",
        "\\\\server\\share",
        "relative\\folder",
        "",
        "C:\\Windows",
        "C:\\Windows\\System32",
        "C:\\Program Files",
        "C:\\ProgramData",
        "C:\\Users",
        "C:\\Users\\User",  // above special folders
        GetSpecialFolder(kCsidlDesktop),
        GetSpecialFolder(kCsidlPrograms),
        GetSpecialFolder(kCsidlAppData),
        GetSpecialFolder(kCsidlPersonal) + "\\",
        GetSpecialFolder(kCsidlStartup),
        GetTempFolder(),
        "C:\\Users\\User\\AppData\\Local\\Temp\\.\\",
    };
    for (const std::string& folder : protectedFolders) EXPECT_TRUE(guard.FolderProtected(folder)) << folder;
    for (const std::string& folder :
         {std::string("C:\\Program Files\\演示"), GetSpecialFolder(kCsidlPrograms) + "\\演示",
          std::string("C:\\Windows\\演示"), std::string("\\\\server\\share\\app"), std::string("C:\\誠")}) {
        EXPECT_FALSE(guard.FolderProtected(folder)) << folder;
    }
}

// Roots and the system's own keys stay, in every view of the classes; a key a
// product made, directly under a root included, does not.
TEST(RemovalGuardKeyTest, SystemKeysAreProtected) {
    const std::pair<uint32_t, const char*> kept[] = {
        {kHkeyLocalMachine, ""},
        {kHkeyLocalMachine, "\\"},
        {kHkeyLocalMachine, "SOFTWARE"},
        {kHkeyLocalMachine, "\\software\\"},
        {kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Services"},
        {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"},
        {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
        {kHkeyLocalMachine, "SOFTWARE\\Classes"},
        {kHkeyLocalMachine, "SOFTWARE\\Classes\\CLSID"},
        {kHkeyCurrentUser, "Software\\Classes\\clsid"},
        {kHkeyCurrentUser, "Software"},
        {kHkeyCurrentUser, "Environment"},
        {kHkeyClassesRoot, "CLSID"},
        {kHkeyClassesRoot, "*"},
        {kHkeyClassesRoot, "Directory\\shell"},
        {kHkeyUsers, ".DEFAULT"},
        {kHkeyUsers, "S-1-5-21-1\\Software"},
        {kHkeyCurrentConfig, "System"},
    };
    for (const auto& [root, key] : kept) EXPECT_TRUE(RemovalGuard::KeyProtected(root, key)) << root << " " << key;
    const std::pair<uint32_t, const char*> removable[] = {
        {kHkeyClassesRoot, ".txt"},
        {kHkeyClassesRoot, "演示.Document"},
        {kHkeyClassesRoot, "CLSID\\{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}"},
        {kHkeyLocalMachine, "SOFTWARE\\演示"},
        {kHkeyLocalMachine, "SOFTWARE\\Classes\\.demo"},
        {kHkeyLocalMachine, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\X"},
        {kHkeyLocalMachine, "Vendor"},
        {kHkeyCurrentUser, "Software\\Vendor"},
        {kHkeyUsers, "S-1-5-21-1\\Software\\Vendor"},
    };
    for (const auto& [root, key] : removable) {
        EXPECT_FALSE(RemovalGuard::KeyProtected(root, key)) << root << " " << key;
    }
}

}  // namespace
}  // namespace setup::testing_sandbox
