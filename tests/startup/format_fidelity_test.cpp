// Whole runs of the Linux setup program and uninstaller on packages written
// from the stored format alone (format_writer.h), as any other tool could
// write them: registry data texts of odd length, with characters that are no
// hexadecimal digits or with more than eight digits, two files on one path, a
// link to a program outside the package, keys directly under a root. Each
// item installs exactly as the format defines it, nothing is left out, and
// the uninstaller takes everything away again.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/compile.h"
#include "platform/host_files.h"
#include "platform/lnk_reader.h"
#include "platform/os.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "startup/format_writer.h"
#include "startup/whole_run_fixture.h"

namespace setup::testing_sandbox {
namespace {

namespace fmt = testing_format;

const char kId[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
const std::string kDir = "C:\\Program Files\\格式";
const std::string kUninstaller = kDir + "\\UnInstall 格式.exe";
const std::string kRecord = kDir + "\\UnInstall 格式.log";
const std::string kDesktop = "C:\\Users\\Demo\\Desktop";
const std::string kPrograms = "C:\\Users\\Demo\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
// A key that exists before the installation, with a value of someone else's.
const std::string kVendorKey = "SOFTWARE\\FmtVendor";

// ---- the uninstall record, read from its stored form --------------------------------

struct RecordEntry {
    std::string RootKey, Path, ValueName;
    uint8_t DeleteFlag = 0, EntryKind = 0;
};

// The entries of a record file: chunks whose content is the project name,
// the package identity, a count and that many entries of three strings and
// two bytes. Throws std::runtime_error for anything else.
std::vector<RecordEntry> ReadRecordEntries(const std::string& fileBytes) {
    std::string content = fmt::InflateChunks(fileBytes);
    size_t at = 0;
    auto take = [&](size_t n) {
        if (content.size() - at < n) throw std::runtime_error("the record ends early");
        std::string bytes = content.substr(at, n);
        at += n;
        return bytes;
    };
    auto i32 = [&] {
        std::string b = take(4);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(b[i])) << (8 * i);
        return static_cast<int32_t>(v);
    };
    auto text = [&] {
        int32_t length = i32();
        return length > 0 ? take(static_cast<size_t>(length)) : std::string();
    };
    text();  // project name
    text();  // package identity
    std::vector<RecordEntry> entries(static_cast<size_t>(std::max(i32(), 0)));
    for (RecordEntry& e : entries) {
        e.RootKey = text();
        e.Path = text();
        e.ValueName = text();
        e.DeleteFlag = static_cast<uint8_t>(take(1)[0]);
        e.EntryKind = static_cast<uint8_t>(take(1)[0]);
    }
    if (at != content.size()) throw std::runtime_error("bytes after the record's last entry");
    return entries;
}

// ---- the package ------------------------------------------------------------------------

// Settings of a product installed into C:\Program Files\格式 with its
// uninstaller, a Start-menu folder 格式 whose check box the user sees, a
// desktop shortcut, and the wizard on or off.
std::vector<fmt::Setting> ProductSettings(bool wizard) {
    std::vector<fmt::Setting> settings = {
        {"项目名称", "格式", fmt::kGroupProject},
        {"版本号", "1.0", fmt::kGroupProject},
        {"作者名称", "格式公司", fmt::kGroupProject},
        {"显示安装界面", wizard ? "启用" : "禁用", fmt::kGroupProject},
        {"显示加载进度", "禁用", fmt::kGroupProject},
        {"显示安装背景窗口", "禁用", fmt::kGroupProject},
        {"卸载程序", "启用", fmt::kGroupProject},
        {"默认文件夹名称", "格式", fmt::kGroupStartFolder},
        {"允许用户修改文件夹名称", "启用", fmt::kGroupStartFolder},
        {"显示用户选择选项", "启用", fmt::kGroupStartFolder},
        {"默认安装路径", "[System ProgramFiles]\\格式", fmt::kGroupInstallDir},
        {"创建桌面快捷方式", "启用", fmt::kGroupAddonsTask},
    };
    for (const char* page : {"欢迎", "选择开始菜单文件夹", "附加任务", "确认安装", "安装进程", "安装完毕"}) {
        settings.push_back({page, "启用", fmt::kGroupPageSwitch});
    }
    return settings;
}

fmt::FileItem File(uint8_t kind, const std::string& source, const std::string& targetDir, const std::string& data) {
    fmt::FileItem item;
    item.Kind = kind;
    item.Source = source;
    item.Name = source.substr(source.rfind('\\') + 1);
    item.TargetDir = targetDir;
    item.Data = data;
    return item;
}

fmt::FileItem Uninstaller() {
    return File(fmt::kKindUnInsFile, "D:\\src\\UnInstall 格式.exe", "", setup::ReadHostFile(UNINSTALL_PROGRAM));
}

// One package with every case: the registry data texts at their edges, two
// files on one path (the second in several chunks), an empty file stored as
// no chunk at all, a link to a program that is not packaged, values in keys
// directly under HKEY_CLASSES_ROOT that do not exist yet, a key of the key
// list directly under it, and values in a key that exists already.
fmt::Project EveryCaseProject(bool wizard) {
    fmt::Project p;
    p.Settings = ProductSettings(wizard);
    p.FileFolders = {"目标计算机\\Program Files\\empty dir"};
    p.Files.push_back(File(fmt::kKindFile, "D:\\src\\fmt.exe", "目标计算机\\Program Files\\", "MZ fmt"));
    p.Files.push_back(File(fmt::kKindFile, "D:\\src\\a\\same.txt", "目标计算机\\Program Files\\docs", "first copy"));
    fmt::FileItem second =
        File(fmt::kKindFile, "D:\\src\\b\\same.txt", "目标计算机\\Program Files\\docs", "second copy, in chunks");
    second.ChunkSize = 8;
    p.Files.push_back(second);
    fmt::FileItem folder = File(fmt::kKindFolder, "D:\\src\\docs", "目标计算机\\Program Files\\", "");
    folder.FileTime = -1.0;
    p.Files.push_back(folder);
    p.Files.push_back(File(fmt::kKindFile, "D:\\src\\empty.txt", "目标计算机\\Program Files\\", ""));
    p.Files.push_back(Uninstaller());

    p.RegFolders = {"目标计算机\\HKEY_CLASSES_ROOT\\.fmty"};
    auto value = [&p](const std::string& key, const std::string& name, const std::string& data, uint8_t type) {
        p.RegValues.push_back({"目标计算机\\" + key, name, data, "", type});
    };
    value("HKEY_CLASSES_ROOT\\.fmtx", "", "Fmt.Document", fmt::kRegSzText);
    value("HKEY_CLASSES_ROOT\\Fmt.Document\\shell\\open\\command", "", "[安装目录]\\fmt.exe \"%1\"", fmt::kRegSzText);
    const std::string vendor = "HKEY_LOCAL_MACHINE\\" + kVendorKey;
    value(vendor, "Bin3", "ABC", fmt::kRegBinaryText);
    value(vendor, "Bin5", "0A0BC", fmt::kRegBinaryText);
    value(vendor, "BinEmpty", "", fmt::kRegBinaryText);
    value(vendor, "BinPlain", fmt::BinaryText(std::string("\x00\x7F\xFF", 3)), fmt::kRegBinaryText);
    value(vendor, "Dw0x10", "0x10", fmt::kRegDwordText);
    value(vendor, "DwFg1", "fg1", fmt::kRegDwordText);
    value(vendor, "DwLong", "1234567890", fmt::kRegDwordText);
    value(vendor, "DwMax", "FFFFFFFF", fmt::kRegDwordText);
    value(vendor, "DwPlain", fmt::DwordText(0x1F), fmt::kRegDwordText);

    fmt::ShortcutItem notepad;
    notepad.Folder = "桌面\\";
    notepad.Name = "记事本";
    notepad.Target = "C:\\Windows\\notepad.exe";
    notepad.Arguments = "/A";
    notepad.Description = "编辑文本";
    p.Shortcuts.push_back(notepad);
    fmt::ShortcutItem program;
    program.Folder = "开始菜单\\";
    program.Name = "格式";
    program.Target = "D:\\src\\fmt.exe";
    p.Shortcuts.push_back(program);
    p.PackageId = kId;
    return p;
}

// ---- running it ---------------------------------------------------------------------

class FormatFidelityTest : public WholeRunTest {
protected:
    void SetUp() override {
        WholeRunTest::SetUp();
        Configure("[Machine]\nOsVersion=5.1\nUser=Demo\n");
        RegistryApi& registry = OS().Registry();
        ASSERT_TRUE(registry.CreateKey(kHkeyLocalMachine, kVendorKey));
        ASSERT_TRUE(registry.WriteString(kHkeyLocalMachine, kVendorKey, "Other", "keep"));
    }
    // Writes the package onto the stub of the Linux setup program and places
    // it on the machine as C:\Downloads\setup.
    void Place(fmt::Project& project, const fmt::WriteOptions& options = {}) {
        WholeRunTest::Place(fmt::WritePackage(project, setup::ReadHostFile(SETUP_PROGRAM), options).Bytes);
    }
    int RunSetup(const std::string& args) { return RunProgram("C:\\Downloads\\setup", args); }
    int RunUninstaller() {
        WriteHostFile("effects.jsonl", "");
        return RunProgram(kUninstaller, "/S");
    }
    // The message boxes that told the user some items were not installed.
    std::vector<std::string> WarningBoxes() {
        std::vector<std::string> boxes;
        for (const std::string& line : EffectLinesOf("MessageBox")) {
            if (Contains(line, GbkToUtf8("未能安装"))) boxes.push_back(line);
        }
        return boxes;
    }
    std::optional<RegValue> Value(uint32_t root, const std::string& key, const std::string& name) {
        return OS().Registry().ReadValue(root, key, name);
    }
    // The link file's target as it stands in the link, or "" when there is none.
    std::string LinkTarget(const std::string& path) {
        std::optional<std::string> bytes = Read(path);
        if (!bytes) return "";
        std::optional<testing_lnk::LnkContents> link = testing_lnk::ReadLnk(*bytes);
        return link ? link->localPath : "(not a shell link)";
    }

