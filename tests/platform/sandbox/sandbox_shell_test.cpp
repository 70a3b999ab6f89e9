#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/lnk_reader.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/sandbox/effects.h"
#include "platform/text.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

using sandbox::JsonEscape;

class SandboxShellTest : public SandboxTest {
protected:
    void Write(const std::string& path, const std::string& bytes) {
        OS().Files().Open(path, OpenMode::Create)->WriteBytes(bytes);
    }
};

// A link written by the machine reads back through lnkinfo, field by field.
TEST_F(SandboxShellTest, ShellLinkReadsBackThroughLnkinfo) {
    ASSERT_TRUE(OS().Files().CreateFolderTree("C:\\Program Files\\Demo"));
    Write("C:\\Program Files\\Demo\\demo.exe", "MZ program");
    ShellLink link;
    link.Path = "C:\\Program Files\\Demo\\demo.exe";
    link.WorkingDirectory = "C:\\Program Files\\Demo";
    link.Arguments = "-x \"two words\"";
    link.Description = "The demo program";
    link.IconPath = "C:\\Program Files\\Demo\\demo.ico";
    link.IconIndex = 0;
    std::string desktop = GetSpecialFolder(kCsidlDesktop);
    ASSERT_TRUE(OS().Shell().SaveShellLink(link, desktop + "\\Demo.lnk"));

    int status = -1;
    std::string out = RunHost("lnkinfo '" + HostPath("C/Users/User/Desktop/Demo.lnk") + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_TRUE(Contains(out, "Local path\t\t\t: C:\\Program Files\\Demo\\demo.exe")) << out;
    EXPECT_TRUE(Contains(out, "Working directory\t\t: C:\\Program Files\\Demo")) << out;
    EXPECT_TRUE(Contains(out, "Command line arguments\t\t: -x \"two words\"")) << out;
    EXPECT_TRUE(Contains(out, "Description\t\t\t: The demo program")) << out;
    EXPECT_TRUE(Contains(out, "Icon location\t\t\t: C:\\Program Files\\Demo\\demo.ico")) << out;
    EXPECT_TRUE(Contains(out, "Icon index\t\t\t: 0")) << out;
    EXPECT_TRUE(Contains(out, "File size\t\t\t: 10")) << out;
    EXPECT_TRUE(Contains(out, "Drive type\t\t\t: Fixed")) << out;
    // lnkinfo prints the file size in place of the show command; read it ourselves.
    std::optional<testing_lnk::LnkContents> c = testing_lnk::ReadLnk(ReadHostFile("C/Users/User/Desktop/Demo.lnk"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->showCommand, 1u);
    EXPECT_EQ(c->arguments, "-x \"two words\"");
}

// Chinese texts travel as UTF-16; a folder target carries the folder attribute.
TEST_F(SandboxShellTest, ShellLinkKeepsChineseTextsAndFolderTargets) {
    ASSERT_TRUE(OS().Files().CreateFolderTree("C:\\演示程序"));
    ShellLink link;
    link.Path = "C:\\演示程序\\";
    link.WorkingDirectory = "C:\\演示程序";
    link.Description = "打开文件夹";
    ASSERT_TRUE(OS().Shell().SaveShellLink(link, "C:\\链接.lnk"));
    std::optional<testing_lnk::LnkContents> c = testing_lnk::ReadLnk(ReadHostFile("C/\xE9\x93\xBE\xE6\x8E\xA5.lnk"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->localPath, "C:\\演示程序\\");
    EXPECT_EQ(c->description, "打开文件夹");
    EXPECT_EQ(c->workingDirectory, "C:\\演示程序");
    EXPECT_TRUE(c->attributes & kAttrDirectory);
    EXPECT_EQ(c->flags & 0x60, 0u);  // no arguments, no icon
    EXPECT_FALSE(OS().Shell().SaveShellLink(link, "C:\\no such folder\\x.lnk"));
}

TEST_F(SandboxShellTest, RegeditImportsBothFileFormats) {
    std::string ansi =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\演示]\r\n\"名称\"=\"值\"\r\n\"n\"=dword:00000010\r\n"
        "\"e\"=hex(2):25,50,41,54,48,25,00\r\n";
    Write("C:\\a.reg", ansi);
    std::string unicodeText =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\U]\r\n@=\"\xE4\xB8\xAD\"\r\n";
    Write("C:\\u.reg", std::string("\xFF\xFE", 2) + Utf16ToLeBytes(Utf8ToUtf16(unicodeText)));
    ImportRegFile("C:\\a.reg");
    ImportRegFile("C:\\u.reg");
    RegistryApi& reg = OS().Registry();
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\演示", "名称"), "值");
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, "SOFTWARE\\演示", "n")->Data, std::string("\x10\0\0\0", 4));
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, "SOFTWARE\\演示", "e")->Data,
              Utf16ToLeBytes(u"%PATH%") + std::string(2, '\0'));
    EXPECT_EQ(reg.ReadString(kHkeyCurrentUser, "Software\\U", ""), "中");
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], "\"effect\":\"WinExec\""));
    EXPECT_TRUE(Contains(lines[0], Field("commandLine", "C:\\Windows\\regedit.exe /s \"C:\\a.reg\"")));
    EXPECT_TRUE(Contains(lines[0], "\"imported\":true"));
}

