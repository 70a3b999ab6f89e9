// The package maker: project files in, packages out, and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "package/compile.h"
#include "package/package_writer.h"
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
                    BadProject{"[[files]]\nsource = \"missing.txt\"\n", "line 4: files.source: no such file"},
                    BadProject{"[[files]]\nsource = \"../outside\"\n", "line 4: files.source: leaves the project"},
                    BadProject{"[[files]]\nsource = \"/etc/passwd\"\n",
                               "line 4: files.source: must be a path relative"},
                    BadProject{"[[files]]\nsource = \"files\"\ncolour = 1\n", "line 5: files.colour: unknown field"},
                    BadProject{"[[files]]\nsource = \"files/a.txt\"\nkind = \"music\"\n", "line 5: files.kind"},
                    BadProject{"[[registry]]\nkey = 'x'\ntype = \"qword\"\n", "line 5: registry.type"},
                    BadProject{"[[shortcut]]\nfolder = '桌面\\'\nname = \"x\"\n", "line 3: shortcut: needs folder"},
                    BadProject{"[finish]\napp_file = \"files/a.txt\"\n", "line 4: finish.app_file: must name a file"},
                    BadProject{"[welcome]\npicture = \"nope.png\"\n", "line 4: welcome.picture: no such file"},
                    BadProject{"[extras]\nx = 1\n", "line 3: extras: unknown table"},
                    BadProject{"[project]\nName = \"\xE0\xB8\x81\"\n", "line 4: project.Name: holds a character"}));

// Targets and names that would leave their root or that Windows cannot create.
INSTANTIATE_TEST_SUITE_P(
    Targets, ProjectFileErrorTest,
    testing::Values(
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = 'C:\\Windows'\n",
                   "line 5: files.target: is an absolute path"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '\\\\server\\share'\n",
                   "line 5: files.target: is an absolute path"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '目标计算机\\Program Files\\..\\..\\Windows'\n",
                   "line 5: files.target: has the folder \"..\", which would leave its folder"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '目标计算机\\Program Files\\a/../../x'\n",
                   "line 5: files.target: has the folder \"a/../../x\", which holds the character /"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '目标计算机\\Program Files\\a:b'\n",
                   "line 5: files.target: has the folder \"a:b\", which holds the character :"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '目标计算机\\Program Files\\AUX'\n",
                   "line 5: files.target: has the folder \"AUX\", which is the name of a device"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '目标计算机\\Program Files\\data '\n",
                   "files.target: has the folder \"data \", which ends with a dot or a blank"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '指定目录\\\\\\server\\share'\n",
                   "line 5: files.target: is a network path"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '指定目录\\Apps'\n",
                   "line 5: files.target: must give a folder with its drive"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = ''\n", "line 5: files.target: is empty"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = 'bin'\n", "line 5: files.target: must begin with"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\ntarget = '目标计算机\\Program Files\\"
                   "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                   "aaaaaaaaaaaaaaaaaaaaaaa\\"
                   "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"
                   "bbbbbbbbbbbbbbbbbbbbb'\n",
                   "line 5: files.target: makes a path of 266 characters below C:\\Program Files (x86)"},
        BadProject{"[[folder]]\ntarget = 'C:\\x'\n", "line 4: folder.target: is an absolute path"},
        BadProject{
            "[[shortcut]]\nfolder = '开始菜单\\'\nname = '..\\..\\..\\Windows\\evil'\ntarget = \"files/a.txt\"\n",
            "line 5: shortcut.name: holds the character \\"},
        BadProject{"[[shortcut]]\nfolder = '开始菜单\\'\nname = 'a/b'\ntarget = \"files/a.txt\"\n",
                   "line 5: shortcut.name: holds the character /"},
        BadProject{"[[shortcut]]\nfolder = '开始菜单\\'\nname = 'NUL'\ntarget = \"files/a.txt\"\n",
                   "line 5: shortcut.name: is the name of a device"},
        BadProject{"[[shortcut]]\nfolder = 'C:\\Users'\nname = 'a'\ntarget = \"files/a.txt\"\n",
                   "line 4: shortcut.folder: must begin with"},
        BadProject{"[[shortcut_folder]]\nfolder = '桌面\\..'\n",
                   "line 4: shortcut_folder.folder: has the folder \"..\""}));