    // Every case of EveryCaseProject, value by value; with startMenu the
    // Start-menu link too.
    void ExpectEveryCaseInstalled(bool startMenu) {
        EXPECT_EQ(Read(kDir + "\\fmt.exe"), "MZ fmt");
        // Two files on one path: the later one's bytes, and the path recorded once.
        EXPECT_EQ(Read(kDir + "\\docs\\same.txt"), "second copy, in chunks");
        EXPECT_EQ(Read(kDir + "\\empty.txt"), "");
        EXPECT_TRUE(OS().Files().FolderExists(kDir + "\\empty dir"));
        EXPECT_TRUE(Read(kUninstaller) == setup::ReadHostFile(UNINSTALL_PROGRAM));
        std::optional<std::string> record = Read(kRecord);
        ASSERT_TRUE(record.has_value());
        size_t sameRecorded = 0;
        for (const RecordEntry& e : ReadRecordEntries(*record)) {
            sameRecorded += e.EntryKind == 0 && EqualsNoCase(e.Path, kDir + "\\docs\\same.txt");
        }
        EXPECT_EQ(sameRecorded, 1u);

        // The link to a program outside the package points at its text as written.
        EXPECT_EQ(LinkTarget(kDesktop + "\\记事本.lnk"), "C:\\Windows\\notepad.exe");
        if (startMenu) {
            EXPECT_EQ(LinkTarget(kPrograms + "\\格式\\格式.lnk"), kDir + "\\fmt.exe");
        }

        // Keys directly under HKEY_CLASSES_ROOT, made for their values and from the key list.
        EXPECT_EQ(OS().Registry().ReadString(kHkeyClassesRoot, ".fmtx", ""), "Fmt.Document");
        EXPECT_EQ(OS().Registry().ReadString(kHkeyClassesRoot, "Fmt.Document\\shell\\open\\command", ""),
                  kDir + "\\fmt.exe \"%1\"");
        EXPECT_TRUE(OS().Registry().KeyExists(kHkeyClassesRoot, ".fmty"));

        // REG_BINARY: an odd digit count ends in a digit 0; no digits, no bytes.
        auto binary = [&](const std::string& name, const std::string& bytes) {
            std::optional<RegValue> v = Value(kHkeyLocalMachine, kVendorKey, name);
            ASSERT_TRUE(v.has_value()) << name;
            EXPECT_EQ(v->Type, kRegBinary) << name;
            EXPECT_EQ(v->Data, bytes) << name;
        };
        binary("Bin3", "\xAB\xC0");
        binary("Bin5", std::string("\x0A\x0B\xC0", 3));
        binary("BinEmpty", "");
        binary("BinPlain", std::string("\x00\x7F\xFF", 3));
        // REG_DWORD: every character that is no hexadecimal digit counts as the
        // digit 0, and the last eight digits make the value.
        auto dword = [&](const std::string& name, uint32_t number) {
            std::optional<RegValue> v = Value(kHkeyLocalMachine, kVendorKey, name);
            ASSERT_TRUE(v.has_value()) << name;
            EXPECT_EQ(v->Type, kRegDword) << name;
            std::string le;
            fmt::PutU32(le, number);
            EXPECT_EQ(v->Data, le) << name;
        };
        dword("Dw0x10", 16);
        dword("DwFg1", 0xF01);
        dword("DwLong", 0x34567890);
        dword("DwMax", 0xFFFFFFFF);
        dword("DwPlain", 0x1F);
        EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, kVendorKey, "Other"), "keep");
    }

