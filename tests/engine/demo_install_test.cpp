// The demo project, made by the package maker and installed by the engine on
// a fresh simulated Windows 7 machine: everything it asks for is there, and
// the record holds exactly what the installation created.
#include <filesystem>
#include <set>
#include <sstream>

#include "engine/install.h"
#include "package/install_paths.h"
#include "package_tools.h"
#include "platform/common.h"
#include "platform/host_files.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"
#include "project_file.h"

namespace setup::testing_sandbox {
namespace {

namespace fs = std::filesystem;

class DemoInstallTest : public SandboxTest {
protected:
    void InstallDemo() {
        std::string demo = fs::path(DEMO_PROJECT).parent_path().string();
        makesetup::BuildPlan plan = makesetup::LoadProjectFile(DEMO_PROJECT, cplDefault);
        makesetup::SetUninstaller(plan, demo + "/files/readme.txt");  // any program will do here
        fs::create_directories(HostPath("C/Downloads"));
        std::ostringstream log;
        makesetup::BuildPackage(plan, makesetup::BuildOptions{}, HostPath("C/Downloads/demo-setup.exe"), log);
        model_.LoadFromExe(kSetup);
        model_.ExtractTempFiles(model_.PackageFile());
        model_.OnCompile = [this](const std::string&, const std::string& hint, int64_t, int64_t) {
            hints_.push_back(hint);
        };
        Install(model_);
        demo_ = demo;
    }
    std::string Read(const std::string& path) {
        std::unique_ptr<Stream> s = OpenFile(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    }

    static constexpr const char* kSetup = "C:\\Downloads\\demo-setup.exe";
    const std::string kDir = "C:\\Program Files\\演示程序";
    TCompile model_;
    std::vector<std::string> hints_;
    std::string demo_;
};

TEST_F(DemoInstallTest, InstallsCompletely) {
    InstallDemo();
    // Files, byte for byte, in their folders.
    const std::pair<const char*, const char*> files[] = {
        {"demo.exe", "files/demo.exe"},
        {"readme.txt", "files/readme.txt"},
        {"docs\\guide.txt", "files/docs/guide.txt"},
        {"docs\\images\\notes.txt", "files/docs/images/notes.txt"},
        {"lib\\demo.dll", "files/lib/demo.dll"},
        {"config\\settings.ini", "config/settings.ini"},
    };
    for (const auto& [installed, source] : files) {
        EXPECT_EQ(Read(kDir + "\\" + installed), setup::ReadHostFile(demo_ + "/" + source)) << installed;
    }
    EXPECT_TRUE(OS().Files().FolderExists(kDir + "\\logs"));
    EXPECT_TRUE(OS().Files().FileExists(kDir + "\\UnInstall 演示程序.exe"));
    EXPECT_EQ(model_.InstallData.AppFile, kDir + "\\demo.exe");
    EXPECT_EQ(model_.InstallData.ReadmeFile, kDir + "\\readme.txt");

    // Registry values of the three types, the registry file, the empty key.
    RegistryApi& reg = OS().Registry();
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\演示", "安装目录"), kDir + "\\");
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, "SOFTWARE\\演示", "版本")->Data, std::string("\x0A\0\0\0", 4));
    EXPECT_EQ(reg.ReadValue(kHkeyCurrentUser, "Software\\演示", "标志")->Data, std::string("\x01\xAB\x00\xFF", 4));
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, "SOFTWARE\\演示\\脚本", "来源"), "注册表文件");
    EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "SOFTWARE\\演示\\空键"));

    // Shortcuts of the three kinds, the uninstall shortcut.
    std::string programs = GetSpecialFolder(kCsidlPrograms) + "\\演示程序";
    EXPECT_TRUE(OS().Files().FileExists(programs + "\\演示程序.lnk"));
    EXPECT_TRUE(OS().Files().FileExists(programs + "\\访问网站.url"));
    EXPECT_TRUE(OS().Files().FileExists(programs + "\\工具\\文档文件夹.lnk"));
    EXPECT_TRUE(OS().Files().FileExists(programs + "\\卸载“演示程序”.lnk"));
    EXPECT_TRUE(OS().Files().FileExists(GetSpecialFolder(kCsidlDesktop) + "\\演示程序.lnk"));

    // Components: the font copied into the Windows folder, the runtime's installer run.
    EXPECT_EQ(Read("C:\\Windows\\Fonts\\demo.fon"), setup::ReadHostFile(demo_ + "/components/fonts/demo.fon"));
    std::string effects;
    for (const std::string& line : EffectLines()) effects += line + "\n";
    EXPECT_NE(effects.find("rtsetup.exe"), std::string::npos);
    EXPECT_NE(effects.find("\"imported\":true"), std::string::npos);

    // The Uninstall key and the record.
    std::string key = UninstallKeyPath(model_.PackageId);
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "DisplayName"), "演示程序1.0");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "Publisher"), "演示软件公司");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "UninstallString"), "\"" + kDir + "\\UnInstall 演示程序.exe\"");
    TUnInstall record;
    record.LoadFromFile(kDir + "\\UnInstall 演示程序.log");
    ASSERT_FALSE(record.Entries().empty());
    // Every recorded file and folder exists; every file below the installation
    // folder is recorded, except the uninstaller and its record.
    std::set<std::string> recordedFiles;
    for (const auto& e : record.Entries()) {
        if (e->EntryKind == ukFile) {
            EXPECT_TRUE(OS().Files().FileExists(e->Path)) << e->Path;
            recordedFiles.insert(AsciiLowerCase(e->Path));
        } else if (e->EntryKind == ukFolder) {
            EXPECT_TRUE(OS().Files().FolderExists(e->Path)) << e->Path;
        } else {
            EXPECT_EQ(e->RootKey.substr(0, 8), "21474836");
        }
        if (e->Path == kDir + "\\config\\settings.ini") {
            EXPECT_EQ(e->DeleteFlag, 0);  // kept on uninstall
        }
    }
    std::vector<std::string> pending = {kDir};
    while (!pending.empty()) {
        std::string folder = pending.back();
        pending.pop_back();
        for (const FolderEntry& e : OS().Files().ListFolder(folder)) {
            std::string path = folder + "\\" + e.Name;
            if (e.Attributes & kAttrDirectory) {
                pending.push_back(path);
            } else if (e.Name.find("UnInstall ") != 0) {
                EXPECT_TRUE(recordedFiles.count(AsciiLowerCase(path))) << path;
            }
        }
    }
    EXPECT_EQ(hints_.back(), "正在写入反安装信息，请稍候...");
}

}  // namespace
}  // namespace setup::testing_sandbox
