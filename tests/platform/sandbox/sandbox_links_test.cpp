// Links on the simulated machine: a host symbolic link inside a drive is a
// junction, followed like any folder and reported as a reparse point; links
// that lead out of the drives, hard links to files elsewhere, and links in
// place of the machine's own files and folders never get a write out of the
// root.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

class SandboxLinksTest : public SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        outside_ = root_ + ".outside";
        std::filesystem::create_directories(outside_);
        WriteOutside("secret.txt", "outside");
    }
    void TearDown() override {
        SandboxTest::TearDown();
        std::filesystem::remove_all(outside_);
    }
    void Write(const std::string& path, const std::string& bytes) {
        OS().Files().Open(path, OpenMode::Create)->WriteBytes(bytes);
    }
    std::string Read(const std::string& path) {
        auto s = OS().Files().Open(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    }
    void Link(const std::string& target, const std::string& relative) {
        ASSERT_EQ(symlink(target.c_str(), HostPath(relative).c_str()), 0) << relative;
    }
    void WriteOutside(const std::string& name, const std::string& bytes) {
        std::ofstream(outside_ + "/" + name, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string ReadOutside(const std::string& name) {
        std::ifstream in(outside_ + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string outside_;  // a host folder beside the machine's root
};

// A junction to a folder of the machine: reads, writes and folder walks go
// through it; its attributes say folder and reparse point (what it holds
// says neither); it goes as the link, leaving its target's files.
TEST_F(SandboxLinksTest, JunctionInsideTheDrives) {
    FilesApi& files = OS().Files();
    ASSERT_TRUE(files.CreateFolderTree("C:\\Target\\sub"));
    ASSERT_TRUE(files.CreateFolderTree("C:\\Apps"));
    Write("C:\\Target\\a.txt", "a");
    Link(HostPath("C/Target"), "C/Apps/j");
    EXPECT_TRUE(files.FolderExists("C:\\Apps\\J"));
    EXPECT_EQ(Read("C:\\Apps\\j\\a.txt"), "a");
    Write("C:\\Apps\\j\\b.txt", "b");
    EXPECT_TRUE(files.FileExists("C:\\Target\\b.txt"));
    EXPECT_TRUE(files.CreateFolderTree("C:\\Apps\\j\\new"));
    EXPECT_EQ(files.GetAttributes("C:\\Apps\\j"), kAttrDirectory | kAttrReparsePoint);
    EXPECT_EQ(files.GetAttributes("C:\\Apps\\j\\a.txt"), kAttrArchive);
    EXPECT_TRUE(files.IsReparsePoint("C:\\Apps\\j"));
    EXPECT_FALSE(files.IsReparsePoint("C:\\Apps\\j\\a.txt"));
    EXPECT_FALSE(files.IsReparsePoint("C:\\Apps\\j\\sub"));
    EXPECT_FALSE(files.IsReparsePoint("C:\\Apps"));
    EXPECT_FALSE(files.IsReparsePoint("C:\\Apps\\none"));
    std::vector<FolderEntry> entries = files.ListFolder("C:\\Apps");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Attributes, kAttrDirectory | kAttrReparsePoint);
    EXPECT_FALSE(files.DeleteFile("C:\\Apps\\j"));  // a folder
    EXPECT_TRUE(files.RemoveFolder("C:\\Apps\\j"));
    EXPECT_FALSE(files.FolderExists("C:\\Apps\\j"));
    EXPECT_EQ(Read("C:\\Target\\a.txt"), "a");
    EXPECT_TRUE(files.FolderExists("C:\\Target\\sub"));
    EXPECT_TRUE(files.RemoveFolder("C:\\Apps"));
}

// A link out of the drives (to the host, to the root's own files, or to
// nothing) may be read through, never written through: nothing is created,
// truncated, moved or deleted where it leads. The link itself may go.
TEST_F(SandboxLinksTest, LinksLeavingTheDrivesAreNeverWrittenThrough) {
    FilesApi& files = OS().Files();
    ASSERT_TRUE(files.CreateFolderTree("C:\\Apps"));
    Link(outside_, "C/Apps/out");
    Link(root_, "C/Apps/machine");
    Link(outside_ + "/secret.txt", "C/Apps/secret.txt");
    Link(outside_ + "/missing.txt", "C/Apps/dangling.txt");
    EXPECT_EQ(Read("C:\\Apps\\out\\secret.txt"), "outside");
    for (const std::string& path : {std::string("C:\\Apps\\out\\secret.txt"), std::string("C:\\Apps\\secret.txt"),
                                    std::string("C:\\Apps\\out\\new.txt"), std::string("C:\\Apps\\dangling.txt"),
                                    std::string("C:\\Apps\\machine\\registry.reg")}) {
        for (OpenMode mode : {OpenMode::Create, OpenMode::CreateNew, OpenMode::ReadWrite}) {
            EXPECT_THROW(files.Open(path, mode), Error) << path;
        }
        EXPECT_THROW(files.MoveFile(path, "C:\\Apps\\moved.txt", MoveMode::NoReplace), Error) << path;
    }
    EXPECT_FALSE(files.DeleteFile("C:\\Apps\\out\\secret.txt"));
    EXPECT_FALSE(files.CreateFolderTree("C:\\Apps\\out\\sub"));
    EXPECT_FALSE(files.CreateFolderNew("C:\\Apps\\out\\sub", FolderAccess::Inherited));
    EXPECT_FALSE(files.SetFileTime("C:\\Apps\\secret.txt", FileTimeKind::LastWrite, 0));
    EXPECT_EQ(ReadOutside("secret.txt"), "outside");
    EXPECT_FALSE(std::filesystem::exists(outside_ + "/new.txt"));
    EXPECT_FALSE(std::filesystem::exists(outside_ + "/missing.txt"));
    EXPECT_FALSE(std::filesystem::exists(outside_ + "/sub"));
    EXPECT_TRUE(files.IsReparsePoint("C:\\Apps\\out"));
    EXPECT_TRUE(files.RemoveFolder("C:\\Apps\\out"));  // the link, not the host folder
    EXPECT_TRUE(files.DeleteFile("C:\\Apps\\secret.txt"));
    EXPECT_EQ(ReadOutside("secret.txt"), "outside");
}

// A file of the machine that is a second name of a file outside it is read,
// but never opened for writing, and not truncated on the way.
TEST_F(SandboxLinksTest, HardLinkOutOfTheRootIsNotWritten) {
    if (link((outside_ + "/secret.txt").c_str(), HostPath("C/hard.txt").c_str()) != 0) {
        GTEST_SKIP() << "the host cannot make a hard link between these folders";
    }
    FilesApi& files = OS().Files();
    EXPECT_EQ(Read("C:\\hard.txt"), "outside");
    EXPECT_THROW(files.Open("C:\\hard.txt", OpenMode::Create), Error);
    EXPECT_THROW(files.Open("C:\\hard.txt", OpenMode::ReadWrite), Error);
    EXPECT_EQ(ReadOutside("secret.txt"), "outside");
}

// The levels from the root down to the path are looked at, the root itself
// included; those above it are not.
TEST_F(SandboxLinksTest, FirstReparsePointBelowARoot) {
    FilesApi& files = OS().Files();
    ASSERT_TRUE(files.CreateFolderTree("C:\\Target\\a\\b"));
    ASSERT_TRUE(files.CreateFolderTree("C:\\Apps\\real"));
    Link(HostPath("C/Target"), "C/Apps/j");
    Link(HostPath("C/Apps"), "C/AppsLink");
    EXPECT_EQ(FirstReparsePoint("C:\\Apps", "C:\\Apps\\j\\a\\b"), "C:\\Apps\\j");
    EXPECT_EQ(FirstReparsePoint("C:\\apps\\", "C:\\Apps\\J"), "C:\\apps\\J");
    EXPECT_EQ(FirstReparsePoint("C:\\Apps", "C:\\Apps\\real\\x.txt"), "");
    EXPECT_EQ(FirstReparsePoint("C:\\AppsLink", "C:\\AppsLink\\real"), "C:\\AppsLink");
    EXPECT_EQ(FirstReparsePoint("C:\\AppsLink\\real", "C:\\AppsLink\\real\\x.txt"), "");
    EXPECT_EQ(FirstReparsePoint("C:\\Apps", "C:\\AppsLink\\j"), "");  // not below the root
    EXPECT_EQ(FirstReparsePoint("C:\\", "C:\\Apps\\j"), "C:\\Apps\\j");
}

// A machine whose root, drive folder or own file is a link, or whose own file
// has a second name, is refused before anything in it is read or written; a
// link planted at the name of a temporary file the machine writes is replaced,
// never followed.
TEST_F(SandboxLinksTest, MachineFilesThatAreLinksAreRefused) {
    Machine().Flush();
    auto open = [&](const std::string& root) { sandbox::SandboxMachine machine(root, "", {}); };
    std::string linkedRoot = outside_ + "/root";
    ASSERT_EQ(symlink(root_.c_str(), linkedRoot.c_str()), 0);
    EXPECT_THROW(open(linkedRoot), Error);
    std::string other = outside_ + "/machine";
    open(other);
    ASSERT_EQ(symlink(outside_.c_str(), (other + "/D").c_str()), 0);
    EXPECT_THROW(open(other), Error);
    std::filesystem::remove(other + "/D");
    for (const char* name : {"registry.reg", "effects.jsonl", "machine.ini", "taskbar.txt", "file-metadata.txt"}) {
        std::string file = other + "/" + name;
        std::filesystem::remove(file);
        ASSERT_EQ(symlink((outside_ + "/secret.txt").c_str(), file.c_str()), 0);
        EXPECT_THROW(open(other), Error) << name;
        std::filesystem::remove(file);
        ASSERT_EQ(link((outside_ + "/secret.txt").c_str(), file.c_str()), 0);
        EXPECT_THROW(open(other), Error) << name;
        std::filesystem::remove(file);
    }
    EXPECT_EQ(ReadOutside("secret.txt"), "outside");
    Link(outside_ + "/secret.txt", "registry.reg.tmp");
    ASSERT_TRUE(OS().Registry().CreateKey(kHkeyCurrentUser, "Software\\Demo"));
    Machine().Flush();
    EXPECT_EQ(ReadOutside("secret.txt"), "outside");
    EXPECT_TRUE(Contains(ReadHostFile("registry.reg"), "Software\\Demo"));
}

}  // namespace
}  // namespace setup::testing_sandbox