    // What the uninstaller must have taken away, and what it must have left.
    void ExpectEverythingRemoved() {
        EXPECT_FALSE(OS().Files().FileExists(kDir + "\\fmt.exe"));
        EXPECT_FALSE(OS().Files().FileExists(kDir + "\\docs\\same.txt"));
        EXPECT_FALSE(OS().Files().FileExists(kDir + "\\empty.txt"));
        EXPECT_FALSE(OS().Files().FolderExists(kDir + "\\empty dir"));
        EXPECT_FALSE(OS().Files().FileExists(kDesktop + "\\记事本.lnk"));
        EXPECT_FALSE(OS().Files().FileExists(kPrograms + "\\格式\\格式.lnk"));
        // The key of the key list, directly under its root.
        EXPECT_FALSE(OS().Registry().KeyExists(kHkeyClassesRoot, ".fmty"));
        // The keys the installation made to hold its values.
        EXPECT_FALSE(OS().Registry().KeyExists(kHkeyClassesRoot, ".fmtx"));
        EXPECT_FALSE(OS().Registry().KeyExists(kHkeyClassesRoot, "Fmt.Document"));
        // The key that was there before keeps itself and its other value.
        EXPECT_TRUE(OS().Registry().KeyExists(kHkeyLocalMachine, kVendorKey));
        EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, kVendorKey, "Other"), "keep");
        for (const char* name :
             {"Bin3", "Bin5", "BinEmpty", "BinPlain", "Dw0x10", "DwFg1", "DwLong", "DwMax", "DwPlain"}) {
            EXPECT_FALSE(Value(kHkeyLocalMachine, kVendorKey, name).has_value()) << name;
        }
    }
};

