#include "engine/target_paths.h"

#include "engine/install.h"
#include "engine/uninstall_record.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

class TargetPathsTest : public SandboxTest {};

struct Graft {
    const char* installDir;
    const char* rest;
    const char* result;
};

TEST(GraftTest, GraftsAtTheFirstMatchingFolder) {
    const Graft cases[] = {
        {"D:\\Apps\\demo", "", "D:\\Apps\\demo"},
        {"D:\\Apps\\demo", "resource", "D:\\Apps\\demo\\resource"},
        {"D:\\Apps\\demo", "demo\\data", "D:\\Apps\\demo\\data"},
        {"D:\\Apps\\demo", "Apps", "D:\\Apps"},
        {"D:\\resource\\demo", "resource", "D:\\resource"},
        {"D:\\Apps\\demo", "\\\\x\\", "D:\\Apps\\demo\\\\\\x"},  // pieces test empty-free; the rest stays as written
        {"D:\\Apps\\demo\\", "DEMO\\bin\\", "D:\\Apps\\DEMO\\bin"},
        {"", "x\\y", "x\\y"},
    };
    for (const Graft& c : cases) EXPECT_EQ(GraftOnInstallDir(c.installDir, c.rest), c.result) << c.rest;
}

TEST_F(TargetPathsTest, VirtualRootsResolveAndCreateWhatIsMissing) {
    TUnInstall record;
    std::string dir = "C:\\Program Files\\演示";
    EXPECT_EQ(ResolveTargetFolder("目标计算机\\Program Files\\", dir, record), dir);
    EXPECT_EQ(ResolveTargetFolder("目标计算机\\Program Files\\data\\sub", dir, record), dir + "\\data\\sub");
    EXPECT_TRUE(OS().Files().FolderExists(dir + "\\data\\sub"));
    EXPECT_EQ(ResolveTargetFolder("目标计算机\\Windows\\system32", dir, record), "C:\\Windows\\system32");
    EXPECT_EQ(ResolveTargetFolder("指定目录\\D:\\Tools\\", dir, record), "D:\\Tools");
    // The root is found anywhere, but the removal counts from the start.
    EXPECT_EQ(ResolveTargetFolder("xx目标计算机\\Windows\\abc", dir, record), "C:\\Windows\\s\\abc");
    std::vector<std::string> created;
    for (const auto& e : record.Entries()) created.push_back(e->Path);
    EXPECT_EQ(created, (std::vector<std::string>{dir, dir + "\\data", dir + "\\data\\sub", "D:\\Tools",
                                                 "C:\\Windows\\s", "C:\\Windows\\s\\abc"}));
}

TEST_F(TargetPathsTest, RegistryAndSystemMacros) {
    std::string dir = "D:\\Apps\\demo";
    EXPECT_EQ(ExpandRegistryText("[Windows]\\system32\\a.dll", dir), "C:\\Windows\\system32\\a.dll");
    EXPECT_EQ(ExpandRegistryText("[WINDOWS]", dir), "C:\\Windows\\");
    EXPECT_EQ(ExpandRegistryText("[安装目录]\\bin\\a.exe", dir), "D:\\Apps\\demo\\bin\\a.exe");
    EXPECT_EQ(ExpandRegistryText(" [Windows]\\x", dir), " [Windows]\\x");
    EXPECT_EQ(ExpandRegistryText("plain", dir), "plain");
    EXPECT_EQ(ExpandSystemDirectory("[System Directory]\\\\Fonts\\a.fon"), "C:\\Windows\\Fonts\\a.fon");
    EXPECT_EQ(ExpandSystemDirectory("[System Directory]\\Fonts\\a.fon"), "[System Directory]\\Fonts\\a.fon");
}

