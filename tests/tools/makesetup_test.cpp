// The package maker: project files in, packages out, and back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "package/compile.h"
#include "package_tools.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"
#include "project_file.h"

namespace setup::makesetup {
namespace {

namespace fs = std::filesystem;
using testing_sandbox::RunHost;

class MakesetupTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/makesetup-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    // Writes a file below the test folder; text given as UTF-8 bytes.
    void Write(const std::string& relative, const std::string& bytes) {
        fs::create_directories(fs::path(dir_ + "/" + relative).parent_path());
        std::ofstream(dir_ + "/" + relative, std::ios::binary) << bytes;
    }
    // The body is written as UTF-8 (literals are GBK; bytes that are not GBK
    // are taken as they stand).
    std::string Project(const std::string& body) {
        std::string utf8;
        try {
            utf8 = GbkToUtf8(body);
        } catch (const Error&) {
            utf8 = body;
        }
        Write("project.toml", "[package]\nid = \"7d3f2a1c-5b4e-4c6d-8e9f-0a1b2c3d4e5f\"\n" + utf8);
        return dir_ + "/project.toml";
    }
    std::string dir_;
};

struct BadProject {
    const char* body;
    const char* message;  // part of the error
};

void PrintTo(const BadProject& p, std::ostream* os) { *os << p.message; }

class ProjectFileErrorTest : public MakesetupTest, public testing::WithParamInterface<BadProject> {};

// A project file at fault is refused with the file, the line and the field.
TEST_P(ProjectFileErrorTest, NamesFileLineAndField) {
    Write("files/a.txt", "a");
    std::string path = Project(GetParam().body);
    try {
        LoadProjectFile(path, cplDefault);
        FAIL() << "accepted";
    } catch (const Error& e) {
        std::string message = e.what();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProjectFileErrorTest,
    testing::Values(BadProject{"[project]\nName = 1.5\n", "line 4: project.Name: must be a text"},
                    BadProject{"[project\n", "line 3"},
                    BadProject{"[project]\nPatch = \"yes\"\n", "line 4: project.Patch: 'yes' is not a valid boolean"},
                    BadProject{"[[files]]\nsource = \"missing.txt\"\n", "line 4: files.source: no such file"},
                    BadProject{"[[files]]\nsource = \"../outside\"\n", "line 4: files.source: leaves the project"},
                    BadProject{"[[files]]\nsource = \"/etc/passwd\"\n", "line 4: files.source: must be a path relative"},
                    BadProject{"[[files]]\nsource = \"files\"\ncolour = 1\n", "line 5: files.colour: unknown field"},
                    BadProject{"[[files]]\nsource = \"files/a.txt\"\nkind = \"music\"\n", "line 5: files.kind"},
                    BadProject{"[[registry]]\nkey = 'x'\ntype = \"qword\"\n", "line 5: registry.type"},
                    BadProject{"[[shortcut]]\nfolder = '桌面\\'\nname = \"x\"\n", "line 3: shortcut: needs folder"},
                    BadProject{"[finish]\napp_file = \"files/a.txt\"\n", "line 4: finish.app_file: must name a file"},
                    BadProject{"[welcome]\npicture = \"nope.png\"\n", "line 4: welcome.picture: no such file"},
                    BadProject{"[extras]\nx = 1\n", "line 3: extras: unknown table"},
                    BadProject{"[project]\nName = \"\xE0\xB8\x81\"\n", "line 4: project.Name: holds a character"}));

TEST_F(MakesetupTest, BadIdentityAndMissingPackageTable) {
    Write("project.toml", "[package]\nid = \"not-a-guid\"\n");
    EXPECT_THROW(LoadProjectFile(dir_ + "/project.toml", cplDefault), Error);
    Write("project.toml", "[project]\nName = \"x\"\n");
    EXPECT_THROW(LoadProjectFile(dir_ + "/project.toml", cplDefault), Error);
}

// Settings by their English names or their own keys, switches from true/false,
// files named by settings packed once as resources.
TEST_F(MakesetupTest, SettingsAndResources) {
    Write("pic.png", "png");
    Write("files/app.exe", "MZ");
    std::string path = Project(
        "source_root = 'E:\\src\\'\n"
        "[project]\nName = \"演示\"\nDisplayed = false\n\"安装前弹出信息提示\" = \"你好\"\nMyOwn = \"v\"\n"
        "[welcome]\npicture = \"pic.png\"\n[agreement]\ntitle_picture = \"pic.png\"\n"
        "[finish]\napp_file = \"files/app.exe\"\n"
        "[[files]]\nsource = \"files\"\n");
    BuildPlan plan = LoadProjectFile(path, cplPress);
    TCompile& m = *plan.model;
    EXPECT_EQ(m.ItemName, "演示");
    EXPECT_EQ(m.PackageId, "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F");
    auto value = [&](uint8_t group, const std::string& key) {
        for (const auto& s : m.InfoList) {
            if (s->Group == group && s->Key == key) return s->Value;
        }
        return std::string("<none>");
    };
    EXPECT_EQ(value(igProject, "显示安装界面"), "禁用");
    EXPECT_EQ(value(igProject, "安装前弹出信息提示"), "你好");
    EXPECT_EQ(value(igProject, "MyOwn"), "v");
    EXPECT_EQ(value(igProject, "压缩类型"), "press");
    EXPECT_EQ(value(igProject, "Patch"), "False");
    EXPECT_EQ(value(igPageSwitch, "欢迎"), "启用");
    EXPECT_EQ(value(igWelcome, "背景图片"), "E:\\src\\pic.png");
    EXPECT_EQ(value(igProtocol, "标题图片"), "E:\\src\\pic.png");
    EXPECT_EQ(value(igEndIns, "应用程序文件"), "E:\\src\\files\\app.exe");
    int resources = 0;
    for (const auto& f : m.FileList) resources += f->Kind == fkInfoFile;
    EXPECT_EQ(resources, 1);
    // Groups in the order 0, 1, 2, 3, 5, ..., 12.
    int last = -1;
    for (const auto& s : m.InfoList) {
        EXPECT_GE(s->Group, last);
        last = s->Group;
    }
}

// A folder is taken with everything below it, in name order, as folder
// entries, virtual folders and files.
TEST_F(MakesetupTest, FolderTrees) {
    Write("files/b.txt", "b");
    Write("files/a/x.txt", "x");
    Write("files/a/deep/y.txt", "yy");
    std::string path = Project("file_time = 2024-03-05T13:14:16\n[[files]]\nsource = \"files\"\nno_overwrite = true\n");
    BuildPlan plan = LoadProjectFile(path, cplDefault);
    TCompile& m = *plan.model;
    ASSERT_EQ(m.FileList.size(), 5u);
    EXPECT_EQ(m.FileList[0]->Kind, fkFolder);
    EXPECT_EQ(m.FileList[0]->Name, "a");
    EXPECT_EQ(m.FileList[0]->TargetDir, "目标计算机\\Program Files\\");
    EXPECT_DOUBLE_EQ(m.FileList[0]->FileTime, -1.0);
    EXPECT_EQ(m.FileList[1]->Name, "deep");
    EXPECT_EQ(m.FileList[1]->TargetDir, "目标计算机\\Program Files\\a");
    EXPECT_EQ(m.FileList[2]->Source, "C:\\Project\\files\\a\\deep\\y.txt");
    EXPECT_EQ(m.FileList[2]->TargetDir, "目标计算机\\Program Files\\a\\deep");
    EXPECT_EQ(m.FileList[2]->FileSize, 2);
    EXPECT_TRUE(m.FileList[2]->NoOverwrite);
    EXPECT_NEAR(m.FileList[2]->FileTime, 45356 + (13 * 3600 + 14 * 60 + 16) / 86400.0, 1e-9);
    EXPECT_EQ(m.FileList[4]->TargetDir, "目标计算机\\Program Files\\");
    EXPECT_EQ(m.FileFolderList,
              (std::vector<std::string>{"目标计算机\\Program Files\\a", "目标计算机\\Program Files\\a\\deep"}));
    EXPECT_TRUE(plan.dataFiles[0].empty());
}

// build -> verify -> extract gives the input files back byte for byte, and two
// builds give the same bytes.
TEST_F(MakesetupTest, DemoRoundTrip) {
    std::string a = dir_ + "/a.exe", b = dir_ + "/b.exe", out = dir_ + "/out";
    int status = -1;
    std::string log = RunHost(std::string(MAKESETUP) + " build " + DEMO_PROJECT + " -o " + a + " --level press 2>&1", &status);
    ASSERT_EQ(status, 0) << log;
    RunHost(std::string(MAKESETUP) + " build " + DEMO_PROJECT + " -o " + b + " --level press 2>&1", &status);
    EXPECT_EQ(ReadHostFile(a), ReadHostFile(b));
    std::string verify = RunHost(std::string(MAKESETUP) + " verify " + a + " 2>&1", &status);
    EXPECT_EQ(status, 0) << verify;
    RunHost(std::string(MAKESETUP) + " extract " + a + " " + out + " 2>&1", &status);
    ASSERT_EQ(status, 0);
    std::string demo = fs::path(DEMO_PROJECT).parent_path().string();
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (!entry.is_regular_file()) continue;
        std::string relative = fs::relative(entry.path(), out).string();
        if (relative.find("UnInstall") == 0) continue;
        EXPECT_EQ(ReadHostFile(entry.path().string()), ReadHostFile(demo + "/" + relative)) << relative;
        ++compared;
    }
    EXPECT_GE(compared, 15);
    std::string inspect = RunHost(std::string(MAKESETUP) + " inspect " + a + " 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(inspect.find("\xE9\xA1\xB9\xE7\x9B\xAE\xE5\x90\x8D\xE7\xA7\xB0 = "), std::string::npos);  // 项目名称, UTF-8
}

// A damaged package is refused by verify with a message and a non-zero status.
TEST_F(MakesetupTest, VerifyRefusesDamage) {
    std::string a = dir_ + "/a.exe";
    int status = -1;
    RunHost(std::string(MAKESETUP) + " build " + DEMO_PROJECT + " -o " + a + " --chunk 4096 2>&1", &status);
    ASSERT_EQ(status, 0);
    std::string bytes = ReadHostFile(a);
    std::vector<std::string> damaged = {bytes.substr(0, bytes.size() - 1), bytes.substr(0, bytes.size() / 2)};
    std::string flipped = bytes;
    flipped[bytes.size() - 500] ^= 0x10;  // inside the package, past the stub
    damaged.push_back(flipped);
    for (const std::string& d : damaged) {
        WriteHostFile(a, d);
        std::string out = RunHost(std::string(MAKESETUP) + " verify " + a + " 2>&1", &status);
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find("makesetup: "), std::string::npos) << out;
    }
    std::string out = RunHost(std::string(MAKESETUP) + " verify " + dir_ + "/missing.exe 2>&1", &status);
    EXPECT_EQ(status, 1) << out;
    RunHost(std::string(MAKESETUP) + " frobnicate 2>&1", &status);
    EXPECT_EQ(status, 2);
}

// Extraction never writes outside its folder, whatever the package says.
TEST_F(MakesetupTest, ExtractRefusesEscapingPaths) {
    Write("files/a.txt", "a");
    Write("files/b.txt", "b");
    BuildPlan plan = LoadProjectFile(Project("[[files]]\nsource = \"files\"\n"), cplDefault);
    plan.model->FileList[1]->Source = "C:\\Project\\..\\evil.txt";
    std::ostringstream log;
    BuildPackage(plan, BuildOptions{}, dir_ + "/p.exe", log);
    EXPECT_THROW(ExtractPackage(dir_ + "/p.exe", dir_ + "/out", log), Error);
    EXPECT_FALSE(fs::exists(dir_ + "/evil.txt"));
}

TEST_F(MakesetupTest, NewProjectFileBuilds) {
    std::string text = NewProjectFileText();
    Write("project.toml", text);
    BuildPlan plan = LoadProjectFile(dir_ + "/project.toml", cplDefault);
    EXPECT_EQ(plan.model->PackageId.size(), 36u);
    EXPECT_NE(NewProjectFileText(), text);  // a fresh identity each time
}

}  // namespace
}  // namespace setup::makesetup
