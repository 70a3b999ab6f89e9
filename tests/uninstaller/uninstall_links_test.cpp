// The uninstaller and junctions: a junction planted in the installation
// folder, or put in place of a recorded folder, leads to someone else's files
// (the system folder, another user's documents). Nothing behind it is removed;
// what stayed because of it is listed.
#include <unistd.h>

#include "engine/uninstall_record.h"
#include "package/install_paths.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"
#include "ui/headless/headless_backend.h"
#include "uninstaller/uninstall_form.h"

namespace setup::testing_sandbox {
namespace {

constexpr char kId[] = "{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}";
const std::string kDir = "C:\\Program Files\\演示";

class UninstallLinksTest : public SandboxTest {
protected:
    void Write(const std::string& path, const std::string& bytes = "x") {
        OS().Files().Open(path, OpenMode::Create)->WriteBytes(bytes);
    }
    // A host symbolic link at link (a Windows path of the machine) to the
    // host folder of target: the machine's junction.
    void PlantJunction(const std::string& link, const std::string& target) {
        std::string linkHost = Machine().Paths().Resolve(link).Host;
        std::string targetHost = Machine().Paths().Resolve(target).Host;
        ASSERT_EQ(symlink(targetHost.c_str(), linkHost.c_str()), 0) << linkHost;
    }
    // Saves the record in the installation folder, as setup does, and runs
    // the uninstaller's window with "卸载(&U)" pressed.
    int Uninstall(TUnInstall& record, std::vector<std::string>* failures = nullptr) {
        record.SetPackageId(kId);
        record.SetProjectName("演示");
        OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(kId));
        TUnInstall::WriteRecordDigest(kId, record.SaveToFile(kDir + "\\UnInstall.log"));
        return RunWindow(failures);
    }
    int RunWindow(std::vector<std::string>* failures = nullptr) {
        ui::HeadlessBackend backend(HostPath("transcript.txt"), HostPath("user.script"));
        ui::SetBackend(&backend);
        TfrmUnInstall window;
        window.SetRecordPath(kDir + "\\UnInstall.log");
        window.ShowModal();
        ui::SetBackend(nullptr);
        if (failures) *failures = window.Failures();
        return window.ExitCode();
    }
};

// A junction planted in the installation folder at the name of a recorded
// folder leads into the system folder: the system's files of the recorded
// names and its empty folders stay, the junction goes as a link, and the
// message lists the recorded file that stayed behind it.
TEST_F(UninstallLinksTest, JunctionInTheInstallationFolderLeadsNowhere) {
    FilesApi& files = OS().Files();
    files.CreateFolderTree(kDir);
    Write(kDir + "\\app.exe");
    files.CreateFolderTree("C:\\Windows\\System32\\empty");
    Write("C:\\Windows\\System32\\victim.dll", "the system's");
    PlantJunction(kDir + "\\plugins", "C:\\Windows\\System32");
    TUnInstall record;
    record.AddFolder(kDir);
    record.AddFolder(kDir + "\\plugins");
    record.AddFile(kDir + "\\app.exe", true);
    record.AddFile(kDir + "\\plugins\\victim.dll", true);
    std::vector<std::string> failures;
    EXPECT_EQ(Uninstall(record, &failures), 3);
    EXPECT_TRUE(files.FileExists("C:\\Windows\\System32\\victim.dll"));
    EXPECT_TRUE(files.FolderExists("C:\\Windows\\System32\\empty"));
    EXPECT_FALSE(files.FileExists(kDir + "\\app.exe"));
    EXPECT_FALSE(files.IsReparsePoint(kDir + "\\plugins"));  // the link itself is gone
    EXPECT_EQ(failures, (std::vector<std::string>{"文件 " + kDir + "\\plugins\\victim.dll（" + kDir +
                                                  "\\plugins 是链接，没有跟随）"}));
    std::string message = EffectLines().back();
    EXPECT_TRUE(Contains(message, GbkToUtf8("是链接，没有跟随"))) << message;
    // The next run finds nothing of the product's behind a link any more.
    EXPECT_EQ(RunWindow(), 0);
    EXPECT_TRUE(files.FileExists("C:\\Windows\\System32\\victim.dll"));
}

// A recorded folder replaced after the installation by a junction to another
// user's documents: the files there of recorded names stay and are listed,
// at any depth, and so do its empty folders; a junction that is no recorded
// folder is never entered by the removal of empty folders either.
TEST_F(UninstallLinksTest, RecordedFolderReplacedByAJunction) {
    FilesApi& files = OS().Files();
    const std::string other = "C:\\Users\\Other\\Documents";
    files.CreateFolderTree(other + "\\deep\\empty");
    Write(other + "\\config.ini", "another user's");
    Write(other + "\\deep\\notes.txt", "another user's");
    files.CreateFolderTree(kDir + "\\cache");
    PlantJunction(kDir + "\\data", other);
    PlantJunction(kDir + "\\cache\\more", other + "\\deep");
    TUnInstall record;
    record.AddFolder(kDir);
    record.AddFolder(kDir + "\\data\\deep");
    record.AddFolder(kDir + "\\cache");
    record.AddFile(kDir + "\\data\\config.ini", true);
    record.AddFile(kDir + "\\data\\deep\\notes.txt", true);
    std::vector<std::string> failures;
    EXPECT_EQ(Uninstall(record, &failures), 3);
    EXPECT_EQ(SandboxTest::ReadHostFile("C/Users/Other/Documents/config.ini"), "another user's");
    EXPECT_TRUE(files.FileExists(other + "\\deep\\notes.txt"));
    EXPECT_TRUE(files.FolderExists(other + "\\deep\\empty"));
    const std::string because = "（" + kDir + "\\data 是链接，没有跟随）";
    EXPECT_EQ(failures, (std::vector<std::string>{"文件 " + kDir + "\\data\\config.ini" + because,
                                                  "文件 " + kDir + "\\data\\deep\\notes.txt" + because}));
    // The junctions went as links while the installation folder was emptied.
    EXPECT_FALSE(files.FolderExists(kDir + "\\cache"));
    EXPECT_FALSE(files.IsReparsePoint(kDir + "\\data"));
}

// The installation folder itself replaced by a junction: nothing is removed
// through it.
TEST_F(UninstallLinksTest, InstallationFolderThatIsAJunction) {
    FilesApi& files = OS().Files();
    files.CreateFolderTree("C:\\Apps\\real");
    Write("C:\\Windows\\System32\\victim.dll");
    TUnInstall record;
    record.AddFile(kDir + "\\victim.dll", true);
    record.SetPackageId(kId);
    OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(kId));
    files.CreateFolderTree(kDir);
    TUnInstall::WriteRecordDigest(kId, record.SaveToFile(kDir + "\\UnInstall.log"));
    // The record moves with the folder, which is then swapped for a link.
    std::string host = Machine().Paths().Resolve(kDir).Host;
    ASSERT_EQ(std::rename((host + "/UnInstall.log").c_str(),
                          (Machine().Paths().Resolve("C:\\Windows\\System32").Host + "/UnInstall.log").c_str()),
              0);
    ASSERT_EQ(rmdir(host.c_str()), 0);
    PlantJunction(kDir, "C:\\Windows\\System32");
    std::vector<std::string> failures;
    EXPECT_EQ(RunWindow(&failures), 3);
    EXPECT_TRUE(files.FileExists("C:\\Windows\\System32\\victim.dll"));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(Contains(failures[0], kDir + " 是链接")) << failures[0];
}

}  // namespace
}  // namespace setup::testing_sandbox