// Registry values: keys under one of the five roots, numbers that are
// numbers and fit 32 bits, binary data as hexadecimal bytes.
INSTANTIATE_TEST_SUITE_P(
    Registry, ProjectFileErrorTest,
    testing::Values(
        BadProject{"[[registry]]\nkey = 'HKLM\\SOFTWARE\\x'\n", "line 4: registry.key: must begin with"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKLM\\SOFTWARE'\n",
                   "line 4: registry.key: names the root \"HKLM\""},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER'\n", "line 4: registry.key: names no key below"},
        BadProject{"[[registry_key]]\nkey = 'HKEY_LOCAL_MACHINE\\x'\n", "line 4: registry_key.key: must begin with"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ntype = \"dword\"\ndata = \"0000000a\"\n",
                   "line 6: registry.data: must be a number: decimal, or hexadecimal written with 0x"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ntype = \"dword\"\ndata = \"ten\"\n",
                   "line 6: registry.data: must be a number"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ntype = \"dword\"\ndata = 4294967296\n",
                   "line 6: registry.data: does not fit 32 bits"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ntype = \"dword\"\ndata = -1\n",
                   "line 6: registry.data: does not fit 32 bits"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ndata = \"0x100000000\"\ntype = \"dword\"\n",
                   "line 5: registry.data: does not fit 32 bits"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ntype = \"dword\"\n",
                   "line 3: registry.data: is missing"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ntype = \"binary\"\ndata = \"ABC\"\n",
                   "line 6: registry.data: must be hexadecimal bytes"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\ntype = \"binary\"\ndata = \"zz\"\n",
                   "line 6: registry.data: must be hexadecimal bytes"}));

// Switches are true or false, nothing that would silently read as off.
INSTANTIATE_TEST_SUITE_P(
    Switches, ProjectFileErrorTest,
    testing::Values(BadProject{"[project]\nDisplayed = \"maybe\"\n",
                               "line 4: project.Displayed: must be true or false"},
                    BadProject{"[project]\nDisplayed = 7\n", "line 4: project.Displayed: must be true or false"},
                    BadProject{"[pages]\nwelcome = \"启用\"\n", "line 4: pages.welcome: must be true or false"},
                    BadProject{"[project]\nPatch = \"yes\"\n", "line 4: project.Patch: must be true or false"},
                    BadProject{"[tasks]\ndesktop = 1\n", "line 4: tasks.desktop: must be true or false"}));

// Shortcuts point at something; no two items install to one path.
INSTANTIATE_TEST_SUITE_P(
    TargetsAndDuplicates, ProjectFileErrorTest,
    testing::Values(
        BadProject{"[[shortcut]]\nfolder = '桌面\\'\nname = 'a'\ntarget = \"files/b.txt\"\n",
                   "line 6: shortcut.target: must name a file the package installs"},
        BadProject{"[[shortcut]]\nfolder = '桌面\\'\nname = 'a'\ntarget = 'C:\\Windows\\notepad.exe'\n",
                   "line 6: shortcut.target: must name a file the package installs"},
        BadProject{"[[shortcut]]\nfolder = '桌面\\'\nname = 'a'\ntarget = \"www.example.com\"\nkind = \"url\"\n",
                   "line 6: shortcut.target: must be an address"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\n[[files]]\nsource = \"files\"\n",
                   "line 6: files.source: files/a.txt installs to the same path as files.source at line 4"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\n[[files]]\nsource = \"files/A.TXT\"\n",
                   "line 6: files.source: no such file"},
        BadProject{"[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\nname = \"v\"\n"
                   "[[registry]]\nkey = '目标计算机\\hkey_current_user\\X\\'\nname = \"V\"\n",
                   "line 7: registry.key: installs to the same path as registry.key at line 4"},
        BadProject{"[[files]]\nsource = \"files/a.txt\"\n[[shortcut]]\nfolder = '桌面\\'\nname = 'a'\n"
                   "target = \"files/a.txt\"\n[[shortcut]]\nfolder = '桌面'\nname = 'A'\ntarget = \"files/a.txt\"\n",
                   "line 11: shortcut.name: installs to the same path as shortcut.name at line 7"},
        BadProject{"uninstaller_name = \"a.txt\"\n[[files]]\nsource = \"files/a.txt\"\n",
                   "line 3: package.uninstaller_name: installs to the same path as files.source at line 5"},
        BadProject{"[[component]]\nname = 'x:y'\nsource = \"files\"\n",
                   "line 4: component.name: holds the character :"}));

// The package identity is a GUID, with or without braces.
TEST_F(MakesetupTest, IdentityMustBeAGuid) {
    for (const char* id :
         {"not-a-guid", "", "7d3f2a1c-5b4e-4c6d-8e9f-0a1b2c3d4e5", "{7d3f2a1c-5b4e-4c6d-8e9f-0a1b2c3d4e5f"}) {
        Write("project.toml", std::string("[package]\nid = \"") + id + "\"\n");
        try {
            LoadProjectFile(dir_ + "/project.toml", cplDefault);
            ADD_FAILURE() << "accepted " << id;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("project.toml, line 2: package.id: must be a GUID"), std::string::npos)
                << e.what();
        }
    }
    Write("project.toml", "[package]\nid = \"{7d3f2a1c-5b4e-4c6d-8e9f-0a1b2c3d4e5f}\"\n");
    EXPECT_EQ(LoadProjectFile(dir_ + "/project.toml", cplDefault).Model->PackageId,
              "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F");
    Write("project.toml", "[project]\nName = \"x\"\n");
    EXPECT_THROW(LoadProjectFile(dir_ + "/project.toml", cplDefault), Error);
}

