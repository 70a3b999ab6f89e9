// The log of an unattended run on the simulated machine: a path that goes
// through a junction (planted by whoever may write a folder on the way) is
// refused, and nothing is written where the junction leads.
#include <unistd.h>

#include "platform/errors.h"
#include "platform/run_log.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"

namespace setup::testing_sandbox {
namespace {

class RunLogTest : public SandboxTest {
protected:
    void TearDown() override {
        CloseRunLog();
        SandboxTest::TearDown();
    }
    void PlantJunction(const std::string& link, const std::string& target) {
        ASSERT_EQ(symlink(Machine().Paths().Resolve(target).Host.c_str(), Machine().Paths().Resolve(link).Host.c_str()),
                  0);
    }
};

// The log's folder, or any folder above it, a junction into the all-users
// Startup folder: refused with the level named; the folder stays empty. The
// same path without the junction is logged to.
TEST_F(RunLogTest, PathThroughAJunctionIsRefused) {
    const std::string startup = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    FilesApi& files = OS().Files();
    ASSERT_TRUE(files.CreateFolderTree(startup));
    ASSERT_TRUE(files.CreateFolderTree("C:\\Downloads\\real"));
    PlantJunction("C:\\Downloads\\logs", startup);
    PlantJunction("C:\\Downloads\\up", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
    for (const std::string& log :
         {std::string("C:\\Downloads\\logs\\run.cmd"), std::string("C:\\Downloads\\up\\Startup\\run.cmd")}) {
        try {
            OpenRunLog(log);
            ADD_FAILURE() << log;
        } catch (const Error& e) {
            EXPECT_TRUE(Contains(e.what(), log)) << e.what();
            EXPECT_TRUE(Contains(e.what(), "是链接")) << e.what();
        }
        EXPECT_FALSE(RunLogOpen());
    }
    EXPECT_TRUE(files.ListFolder(startup).empty());
    OpenRunLog("C:\\Downloads\\real\\setup.log");
    LogLine("一行");
    CloseRunLog();
    EXPECT_EQ(ReadHostFile("C/Downloads/real/setup.log"), GbkToUtf8("一行") + "\r\n");
}

}  // namespace
}  // namespace setup::testing_sandbox
