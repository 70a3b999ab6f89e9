// Folders made new on the simulated machine: a name that is taken, a host
// link above all, is refused and never followed.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

using SandboxProtectedTest = SandboxTest;

TEST_F(SandboxProtectedTest, CreateFolderNewMakesOnlyNewNames) {
    FilesApi& files = OS().Files();
    ASSERT_TRUE(files.CreateFolderTree("C:\\Temp\\taken"));
    files.Open("C:\\Temp\\file", OpenMode::Create)->WriteBytes("x");
    EXPECT_TRUE(files.CreateFolderNew("C:\\Temp\\new", FolderAccess::Protected));
    EXPECT_TRUE(files.FolderExists("C:\\Temp\\new"));
    EXPECT_TRUE(files.CreateFolderNew("C:\\Temp\\new\\sub", FolderAccess::Inherited));
    // Whatever holds the name, in whatever letter case, keeps it.
    for (const char* taken : {"C:\\Temp\\taken", "C:\\TEMP\\TAKEN", "C:\\Temp\\file", "C:\\Temp\\new", "C:\\Temp\\.",
                              "C:\\Temp\\..", "C:\\"}) {
        EXPECT_FALSE(files.CreateFolderNew(taken, FolderAccess::Protected)) << taken;
    }
    EXPECT_FALSE(files.CreateFolderNew("C:\\Temp\\missing\\sub", FolderAccess::Protected));  // no parent
    EXPECT_FALSE(files.CreateFolderNew("Q:\\new", FolderAccess::Protected));                 // no such drive
    EXPECT_FALSE(files.CreateFolderNew("Z:\\tmp\\new", FolderAccess::Protected));            // the host's drive
}

// A link planted at the name, dangling or not, and a folder reached through
// a link are refused; nothing appears where the link points.
TEST_F(SandboxProtectedTest, CreateFolderNewRefusesLinks) {
    FilesApi& files = OS().Files();
    ASSERT_TRUE(files.CreateFolderTree("C:\\Temp"));
    std::string target = HostPath("target");
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    ASSERT_EQ(symlink(target.c_str(), HostPath("C/Temp/link").c_str()), 0);
    ASSERT_EQ(symlink(HostPath("nowhere").c_str(), HostPath("C/Temp/dangling").c_str()), 0);
    EXPECT_FALSE(files.CreateFolderNew("C:\\Temp\\link", FolderAccess::Protected));
    EXPECT_FALSE(files.CreateFolderNew("C:\\Temp\\dangling", FolderAccess::Protected));
    EXPECT_FALSE(files.CreateFolderNew("C:\\Temp\\link\\sub", FolderAccess::Protected));
    struct stat st;
    EXPECT_NE(lstat(HostPath("nowhere").c_str(), &st), 0);
    EXPECT_NE(lstat((target + "/sub").c_str(), &st), 0);
}

}  // namespace
}  // namespace setup::testing_sandbox