// ---- the writer against the program's reader ----------------------------------------

// A package of the writer, with every field set and the project stream in
// many chunks, reads back field by field; every item's data comes back.
TEST_F(FormatFidelityTest, ReaderSeesWhatTheWriterWrote) {
    fmt::Project p;
    p.Settings = ProductSettings(false);
    p.Settings.push_back({"未知设置", "值", 11});
    p.FileFolders = {"目标计算机\\Program Files\\empty dir", "目标计算机\\Program Files\\docs"};
    fmt::FileItem app = File(fmt::kKindFile, "D:\\src\\app.exe", "目标计算机\\Program Files\\", "MZ app");
    app.RunAtStartup = app.KeepOnUninstall = app.NoOverwrite = app.IsComponent = app.IsService = app.RunAfterInstall =
        app.IsPatch = 1;
    app.TargetOs = "5.1";
    app.FileTime = 45000.25;
    p.Files.push_back(app);
    fmt::FileItem folder = File(fmt::kKindFolder, "D:\\src\\docs", "目标计算机\\Program Files\\", "");
    folder.FileTime = -1.0;
    p.Files.push_back(folder);
    p.Files.push_back(File(fmt::kKindRegFile, "D:\\src\\a.reg", "", "REGEDIT4\r\n"));
    fmt::FileItem comp = File(fmt::kKindCompFile, "D:\\comp\\fonts\\fonts.ini", "D:\\comp\\fonts", "[Term]\r\n");
    comp.Name = "fonts";
    p.Files.push_back(comp);
    p.Files.push_back(File(fmt::kKindInfoFile, "D:\\src\\logo.png", "", "png"));
    p.Files.push_back(File(fmt::kKindUnInsFile, "D:\\src\\UnInstall 格式.exe", "", "uninstaller"));
    p.RegFolders = {"目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Plain Keys\\a"};
    p.RegValues.push_back({"目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Plain", "s", "text", "", fmt::kRegSzText});
    p.RegValues.push_back({"目标计算机\\HKEY_CURRENT_USER\\Plain", "d", "1F", "6.1", fmt::kRegDwordText});
    p.ShortcutFolders = {"开始菜单\\工具 集"};
    p.Shortcuts.push_back(
        {"开始菜单\\", "应用", "D:\\src\\app.exe", "D:\\src\\app.exe", "-x", "说明", fmt::kShellLink});
    p.Shortcuts.push_back({"桌面\\", "网站", "http://www.example.com/", "", "", "", fmt::kInternetShortcut});
    p.Components.push_back({"fonts", 12345});
    p.PackageId = kId;
    fmt::WriteOptions options;
    options.ProjectChunkSize = 64;
    Place(p, options);

    TCompile model;
    model.LoadFromExe("C:\\Downloads\\setup");
    ASSERT_EQ(model.InfoList.size(), p.Settings.size());
    for (size_t i = 0; i < p.Settings.size(); ++i) {
        EXPECT_EQ(model.InfoList[i]->Key, p.Settings[i].Key);
        EXPECT_EQ(model.InfoList[i]->Value, p.Settings[i].Value);
        EXPECT_EQ(model.InfoList[i]->Group, p.Settings[i].Group);
    }
    EXPECT_EQ(model.ItemName, "格式");
    EXPECT_EQ(model.FileFolderList, p.FileFolders);
    ASSERT_EQ(model.FileList.size(), p.Files.size());
    std::unique_ptr<Stream> source = OS().Files().Open("C:\\Downloads\\setup", OpenMode::Read);
    for (size_t i = 0; i < p.Files.size(); ++i) {
        const TCompileFileData& got = *model.FileList[i];
        const fmt::FileItem& put = p.Files[i];
        EXPECT_EQ(got.Name, put.Name) << i;
        EXPECT_EQ(got.Source, put.Source) << i;
        EXPECT_EQ(got.TargetDir, put.TargetDir) << i;
        EXPECT_EQ(got.RunAtStartup, put.RunAtStartup != 0) << i;
        EXPECT_EQ(got.KeepOnUninstall, put.KeepOnUninstall != 0) << i;
        EXPECT_EQ(got.NoOverwrite, put.NoOverwrite != 0) << i;
        EXPECT_EQ(got.IsComponent, put.IsComponent != 0) << i;
        EXPECT_EQ(got.IsService, put.IsService != 0) << i;
        EXPECT_EQ(got.RunAfterInstall, put.RunAfterInstall != 0) << i;
        EXPECT_EQ(got.IsPatch, put.IsPatch != 0) << i;
        EXPECT_EQ(got.TargetOs, put.TargetOs) << i;
        EXPECT_EQ(got.Kind, put.Kind) << i;
        EXPECT_EQ(got.FileTime, put.FileTime) << i;
        if (put.Kind == fmt::kKindFolder) continue;
        EXPECT_EQ(got.DataStart, put.DataStart) << i;
        EXPECT_EQ(got.DataEnd, put.DataEnd) << i;
        EXPECT_EQ(got.FileSize, static_cast<int64_t>(put.Data.size())) << i;
        MemoryStream data;
        TCompile::ReadPackageData(*source, data, got.DataStart, got.DataEnd, got.FileSize);
        EXPECT_EQ(data.Bytes(), put.Data) << i;
    }
    EXPECT_EQ(model.Size, 6);  // the one installable file
    EXPECT_EQ(model.RegFolderList, p.RegFolders);
    ASSERT_EQ(model.RegList.size(), p.RegValues.size());
    for (size_t i = 0; i < p.RegValues.size(); ++i) {
        EXPECT_EQ(model.RegList[i]->Key, p.RegValues[i].Key);
        EXPECT_EQ(model.RegList[i]->ValueName, p.RegValues[i].ValueName);
        EXPECT_EQ(model.RegList[i]->Data, p.RegValues[i].Data);
        EXPECT_EQ(model.RegList[i]->TargetOs, p.RegValues[i].TargetOs);
        EXPECT_EQ(model.RegList[i]->ValueType, p.RegValues[i].ValueType);
    }
    EXPECT_EQ(model.ShotCutFolderList, p.ShortcutFolders);
    ASSERT_EQ(model.ShotCutList.size(), p.Shortcuts.size());
    for (size_t i = 0; i < p.Shortcuts.size(); ++i) {
        const TShotCutData& got = *model.ShotCutList[i];
        const fmt::ShortcutItem& put = p.Shortcuts[i];
        EXPECT_EQ(got.Folder, put.Folder);
        EXPECT_EQ(got.Name, put.Name);
        EXPECT_EQ(got.Target, put.Target);
        EXPECT_EQ(got.IconFile, put.IconFile);
        EXPECT_EQ(got.Arguments, put.Arguments);
        EXPECT_EQ(got.Description, put.Description);
        EXPECT_EQ(got.Kind, put.Kind);
    }
    ASSERT_EQ(model.CompList.size(), 1u);
    EXPECT_EQ(model.CompList[0]->Name, "fonts");
    EXPECT_EQ(model.CompList[0]->Size, 12345);
    EXPECT_EQ(model.PackageId, kId);
    EXPECT_EQ(model.InstallData.InstallDir, kDir);
}

