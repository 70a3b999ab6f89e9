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

TEST(RemovalGuardKeyTest, KeysDirectlyUnderARootAreProtected) {
    for (const char* key : {"", "\\", "SOFTWARE", "\\SOFTWARE\\", ".txt", "Software"}) {
        EXPECT_TRUE(RemovalGuard::KeyProtected(key)) << key;
    }
    for (const char* key : {"SOFTWARE\\演示", "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\X"}) {
        EXPECT_FALSE(RemovalGuard::KeyProtected(key)) << key;
    }
}

}  // namespace
}  // namespace setup::testing_sandbox