// Files on the author's disk whose names Windows cannot create are refused
// with the file they are.
class HostNameTest : public MakesetupTest, public testing::WithParamInterface<const char*> {};

TEST_P(HostNameTest, RefusedWithItsPath) {
    Write(std::string("files/") + GetParam(), "x");
    std::string path = Project("[[files]]\nsource = \"files\"\n");
    try {
        LoadProjectFile(path, cplDefault);
        FAIL() << "accepted";
    } catch (const Error& e) {
        // A folder in the way is named by itself, not by the file below it.
        std::string subject = GetParam();
        if (subject.find("/z.txt") != std::string::npos) subject.resize(subject.find("/z.txt"));
        std::string expected = "line 4: files.source: files/" + subject + " ";
        EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostNameTest,
                         testing::Values("CON", "nul.txt", "a:b", "a|b", "a?", "x.", "y ", "sub/LPT1", "sub./z.txt"));

// The data of registry values as the package holds them.
TEST_F(MakesetupTest, RegistryDataAsThePackageHoldsIt) {
    std::string key = "key = '目标计算机\\HKEY_CURRENT_USER\\x'\n";
    std::string path = Project("[[registry]]\n" + key + "name = \"a\"\ntype = \"dword\"\ndata = 10\n" +
                               "[[registry]]\n" + key + "name = \"b\"\ntype = \"dword\"\ndata = \"10\"\n" +
                               "[[registry]]\n" + key + "name = \"c\"\ntype = \"dword\"\ndata = \"0x10\"\n" +
                               "[[registry]]\n" + key + "name = \"d\"\ntype = \"dword\"\ndata = 4294967295\n" +
                               "[[registry]]\n" + key + "name = \"e\"\ndata = \"01 ab,00FF\"\ntype = \"binary\"\n" +
                               "[[registry]]\n" + key + "name = \"f\"\ntype = \"binary\"\ndata = \"\"\n");
    BuildPlan plan = LoadProjectFile(path, cplDefault);
    std::vector<std::string> data;
    for (const auto& r : plan.Model->RegList) data.push_back(r->Data);
    EXPECT_EQ(data, (std::vector<std::string>{"0000000a", "0000000a", "00000010", "ffffffff", "01ab00FF", ""}));
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
    TCompile& m = *plan.Model;
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
    TCompile& m = *plan.Model;
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
    EXPECT_TRUE(plan.DataFiles[0].empty());
}

// build -> verify -> extract gives the input files back byte for byte, and two
// builds give the same bytes.
TEST_F(MakesetupTest, DemoRoundTrip) {
    std::string a = dir_ + "/a.exe", b = dir_ + "/b.exe", out = dir_ + "/out";
    int status = -1;
    std::string log =
        RunHost(std::string(MAKESETUP) + " build " + DEMO_PROJECT + " -o " + a + " --level press 2>&1", &status);
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
    EXPECT_NE(inspect.find("\xE9\xA1\xB9\xE7\x9B\xAE\xE5\x90\x8D\xE7\xA7\xB0 = "),
              std::string::npos);  // 项目名称, UTF-8
}

// A damaged package is refused by verify with a message and a non-zero status.
TEST_F(MakesetupTest, VerifyRefusesDamage) {
    std::string a = dir_ + "/a.exe";
    int status = -1;
    RunHost(std::string(MAKESETUP) + " build " + DEMO_PROJECT + " -o " + a + " --chunk 4096 --level default 2>&1",
            &status);
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

// Damage that only the checksum shows: the Adler-32 trailer of a chunk, or a
// byte of the content of a stored (uncompressed) deflate block, changed, so
// that the chunk still inflates to the item's length. verify refuses both.
TEST_F(MakesetupTest, VerifyRefusesChecksumDamage) {
    Write("files/a.txt", "stored content");
    BuildPlan plan =
        LoadProjectFile(Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n"), cplNone);
    TCompile& m = *plan.Model;
    std::string package = dir_ + "/p.exe";
    {
        std::unique_ptr<Stream> out = OpenHostFile(package, OpenMode::Create);
        PackageWriter writer(*out, cplNone);
        writer.WriteStub(std::string_view("MZstub"));
        int64_t size = 0;
        for (size_t i = 0; i < m.FileList.size(); ++i) {
            if (plan.DataFiles[i].empty()) continue;
            ItemRange range = writer.WriteItem(*OpenHostFile(plan.DataFiles[i], OpenMode::Read));
            m.FileList[i]->DataStart = range.DataStart;
            m.FileList[i]->DataEnd = range.DataEnd;
            if (m.FileList[i]->Kind == fkFile) size += m.FileList[i]->FileSize;
        }
        writer.Finish(m, size);
    }
    int status = -1;
    std::string out = RunHost(std::string(MAKESETUP) + " verify " + package + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    const TCompileFileData* file = nullptr;
    for (const auto& item : m.FileList) {
        if (item->Kind == fkFile) file = item.get();
    }
    ASSERT_NE(file, nullptr);
    std::string bytes = ReadHostFile(package);
    auto start = static_cast<size_t>(file->DataStart);
    // One chunk: its length, the zlib header, one final stored block (its
    // header byte, LEN and NLEN, the content), the Adler-32.
    ASSERT_EQ(file->DataEnd - file->DataStart, 4 + 2 + 5 + 14 + 4);
    ASSERT_EQ(bytes[start + 6], '\x01');
    ASSERT_EQ(bytes.substr(start + 11, 14), "stored content");
    std::string trailer = bytes;
    trailer[static_cast<size_t>(file->DataEnd) - 1] ^= 0x01;
    std::string content = bytes;
    content[start + 11] ^= 0x20;  // "Stored content"
    for (const std::string* damaged : {&trailer, &content}) {
        WriteHostFile(package, *damaged);
        out = RunHost(std::string(MAKESETUP) + " verify " + package + " 2>&1", &status);
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find("makesetup: "), std::string::npos) << out;
        EXPECT_NE(out.find("a.txt"), std::string::npos) << out;
    }
}

// Extraction never writes outside its folder, whatever the package says.
TEST_F(MakesetupTest, ExtractRefusesEscapingPaths) {
    Write("files/a.txt", "a");
    Write("files/b.txt", "b");
    BuildPlan plan = LoadProjectFile(Project("[[files]]\nsource = \"files\"\n"), cplDefault);
    plan.Model->FileList[1]->Source = "C:\\Project\\..\\evil.txt";
    std::ostringstream log;
    BuildPackage(plan, BuildOptions{}, dir_ + "/p.exe", log);
    EXPECT_THROW(ExtractPackage(dir_ + "/p.exe", dir_ + "/out", log), Error);
    EXPECT_FALSE(fs::exists(dir_ + "/evil.txt"));
}

// The package is never written over one of its own inputs, and the input
// stays as it was.
TEST_F(MakesetupTest, OutputNeverOverAnInput) {
    Write("files/a.txt", "a");
    Write("stub.bin", "stub");
    std::string project = Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n");
    std::string before = ReadHostFile(project);
    std::string build = std::string(MAKESETUP) + " build " + project + " --stub " + dir_ + "/stub.bin -o ";
    for (const std::string& output :
         {project, dir_ + "/files/a.txt", dir_ + "/files/../files/a.txt", dir_ + "/stub.bin"}) {
        int status = -1;
        std::string out = RunHost(build + output + " 2>&1", &status);
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find("an input of the build"), std::string::npos) << out;
    }
    EXPECT_EQ(ReadHostFile(project), before);
    EXPECT_EQ(ReadHostFile(dir_ + "/files/a.txt"), "a");
    EXPECT_EQ(ReadHostFile(dir_ + "/stub.bin"), "stub");
    EXPECT_FALSE(fs::exists(project + ".partial"));
}

// A build whose bytes do not all reach the disk (here a file size limit that
// fails the final flush) reports the failure, leaves no partial file and
// keeps the earlier package as it was.
TEST_F(MakesetupTest, FailedBuildLeavesNoPartialFile) {
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        noise += static_cast<char>(x >> 24);
    }
    Write("files/noise.bin", noise);
    Write("stub.bin", "stub");
    std::string project = Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n");
    std::string output = dir_ + "/out.exe";
    Write("out.exe", "earlier package");
    int status = -1;
    std::string out = RunHost("sh -c 'trap \"\" XFSZ; ulimit -f 2; exec " + std::string(MAKESETUP) + " build " +
                                  project + " --stub " + dir_ + "/stub.bin --level none -o " + output + "' 2>&1",
                              &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("Cannot write the file " + output + ".partial"), std::string::npos) << out;
    EXPECT_EQ(out.find("wrote "), std::string::npos) << out;
    EXPECT_EQ(ReadHostFile(output), "earlier package");
    EXPECT_FALSE(fs::exists(output + ".partial"));
    // Without the limit the same build succeeds.
    out = RunHost(std::string(MAKESETUP) + " build " + project + " --stub " + dir_ + "/stub.bin --level none -o " +
                      output + " 2>&1",
                  &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_GT(HostFileSize(output), 3000);
}

// Text-like bytes with noise, so that chunks compress to different lengths.
std::string Generated(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>((i / 40) % 4 == 0 ? (x >> 16) & 0xFF : 'a' + (i + seed) % 17);
    }
    return s;
}

// A payload of every shape: files of several chunks, empty files, many small
// files in folders.
void WriteMixedPayload(const std::function<void(const std::string&, const std::string&)>& write) {
    write("files/big.bin", Generated(2 * kChunkBlockSize + 12345, 1));
    write("files/chunk.bin", Generated(kChunkBlockSize, 2));
    write("files/empty.txt", "");
    for (int i = 0; i < 240; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "files/m%d/%03d.txt", i / 80, i);
        write(name, i % 50 == 7 ? std::string() : Generated(static_cast<size_t>(i * 37 % 5000), i + 3));
    }
    write("files/z-empty.txt", "");
}