// ---- every case, installed and removed -----------------------------------------------

struct RunKind {
    const char* Name;
    bool Wizard;       // the package's interface switch
    const char* Args;  // the setup program's arguments
};

void PrintTo(const RunKind& kind, std::ostream* os) { *os << kind.Name; }

class EveryCaseTest : public FormatFidelityTest, public ::testing::WithParamInterface<RunKind> {};

// The package installs every case with status 0 and no box about items left
// out; the installed uninstaller then removes what the installation made,
// keys directly under a root included, and leaves what was there before.
TEST_P(EveryCaseTest, InstallsEveryCaseAndUninstallsIt) {
    fmt::Project project = EveryCaseProject(GetParam().Wizard);
    Place(project);
    EXPECT_EQ(RunSetup(GetParam().Args), 0) << output_;
    EXPECT_TRUE(WarningBoxes().empty()) << WarningBoxes()[0];
    ExpectEveryCaseInstalled(true);

    ASSERT_TRUE(OS().Files().FileExists(kUninstaller));
    EXPECT_EQ(RunUninstaller(), 0) << output_;
    EXPECT_TRUE(WarningBoxes().empty()) << WarningBoxes()[0];
    ExpectEverythingRemoved();
}

INSTANTIATE_TEST_SUITE_P(Runs, EveryCaseTest,
                         ::testing::Values(RunKind{"QuietWindow", false, ""}, RunKind{"Silent", true, "/S"},
                                           RunKind{"Wizard", true, ""}),
                         [](const ::testing::TestParamInfo<RunKind>& info) { return std::string(info.param.Name); });

