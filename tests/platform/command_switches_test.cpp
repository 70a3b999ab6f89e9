// The switches of an unattended run: how a command line is read, and what the
// elevated copy is given.
#include <gtest/gtest.h>

#include "platform/command_switches.h"
#include "platform/text.h"

namespace setup {
namespace {

struct CommandLineCase {
    std::vector<std::string> arguments;
    bool silent, reboot, help, relaunched;
    std::string installDir, logFile;
    size_t others;
    bool mayRelaunch;
    std::string problem;  // a part of it; empty: none
};

class CommandSwitchesTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandSwitchesTest, Reads) {
    const CommandLineCase& c = GetParam();
    CommandSwitches s = ParseCommandSwitches(c.arguments);
    EXPECT_EQ(s.Silent, c.silent);
    EXPECT_EQ(s.Reboot, c.reboot);
    EXPECT_EQ(s.Help, c.help);
    EXPECT_EQ(s.Relaunched, c.relaunched);
    EXPECT_EQ(s.InstallDir, c.installDir);
    EXPECT_EQ(s.LogFile, c.logFile);
    EXPECT_EQ(s.Others.size(), c.others);
    EXPECT_EQ(s.MayRelaunch(), c.mayRelaunch);
    if (c.problem.empty()) {
        EXPECT_EQ(s.Problem, "");
    } else {
        EXPECT_NE(s.Problem.find(c.problem), std::string::npos) << s.Problem;
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, CommandSwitchesTest,
    testing::Values(
        // No argument: relaunch as always; "-1" or any other text: never.
        CommandLineCase{{}, false, false, false, false, "", "", 0, true, ""},
        CommandLineCase{{"-1"}, false, false, false, true, "", "", 0, false, ""},
        CommandLineCase{{"hello"}, false, false, false, false, "", "", 1, false, ""},
        // Switches alone still relaunch; letters in any case, "/" or "-".
        CommandLineCase{{"/S"}, true, false, false, false, "", "", 0, true, ""},
        CommandLineCase{{"-s", "/Reboot"}, true, true, false, false, "", "", 0, true, ""},
        CommandLineCase{{"/?"}, false, false, true, false, "", "", 0, true, ""},
        CommandLineCase{{"-help"}, false, false, true, false, "", "", 0, true, ""},
        CommandLineCase{{"/log=C:\\a b\\x.log", "-1"}, false, false, false, true, "", "C:\\a b\\x.log", 0, false, ""},
        // /D= takes the rest of the line, blanks and all, without its trailing backslash.
        CommandLineCase{{"/S", "/D=C:\\Some", "Folder\\应用\\"},
                        true,
                        false,
                        false,
                        false,
                        "C:\\Some Folder\\应用",
                        "",
                        0,
                        true,
                        ""},
        CommandLineCase{{"-d=D:\\"}, false, false, false, false, "D:\\", "", 0, true, ""},
        CommandLineCase{
            {"/D=\\\\server\\share\\app"}, false, false, false, false, "\\\\server\\share\\app", "", 0, true, ""},
        CommandLineCase{{"/D=C:\\x", "/S"}, false, false, false, false, "C:\\x /S", "", 0, true, ""},
        // A folder ending in a character whose second byte is a backslash keeps it.
        CommandLineCase{{"/D=C:\\\x95\\"}, false, false, false, false, "C:\\\x95\\", "", 0, true, ""},
        // What cannot be used is described, not guessed at.
        CommandLineCase{{"/D=Apps"},
                        false,
                        false,
                        false,
                        false,
                        "",
                        "",
                        0,
                        true,
                        "需要文件夹的完整路径（例如 C:\\Apps\\Demo）：“Apps”"},
        CommandLineCase{{"/D="}, false, false, false, false, "", "", 0, true, "参数 /D= 需要文件夹的完整路径"},
        CommandLineCase{{"/LOG="}, false, false, false, false, "", "", 0, true, "参数 /LOG= 没有给出日志文件名"},
        // The elevated copy opens the log: its name may not depend on a current folder.
        CommandLineCase{
            {"/LOG=setup.log"}, false, false, false, false, "", "", 0, true, "参数 /LOG= 需要日志文件的完整路径"},
        CommandLineCase{
            {"/LOG=\\Logs\\setup.log"}, false, false, false, false, "", "", 0, true, "需要日志文件的完整路径"},
        // Unknown switches count as other arguments.
        CommandLineCase{{"/X"}, false, false, false, false, "", "", 1, false, ""}));

// The elevated copy gets "-1", the switches, a value with blanks quoted, and
// /D= last and unquoted; read again, they are the same switches.
TEST(RelaunchParametersTest, PassTheSwitchesOn) {
    CommandSwitches s = ParseCommandSwitches({"/log=C:\\a b\\x.log", "-s", "/reboot", "/D=C:\\Some", "Folder\\应用"});
    std::string parameters = RelaunchParameters(s);
    EXPECT_EQ(parameters, "-1 /S /REBOOT \"/LOG=C:\\a b\\x.log\" /D=C:\\Some Folder\\应用");
    // Split as Windows splits a command line (quotes removed).
    std::vector<std::string> again;
    std::string current;
    bool quoted = false;
    for (char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ' ' && !quoted) {
            again.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    again.push_back(current);
    CommandSwitches copy = ParseCommandSwitches(again);
    EXPECT_TRUE(copy.Relaunched);
    EXPECT_FALSE(copy.MayRelaunch());
    EXPECT_TRUE(copy.Silent);
    EXPECT_TRUE(copy.Reboot);
    EXPECT_EQ(copy.LogFile, s.LogFile);
    EXPECT_EQ(copy.InstallDir, s.InstallDir);
    EXPECT_EQ(RelaunchParameters(ParseCommandSwitches({})), "-1");
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

// The log's view of the switches: a fixed order, other arguments counted
// only, and no control character that would start a line of its own.
TEST(SwitchesLogTextTest, NamesTheSwitchesAndCountsTheRest) {
    EXPECT_EQ(SwitchesLogText(ParseCommandSwitches({})), "");
    EXPECT_EQ(SwitchesLogText(ParseCommandSwitches({"/D=C:\\a", "b"})), "/D=C:\\a b");
    EXPECT_EQ(
        SwitchesLogText(ParseCommandSwitches({"/x\r\nfake", "/log=C:\\l.log", "-1", "/s", "other", "/D=C:\\a\nb"})),
        "-1 /S /LOG=C:\\l.log /D=C:\\a?b 另有 2 个其他参数");
}

}  // namespace
}  // namespace setup