// An imported file obeys read-only keys as a program does: what lies below
// one is left as it was, the rest of the file is applied.
TEST_F(SandboxShellTest, RegeditImportLeavesReadOnlyKeysAlone) {
    ASSERT_TRUE(OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Locked\\Old"));
    ASSERT_TRUE(OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Locked", "a", "1"));
    Configure("[Faults]\nReadOnlyKey=HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\n");
    Write("C:\\r.reg",
          "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked]\r\n\"a\"=\"2\"\r\n\"b\"=\"3\"\r\n"
          "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\\Old]\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\\New]\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Free]\r\n\"c\"=\"4\"\r\n");
    ImportRegFile("C:\\r.reg");
    RegistryApi& reg = OS().Registry();
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\Locked", "a"), "1");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\Locked", "b"), std::nullopt);
    EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Locked\\Old"));
    EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Locked\\New"));
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\Free", "c"), "4");
}

// A damaged .reg file changes nothing and the effect says why, with the line.
TEST_F(SandboxShellTest, DamagedRegFileImportsNothing) {
    Write("C:\\bad.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Half]\r\n\"a\"=\"1\"\r\n\"b\"=dword:nothex\r\n");
    ImportRegFile("C:\\bad.reg");
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, "SOFTWARE\\Half"));
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Contains(lines[0], "importError")) << lines[0];
    EXPECT_TRUE(Contains(lines[0], "C:\\\\bad.reg, line 4")) << lines[0];
}

TEST_F(SandboxShellTest, MessageBoxesFollowTheAnswersSection) {
    Configure("[Answers]\n是否重新启动=yes\n");
    WizardTitle() = "“演示”安装向导";
    EXPECT_TRUE(AskYesNo("安装完成，是否重新启动计算机？"));
    EXPECT_FALSE(AskYesNo("其他问题？"));
    ShowInfo("完成");
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(Contains(lines[0], Field("caption", "“演示”安装向导")));
    EXPECT_TRUE(Contains(lines[0], "\"icon\":\"question\",\"buttons\":\"yesno\""));
    EXPECT_TRUE(Contains(lines[0], "\"answer\":\"yes\""));
    EXPECT_TRUE(Contains(lines[1], "\"answer\":\"no\""));
    EXPECT_TRUE(Contains(lines[2], "\"icon\":\"information\",\"buttons\":\"ok\""));
    EXPECT_TRUE(Contains(lines[2], Field("text", "完成")));
}

// Taskbar verbs exist from Windows 7 on; pinning twice does nothing new.
TEST_F(SandboxShellTest, TaskbarVerbsOnlyOnWindows7AndLater) {
    std::string link = GetQuickLaunchFolder() + "\\Demo.lnk";
    Write(link, "lnk");
    PinToTaskbar(link);
    PinToTaskbar(link);
    InvokeTaskbarVerb(link, "从任务栏脱离");
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], Field("verb", "锁定到任务栏(&K)")));
    EXPECT_TRUE(Contains(lines[1], Field("verb", "从任务栏脱离(&K)")));

    Configure("[Machine]\nOsVersion=5.1\n");
    PinToTaskbar(link);
    EXPECT_EQ(EffectLines().size(), 2u);
}

class RelaunchTest : public SandboxShellTest {
protected:
    // Runs the probe program on this machine and returns its exit status.
    int RunProbe(const std::string& args) {
        int status = -1;
        RunHost("SANDBOX_ROOT='" + root_ + "' " RELAUNCH_PROBE " " + args + " 2>/dev/null", &status);
        return status;
    }
};

// On Windows 7 the program relaunches itself elevated with "-1", once, and the
// copy really runs on the same machine.
TEST_F(RelaunchTest, ElevatedRelaunchRunsTheCopy) {
    EXPECT_EQ(RunProbe(""), 0);
    std::string exit = WaitForProcessExits();
    ASSERT_FALSE(exit.empty());
    EXPECT_TRUE(Contains(exit, "\"status\":3")) << exit;
    EXPECT_EQ(ReadHostFile("C/probe.txt"), "-1|");
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], "\"effect\":\"ShellExecuteEx\",")) << lines[0];
    EXPECT_TRUE(Contains(lines[0], "\"verb\":\"runas\"")) << lines[0];
    EXPECT_TRUE(Contains(lines[0], "\"parameters\":\"-1\",\"directory\":\"\",\"show\":1,\"mask\":\"0x00800540\""))
        << lines[0];
    EXPECT_TRUE(Contains(lines[0], "\"result\":\"started\"")) << lines[0];
    std::string hostProbe = std::filesystem::canonical(RELAUNCH_PROBE).string();
    std::string windowsProbe = "Z:" + hostProbe;
    for (char& c : windowsProbe) {
        if (c == '/') c = '\\';
    }
    EXPECT_TRUE(Contains(lines[0], "\"file\":" + JsonEscape(windowsProbe))) << lines[0];
}

TEST_F(RelaunchTest, XpRunsInPlaceAndRefusalEndsWithStatusOne) {
    Configure("[Machine]\nOsVersion=5.1\n");
    EXPECT_EQ(RunProbe(""), 3);
    EXPECT_EQ(ReadHostFile("C/probe.txt"), "");
    EXPECT_TRUE(EffectLines().empty());

    Configure("[Machine]\nElevation=refuse\n");
    EXPECT_EQ(RunProbe(""), 1);
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Contains(lines[0], "\"result\":\"cancelled\""));

    // Any argument suppresses the relaunch.
    Configure("[Machine]\nOsVersion=10.0\n");
    EXPECT_EQ(RunProbe("other"), 3);
    EXPECT_EQ(ReadHostFile("C/probe.txt"), "other|");
}

}  // namespace
}  // namespace setup::testing_sandbox