// makesetup gives the same package whatever the number of threads compressing
// it (the default one per processor included), with the default chunk and
// with chunks smaller than the files; the package verifies and extracts.
TEST_F(MakesetupTest, SameBytesOnAnyNumberOfThreads) {
    WriteMixedPayload([this](const std::string& name, const std::string& bytes) { Write(name, bytes); });
    std::string project = Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n");
    std::string build = std::string(MAKESETUP) + " build " + project + " -o ";
    for (const char* chunk : {" --level default", " --chunk 4096 --level speed"}) {
        SCOPED_TRACE(chunk);
        std::string one;
        int n = 0;
        for (const char* jobs : {" --jobs 1", " --jobs 4", " --jobs 2", ""}) {
            std::string output = dir_ + "/out" + std::to_string(++n) + ".exe";
            int status = -1;
            std::string log = RunHost(build + output + chunk + jobs + " 2>&1", &status);
            ASSERT_EQ(status, 0) << jobs << ": " << log;
            std::string bytes = ReadHostFile(output);
            if (one.empty()) {
                one = bytes;
            } else {
                EXPECT_TRUE(bytes == one) << jobs << ": " << bytes.size() << " bytes, not " << one.size();
            }
        }
        WriteHostFile(dir_ + "/p.exe", one);
        int status = -1;
        std::string verify = RunHost(std::string(MAKESETUP) + " verify " + dir_ + "/p.exe 2>&1", &status);
        EXPECT_EQ(status, 0) << verify;
    }
    int status = -1;
    RunHost(std::string(MAKESETUP) + " extract " + dir_ + "/p.exe " + dir_ + "/out 2>&1", &status);
    ASSERT_EQ(status, 0);
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_ + "/files")) {
        if (!entry.is_regular_file()) continue;
        std::string relative = fs::relative(entry.path(), dir_ + "/files").string();
        EXPECT_TRUE(ReadHostFile(dir_ + "/out/" + relative) == ReadHostFile(entry.path().string())) << relative;
        ++compared;
    }
    EXPECT_EQ(compared, 244);
}