// Copy destinations of a component: what may leave the Windows folder (or
// names a root or a stream) is refused; a destination without the macro is
// used as written.
TEST_F(TargetPathsTest, SystemDestinationsThatAreRefused) {
    for (const char* destination : {"[System Directory]\\\\..\\System32\\a.dll",  // climbs out of the Windows folder
                                    "[System Directory]\\\\Fonts\\..\\..\\a.dll",
                                    "[System Directory]\\\\Fonts/../../a.dll",  // "/" separates as well
                                    "[System Directory]\\\\...\\a.dll",         // trailing dots are dropped: ".." again
                                    "[System Directory]\\\\.. \\a.dll",
                                    "[System Directory]\\\\. .\\a.dll",
                                    "[System Directory]\\\\D:\\a.dll",  // a drive where the macro's folder is expected
                                    "[System Directory]\\\\\\\\server\\share\\a.dll",  // a share
                                    "[System Directory]\\\\\\a.dll",                   // a root-relative path
                                    "[System Directory]\\\\notepad.exe:payload",       // a stream of an existing file
                                    "[System Directory]\\\\",                          // the Windows folder itself
                                    "[System Directory]\\\\\\",
                                    "D:\\Apps\\..\\a.dll",
                                    "..\\a.dll",
                                    "C:\\",
                                    "C:",
                                    "\\\\server\\share",
                                    "\\\\server\\share\\",
                                    "C:\\Windows\\a.dll:payload",
                                    "\\",
                                    "a:b"}) {
        EXPECT_FALSE(SystemDestinationAllowed(destination)) << destination;
    }
}

TEST_F(TargetPathsTest, SystemDestinationsThatAreUsed) {
    for (const char* destination : {"[System Directory]\\\\Fonts\\a.fon", "[System Directory]\\\\a..b.dll",
                                    "[System Directory]\\\\.hidden\\a.dll", "D:\\Apps\\a.dll",
                                    "\\\\server\\share\\a.dll", "[System Directory]\\Fonts\\a.fon", "Fonts\\a.fon"}) {
        EXPECT_TRUE(SystemDestinationAllowed(destination)) << destination;
    }
}

TEST_F(TargetPathsTest, ShortcutRoots) {
    std::string programs = "C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
    EXPECT_EQ(ResolveShortcutFolder("开始菜单\\", "演示"), programs + "\\演示");
    EXPECT_EQ(ResolveShortcutFolder("开始菜单\\Tools", "演示"), programs + "\\演示\\Tools");
    EXPECT_EQ(ResolveShortcutFolder("开始菜单\\", ""), programs + "\\");
    EXPECT_EQ(ResolveShortcutFolder("桌面\\", "x"), "C:\\Users\\User\\Desktop");
    EXPECT_EQ(ResolveShortcutFolder("快速启动栏\\", "x"),
              "C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch");
    EXPECT_EQ(ResolveShortcutFolder("其他\\x", "x"), "");
    EXPECT_EQ(ResolveShortcutFolder("", "x"), "");
}

TEST(RegistryTextTest, HexAndKeyPaths) {
    EXPECT_EQ(HexToInteger("FF"), 255);
    EXPECT_EQ(HexToInteger("1F"), 31);
    EXPECT_EQ(HexToInteger("0x10"), 16);
    EXPECT_EQ(HexToInteger(""), 0);
    EXPECT_EQ(static_cast<uint32_t>(HexToInteger("123456789")), 0x23456789u);  // only the last eight digits count
    EXPECT_EQ(HexToBytes("0A0B"), "\x0A\x0B");
    EXPECT_EQ(HexToBytes("ABC"), "\xAB\xC0");
    EXPECT_EQ(HexToBytes(""), "");
    uint32_t root = 0;
    std::string subkey;
    ASSERT_TRUE(ParseKeyPath("目标计算机\\hkey_local_machine\\SOFTWARE\\\\演示\\", root, subkey));
    EXPECT_EQ(root, kHkeyLocalMachine);
    EXPECT_EQ(subkey, "SOFTWARE\\演示");
    EXPECT_FALSE(ParseKeyPath("目标计算机\\HKEY_LOCAL_MACHINE", root, subkey));
    EXPECT_FALSE(ParseKeyPath("目标计算机\\HKEY_DYN_DATA\\x", root, subkey));
}

TEST_F(TargetPathsTest, FreeShortcutNamesAccumulate) {
    OS().Files().Open("C:\\X.lnk", OpenMode::Create);
    EXPECT_EQ(FreeShortcutName("C:", "X", ".lnk"), "X(1)");
    OS().Files().Open("C:\\X(1).lnk", OpenMode::Create);
    EXPECT_EQ(FreeShortcutName("C:", "X", ".lnk"), "X(1)(2)");
    EXPECT_EQ(FreeShortcutName("C:", "X", ".url"), "X");
}

}  // namespace
}  // namespace setup::testing_sandbox
