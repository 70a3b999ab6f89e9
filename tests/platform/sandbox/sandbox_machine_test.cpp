// The machine as a whole: how programs see themselves, profile files, and the
// records of program starts.
#include <filesystem>

#include "platform/common.h"
#include "platform/profile.h"
#include "platform/sandbox/effects.h"
#include "platform/text.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SandboxMachineTest : public SandboxTest {};

// A program inside a drive folder sees its path on that drive; any other
// program sees itself on Z:, as under Wine.
TEST_F(SandboxMachineTest, OwnExecutablePathMapsToTheDrive) {
    WriteHostFile(GbkToUtf8("C/Program Files/演示/UnInstall 演示.exe"), "x");
    sandbox::SandboxMachine inside(root_, HostPath(GbkToUtf8("C/Program Files/演示/UnInstall 演示.exe")),
                                   {"-1", "\xE4\xB8\xAD"});
    EXPECT_EQ(inside.System().GetOwnExecutablePath(), "C:\\Program Files\\演示\\UnInstall 演示.exe");
    EXPECT_EQ(inside.System().GetArguments(), (std::vector<std::string>{"-1", "中"}));
    WriteHostFile("../outside-program", "x");
    sandbox::SandboxMachine outside(root_, root_ + "/../outside-program", {});
    std::string expected = "Z:" + std::filesystem::canonical(root_ + "/..").string() + "/outside-program";
    for (char& c : expected) {
        if (c == '/') c = '\\';
    }
    EXPECT_EQ(outside.System().GetOwnExecutablePath(), expected);
    std::filesystem::remove(root_ + "/../outside-program");
}

// Component INI files are GBK, or UTF-16 with a byte-order mark.
TEST_F(SandboxMachineTest, ProfilesReadThroughTheMachine) {
    OS().Files().Open("C:\\comp.ini", OpenMode::Create)->WriteBytes("[组件]\r\nRegtype = System \r\n");
    std::string utf16 = std::string("\xFF\xFE", 2) + Utf16ToLeBytes(u"[S]\r\nName=\u4E2D\u6587\r\n");
    OS().Files().Open("C:\\wide.ini", OpenMode::Create)->WriteBytes(utf16);
    EXPECT_EQ(ReadProfileString("C:\\COMP.INI", "组件", "regtype"), "System");
    EXPECT_EQ(ReadProfileString("C:\\wide.ini", "s", "NAME"), "中文");
    EXPECT_EQ(ReadProfileSectionKeys("C:\\comp.ini", "组件"), (std::vector<std::string>{"Regtype"}));
    EXPECT_EQ(ReadProfileString("C:\\missing.ini", "S", "Name", "default"), "default");
}

TEST_F(SandboxMachineTest, ProgramStartsAreRecordedNotRun) {
    EXPECT_TRUE(OS().Shell().CreateProcessHidden("\"C:\\Temp\\_deleteme.bat\""));
    int pumped = 0;
    ShellExecuteRequest request;
    request.Verb = "open";
    request.File = "http://example.invalid/";
    EXPECT_TRUE(OS().Shell().ShellExecuteAndWait(request, [&] { ++pumped; }).Ok);
    EXPECT_EQ(pumped, 1);
    EXPECT_EQ(OS().Shell().WinExec("notepad.exe readme.txt", kSwShowNormal), 33u);
    EXPECT_TRUE(OS().Shell().RequestRestart());
    std::vector<std::string> lines = EffectLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(Contains(lines[0],
                         "\"commandLine\":\"\\\"C:\\\\Temp\\\\_deleteme.bat\\\"\",\"window\":\"hidden\","
                         "\"priority\":\"idle\""))
        << lines[0];
    EXPECT_TRUE(Contains(lines[1], "\"wait\":true")) << lines[1];
    EXPECT_TRUE(Contains(lines[2], "\"commandLine\":\"notepad.exe readme.txt\"")) << lines[2];
    EXPECT_TRUE(Contains(lines[3], "\"effect\":\"Restart\""));
}

TEST(EffectsTest, JsonEscapesControlCharactersAndKeepsBadBytesVisible) {
    EXPECT_EQ(sandbox::JsonEscape("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(sandbox::JsonObject().Text("t", "\xB0").Line(), "{\"t\":\"<B0>\"}");
}

}  // namespace
}  // namespace setup::testing_sandbox
