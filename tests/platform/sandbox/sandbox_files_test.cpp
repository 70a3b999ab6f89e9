#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

class SandboxFilesTest : public SandboxTest {
protected:
    void Write(const std::string& path, const std::string& bytes) {
        OS().Files().Open(path, OpenMode::Create)->WriteBytes(bytes);
    }
    std::string Read(const std::string& path) {
        auto s = OS().Files().Open(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    }
};

TEST_F(SandboxFilesTest, NewMachineHasTheStandardFolders) {
    FilesApi& files = OS().Files();
    EXPECT_TRUE(files.FolderExists("C:\\Program Files"));
    EXPECT_TRUE(files.FolderExists("C:\\Windows\\System32"));
    EXPECT_TRUE(files.FolderExists(GetSpecialFolder(kCsidlPrograms)));
    EXPECT_TRUE(files.FolderExists(GetSpecialFolder(kCsidlCommonPrograms)));
    EXPECT_TRUE(files.FolderExists(GetTempFolder()));
    EXPECT_TRUE(files.FolderExists(GetSpecialFolder(kCsidlAppData) + "\\Microsoft\\Internet Explorer\\Quick Launch"));
    EXPECT_EQ(GetTempFolder(), "C:\\Users\\User\\AppData\\Local\\Temp\\");
    EXPECT_EQ(GetWindowsFolder(), "C:\\Windows");
    EXPECT_EQ(GetProgramFilesFolder(), "C:\\Program Files");
    EXPECT_EQ(GetSpecialFolder(kCsidlDesktop), "C:\\Users\\User\\Desktop");
    EXPECT_EQ(GetSpecialFolder(999), "");
}

// Paths match without regard to ASCII case and keep the spelling of what exists.
TEST_F(SandboxFilesTest, LookupIgnoresAsciiCase) {
    ASSERT_TRUE(OS().Files().CreateFolderTree("C:\\Program Files\\演示 Demo\\Sub"));
    Write("C:\\Program Files\\演示 Demo\\Sub\\ReadMe.TXT", "hello");
    EXPECT_TRUE(OS().Files().FileExists("c:\\PROGRAM FILES\\演示 demo\\sub\\readme.txt"));
    EXPECT_EQ(Read("C:/program files/演示 DEMO/SUB/README.txt"), "hello");
    Write("C:\\PROGRAM FILES\\演示 DEMO\\sub\\second.txt", "x");
    EXPECT_TRUE(std::filesystem::exists(HostPath(GbkToUtf8("C/Program Files/演示 Demo/Sub/second.txt"))));
    EXPECT_TRUE(std::filesystem::exists(HostPath("C/Program Files/\xE6\xBC\x94\xE7\xA4\xBA Demo/Sub/ReadMe.TXT")));
    EXPECT_FALSE(OS().Files().FolderExists("C:\\Program Files\\演示 Demo\\Sub\\readme.txt"));
    // Windows drops trailing dots and blanks of names.
    EXPECT_TRUE(OS().Files().FileExists("C:\\Program Files\\演示 Demo\\Sub\\readme.txt. "));
}

// Many files in one folder, looked up in another case each: the folder index
// must stay right while the folder grows.
TEST_F(SandboxFilesTest, LookupStaysRightWhileAFolderGrows) {
    ASSERT_TRUE(OS().Files().CreateFolderTree("C:\\Many"));
    for (int i = 0; i < 500; ++i) Write("C:\\Many\\File" + std::to_string(i) + ".Dat", std::to_string(i));
    for (int i = 0; i < 500; i += 7) {
        EXPECT_EQ(Read("C:\\MANY\\file" + std::to_string(i) + ".dAT"), std::to_string(i));
    }
    EXPECT_EQ(OS().Files().ListFolder("C:\\many").size(), 500u);
    // A file created behind the machine's back is still found.
    WriteHostFile("C/Many/Outside.txt", "o");
    EXPECT_TRUE(OS().Files().FileExists("C:\\Many\\OUTSIDE.TXT"));
}

TEST_F(SandboxFilesTest, ReadOnlyFilesRefuseWritesAndDeletionAcrossRestarts) {
    Write("C:\\ro.txt", "old");
    ASSERT_TRUE(OS().Files().SetAttributes("C:\\ro.txt", kAttrReadOnly | kAttrArchive));
    Reopen();
    EXPECT_EQ(*OS().Files().GetAttributes("C:\\RO.txt"), kAttrReadOnly | kAttrArchive);
    EXPECT_FALSE(OS().Files().DeleteFile("C:\\ro.txt"));
    EXPECT_THROW(OS().Files().Open("C:\\ro.txt", OpenMode::Create), Error);
    EXPECT_FALSE(OS().Files().SetFileTime("C:\\ro.txt", FileTimeKind::LastWrite, 130000000000000000ull));
    ASSERT_TRUE(OS().Files().SetAttributes("C:\\ro.txt", kAttrNormal));
    Write("C:\\ro.txt", "new");
    EXPECT_EQ(Read("C:\\ro.txt"), "new");
    EXPECT_EQ(*OS().Files().GetAttributes("C:\\ro.txt"), kAttrArchive);  // a rewritten file is plain again
    EXPECT_TRUE(OS().Files().DeleteFile("C:\\ro.txt"));
    EXPECT_FALSE(OS().Files().GetAttributes("C:\\ro.txt").has_value());
}

// The host is drive Z:, readable and never writable; nothing escapes the root.
TEST_F(SandboxFilesTest, HostIsReadOnlyAndTheRootIsNeverLeft) {
    WriteHostFile("outside-drive.txt", "x");
    std::string hostFile = "Z:" + root_ + "/outside-drive.txt";
    for (char& c : hostFile) {
        if (c == '/') c = '\\';
    }
    EXPECT_TRUE(OS().Files().FileExists(hostFile));
    EXPECT_THROW(OS().Files().Open(hostFile, OpenMode::ReadWrite), Error);
    EXPECT_FALSE(OS().Files().DeleteFile(hostFile));
    EXPECT_FALSE(OS().Files().CreateFolderTree("Z:\\tmp\\should-not-exist-" + std::to_string(getpid())));

    ASSERT_TRUE(OS().Files().CreateFolderTree("C:\\a"));
    Write("C:\\a\\..\\..\\..\\escape.txt", "x");  // ".." stops at the drive's root
    EXPECT_TRUE(std::filesystem::exists(HostPath("C/escape.txt")));
    EXPECT_FALSE(std::filesystem::exists(HostPath("escape.txt")));

    EXPECT_THROW(OS().Files().Open("relative.txt", OpenMode::Create), Error);
    EXPECT_THROW(OS().Files().Open("C:\\bad|name.txt", OpenMode::Create), Error);
    EXPECT_THROW(OS().Files().Open("C:\\missing\\folder\\x.txt", OpenMode::Create), Error);
}

TEST_F(SandboxFilesTest, DrivesComeFromTheMachineSettings) {
    Configure("[Drives]\nD=removable 5000\nE=missing\n");
    EXPECT_EQ(DiskFreeBytes('D'), 5000);
    EXPECT_EQ(DiskFreeBytes('E'), -1);
    EXPECT_EQ(DiskFreeBytes('Q'), -1);
    EXPECT_EQ(DiskFreeBytes('C'), 100LL * 1024 * 1024 * 1024);
    EXPECT_EQ(OS().System().GetDriveType("D:\\"), DriveType::Removable);
    EXPECT_EQ(OS().System().GetDriveType("Q:\\"), DriveType::NoRootDir);
    EXPECT_EQ(OS().System().GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 25));
    EXPECT_FALSE(OS().Files().FileExists("E:\\x"));
    EXPECT_THROW(OS().Files().Open("E:\\x", OpenMode::Create), Error);
}