// The user unticks the Start-menu entries in the wizard: no Start-menu link,
// everything else as before, status 0 and no box about items left out.
TEST_F(FormatFidelityTest, WizardWithoutStartMenuEntries) {
    fmt::Project project = EveryCaseProject(true);
    Place(project);
    WriteHostFile("user.script", "click TfrmParent bNext\nuntick TfrmParent TfrmStartFolder.CheckBox1\n");
    EXPECT_EQ(RunSetup(""), 0) << output_;
    std::string transcript = ReadHostFile("transcript.txt");
    EXPECT_TRUE(Contains(transcript, "(the user unticks TfrmStartFolder.CheckBox1)")) << transcript;
    EXPECT_FALSE(Contains(transcript, GbkToUtf8("创建快捷方式到开始菜单"))) << transcript;
    EXPECT_TRUE(WarningBoxes().empty()) << WarningBoxes()[0];
    EXPECT_FALSE(OS().Files().FileExists(kPrograms + "\\格式\\格式.lnk"));
    ExpectEveryCaseInstalled(false);

    EXPECT_EQ(RunUninstaller(), 0) << output_;
    ExpectEverythingRemoved();
}

// ---- what the format leaves to the writer --------------------------------------------

struct Freedom {
    const char* Name;
    void (*Apply)(fmt::Project&, fmt::WriteOptions&);
};

