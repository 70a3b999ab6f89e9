// The real Windows implementation, run under Wine: registry, files, special
// folders and shell links through the actual system calls.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/lnk_reader.h"
#include "platform/os.h"
#include "platform/text.h"
#include "platform/win32/windows_api.h"

namespace setup {
namespace {

class Win32PlatformTest : public testing::Test {
protected:
    void SetUp() override {
        platform_ = CreateNativePlatform(0, nullptr);
        SetPlatform(platform_.get());
        folder_ =
            GetTempFolder() + "setup-tests-目录-" + std::to_string(testing::UnitTest::GetInstance()->random_seed());
        ASSERT_TRUE(OS().Files().CreateFolderTree(folder_ + "\\sub"));
    }
    void TearDown() override {
        FilesApi& files = OS().Files();
        for (const FolderEntry& e : files.ListFolder(folder_ + "\\sub")) {
            files.SetAttributes(folder_ + "\\sub\\" + e.Name, kAttrNormal);
            files.DeleteFile(folder_ + "\\sub\\" + e.Name);
        }
        for (const FolderEntry& e : files.ListFolder(folder_)) {
            files.SetAttributes(folder_ + "\\" + e.Name, kAttrNormal);
            files.DeleteFile(folder_ + "\\" + e.Name);
        }
        files.RemoveFolder(folder_ + "\\sub");
        files.RemoveFolder(folder_);
        OS().Registry().DeleteKey(kHkeyCurrentUser, "Software\\SetupTests");
        SetPlatform(nullptr);
    }
    std::unique_ptr<Platform> platform_;
    std::string folder_;
};

TEST_F(Win32PlatformTest, VersionAndFolders) {
    std::string version = GetOSVersionText();
    EXPECT_NE(version, "0");
    EXPECT_GT(VersionNumber(version), 5.0);
    EXPECT_FALSE(GetWindowsFolder().empty());
    EXPECT_NE(GetWindowsFolder().back(), '\\');
    EXPECT_EQ(GetTempFolder().back(), '\\');
    for (int csidl : {kCsidlDesktop, kCsidlPrograms, kCsidlCommonPrograms, kCsidlAppData, kCsidlProgramFiles}) {
        EXPECT_FALSE(GetSpecialFolder(csidl).empty()) << csidl;
    }
    EXPECT_TRUE(OS().Files().FolderExists(GetProgramFilesFolder()));
    EXPECT_GT(DiskFreeBytes('C'), 0);
    EXPECT_EQ(DiskFreeBytes('Q'), -1);
    EXPECT_TRUE(OS().Files().FileExists(Regsvr32Path()));
    EXPECT_TRUE(OS().Files().FileExists(RegeditPath()));
    EXPECT_TRUE(EndsWithNoCase(OS().System().GetOwnExecutablePath(), ".exe"));
}

// What a user types that GBK cannot hold becomes "?" instead of ending the
// program, and bytes that are no GBK are shown, not raised; a folder whose
// name GBK cannot spell (a Korean user's profile) is reached through its
// short name, and a folder listing names such an entry by it.
TEST_F(Win32PlatformTest, TextThatGbkCannotHold) {
    EXPECT_EQ(win32::NarrowTyped(L"\uD55C\uAD6D app"), "?? app");
    EXPECT_EQ(win32::NarrowTyped(L"\u6F14\u793A"), "演示");
    EXPECT_EQ(win32::WideShown("演示"), L"\u6F14\u793A");
    EXPECT_FALSE(win32::WideShown("a\xB1").empty());
    EXPECT_THROW(win32::Narrow(L"\uD55C"), Error);
    std::wstring korean = win32::Wide(folder_) + L"\\\uD55C\uAD6D";
    ASSERT_TRUE(CreateDirectoryW(korean.c_str(), nullptr));
    std::string path = win32::NarrowPath(korean);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(OS().Files().FolderExists(path)) << path;
    bool listed = false;
    for (const FolderEntry& e : OS().Files().ListFolder(folder_)) {
        listed = listed || ((e.Attributes & kAttrDirectory) && OS().Files().FolderExists(folder_ + "\\" + e.Name) &&
                            e.Name != "sub");
    }
    EXPECT_TRUE(listed);
    RemoveDirectoryW(korean.c_str());
}

TEST_F(Win32PlatformTest, RegistryWriteReadAndDeleteWithSubkeys) {
    RegistryApi& reg = OS().Registry();
    const std::string key = "Software\\SetupTests\\演示";
    ASSERT_TRUE(reg.CreateKey(kHkeyCurrentUser, "\\" + key + "\\Sub\\Deeper"));
    EXPECT_TRUE(reg.WriteString(kHkeyCurrentUser, key, "名称", "C:\\程序\\a.exe"));
    EXPECT_TRUE(reg.WriteDword(kHkeyCurrentUser, key, "n", 0xFEDCBA98));
    EXPECT_TRUE(reg.WriteBinary(kHkeyCurrentUser, key + "\\Sub", "b", std::string("\x01\x00\x02", 3)));
    EXPECT_EQ(reg.ReadString(kHkeyCurrentUser, key, "名称"), "C:\\程序\\a.exe");
    std::optional<RegValue> n = reg.ReadValue(kHkeyCurrentUser, key, "N");
    ASSERT_TRUE(n);
    EXPECT_EQ(n->Type, kRegDword);
    EXPECT_EQ(n->Data, "\x98\xBA\xDC\xFE");
    EXPECT_EQ(reg.ListValues(kHkeyCurrentUser, key).size(), 2u);
    EXPECT_EQ(reg.ListSubKeys(kHkeyCurrentUser, key), (std::vector<std::string>{"Sub"}));
    EXPECT_FALSE(reg.WriteString(kHkeyCurrentUser, key + "\\Missing", "x", "y"));
    EXPECT_TRUE(reg.DeleteValue(kHkeyCurrentUser, key, "n"));
    EXPECT_FALSE(reg.ReadValue(kHkeyCurrentUser, key, "n"));
    EXPECT_TRUE(reg.DeleteKey(kHkeyCurrentUser, "Software\\SetupTests"));
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, key + "\\Sub\\Deeper"));
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "Software\\SetupTests"));
}