// Files with the same bytes are stored once and share their offsets; a file
// of the same size that differs in its last byte is stored on its own. The
// package verifies, extracts, and installs every copy on a simulated machine.
TEST_F(MakesetupTest, IdenticalFilesStoredOnce) {
    std::string x = Generated(300000, 9), y = x;
    y.back() ^= 1;
    Write("files/a.bin", x);
    Write("files/sub/b.bin", x);
    Write("files/sub/c.bin", y);
    Write("files/d.txt", "");
    Write("files/e.txt", "");
    Write("files/z.bin", x);
    std::string project = Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n");
    std::string package = dir_ + "/p.exe";
    for (const char* jobs : {"1", "3"}) {
        int status = -1;
        std::string log = RunHost(
            std::string(MAKESETUP) + " build " + project + " --jobs " + jobs + " -o " + package + " 2>&1", &status);
        ASSERT_EQ(status, 0) << log;
        TCompile m;
        m.LoadPackage(*OpenHostFile(package, OpenMode::Read), package);
        std::map<std::string, const TCompileFileData*> items;
        for (const auto& item : m.FileList) items[GbkToUtf8(item->Name)] = item.get();
        ASSERT_EQ(items.size(), 7u);  // the folder sub and six files
        const TCompileFileData &a = *items["a.bin"], &b = *items["b.bin"], &c = *items["c.bin"], &z = *items["z.bin"];
        EXPECT_EQ(b.DataStart, a.DataStart);
        EXPECT_EQ(b.DataEnd, a.DataEnd);
        EXPECT_EQ(z.DataStart, a.DataStart);
        EXPECT_EQ(z.DataEnd, a.DataEnd);
        EXPECT_TRUE(c.DataStart >= a.DataEnd || c.DataEnd <= a.DataStart);
        EXPECT_EQ(m.Size, 4 * 300000);
        log = RunHost(std::string(MAKESETUP) + " verify " + package + " 2>&1", &status);
        EXPECT_EQ(status, 0) << log;
    }
    int status = -1;
    RunHost(std::string(MAKESETUP) + " extract " + package + " " + dir_ + "/out 2>&1", &status);
    ASSERT_EQ(status, 0);
    std::string machine = dir_ + "/machine";
    std::string log = RunHost("SANDBOX_ROOT='" + machine + "' " + package + " /S 2>&1", &status);
    ASSERT_EQ(status, 0) << log;
    for (const char* file : {"a.bin", "sub/b.bin", "sub/c.bin", "d.txt", "e.txt", "z.bin"}) {
        EXPECT_TRUE(ReadHostFile(dir_ + "/out/" + file) == ReadHostFile(dir_ + "/files/" + file)) << file;
        EXPECT_TRUE(ReadHostFile(machine + "/C/Program Files/" + file) == ReadHostFile(dir_ + "/files/" + file))
            << file;
    }
}

