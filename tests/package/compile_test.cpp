// The project model on the simulated machine: the install options derived at
// load, resource extraction and its clean-up.
#include "package/compile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "package/install_paths.h"
#include "package/package_builder.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

using testing_package::AddItem;
using testing_package::AddSetting;
using testing_package::BuildPackage;

constexpr char kId[] = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";

class CompileTest : public SandboxTest {
protected:
    // Builds the project into C:\setup.exe and loads a fresh model from it.
    std::unique_ptr<TCompile> Load(TCompile& project, const std::vector<std::string>& data = {}) {
        std::vector<std::string> all = data;
        all.resize(project.FileList.size());
        if (project.PackageId.empty()) project.PackageId = kId;
        OS().Files().Open("C:\\setup.exe", OpenMode::Create)->WriteBytes(BuildPackage(project, all));
        auto model = std::make_unique<TCompile>();
        model->LoadFromExe("C:\\setup.exe");
        return model;
    }
};

// Only a GUID names a key of its own under Uninstall: an empty or malformed
// identity is a damaged package, refused before anything reads the registry.
TEST_F(CompileTest, IdentityMustBeAGuid) {
    for (const char* id : {"", "GUID-1", "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5", "7D3F2A1C-5B4E-4C6D-8E9F_0A1B2C3D4E5F",
                           "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5G", "..\\..\\Run-5B4E-4C6D-8E9F-0A1B2C3D4E5F"}) {
        TCompile project;
        AddSetting(project, igProject, "Patch", "1");
        project.PackageId = id;
        OS().Files().Open("C:\\setup.exe", OpenMode::Create)->WriteBytes(BuildPackage(project, {}));
        TCompile model;
        try {
            model.LoadFromExe("C:\\setup.exe");
            ADD_FAILURE() << "accepted " << id;
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << id;
        }
    }
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath("")));
    for (const char* id : {"7d3f2a1c-5b4e-4c6d-8e9f-0a1b2c3d4e5f", "{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}"}) {
        EXPECT_TRUE(IsPackageIdentity(id)) << id;
    }
}

TEST_F(CompileTest, DefaultsWithoutSettings) {
    TCompile project;
    auto model = Load(project);
    const TInstallData& d = model->InstallData;
    EXPECT_TRUE(d.ShowSetupUI);
    EXPECT_TRUE(d.CreateStartFolder);
    EXPECT_FALSE(d.DesktopShortcut);
    EXPECT_FALSE(d.RunApp);
    EXPECT_EQ(d.InstallDir, "");
}

TEST_F(CompileTest, InstallOptionsFromTheSettings) {
    TCompile project;
    AddSetting(project, igProject, "项目名称", "演示");
    AddSetting(project, igProject, "显示安装界面", "启用");
    AddSetting(project, igProject, "显示安装界面", "禁用");  // a later one wins
    AddSetting(project, igProject, "卸载程序", "启用");
    AddSetting(project, igProject, "安装前弹出信息提示", "即将安装");
    AddSetting(project, igAddonsTask, "创建桌面快捷方式", "启用");
    AddSetting(project, igAddonsTask, "创建快速启栏快捷方式", "on");  // anything but 启用 is off
    AddSetting(project, igStartFolder, "默认文件夹名称", "演示程序");
    AddSetting(project, igInstallDir, "默认安装路径", "[system programfiles]\\\\演示\\");
    AddSetting(project, igEndIns, "应用程序文件", "");
    AddSetting(project, igEndIns, "Readme文件", "D:\\p\\readme.txt");
    AddSetting(project, igEndIns, "默认主页链接", "http://example.com/");
    AddSetting(project, igProject, "默认安装路径", "C:\\wrong group");
    auto c = std::make_unique<TCompileCompData>();
    c->Name = "组件";
    c->Size = 500;
    project.CompList.push_back(std::move(c));
    AddItem(project, fkFile, "a", "D:\\p\\a", "目标计算机\\Program Files\\");
    auto model = Load(project, {"12345"});
    const TInstallData& d = model->InstallData;
    EXPECT_FALSE(d.ShowSetupUI);
    EXPECT_EQ(d.EnableUnIns, "启用");
    EXPECT_EQ(d.BeforeHintMsg, "即将安装");
    EXPECT_TRUE(d.DesktopShortcut);
    EXPECT_FALSE(d.QuickLaunchShortcut);
    EXPECT_EQ(d.StartFolder, "演示程序");
    EXPECT_EQ(d.InstallDir, "C:\\Program Files\\演示");  // rebuilt with single separators
    EXPECT_FALSE(d.RunApp);
    EXPECT_TRUE(d.ShowReadme);
    EXPECT_EQ(d.ReadmeFile, "D:\\p\\readme.txt");
    EXPECT_TRUE(d.SetHomePage);
    EXPECT_EQ(d.TotalSize, 505);
    EXPECT_EQ(model->ComponentList, (std::vector<std::string>{"组件"}));
    std::vector<TCompileData*> items;
    model->GetInfoItems(igEndIns, items);
    EXPECT_EQ(items.size(), 3u);
    EXPECT_EQ(model->FindProjectInfo("默认安装路径")->Value, "C:\\wrong group");
}

