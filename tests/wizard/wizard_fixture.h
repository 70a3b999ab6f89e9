// The fixture of the wizard's whole runs: a project with the interface on,
// built onto the Linux setup program, run on a fresh simulated Windows XP
// machine (no relaunch) with a user script.
#pragma once

#include <algorithm>

#include "platform/common.h"
#include "platform/sandbox/effects.h"
#include "platform/text.h"
#include "startup/package_run_fixture.h"

namespace setup::testing_sandbox {

using testing_package::BuildPackage;

inline const char* const kAllSwitches[] = {"欢迎", "附加任务", "确认安装", "安装进程", "安装完毕"};

// A WAV file of the given length: 8 kHz, 8-bit mono, silence.
inline std::string Wave(int milliseconds) {
    auto u32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    uint32_t samples = static_cast<uint32_t>(milliseconds) * 8;
    std::string format =
        std::string("\x01\x00\x01\x00", 4) + u32(8000) + u32(8000) + std::string("\x01\x00\x08\x00", 4);
    std::string body = "WAVEfmt " + u32(16) + format + "data" + u32(samples) + std::string(samples, '\x80');
    return "RIFF" + u32(static_cast<uint32_t>(body.size())) + body;
}

class WizardTest : public PackageRunTest {
protected:
    void SetUp() override {
        PackageRunTest::SetUp();
        Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n");
        Setting(igProject, "项目名称", "演示");
        Setting(igProject, "作者名称", "演示公司");
        Setting(igProject, "作者网址", "http://www.example.com/");
        Setting(igProject, "显示安装界面", "启用");
        Setting(igProject, "显示加载进度", "禁用");
        Setting(igProject, "显示安装背景窗口", "禁用");
        Setting(igProject, "卸载程序", "禁用");
        Setting(igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
        Setting(igAddonsTask, "创建桌面快捷方式", "启用");
        Setting(igBeginIns, "安装详细信息", "启用");
        project_->PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
        Add(fkFile, "app.exe", "MZ app", "目标计算机\\Program Files\\");
        Add(fkFile, "readme.txt", "read me", "目标计算机\\Program Files\\");
        Add(fkFile, "b.dll", "MZ b", "目标计算机\\Program Files\\");
        Shortcut("桌面\\", "演示", "D:\\src\\app.exe");
    }
    void Switches(const std::vector<std::string>& keys) {
        for (const std::string& key : keys) Setting(igPageSwitch, key, "启用");
    }
    void AllSwitches() { Switches({std::begin(kAllSwitches), std::end(kAllSwitches)}); }
    // Places the package on the machine and runs it with the script; returns
    // the exit status.
    int Run(const std::string& script = "", const std::string& answers = "") {
        if (!answers.empty()) Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n[Answers]\n" + answers);
        if (!script.empty()) WriteHostFile("user.script", GbkToUtf8(script));
        Place(Package());
        return RunProgram("C:\\Downloads\\setup", "");
    }
    // The transcript as GBK text.
    std::string Transcript() { return GbkOf(WholeRunTest::Transcript()); }
    static std::string GbkOf(const std::string& utf8) { return Utf8ToGbk(utf8); }
    // The pages in the order the user saw them.
    std::vector<std::string> PagesSeen() {
        std::vector<std::string> pages;
        std::string text = Transcript();
        for (size_t at = 0; (at = text.find("    Tfrm", at)) != std::string::npos; ++at) {
            size_t end = text.find(' ', at + 4);
            std::string name = text.substr(at + 4, end - at - 4);
            if (pages.empty() || pages.back() != name) pages.push_back(name);
        }
        return pages;
    }
};

}  // namespace setup::testing_sandbox