// verify accepts items that share the very same data and refuses an item that
// overlaps part of another's.
TEST_F(MakesetupTest, VerifyTellsSharedDataFromOverlaps) {
    Write("files/a.bin", Generated(8192, 4));
    Write("files/b.bin", Generated(4096, 5));
    std::string project = Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n");
    BuildPlan plan = LoadProjectFile(project, cplDefault);
    TCompile& m = *plan.Model;
    ASSERT_EQ(m.FileList.size(), 2u);
    std::string package = dir_ + "/p.exe";
    // a.bin as two chunks; b.bin given either a.bin's data or a.bin's second chunk.
    for (bool shareAll : {true, false}) {
        {
            std::unique_ptr<Stream> out = OpenHostFile(package, OpenMode::Create);
            PackageWriter writer(*out, cplDefault, 4096);
            writer.WriteStub(std::string_view());
            std::string first = ReadHostFile(plan.DataFiles[0]);
            ItemRange firstChunk = writer.WriteItem(first.substr(0, 4096));
            ItemRange secondChunk = writer.WriteItem(first.substr(4096));
            m.FileList[0]->DataStart = firstChunk.DataStart;
            m.FileList[0]->DataEnd = secondChunk.DataEnd;
            m.FileList[1]->DataStart = shareAll ? firstChunk.DataStart : secondChunk.DataStart;
            m.FileList[1]->DataEnd = secondChunk.DataEnd;
            m.FileList[1]->FileSize = shareAll ? 8192 : 4096;
            writer.Finish(m, m.FileList[0]->FileSize + m.FileList[1]->FileSize);
        }
        int status = -1;
        std::string out = RunHost(std::string(MAKESETUP) + " verify " + package + " 2>&1", &status);
        if (shareAll) {
            EXPECT_EQ(status, 0) << out;
        } else {
            EXPECT_EQ(status, 1) << out;
            EXPECT_NE(out.find("item 2 (C:\\Project\\files\\b.bin) overlaps the item before it"), std::string::npos)
                << out;
        }
    }
}

// Without --level the package is built at press, the smallest: the chunks
// carry the zlib header of the highest level class.
TEST_F(MakesetupTest, DefaultLevelIsPress) {
    Write("files/a.txt", Generated(20000, 3));
    std::string project = Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n");
    std::map<std::string, std::string> packages;
    for (const char* level : {"", " --level press", " --level default"}) {
        int status = -1;
        std::string log =
            RunHost(std::string(MAKESETUP) + " build " + project + " --stub '' -o " + dir_ + "/p.exe" + level + " 2>&1",
                    &status);
        ASSERT_EQ(status, 0) << log;
        packages[level] = ReadHostFile(dir_ + "/p.exe");
    }
    EXPECT_TRUE(packages[""] == packages[" --level press"]);
    EXPECT_LT(packages[""].size(), packages[" --level default"].size());
    // The lead-in, the first chunk's length, then its zlib header.
    EXPECT_EQ(packages[""].substr(12, 2), "\x78\xDA");
    EXPECT_EQ(packages[" --level default"].substr(12, 2), "\x78\x9C");
}

struct MidBuildFault {
    const char* name;
    std::function<void(const std::string&)> inflict;  // given the file's path
    const char* message;                              // what the error says before the path
};

void PrintTo(const MidBuildFault& f, std::ostream* os) { *os << f.name; }

class MidBuildFaultTest : public MakesetupTest, public testing::WithParamInterface<MidBuildFault> {};