// Only "[System ProgramFiles]" is expanded at load; the other macros wait for the page.
TEST_F(CompileTest, OnlyTheProgramFilesMacroExpandsAtLoad) {
    for (auto [value, expected] : {std::pair<const char*, const char*>{"[System Desk]\\x", "[System Desk]\\x"},
                                   {"[Run]\\x", "[Run]\\x"},
                                   {"D:\\Apps\\\\x", "D:\\Apps\\\\x"},
                                   {"[System ProgramFiles]", "C:\\Program Files"},
                                   {"", "C:\\Program Files\\演示"}}) {
        TCompile project;
        AddSetting(project, igProject, "项目名称", "演示");
        AddSetting(project, igInstallDir, "默认安装路径", value);
        EXPECT_EQ(Load(project)->InstallData.InstallDir, expected) << value;
    }
    EXPECT_EQ(ExpandInstallPath("[System Desk]\\x", InstallMacros::All), "C:\\Users\\User\\Desktop\\x");
    EXPECT_EQ(ExpandInstallPath("[RUN]\\x", InstallMacros::All), "Z:\\x");  // the test program sees itself on Z:
}

// A patch package installs where the earlier installation recorded it.
TEST_F(CompileTest, PatchTakesTheRecordedFolder) {
    TCompile project;
    AddSetting(project, igProject, "Patch", "1");
    AddSetting(project, igInstallDir, "默认安装路径", "[System ProgramFiles]\\x");
    project.PackageId = kId;
    EXPECT_EQ(Load(project)->InstallData.InstallDir, "");                              // never installed
    EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath(kId)));  // left behind, empty
    OS().Registry().WriteString(kHkeyLocalMachine, UninstallKeyPath(kId), "Install Dir", "D:\\旧目录");
    auto model = Load(project);
    EXPECT_TRUE(model->Patched());
    EXPECT_EQ(model->InstallData.InstallDir, "D:\\旧目录");
}

