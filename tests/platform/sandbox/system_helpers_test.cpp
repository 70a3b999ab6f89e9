// The system helpers' exact command lines, texts and flags, as the sandbox
// machine records them.
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/sandbox/effects.h"
#include "platform/text.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

class SystemHelpersTest : public SandboxTest {};

TEST_F(SystemHelpersTest, VersionText) {
    for (const char* text : {"0", "1", "2", "5.1", "6.1", "10.0"}) {
        Configure(std::string("[Machine]\nOsVersion=") + text + "\n");
        EXPECT_EQ(GetOSVersionText(), text);
    }
}

// On Windows 7: an elevated regsvr32 by its full path, without "/s".
TEST_F(SystemHelpersTest, RegisterServerOnWindows7) {
    RegisterServer("C:\\A B\\x.dll", ServerAction::Register);
    RegisterServer("C:\\A B\\x.dll", ServerAction::Unregister);
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], "\"effect\":\"ShellExecuteEx\""));
    EXPECT_TRUE(Contains(lines[0], "\"verb\":\"runas\""));
    EXPECT_TRUE(Contains(lines[0], Field("file", "C:\\Windows\\System32\\regsvr32.exe")));
    EXPECT_TRUE(Contains(lines[0], Field("parameters", "\"C:\\A B\\x.dll\"")));
    EXPECT_TRUE(Contains(lines[1], Field("parameters", "/u \"C:\\A B\\x.dll\"")));
}

TEST_F(SystemHelpersTest, RegisterServerOnXp) {
    Configure("[Machine]\nOsVersion=5.1\n");
    RegisterServer("C:\\A B\\x.dll", ServerAction::Register);
    RegisterServer("C:\\A B\\x.dll", ServerAction::Unregister);
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], Field("commandLine", "C:\\Windows\\System32\\regsvr32.exe /s \"C:\\A B\\x.dll\"")));
    EXPECT_TRUE(Contains(lines[0], "\"show\":1"));
    EXPECT_TRUE(
        Contains(lines[1], Field("commandLine", "C:\\Windows\\System32\\regsvr32.exe /s/u \"C:\\A B\\x.dll\"")));
}

TEST_F(SystemHelpersTest, ServiceAndRegistryFileCommandLines) {
    InstallService("C:\\svc.exe", ServiceAction::Install);
    InstallService("C:\\P Q\\svc.exe", ServiceAction::Uninstall);
    ImportRegFile("C:\\Temp Dir\\x.reg");
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 3u);
    // The program is always quoted: Windows cannot start a planted C:\P.exe.
    EXPECT_TRUE(Contains(lines[0], Field("commandLine", "\"C:\\svc.exe\" -Install")));
    EXPECT_TRUE(Contains(lines[1], Field("commandLine", "\"C:\\P Q\\svc.exe\" -unInstall")));
    EXPECT_TRUE(Contains(lines[2], Field("commandLine", "C:\\Windows\\regedit.exe /s \"C:\\Temp Dir\\x.reg\"")));
}

// On 64-bit Windows the 32-bit registry editor imports registry files, into
// the view this 32-bit program writes its own values to; the file is really
// imported there too.
TEST_F(SystemHelpersTest, RegistryFilesGoThroughThe32BitEditorOn64BitWindows) {
    Configure("[Machine]\nWindows=64\n");
    OS().Files().CreateFolderTree("C:\\Temp Dir");
    OS().Files()
        .Open("C:\\Temp Dir\\x.reg", OpenMode::Create)
        ->WriteBytes("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Imported]\r\n\"v\"=\"1\"\r\n");
    ImportRegFile("C:\\Temp Dir\\x.reg");
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(
        Contains(lines[0], Field("commandLine", "C:\\Windows\\SysWOW64\\regedit.exe /s \"C:\\Temp Dir\\x.reg\"")))
        << lines[0];
    EXPECT_TRUE(Contains(lines[0], "\"imported\":true")) << lines[0];
    EXPECT_EQ(OS().Registry().ReadString(kHkeyCurrentUser, "Software\\Imported", "v"), "1");
}

// A program opened by path works in its own folder; at a drive's root that is
// the root itself, not the drive's current folder.
TEST_F(SystemHelpersTest, OpenedFileWorksInItsFolder) {
    Configure("[Drives]\nD=fixed 1000000\n");
    OS().Files().CreateFolderTree("D:\\Apps");
    OS().Files().Open("D:\\Apps\\a.exe", OpenMode::Create)->WriteBytes("MZ");
    OS().Files().Open("D:\\b.exe", OpenMode::Create)->WriteBytes("MZ");
    ShellOpenFile("D:\\Apps\\a.exe");
    ShellOpenFile("D:\\b.exe");
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], Field("directory", "D:\\Apps"))) << lines[0];
    EXPECT_TRUE(Contains(lines[1], Field("directory", "D:\\"))) << lines[1];
}

TEST_F(SystemHelpersTest, AutoRunEntries) {
    SetAutoRun("x.exe", "C:\\P\\x.exe", AutoRunAction::Add);
    const char* key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, key, "x.exe"), "C:\\P\\x.exe");
    SetAutoRun("x.exe", "", AutoRunAction::Remove);
    EXPECT_FALSE(OS().Registry().ReadString(kHkeyLocalMachine, key, "x.exe"));
    EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, key));
}

TEST_F(SystemHelpersTest, RefusedElevationIsTheSilentAbort) {
    Configure("[Machine]\nElevation=refuse\n");
    try {
        RunElevated("C:\\Windows\\System32\\regsvr32.exe", "x");
        FAIL() << "no abort";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::SilentAbort);
    }
    // Any other failure goes unreported.
    Configure("[Machine]\nElevation=fail\n");
    EXPECT_NO_THROW(RunElevated("C:\\Windows\\System32\\regsvr32.exe", "x"));
    EXPECT_NO_THROW(RunElevated("C:\\missing.exe", ""));
    Configure("");
    EXPECT_NO_THROW(RunElevated("C:\\missing.exe", ""));
    EXPECT_TRUE(Contains(EffectLines().back(), "\"result\":\"file not found\""));
}

}  // namespace
}  // namespace setup::testing_sandbox