// A file that cannot be read once the build has started, while threads are
// compressing the files before it, fails the build with its name; no partial
// file is left and the earlier package stays as it was.
TEST_P(MidBuildFaultTest, NamesTheFileAndLeavesNoOutput) {
    WriteMixedPayload([this](const std::string& name, const std::string& bytes) { Write(name, bytes); });
    std::string project = Project("[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n");
    BuildPlan plan = LoadProjectFile(project, cplDefault);
    std::string victim = dir_ + "/files/m1/120.txt";
    ASSERT_NE(std::find(plan.DataFiles.begin(), plan.DataFiles.end(), victim), plan.DataFiles.end());
    GetParam().inflict(victim);
    std::string output = dir_ + "/out.exe";
    Write("out.exe", "earlier package");
    BuildOptions options;
    options.Jobs = 4;
    options.Level = cplSpeed;
    std::ostringstream log;
    try {
        BuildPackage(plan, options, output, log);
        ADD_FAILURE() << "the build succeeded";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(std::string(GetParam().message) + victim), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadHostFile(output), "earlier package");
    EXPECT_FALSE(fs::exists(output + ".partial"));
    EXPECT_EQ(log.str().find("wrote "), std::string::npos) << log.str();
}

INSTANTIATE_TEST_SUITE_P(Cases, MidBuildFaultTest,
                         testing::Values(MidBuildFault{"Removed", [](const std::string& path) { fs::remove(path); },
                                                       "Cannot open the file "},
                                         MidBuildFault{"Grown",
                                                       [](const std::string& path) {
                                                           std::ofstream(path, std::ios::binary | std::ios::app)
                                                               << "more";
                                                       },
                                                       "The file "},
                                         MidBuildFault{"ReplacedByAFolder",
                                                       [](const std::string& path) {
                                                           fs::remove(path);
                                                           fs::create_directory(path);
                                                       },
                                                       ""}),
                         [](const testing::TestParamInfo<MidBuildFault>& info) { return info.param.name; });

// A host file whose last bytes cannot be written fails at Close.
TEST(HostFileClose, ReportsTheFinalFlush) {
    std::unique_ptr<HostFileStream> full = CreateHostFile("/dev/full");
    full->WriteBytes("held back in the buffer");
    EXPECT_THROW(full->Close(), Error);
    EXPECT_THROW(WriteHostFile("/dev/full", "x"), Error);
}

struct OptionCase {
    const char* options;
    const char* message;
};

void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.options; }

class BuildOptionTest : public MakesetupTest, public testing::WithParamInterface<OptionCase> {};

// A wrong option says what is wrong with it, and nothing is written.
TEST_P(BuildOptionTest, SaysWhatIsWrong) {
    Write("files/a.txt", "a");
    std::string project = Project("[[files]]\nsource = \"files\"\n");
    int status = -1;
    std::string out = RunHost(
        std::string(MAKESETUP) + " build " + project + " -o " + dir_ + "/out.exe " + GetParam().options + " 2>&1",
        &status);
    EXPECT_NE(status, 0) << out;
    EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir_ + "/out.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildOptionTest,
    testing::Values(
        OptionCase{"--chunk 0", "--chunk: \"0\" is not a byte count from 1 to 3145728"},
        OptionCase{"--chunk 3145729", "--chunk: \"3145729\" is not a byte count from 1 to 3145728"},
        OptionCase{"--chunk 12k", "--chunk: \"12k\" is not a byte count"},
        OptionCase{"--chunk -5", "--chunk: \"-5\" is not a byte count"},
        OptionCase{"--jobs 0", "--jobs: \"0\" is not a number of threads from 1 to 64"},
        OptionCase{"--jobs 65", "--jobs: \"65\" is not a number of threads from 1 to 64"},
        OptionCase{"--jobs 100000000000", "--jobs: \"100000000000\" is not a number of threads"},
        OptionCase{"--jobs two", "--jobs: \"two\" is not a number of threads"},
        OptionCase{"--jobs", "--jobs needs a value"},
        OptionCase{"--level fast", "--level: unknown level \"fast\"; it takes none, speed, press or default"},
        OptionCase{"--set project.Displayed=maybe", "--set project.Displayed: must be true or false, not maybe"},
        OptionCase{"--set pages.welcome=1", "--set pages.welcome: must be true or false"},
        OptionCase{"--set project.Colour=red", "--set project.Colour: no such setting"},
        OptionCase{"--set welcome.picture=x.png", "--set welcome.picture: names a file"}));

// Writes the plan's package with the package writer alone, as another tool
// might have: the package maker's rules are not applied.
void WriteWithoutRules(BuildPlan& plan, const std::string& path) {
    TCompile& m = *plan.Model;
    std::unique_ptr<Stream> out = OpenHostFile(path, OpenMode::Create);
    PackageWriter writer(*out);
    writer.WriteStub(std::string_view());
    int64_t size = 0;
    for (size_t i = 0; i < m.FileList.size(); ++i) {
        ItemRange range = writer.WriteItem(*OpenHostFile(plan.DataFiles[i], OpenMode::Read));
        m.FileList[i]->DataStart = range.DataStart;
        m.FileList[i]->DataEnd = range.DataEnd;
        size += m.FileList[i]->FileSize;
    }
    writer.Finish(m, size);
}

