#include "platform/command_switches.h"

#include <cctype>

#include "platform/text.h"
#include "platform/messages.h"

namespace setup {

namespace {

// The name of a switch without its "/" or "-", or nothing when the argument
// does not start with one.
bool SwitchBody(const std::string& argument, std::string& body) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return false;
    body = argument.substr(1);
    return true;
}

// "C:\..." or "\\server\share...": a folder that does not depend on the
// current folder of whoever started the program.
bool IsFullPath(const std::string& path) {
    bool drive =
        path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
    bool share = path.size() > 2 && path[0] == '\\' && path[1] == '\\';
    return drive || share;
}

std::string QuotedWhenBlank(const std::string& text) {
    return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

}  // namespace

CommandSwitches ParseCommandSwitches(const std::vector<std::string>& arguments) {
    CommandSwitches switches;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string body;
        if (argument == "-1") {
            switches.Relaunched = true;
            continue;
        }
        // Anything that is not one of the switches below is passed on as it is.
        if (!SwitchBody(argument, body)) {
            switches.Others.push_back(argument);
            continue;
        }
        if (EqualsNoCase(body, "S")) {
            switches.Silent = true;
        } else if (EqualsNoCase(body, "REBOOT")) {
            switches.Reboot = true;
        } else if (body == "?" || EqualsNoCase(body, "HELP")) {
            switches.Help = true;
        } else if (StartsWithNoCase(body, "D=")) {
            // The folder is the rest of the command line: a deployment tool
            // passes "C:\Program Files\App" unquoted, split at its blanks.
            std::string folder = body.substr(2);
            for (size_t j = i + 1; j < arguments.size(); ++j) folder += " " + arguments[j];
            while (folder.size() > 3 && EndsWithChar(folder, '\\')) folder.pop_back();
            if (!IsFullPath(folder)) {
                switches.Problem = msg::SwitchNeedsFullPath(folder);
            } else {
                switches.InstallDir = folder;
            }
            break;
        } else if (StartsWithNoCase(body, "LOG=")) {
            // The elevated copy opens the log: a name relative to its
            // current folder would land wherever that copy happens to run.
            std::string file = body.substr(4);
            if (file.empty()) {
                switches.Problem = msg::SwitchLogNamesNoFile();
            } else if (!IsFullPath(file)) {
                switches.Problem = msg::SwitchLogNeedsFullPath(file);
            } else {
                switches.LogFile = file;
            }
        } else {
            switches.Others.push_back(argument);
        }
    }
    return switches;
}

std::string RelaunchParameters(const CommandSwitches& switches) {
    std::string text = "-1";
    if (switches.Silent) text += " /S";
    if (switches.Reboot) text += " /REBOOT";
    if (switches.Help) text += " /?";
    if (!switches.LogFile.empty()) text += " " + QuotedWhenBlank("/LOG=" + switches.LogFile);
    for (const std::string& other : switches.Others) text += " " + QuotedWhenBlank(other);
    if (!switches.InstallDir.empty()) text += " /D=" + switches.InstallDir;
    return text;
}

std::string SwitchesLogText(const CommandSwitches& switches) {
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : " ") + part; };
    if (switches.Relaunched) add("-1");
    if (switches.Silent) add("/S");
    if (switches.Reboot) add("/REBOOT");
    if (switches.Help) add("/?");
    if (!switches.LogFile.empty()) add("/LOG=" + switches.LogFile);
    if (!switches.InstallDir.empty()) add("/D=" + switches.InstallDir);
    if (!switches.Others.empty()) add(msg::OtherArgumentsCount(switches.Others.size()));
    // A control character in a path would start a line of its own in the log.
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

std::string SetupSwitchesHelp() {
    return "安装程序的命令行参数（不区分大小写，可用 / 或 -）：\r\n\r\n"
           "/S\t静默安装：不显示任何窗口和消息框，按默认选项安装\r\n"
           "/D=路径\t安装文件夹；必须是最后一个参数，路径中的空格无需引号\r\n"
           "/LOG=文件\t把安装过程写入该文件（UTF-8 文本）；须是完整路径，且文件尚不存在\r\n"
           "/REBOOT\t静默安装需要重启时自动重启\r\n"
           "/? 或 /HELP\t显示本说明\r\n\r\n"
           "退出代码：0 安装完成；1 出错，未安装；2 用户取消；3 安装完成但有项目失败；1223 拒绝了权限提升。";
}

std::string UninstallSwitchesHelp() {
    return "卸载程序的命令行参数（不区分大小写，可用 / 或 -）：\r\n\r\n"
           "/S\t静默卸载：不显示任何窗口和消息框\r\n"
           "/LOG=文件\t把卸载过程写入该文件（UTF-8 文本）；须是完整路径，且文件尚不存在\r\n"
           "/? 或 /HELP\t显示本说明\r\n\r\n"
           "退出代码：0 卸载完成；1 出错，未卸载；2 用户取消；3 卸载完成但有项目未能删除；1223 拒绝了权限提升。";
}

}  // namespace setup