void PrintTo(const Freedom& freedom, std::ostream* os) { *os << freedom.Name; }

class FreedomTest : public FormatFidelityTest, public ::testing::WithParamInterface<Freedom> {};

// A plain package written with one liberty the format allows another tool
// installs like any other: status 0, the files whole, no box.
TEST_P(FreedomTest, InstallsLikeAnyOtherPackage) {
    fmt::Project p;
    p.Settings = ProductSettings(false);
    std::string big;
    for (int i = 0; i < 2000; ++i) big += "line " + std::to_string(i) + "\r\n";
    p.Files.push_back(File(fmt::kKindFile, "D:\\src\\fmt.exe", "目标计算机\\Program Files\\", "MZ fmt"));
    fmt::FileItem folder = File(fmt::kKindFolder, "D:\\src\\docs", "目标计算机\\Program Files\\", "");
    folder.FileTime = -1.0;
    p.Files.push_back(folder);
    p.Files.push_back(File(fmt::kKindFile, "D:\\src\\docs\\big.txt", "目标计算机\\Program Files\\docs", big));
    p.Files.push_back(Uninstaller());
    p.PackageId = kId;
    fmt::WriteOptions options;
    GetParam().Apply(p, options);
    Place(p, options);
    EXPECT_EQ(RunSetup(""), 0) << output_ << ReadHostFile("effects.jsonl");
    EXPECT_TRUE(WarningBoxes().empty()) << WarningBoxes()[0];
    EXPECT_EQ(Read(kDir + "\\fmt.exe"), "MZ fmt");
    EXPECT_TRUE(Read(kDir + "\\docs\\big.txt") == big);
    EXPECT_TRUE(Read(kUninstaller) == setup::ReadHostFile(UNINSTALL_PROGRAM));
}

INSTANTIATE_TEST_SUITE_P(Liberties, FreedomTest,
                         ::testing::Values(
                             // The items' data need not follow the order of the file list.
                             Freedom{"DataInReverseOrder",
                                     [](fmt::Project&, fmt::WriteOptions& o) { o.ReverseDataOrder = true; }},
                             // Any number of chunks of any size per item and for the project stream.
                             Freedom{"ManySmallChunks",
                                     [](fmt::Project& p, fmt::WriteOptions& o) {
                                         for (fmt::FileItem& f : p.Files)
                                             f.ChunkSize = f.Kind == fmt::kKindUnInsFile ? 65536 : 100;
                                         o.ProjectChunkSize = 16;
                                     }},
                             // Every chunk at zlib's levels 0 (stored blocks) and 9.
                             Freedom{"StoredBlocks", [](fmt::Project&, fmt::WriteOptions& o) { o.Level = 0; }},
                             Freedom{"SmallestLevel", [](fmt::Project&, fmt::WriteOptions& o) { o.Level = 9; }},
                             // A folder entry's attributes, offsets, size and reserved byte mean nothing.
                             Freedom{"FolderEntryFieldsArbitrary",
                                     [](fmt::Project& p, fmt::WriteOptions&) {
                                         fmt::FileItem& f = p.Files[1];
                                         f.RunAtStartup = f.KeepOnUninstall = f.NoOverwrite = f.IsComponent =
                                             f.IsService = f.RunAfterInstall = f.IsPatch = 0xCC;
                                         f.DataStart = -5;
                                         f.DataEnd = 123456789;
                                         f.FileSize = -1;
                                         f.Reserved = 0xEE;
                                     }},
                             // The uninstaller entry's attributes, size and reserved byte mean nothing.
                             Freedom{"UninstallerEntryFieldsArbitrary",
                                     [](fmt::Project& p, fmt::WriteOptions&) {
                                         fmt::FileItem& f = p.Files[3];
                                         f.RunAtStartup = f.KeepOnUninstall = f.NoOverwrite = f.IsComponent =
                                             f.IsService = f.RunAfterInstall = f.IsPatch = 0x7F;
                                         f.SizeField = 0;
                                         f.Reserved = 0x7F;
                                     }}),
                         [](const ::testing::TestParamInfo<Freedom>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace setup::testing_sandbox