// verify holds a package made elsewhere to the rules that protect the machine and lists every
// violation, not only the first.
TEST_F(MakesetupTest, VerifyListsEveryViolation) {
    Write("files/a.txt", "a");
    Write("files/b.txt", "b");
    std::string project = Project(
        "[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n"
        "[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\nname = \"n\"\ntype = \"dword\"\ndata = 1\n");
    BuildPlan plan = LoadProjectFile(project, cplDefault);
    TCompile& m = *plan.Model;
    m.FileList[0]->TargetDir = "C:\\Windows";             // a target without its root
    m.FileList[1]->Source = "C:\\Project\\files\\a.txt";  // the same path as the first file
    m.FileList[1]->TargetDir = "C:\\Windows";
    m.RegList[0]->Data = "1FFFFFFFF";
    for (const auto& s : m.InfoList) {
        if (s->Key == "显示安装界面") s->Value = "maybe";
    }
    // Written by hand, as another tool might have: the package maker itself
    // refuses such a model.
    std::string package = dir_ + "/p.exe";
    WriteWithoutRules(plan, package);
    std::ostringstream log;
    EXPECT_THROW(BuildPackage(plan, BuildOptions{}, dir_ + "/q.exe", log), Error);
    EXPECT_FALSE(fs::exists(dir_ + "/q.exe"));
    int status = -1;
    std::string out = RunHost(std::string(MAKESETUP) + " verify " + package + " 2>&1", &status);
    EXPECT_EQ(status, 1) << out;
    // Targets outside their roots harm the machine and fail the check; what
    // the format defines (a DWORD of more than eight digits, a switch that is
    // neither value, and so off) is noted.
    EXPECT_NE(out.find("violation: item 1 (C:\\Project\\files\\a.txt): is an absolute path"), std::string::npos) << out;
    EXPECT_NE(out.find("violation: item 2 (C:\\Project\\files\\a.txt): is an absolute path"), std::string::npos) << out;
    EXPECT_NE(out.find("note: registry value 1"), std::string::npos) << out;
    EXPECT_NE(out.find("does not fit 32 bits"), std::string::npos) << out;
    EXPECT_NE(out.find("\"maybe\", neither"), std::string::npos) << out;
    EXPECT_NE(out.find("breaks 2 rule(s)"), std::string::npos) << out;
}

// A package another tool wrote with everything the format allows but an
// author would not have meant: each oddity is a note, and the check passes.
TEST_F(MakesetupTest, VerifyNotesFormatOddities) {
    Write("files/a.txt", "a");
    Write("files/b.txt", "b");
    std::string project = Project(
        "[project]\nEnableUnIns = false\n[[files]]\nsource = \"files\"\n"
        "[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\nname = \"n\"\ntype = \"dword\"\ndata = 1\n"
        "[[registry]]\nkey = '目标计算机\\HKEY_CURRENT_USER\\x'\nname = \"b\"\ntype = \"binary\"\ndata = \"00\"\n");
    BuildPlan plan = LoadProjectFile(project, cplDefault);
    TCompile& m = *plan.Model;
    m.FileList[1]->Source = "C:\\Project\\files\\a.txt";  // the same path as the first file
    m.RegList[0]->Data = "0x10";
    m.RegList[1]->Data = "ABC";
    auto link = std::make_unique<TShotCutData>();
    link->Folder = "桌面\\";
    link->Name = "记事本";
    link->Target = "C:\\Windows\\notepad.exe";
    m.ShotCutList.push_back(std::move(link));
    std::string package = dir_ + "/p.exe";
    WriteWithoutRules(plan, package);
    int status = -1;
    std::string out = RunHost(std::string(MAKESETUP) + " verify " + package + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    for (const char* note :
         {"note: item 2 (C:\\Project\\files\\a.txt): installs to the same path as item 1", "note: registry value 1",
          "not a hexadecimal number", "note: registry value 2", "odd number of hexadecimal digits", "note: shortcut 1",
          "no packaged file", "4 note(s) above"}) {
        EXPECT_NE(out.find(note), std::string::npos) << note << "\n" << out;
    }
    EXPECT_EQ(out.find("violation"), std::string::npos) << out;
}

TEST_F(MakesetupTest, NewProjectFileBuilds) {
    std::string text = NewProjectFileText();
    Write("project.toml", text);
    BuildPlan plan = LoadProjectFile(dir_ + "/project.toml", cplDefault);
    EXPECT_EQ(plan.Model->PackageId.size(), 36u);
    EXPECT_NE(NewProjectFileText(), text);  // a fresh identity each time
}

}  // namespace
}  // namespace setup::makesetup