// The local date-time goes through the DOS format (2 s) and then to UTC.
TEST_F(SandboxFilesTest, SetFileTimeOfUsesDosResolutionAndTheTimeZone) {
    Configure("[Machine]\nUtcOffset=480\n");
    Write("C:\\t.txt", "x");
    double dateTime = 45356 + (13 * 3600 + 14 * 60 + 15.6) / 86400.0;  // 2024-03-05 13:14:15.6 local
    SetFileTimeOf("C:\\t.txt", FileTimeKind::LastWrite, dateTime);
    struct stat st;
    ASSERT_EQ(stat(HostPath("C/t.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1709615654);  // 2024-03-05 05:14:14 UTC
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
    // Creation time set alone, the write time stays.
    SetFileTimeOf("C:\\t.txt", FileTimeKind::Creation, dateTime + 1);
    EXPECT_EQ(*OS().Files().GetFileTime("C:\\t.txt", FileTimeKind::Creation),
              133541180540000000ull - 8 * 36000000000ull + 864000000000ull);
    ASSERT_EQ(stat(HostPath("C/t.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1709615654);
    // A missing file, or a date outside the DOS range, is skipped silently.
    EXPECT_NO_THROW(SetFileTimeOf("C:\\missing.txt", FileTimeKind::LastWrite, dateTime));
    EXPECT_NO_THROW(SetFileTimeOf("C:\\t.txt", FileTimeKind::LastWrite, -1.0));
    ASSERT_EQ(stat(HostPath("C/t.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1709615654);
}

// The time set through the open stream of a file being written is the one the
// file keeps once closed; a memory stream falls back to the file's name.
TEST_F(SandboxFilesTest, LastWriteTimeThroughTheOpenStream) {
    Configure("[Machine]\nUtcOffset=480\n");
    double dateTime = 45356 + (13 * 3600 + 14 * 60 + 15.6) / 86400.0;  // 2024-03-05 13:14:15.6 local
    {
        std::unique_ptr<Stream> out = OS().Files().Open("C:\\w.txt", OpenMode::Create);
        out->WriteBytes("content");
        SetLastWriteTimeOf(*out, "C:\\w.txt", dateTime);
        out->WriteBytes(" more");
    }
    struct stat st;
    ASSERT_EQ(stat(HostPath("C/w.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 12);
    EXPECT_EQ(st.st_mtim.tv_sec, 1709615654);  // 2024-03-05 05:14:14 UTC
    Write("C:\\m.txt", "x");
    MemoryStream memory;
    SetLastWriteTimeOf(memory, "C:\\m.txt", dateTime);
    ASSERT_EQ(stat(HostPath("C/m.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1709615654);
}

TEST_F(SandboxFilesTest, FoldersAndCopies) {
    FilesApi& files = OS().Files();
    ASSERT_TRUE(files.CreateFolderTree("C:\\x\\y\\z"));
    Write("C:\\x\\y\\f.txt", "data");
    EXPECT_FALSE(files.RemoveFolder("C:\\x\\y"));  // not empty
    EXPECT_TRUE(files.RemoveFolder("C:\\x\\y\\z"));
    std::vector<FolderEntry> entries = files.ListFolder("C:\\x\\y");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "f.txt");
    EXPECT_EQ(entries[0].Size, 4);
    EXPECT_EQ(entries[0].Attributes, kAttrArchive);
    EXPECT_TRUE(files.CopyFileNoReplace("C:\\x\\y\\f.txt", "C:\\x\\copy.txt"));
    EXPECT_FALSE(files.CopyFileNoReplace("C:\\x\\y\\f.txt", "C:\\x\\COPY.txt"));
    EXPECT_EQ(Read("C:\\x\\copy.txt"), "data");
    EXPECT_EQ(files.GetFileTime("C:\\x\\copy.txt", FileTimeKind::LastWrite),
              files.GetFileTime("C:\\x\\y\\f.txt", FileTimeKind::LastWrite));
    EXPECT_FALSE(files.CreateFolderTree("C:\\x\\y\\f.txt\\sub"));  // a file in the way
}

// A new file is made only where nothing holds the name: an existing file
// keeps its bytes, a folder stays a folder.
TEST_F(SandboxFilesTest, CreateNewNeverOpensAnExistingName) {
    Write("C:\\old.txt", "kept");
    EXPECT_THROW(OS().Files().Open("C:\\OLD.txt", OpenMode::CreateNew), Error);
    EXPECT_EQ(Read("C:\\old.txt"), "kept");
    ASSERT_TRUE(OS().Files().CreateFolderTree("C:\\dir.bat"));
    EXPECT_THROW(OS().Files().Open("C:\\dir.bat", OpenMode::CreateNew), Error);
    EXPECT_THROW(OS().Files().Open("C:\\no folder\\new.txt", OpenMode::CreateNew), Error);
    OS().Files().Open("C:\\new.txt", OpenMode::CreateNew)->WriteBytes("fresh");
    EXPECT_EQ(Read("C:\\new.txt"), "fresh");
}

// A host program written onto the machine stays runnable.
TEST_F(SandboxFilesTest, WrittenHostProgramsKeepTheirExecutableBit) {
    Write("C:\\prog", std::string("\x7f"
                                  "ELF",
                                  4) +
                          "rest");
    Write("C:\\text", "plain");
    struct stat st;
    ASSERT_EQ(stat(HostPath("C/prog").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    ASSERT_EQ(stat(HostPath("C/text").c_str(), &st), 0);
    EXPECT_FALSE(st.st_mode & S_IXUSR);
}

// A move replaces its target in one step and carries the attributes along;
// without ReplaceExisting, or onto a read-only file or a folder, it is refused.
TEST_F(SandboxFilesTest, MoveReplacesInOneStep) {
    Write("C:\\new.tmp", "new");
    Write("C:\\a.txt", "old");
    OS().Files().SetAttributes("C:\\new.tmp", kAttrHidden);
    EXPECT_THROW(OS().Files().MoveFile("C:\\new.tmp", "C:\\a.txt", MoveMode::NoReplace), Error);
    OS().Files().MoveFile("C:\\new.tmp", "C:\\A.TXT", MoveMode::ReplaceExisting);
    EXPECT_EQ(Read("C:\\a.txt"), "new");
    EXPECT_FALSE(OS().Files().FileExists("C:\\new.tmp"));
    Reopen();
    EXPECT_EQ(OS().Files().GetAttributes("C:\\a.txt"), kAttrHidden);
    Write("C:\\b.txt", "b");
    OS().Files().SetAttributes("C:\\a.txt", kAttrReadOnly);
    EXPECT_THROW(OS().Files().MoveFile("C:\\b.txt", "C:\\a.txt", MoveMode::ReplaceExisting), Error);
    OS().Files().CreateFolderTree("C:\\dir");
    EXPECT_THROW(OS().Files().MoveFile("C:\\b.txt", "C:\\dir", MoveMode::ReplaceExisting), Error);
    EXPECT_THROW(OS().Files().MoveFile("C:\\b.txt", "D:\\b.txt", MoveMode::ReplaceExisting), Error);
    EXPECT_EQ(Read("C:\\a.txt"), "new");
    EXPECT_EQ(Read("C:\\b.txt"), "b");
}

// A locked file can be read, but not written, deleted, moved or replaced.
TEST_F(SandboxFilesTest, LockedFilesRefuseChanges) {
    Write("C:\\busy.exe", "running");
    Write("C:\\other.exe", "other");
    Configure("[Faults]\nLocked=C:\\busy.exe\n");
    EXPECT_EQ(Read("C:\\BUSY.exe"), "running");
    EXPECT_THROW(OS().Files().Open("C:\\busy.exe", OpenMode::Create), Error);
    EXPECT_THROW(OS().Files().Open("C:\\busy.exe", OpenMode::ReadWrite), Error);
    EXPECT_FALSE(OS().Files().DeleteFile("C:\\busy.exe"));
    EXPECT_THROW(OS().Files().MoveFile("C:\\busy.exe", "C:\\moved.exe", MoveMode::NoReplace), Error);
    EXPECT_THROW(OS().Files().MoveFile("C:\\other.exe", "C:\\busy.exe", MoveMode::ReplaceExisting), Error);
    EXPECT_EQ(Read("C:\\busy.exe"), "running");
}

// What the machine refuses is said as Windows says it, with the path as given
// (a GBK name stays GBK in the message).
TEST_F(SandboxFilesTest, RefusalsAreWordedAsWindowsWordsThem) {
    Write("C:\\a.txt", "a");
    Write("C:\\ro.txt", "read-only");
    ASSERT_TRUE(OS().Files().SetAttributes("C:\\ro.txt", kAttrReadOnly));
    Write("C:\\busy.exe", "running");
    Configure("[Drives]\nD=fixed 1000000\n[Faults]\nLocked=C:\\busy.exe\n");
    auto refusal = [](const std::function<void()>& operation) -> std::string {
        try {
            operation();
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Os) << e.what();
            return e.what();
        }
        return "no error";
    };
    FilesApi& files = OS().Files();
    auto open = [&](const std::string& path, OpenMode mode) { return refusal([&] { files.Open(path, mode); }); };
    EXPECT_EQ(open("relative.txt", OpenMode::Create), "无法打开文件“relative.txt”：路径不是带驱动器号的完整路径。");
    EXPECT_EQ(open("Q:\\x.txt", OpenMode::Create), "无法打开文件“Q:\\x.txt”：驱动器 Q: 不存在。");
    EXPECT_EQ(open("C:\\演示|.txt", OpenMode::Create),
              "无法打开文件“C:\\演示|.txt”：名称“演示|.txt”含有 Windows 不允许的字符。");
    EXPECT_EQ(open("C:\\none.txt", OpenMode::Read), "无法打开文件“C:\\none.txt”：系统找不到指定的文件。");
    EXPECT_EQ(open("C:\\Windows", OpenMode::Read), "无法打开文件“C:\\Windows”：这是一个文件夹，不是文件。");
    EXPECT_EQ(open("C:\\missing\\x.txt", OpenMode::Create), "无法创建文件“C:\\missing\\x.txt”：系统找不到指定的路径。");
    EXPECT_EQ(open("C:\\a.txt", OpenMode::CreateNew), "无法创建文件“C:\\a.txt”：文件已存在。");
    EXPECT_EQ(open("C:\\ro.txt", OpenMode::Create), "无法打开文件“C:\\ro.txt”进行写入：拒绝访问。");
    EXPECT_EQ(open("C:\\busy.exe", OpenMode::ReadWrite),
              "无法打开文件“C:\\busy.exe”进行写入：另一个程序正在使用此文件，进程无法访问。");
    EXPECT_EQ(refusal([&] { files.MoveFile("C:\\a.txt", "D:\\a.txt", MoveMode::NoReplace); }),
              "无法把文件“C:\\a.txt”移动到“D:\\a.txt”：系统无法将文件移到不同的磁盘驱动器。");
    EXPECT_EQ(refusal([&] { files.MoveFile("C:\\none.txt", "C:\\b.txt", MoveMode::NoReplace); }),
              "无法把文件“C:\\none.txt”移动到“C:\\b.txt”：系统找不到指定的文件。");
}

// A drive that fills up: the write that needs more stores what fits and fails
// as on a full disk; deleting gives the space back; free bytes shrink.
TEST_F(SandboxFilesTest, FullDiskFailsTheWriteThatNeedsMore) {
    Configure("[Faults]\nDiskFull=C 10\n");
    EXPECT_EQ(DiskFreeBytes('C'), 10);
    {
        auto s = OS().Files().Open("C:\\a.bin", OpenMode::Create);
        s->WriteBytes("123456");
        try {
            s->WriteBytes("789012");
            ADD_FAILURE() << "the disk did not fill up";
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Os);
            EXPECT_STREQ(e.what(), "无法写入文件“C:\\a.bin”：磁盘空间不足。");
        }
    }
    EXPECT_EQ(Read("C:\\a.bin"), "1234567890");
    EXPECT_EQ(DiskFreeBytes('C'), 0);
    EXPECT_THROW(OS().Files().Open("C:\\b.bin", OpenMode::Create)->WriteBytes("x"), Error);
    EXPECT_TRUE(OS().Files().DeleteFile("C:\\a.bin"));
    EXPECT_EQ(DiskFreeBytes('C'), 10);
    Configure("[Drives]\nD=fixed 100\n[Faults]\nDiskFull=C 0\n");
    OS().Files().Open("D:\\d.bin", OpenMode::Create)->WriteBytes("other drives are not full");
}

}  // namespace
}  // namespace setup::testing_sandbox
