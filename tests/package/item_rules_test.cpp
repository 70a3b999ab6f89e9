// The rules an installable item keeps, at their edges.
#include "package/item_rules.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

struct RuleCase {
    const char* text;
    const char* problem;  // part of the message; empty when the text keeps the rule
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.text; }

void ExpectProblem(const std::string& problem, const RuleCase& c) {
    if (std::string(c.problem).empty()) {
        EXPECT_EQ(problem, "") << c.text;
    } else {
        EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << ": " << problem;
    }
}

class NameRuleTest : public testing::TestWithParam<RuleCase> {};

TEST_P(NameRuleTest, Name) { ExpectProblem(CheckName(GetParam().text), GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Cases, NameRuleTest,
    testing::Values(RuleCase{"readme.txt", ""}, RuleCase{"演示程序.exe", ""},
                    // Trail bytes that are "\", "|" and a letter belong to their characters.
                    RuleCase{"誠.txt", ""}, RuleCase{"\xF0\x5C", ""}, RuleCase{"\xF0\x7C", ""},
                    RuleCase{"\xF0\x41", ""}, RuleCase{"", "is empty"}, RuleCase{"..", "leave"}, RuleCase{".", "leave"},
                    RuleCase{"a:b", "character :"}, RuleCase{"a/b", "character /"}, RuleCase{"a\\b", "character \\"},
                    RuleCase{"a|b", "character |"}, RuleCase{"a*", "character *"}, RuleCase{"a?", "character ?"},
                    RuleCase{"a\"b", "character \""}, RuleCase{"<a>", "character <"},
                    RuleCase{"a\tb", "control character"}, RuleCase{"name.", "ends with a dot"},
                    RuleCase{"name ", "ends with a dot or a blank"}, RuleCase{"..a", ""}, RuleCase{"CON", "device"},
                    RuleCase{"con", "device"}, RuleCase{"nul.txt", "device"}, RuleCase{"COM1", "device"},
                    RuleCase{"lpt9.log", "device"}, RuleCase{"AUX .txt", "device"}, RuleCase{"COM0", ""},
                    RuleCase{"COM10", ""}, RuleCase{"CONSOLE", ""}, RuleCase{"\xB1", "not valid GBK"}));

// 255 characters is the longest name; a double-byte character counts one.
TEST(NameRule, LengthInCharacters) {
    EXPECT_EQ(CheckName(std::string(255, 'a')), "");
    EXPECT_NE(CheckName(std::string(256, 'a')), "");
    std::string wide;
    for (int i = 0; i < 255; ++i) wide += "表";
    EXPECT_EQ(CheckName(wide), "");
    EXPECT_NE(CheckName(wide + "表"), "");
}

class TargetRuleTest : public testing::TestWithParam<RuleCase> {};

TEST_P(TargetRuleTest, Target) { ExpectProblem(CheckTargetPath(GetParam().text, "", TargetLimits()), GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetRuleTest,
    testing::Values(RuleCase{"目标计算机\\Program Files\\", ""}, RuleCase{"目标计算机\\program files\\bin\\x", ""},
                    RuleCase{"目标计算机\\Windows\\Fonts", ""}, RuleCase{"指定目录\\D:\\Apps\\数据", ""},
                    RuleCase{"指定目录\\D:", ""}, RuleCase{"目标计算机\\Program Files\\a\\\\b\\", ""},
                    RuleCase{"", "is empty"}, RuleCase{"目标计算机\\Program Files", "must begin with"},
                    RuleCase{"C:\\Windows\\evil", "absolute path"}, RuleCase{"\\\\server\\share", "absolute path"},
                    RuleCase{"bin\\x", "must begin with"},
                    RuleCase{"目标计算机\\Program Files\\..\\..\\Windows", "would leave its folder"},
                    RuleCase{"目标计算机\\Program Files\\a/../../x", "character /"},
                    RuleCase{"目标计算机\\Program Files\\a:b", "character :"},
                    RuleCase{"目标计算机\\Program Files\\NUL", "device"},
                    RuleCase{"目标计算机\\Program Files\\data.", "ends with a dot"},
                    RuleCase{"指定目录\\\\\\server\\share", "network path"},
                    RuleCase{"指定目录\\Apps", "with its drive"}, RuleCase{"指定目录\\D:Apps", "with its drive"},
                    RuleCase{"目标计算机\\Program Files\\x\\目标计算机\\Windows\\y", "second root"}));

// The path limit counts the longest folder the root may stand for.
TEST(TargetRule, LengthOnceExpanded) {
    TargetLimits limits;
    limits.InstallDir = "C:\\Program Files (x86)\\demo";  // 27 characters
    // 27 + "\" + 231 = 259: the longest path Windows takes.
    std::string name(231 - 4, 'a');
    EXPECT_EQ(CheckTargetPath("目标计算机\\Program Files\\", name + ".txt", limits), "");
    std::string problem = CheckTargetPath("目标计算机\\Program Files\\", name + "b.txt", limits);
    EXPECT_NE(problem.find("260 characters"), std::string::npos) << problem;
    // A project's own default folder is measured with the longest Program Files.
    TCompile model;
    auto setting = std::make_unique<TCompileData>();
    setting->Group = igInstallDir;
    setting->Key = "默认安装路径";
    setting->Value = "[System ProgramFiles]\\demo";
    model.InfoList.push_back(std::move(setting));
    EXPECT_EQ(TargetLimits::FromModel(model).InstallDir, "C:\\Program Files (x86)\\demo");
}

class RegistryKeyRuleTest : public testing::TestWithParam<RuleCase> {};

TEST_P(RegistryKeyRuleTest, Key) { ExpectProblem(CheckRegistryKey(GetParam().text), GetParam()); }

INSTANTIATE_TEST_SUITE_P(Cases, RegistryKeyRuleTest,
                         testing::Values(RuleCase{"目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\演示", ""},
                                         RuleCase{"目标计算机\\hkey_current_user\\Software", ""},
                                         RuleCase{"目标计算机\\HKEY_CURRENT_CONFIG\\x", ""},
                                         RuleCase{"HKLM\\SOFTWARE\\x", "must begin with 目标计算机"},
                                         RuleCase{"HKEY_LOCAL_MACHINE\\SOFTWARE", "must begin with 目标计算机"},
                                         RuleCase{"目标计算机\\HKLM\\SOFTWARE", "root \"HKLM\""},
                                         RuleCase{
                                             "目标计算机\\HKEY_DYN_DATA\\x",
                                             "names the root \"HKEY_DYN_DATA\", which is none of HKEY_CLASSES_ROOT, "
                                             "HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and "
                                             "HKEY_CURRENT_CONFIG"},
                                         RuleCase{"目标计算机\\HKEY_LOCAL_MACHINE\\", "no key below"},
                                         RuleCase{"目标计算机", "no root"}, RuleCase{"", "is empty"}));

struct DataCase {
    uint8_t type;
    const char* data;
    const char* problem;
};

void PrintTo(const DataCase& c, std::ostream* os) { *os << int(c.type) << " " << c.data; }

class RegistryDataRuleTest : public testing::TestWithParam<DataCase> {};

TEST_P(RegistryDataRuleTest, Data) {
    ExpectProblem(CheckRegistryData(GetParam().type, GetParam().data), RuleCase{GetParam().data, GetParam().problem});
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryDataRuleTest,
                         testing::Values(DataCase{0, "anything", ""}, DataCase{1, "0000000a", ""},
                                         DataCase{1, "FFFFFFFF", ""}, DataCase{1, "00000000FFFFFFFF", ""},
                                         DataCase{1, "100000000", "does not fit 32 bits"}, DataCase{1, "", "empty"},
                                         DataCase{1, "0x10", "not a hexadecimal number"},
                                         DataCase{1, "-1", "not a hexadecimal number"}, DataCase{2, "", ""},
                                         DataCase{2, "01AB00ff", ""}, DataCase{2, "ABC", "odd number"},
                                         DataCase{2, "0G", "not hexadecimal bytes"},
                                         DataCase{3, "", "unknown value type 3"}));

TEST(ShortcutRule, FoldersAddressesAndPlacement) {
    EXPECT_EQ(CheckShortcutFolder("开始菜单\\"), "");
    EXPECT_EQ(CheckShortcutFolder("桌面"), "");
    EXPECT_EQ(CheckShortcutFolder("快速启动栏\\工具"), "");
    EXPECT_NE(CheckShortcutFolder("C:\\Windows"), "");
    EXPECT_NE(CheckShortcutFolder("开始菜单\\..\\..\\Windows"), "");
    EXPECT_NE(CheckShortcutFolder(""), "");
    EXPECT_TRUE(IsAddress("http://www.example.com/"));
    EXPECT_TRUE(IsAddress("mailto:a@example.com"));
    EXPECT_FALSE(IsAddress("C:\\a.exe"));
    EXPECT_FALSE(IsAddress("files/a.exe"));
    EXPECT_FALSE(IsAddress("http://a\r\nIconFile=x"));
    TShotCutData link;
    link.Folder = "开始菜单\\";
    link.Name = "..\\..\\..\\Windows\\evil";
    EXPECT_NE(CheckShortcutPlacement(link, TargetLimits()), "");
    link.Name = "演示程序";
    EXPECT_EQ(CheckShortcutPlacement(link, TargetLimits()), "");
    link.Description = "two\r\nlines";
    EXPECT_NE(CheckShortcutPlacement(link, TargetLimits()), "");
}

// A Start-menu folder stays below the Programs folder: every level a name
// Windows can create, no "..", drive or leading separator; the reasons are
// the user's language.
TEST(StartFolderRule, StaysBelowPrograms) {
    for (const char* fine : {"", "演示", "演示\\工具", "我的 程序", "a..b", "誠"}) {
        EXPECT_EQ(StartFolderProblem(fine), "") << fine;
    }
    const RuleCase refused[] = {
        {"..", "“..”"},
        {"演示\\..\\..\\Startup", "“..”"},
        {"C:\\Startup", "驱动器"},
        {"c:", "驱动器"},
        {"\\Startup", "驱动器"},
        {"/Startup", "驱动器"},
        {"a/b", "不能包含"},
        {"a|b", "不能包含"},
        {"a\tb", "不能包含"},
        {"CON", "设备名称"},
        {"演示\\nul.txt", "设备名称"},
        {"演示.", "句点或空格"},
        {"演示 ", "句点或空格"},
        {"\xB1", "无法识别"},
    };
    for (const RuleCase& c : refused) ExpectProblem(StartFolderProblem(c.text), c);
    EXPECT_NE(StartFolderProblem(std::string(256, 'a')).find("太长"), std::string::npos);
}

TEST(PackageIdentityRule, StreamForm) {
    EXPECT_EQ(CheckPackageIdentity("7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F"), "");
    EXPECT_NE(CheckPackageIdentity(""), "");
    EXPECT_NE(CheckPackageIdentity("7d3f2a1c-5b4e-4c6d-8e9f-0a1b2c3d4e5f"), "");
    EXPECT_NE(CheckPackageIdentity("{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}"), "");
    EXPECT_NE(CheckPackageIdentity("7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5"), "");
    EXPECT_NE(CheckPackageIdentity("7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5G"), "");
}

// A whole model: every violation is listed with its item, duplicates included.
TEST(PackageRules, ListsEveryViolation) {
    TCompile model;
    model.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    auto file = [&](const std::string& source, const std::string& target) {
        auto item = std::make_unique<TCompileFileData>();
        item->Source = source;
        item->TargetDir = target;
        model.FileList.push_back(std::move(item));
    };
    file("C:\\Project\\a.exe", "目标计算机\\Program Files\\");
    file("C:\\Other\\A.EXE", "目标计算机\\Program Files\\\\");  // the same path as the first
    file("C:\\Project\\b.exe", "C:\\Windows");
    auto value = std::make_unique<TRegInfoData>();
    value->Key = "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\x";
    value->ValueType = rvDword;
    value->Data = "zz";
    model.RegList.push_back(std::move(value));
    auto link = std::make_unique<TShotCutData>();
    link->Folder = "桌面\\";
    link->Name = "a";
    link->Target = "C:\\Project\\missing.exe";
    model.ShotCutList.push_back(std::move(link));
    auto url = std::make_unique<TShotCutData>();
    url->Folder = "桌面\\";
    url->Name = "b";
    url->Kind = skInternetShortcut;
    url->Target = "www.example.com";
    model.ShotCutList.push_back(std::move(url));
    std::vector<std::string> violations = CheckPackageRules(model);
    ASSERT_EQ(violations.size(), 5u);
    EXPECT_NE(violations[0].find("item 2 (C:\\Other\\A.EXE): installs to the same path as item 1"), std::string::npos)
        << violations[0];
    EXPECT_NE(violations[1].find("item 3"), std::string::npos) << violations[1];
    EXPECT_NE(violations[2].find("registry value 1"), std::string::npos) << violations[2];
    EXPECT_NE(violations[3].find("no packaged file"), std::string::npos) << violations[3];
    EXPECT_NE(violations[4].find("not an address"), std::string::npos) << violations[4];
    model.PackageId.clear();
    EXPECT_EQ(CheckPackageRules(model).size(), 6u);
}

}  // namespace
}  // namespace setup