TEST_F(Win32PlatformTest, FilesAttributesAndTimes) {
    FilesApi& files = OS().Files();
    std::string file = folder_ + "\\sub\\文件.txt";
    files.Open(file, OpenMode::Create)->WriteBytes("hello");
    EXPECT_TRUE(files.FileExists(file));
    EXPECT_FALSE(files.FolderExists(file));
    {
        std::unique_ptr<Stream> s = files.Open(file, OpenMode::Read);
        EXPECT_EQ(s->ReadBytes(5), "hello");
        EXPECT_THROW(s->ReadU8(), Error);
    }
    ASSERT_TRUE(files.SetAttributes(file, kAttrReadOnly));
    EXPECT_TRUE(*files.GetAttributes(file) & kAttrReadOnly);
    EXPECT_FALSE(files.DeleteFile(file));
    // (Opening it for writing is refused by Windows; Wine run as root allows it,
    // so that is not asserted here.)
    ASSERT_TRUE(files.SetAttributes(file, kAttrNormal));

    SetFileTimeOf(file, FileTimeKind::LastWrite, 45356 + (13 * 3600 + 14 * 60 + 15.6) / 86400.0);
    std::optional<FileTime> written = files.GetFileTime(file, FileTimeKind::LastWrite);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written % 20000000ull, 0u);  // two-second resolution
    EXPECT_EQ(OS().System().LocalFileTimeToUtc(133541180540000000ull), written);

    EXPECT_TRUE(files.CopyFileNoReplace(file, folder_ + "\\copy.txt"));
    EXPECT_FALSE(files.CopyFileNoReplace(file, folder_ + "\\copy.txt"));
    std::vector<FolderEntry> entries = files.ListFolder(folder_ + "\\sub");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "文件.txt");
    EXPECT_EQ(entries[0].Size, 5);
    EXPECT_FALSE(files.RemoveFolder(folder_ + "\\sub"));
    EXPECT_THROW(files.Open(folder_ + "\\missing.txt", OpenMode::Read), Error);
}

// Plain files and folders, a drive root and a missing name are no reparse
// points, with or without a trailing backslash; their attributes say so too.
TEST_F(Win32PlatformTest, PlainEntriesAreNoReparsePoints) {
    FilesApi& files = OS().Files();
    files.Open(folder_ + "\\sub\\a.txt", OpenMode::Create)->WriteBytes("a");
    for (const std::string& path : {folder_, folder_ + "\\sub\\", folder_ + "\\sub\\a.txt", std::string("C:\\"),
                                    folder_ + "\\missing", folder_ + "\\missing\\deeper"}) {
        EXPECT_FALSE(files.IsReparsePoint(path)) << path;
        EXPECT_FALSE(files.GetAttributes(path).value_or(0) & kAttrReparsePoint) << path;
    }
    EXPECT_EQ(FirstReparsePoint(folder_, folder_ + "\\sub\\a.txt"), "");
}