TEST_F(CompileTest, ExtractTempFilesRepointsSourcesAndSettings) {
    Configure("[Drives]\nD=fixed\n");
    TCompile project;
    TCompileData& welcome = AddSetting(project, igWelcome, "背景图片", "d:\\P\\pics\\Logo.png");
    TCompileData& other = AddSetting(project, igProtocol, "标题图片", "D:\\p\\other\\logo.png");
    TCompileData& notResource = AddSetting(project, igEndIns, "应用程序文件", "D:\\p\\a.exe");
    AddItem(project, fkFile, "a.exe", "D:\\p\\a.exe", "目标计算机\\Program Files\\");
    AddItem(project, fkFolder, "sub", "D:\\p\\sub", "目标计算机\\Program Files\\");
    AddItem(project, fkRegFile, "x.reg", "D:\\p\\reg\\x.reg", "");
    AddItem(project, fkInfoFile, "Logo.png", "D:\\p\\pics\\Logo.png", "");
    AddItem(project, fkInfoFile, "logo.png", "D:\\p\\other\\logo.png", "");
    AddItem(project, fkCompFile, "字体", "D:\\p\\comp\\fonts\\sub\\a.fon", "D:\\p\\comp\\fonts");
    AddItem(project, fkUnInsFile, "UnInstall x.exe", "D:\\p\\UnInstall x.exe", "");
    (void)welcome;
    (void)other;
    (void)notResource;
    auto model = Load(project, {"exe", "", "REGEDIT4", "first", "second", "font", "uninstaller"});
    std::vector<std::pair<int, int>> progress;
    std::unique_ptr<Stream> file = OpenFile("C:\\setup.exe", OpenMode::Read);
    model->ExtractTempFiles(*file, [&](int position, int maximum) { progress.emplace_back(position, maximum); });

    // One new folder of the temporary folder holds everything.
    ASSERT_FALSE(model->TempFolders.empty());
    std::string temp = model->TempFolders.front() + "\\";
    EXPECT_EQ(temp.rfind(GetTempFolder() + "~setup-", 0), 0u) << temp;
    ASSERT_EQ(progress.size(), 7u);
    EXPECT_EQ(progress.front(), std::make_pair(1, 7));
    EXPECT_EQ(progress.back(), std::make_pair(7, 7));
    const auto& items = model->FileList;
    EXPECT_EQ(items[0]->Source, "D:\\p\\a.exe");  // installed later, not extracted
    EXPECT_EQ(items[2]->Source, temp + "Reg\\x.reg");
    // Two resources of one name share one path; the later one wins.
    EXPECT_EQ(items[3]->Source, temp + "Info\\Logo.png");
    EXPECT_EQ(items[4]->Source, temp + "Info\\logo.png");
    EXPECT_EQ(items[5]->TargetDir, temp + "Comp\\字体");
    EXPECT_EQ(items[5]->Source, temp + "Comp\\字体\\\\sub\\a.fon");
    EXPECT_EQ(items[6]->Source, "D:\\p\\UnInstall x.exe");
    std::vector<TCompileData*> settings;
    model->GetInfoItems(igWelcome, settings);
    EXPECT_EQ(settings[0]->Value, temp + "Info\\Logo.png");
    model->GetInfoItems(igProtocol, settings);
    EXPECT_EQ(settings[0]->Value, temp + "Info\\logo.png");
    model->GetInfoItems(igEndIns, settings);
    EXPECT_EQ(settings[0]->Value, "D:\\p\\a.exe");

    auto read = [](const std::string& path) {
        std::unique_ptr<Stream> s = OpenFile(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    };
    EXPECT_EQ(read(temp + "Reg\\x.reg"), "REGEDIT4");
    EXPECT_EQ(read(temp + "INFO\\LOGO.PNG"), "second");
    EXPECT_EQ(read(temp + "Comp\\字体\\sub\\a.fon"), "font");
    EXPECT_EQ(model->TempFiles.size(), 4u);

    EXPECT_EQ(model->TempFolders.size(), 6u);  // the folder, Reg, Info, Comp, 字体, sub

    model->DeleteTempFiles();
    for (const std::string& path : model->TempFiles) EXPECT_FALSE(OS().Files().FileExists(path)) << path;
    EXPECT_FALSE(OS().Files().FolderExists(model->TempFolders.front()));
    EXPECT_TRUE(OS().Files().FolderExists(GetTempFolder()));
}

// Folders and files planted in the temporary folder at the names resources
// had there (and a host link where one would be made) are neither written nor
// used: each run extracts into a folder of its own, made new.
TEST_F(CompileTest, ExtractionIgnoresWhatOthersPlacedInTheTemporaryFolder) {
    TCompile project;
    AddItem(project, fkRegFile, "x.reg", "D:\\p\\x.reg", "");
    AddItem(project, fkCompFile, "c", "D:\\p\\c\\setup.exe", "D:\\p\\c");
    AddItem(project, fkInfoFile, "a.png", "D:\\p\\a.png", "");
    std::string temp = GetTempFolder();
    ASSERT_TRUE(OS().Files().CreateFolderTree(temp + "Reg"));
    ASSERT_TRUE(OS().Files().CreateFolderTree(temp + "Comp\\c"));
    OS().Files().Open(temp + "Reg\\x.reg", OpenMode::Create)->WriteBytes("planted");
    OS().Files().Open(temp + "Comp\\c\\setup.exe", OpenMode::Create)->WriteBytes("planted");
    std::string elsewhere = HostPath("elsewhere");
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
    ASSERT_EQ(symlink(elsewhere.c_str(), HostPath("C/Users/User/AppData/Local/Temp/Info").c_str()), 0);

    std::set<std::string> folders;
    for (int run = 0; run < 2; ++run) {
        auto model = Load(project, {"REGEDIT4", "program", "picture"});
        std::unique_ptr<Stream> file = OpenFile("C:\\setup.exe", OpenMode::Read);
        model->ExtractTempFiles(*file);
        ASSERT_EQ(model->TempFiles.size(), 3u);
        for (const std::string& path : model->TempFiles) {
            EXPECT_EQ(path.rfind(model->TempFolders.front() + "\\", 0), 0u) << path;
        }
        EXPECT_EQ(model->FileList[1]->Source, model->TempFolders.front() + "\\Comp\\c\\\\setup.exe");
        folders.insert(model->TempFolders.front());
        model->DeleteTempFiles();
    }
    EXPECT_EQ(folders.size(), 2u);  // a name of its own each time
    auto read = [](const std::string& path) {
        std::unique_ptr<Stream> s = OpenFile(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    };
    EXPECT_EQ(read(temp + "Reg\\x.reg"), "planted");
    EXPECT_EQ(read(temp + "Comp\\c\\setup.exe"), "planted");
    EXPECT_EQ(RunHost("ls -A '" + elsewhere + "'"), "");  // nothing went through the link
    // Only the planted entries are left in the temporary folder.
    std::vector<std::string> names;
    for (const FolderEntry& entry : OS().Files().ListFolder(temp)) names.push_back(entry.Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Comp", "Info", "Reg"}));
}

// A component file whose levels would climb out of the extraction folder
// stops the extraction before anything is written outside it.
TEST_F(CompileTest, ExtractionRefusesLevelsThatLeaveItsFolder) {
    for (const char* rest : {"\\..\\..\\x.exe", "\\.\\x.exe", "\\sub\\..\\..\\x.exe"}) {
        TCompile project;
        AddItem(project, fkCompFile, "c", "D:\\p\\c\\x.exe", "D:\\p\\c");
        auto model = Load(project, {"program"});
        model->FileList[0]->Source = std::string("D:\\p\\c") + rest;
        std::unique_ptr<Stream> file = OpenFile("C:\\setup.exe", OpenMode::Read);
        EXPECT_THROW(model->ExtractTempFiles(*file), Error) << rest;
        EXPECT_TRUE(model->TempFiles.empty()) << rest;
        model->DeleteTempFiles();
        EXPECT_TRUE(OS().Files().ListFolder(GetTempFolder()).empty()) << rest;
    }
}

// A damaged resource stops the extraction; what was written is still cleaned up.
TEST_F(CompileTest, ExtractionFailureLeavesTempFilesToDelete) {
    TCompile project;
    AddItem(project, fkRegFile, "a.reg", "D:\\a.reg", "");
    AddItem(project, fkRegFile, "b.reg", "D:\\b.reg", "");
    auto model = Load(project, {"good", "bad"});
    model->FileList[1]->DataEnd -= 1;  // the chunk now crosses the item's end
    std::unique_ptr<Stream> file = OpenFile("C:\\setup.exe", OpenMode::Read);
    EXPECT_THROW(model->ExtractTempFiles(*file), Error);
    ASSERT_EQ(model->TempFiles.size(), 2u);
    model->DeleteTempFiles();
    EXPECT_FALSE(OS().Files().FileExists(model->TempFiles[0]));
}

}  // namespace
}  // namespace setup::testing_sandbox