// A batch file held open for locked reading can neither be changed nor
// deleted by anyone else, and still starts (a handle with write access would
// keep the system from starting it).
TEST_F(Win32PlatformTest, LockedBatchStartsAndCannotBeReplaced) {
    FilesApi& files = OS().Files();
    std::string batch = folder_ + "\\运行.bat";
    std::string marker = folder_ + "\\标记.txt";
    files.Open(batch, OpenMode::Create)->WriteBytes("@echo ran> \"" + marker + "\"\r\n");
    std::unique_ptr<Stream> held = files.Open(batch, OpenMode::ReadLocked);
    EXPECT_THROW(files.Open(batch, OpenMode::ReadWrite), Error);
    EXPECT_THROW(files.Open(batch, OpenMode::Create), Error);
    EXPECT_FALSE(files.DeleteFile(batch));
    EXPECT_EQ(files.Open(batch, OpenMode::Read)->ReadBytes(5), "@echo");
    ASSERT_TRUE(OS().Shell().CreateProcessHidden("\"" + batch + "\""));
    for (int i = 0; i < 300 && !files.FileExists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(files.FileExists(marker));
    held.reset();
    EXPECT_TRUE(files.DeleteFile(batch));
}

// A link saved through the shell's link object reads back field by field.
TEST_F(Win32PlatformTest, ShellLinkWrittenAndReadBack) {
    std::string target = folder_ + "\\sub\\程序.exe";
    OS().Files().Open(target, OpenMode::Create)->WriteBytes("MZ");
    ShellLink link;
    link.Path = target;
    link.WorkingDirectory = folder_ + "\\sub";
    link.Arguments = "-a \"b c\"";
    link.Description = "演示程序";
    link.IconPath = target;
    std::string linkFile = folder_ + "\\演示.lnk";
    ASSERT_TRUE(OS().Shell().SaveShellLink(link, linkFile));
    std::unique_ptr<Stream> s = OS().Files().Open(linkFile, OpenMode::Read);
    std::optional<testing_lnk::LnkContents> c = testing_lnk::ReadLnk(s->ReadBytes(static_cast<size_t>(s->Size())));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->description, "演示程序");
    EXPECT_EQ(c->arguments, "-a \"b c\"");
    EXPECT_TRUE(EqualsNoCase(c->workingDirectory, folder_ + "\\sub")) << c->workingDirectory;
    EXPECT_TRUE(EqualsNoCase(c->iconLocation, target)) << c->iconLocation;
    EXPECT_EQ(c->showCommand, 1u);
    EXPECT_TRUE(c->hasIdList || !c->localPath.empty());
}

// A move replaces its target in one step; without ReplaceExisting, or onto a
// read-only file, it is refused and both files stay as they were.
TEST_F(Win32PlatformTest, MoveReplacesTheTarget) {
    FilesApi& files = OS().Files();
    std::string a = folder_ + "\\目标.txt", temp = folder_ + "\\目标.txt.~new";
    files.Open(a, OpenMode::Create)->WriteBytes("old");
    files.Open(temp, OpenMode::Create)->WriteBytes("new");
    EXPECT_THROW(files.MoveFile(temp, a, MoveMode::NoReplace), Error);
    files.MoveFile(temp, a, MoveMode::ReplaceExisting);
    EXPECT_FALSE(files.FileExists(temp));
    std::unique_ptr<Stream> in = files.Open(a, OpenMode::Read);
    EXPECT_EQ(in->ReadBytes(3), "new");
    in.reset();
    files.Open(temp, OpenMode::Create)->WriteBytes("newer");
    files.SetAttributes(a, kAttrReadOnly);
    EXPECT_THROW(files.MoveFile(temp, a, MoveMode::ReplaceExisting), Error);
    EXPECT_TRUE(files.FileExists(temp));
}

// A value of any type is written back with its raw data.
TEST_F(Win32PlatformTest, RawRegistryValues) {
    RegistryApi& reg = OS().Registry();
    ASSERT_TRUE(reg.CreateKey(kHkeyCurrentUser, "Software\\SetupTests"));
    RegValue multi{"列表", kRegMultiSz, Utf16ToLeBytes(u"a") + std::string(6, '\0')};
    EXPECT_TRUE(reg.WriteValue(kHkeyCurrentUser, "Software\\SetupTests", multi));
    std::optional<RegValue> back = reg.ReadValue(kHkeyCurrentUser, "Software\\SetupTests", "列表");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Type, kRegMultiSz);
    EXPECT_EQ(back->Data, multi.Data);
}

}  // namespace
}  // namespace setup
