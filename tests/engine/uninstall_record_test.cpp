#include "engine/uninstall_record.h"

#include "package/codecs.h"
#include "package/install_paths.h"
#include "platform/errors.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

class UninstallRecordTest : public SandboxTest {};

TEST(UninstallRecordRulesTest, DuplicatesAreAddedOnce) {
    TUnInstall record;
    record.AddFile("C:\\A\\x.txt", true);
    record.AddFile("c:\\a\\X.TXT", false);  // same path: kept once, first flag stays
    record.AddFolder("C:\\A\\x.txt");       // a folder entry of the same path is kept too
    record.AddFolder("C:\\A");
    record.AddFolder("c:\\a");
    record.AddRegistry("2147483650", "SOFTWARE\\X", "v");
    record.AddRegistry("2147483650", "software\\x", "V");
    record.AddRegistry("2147483650", "SOFTWARE\\X", "");
    record.AddRegistry("2147483650", "SOFTWARE\\X\\", "");  // different text, different entry
    ASSERT_EQ(record.Entries().size(), 6u);
    EXPECT_EQ(record.Entries()[0]->DeleteFlag, 1);
    EXPECT_EQ(record.Entries()[1]->EntryKind, ukFolder);
    EXPECT_EQ(record.Entries()[3]->RootKey, "2147483650");
    record.Clear();
    record.AddFile("C:\\A\\x.txt", false);
    ASSERT_EQ(record.Entries().size(), 1u);
    EXPECT_EQ(record.Entries()[0]->DeleteFlag, 0);
}

// The record's content, byte for byte, and its chunked file.
TEST_F(UninstallRecordTest, FileFormat) {
    TUnInstall record;
    record.SetProjectName("演示");
    record.SetPackageId("ID");
    record.AddFile("C:\\a", false);
    record.AddRegistry("2147483650", "S", "v");
    std::string expected;
    auto str = [&](const std::string& s) {
        AppendU32(expected, static_cast<uint32_t>(s.size()));
        expected += s;
    };
    str("演示");
    str("ID");
    AppendU32(expected, 2);
    str("");
    str("C:\\a");
    str("");
    expected += std::string("\x00\x00", 2);
    str("2147483650");
    str("S");
    str("v");
    expected += std::string("\x01\x02", 2);
    EXPECT_EQ(record.Serialize(), expected);

    record.SaveToFile("C:\\UnInstall x.log");
    std::unique_ptr<Stream> file = OpenFile("C:\\UnInstall x.log", OpenMode::Read);
    std::string bytes = file->ReadBytes(static_cast<size_t>(file->Size()));
    MemoryStream chunks(bytes);
    uint32_t length = chunks.ReadU32();
    EXPECT_EQ(length + 4u, bytes.size());
    EXPECT_EQ(chunks.ReadBytes(2), "\x78\xDA");  // written at the smallest level

    TUnInstall loaded;
    loaded.AddFolder("C:\\stale");
    loaded.LoadFromFile("C:\\UnInstall x.log");
    EXPECT_EQ(loaded.ProjectName(), "演示");
    EXPECT_EQ(loaded.Serialize(), expected);
    loaded.AddFile("C:\\A", true);  // the loaded entries count for duplicates
    EXPECT_EQ(loaded.Entries().size(), 2u);

    TUnInstall empty;
    empty.SaveToFile("C:\\empty.log");
    TUnInstall back;
    back.LoadFromFile("C:\\empty.log");
    EXPECT_EQ(back.Serialize(), std::string(12, '\0'));
    back.LoadFromFile("C:\\missing.log");  // nothing happens
    EXPECT_EQ(back.Entries().size(), 0u);
}

TEST_F(UninstallRecordTest, DamagedRecordIsRefused) {
    TUnInstall record;
    record.AddFile("C:\\a", true);
    record.SaveToFile("C:\\r.log");
    std::unique_ptr<Stream> in = OpenFile("C:\\r.log", OpenMode::Read);
    std::string bytes = in->ReadBytes(static_cast<size_t>(in->Size()));
    in.reset();
    OpenFile("C:\\r.log", OpenMode::Create)->WriteBytes(bytes.substr(0, bytes.size() - 2));
    TUnInstall loaded;
    EXPECT_THROW(loaded.LoadFromFile("C:\\r.log"), Error);
    // A record whose content ends early is damage too.
    MemoryStream content(record.Serialize().substr(0, 10));
    MemoryStream chunked;
    CompressStream(content, chunked);
    OpenFile("C:\\r.log", OpenMode::Create)->WriteBytes(chunked.Bytes());
    EXPECT_THROW(loaded.LoadFromFile("C:\\r.log"), Error);
}

TEST_F(UninstallRecordTest, FoldersAndKeysAreRecordedLevelByLevel) {
    TUnInstall record;
    ASSERT_TRUE(OS().Files().CreateFolderTree("C:\\Existing"));
    record.CreateFoldersLogged("C:\\Existing\\New\\Deeper\\");
    OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Have");
    record.CreateKeysLogged(kHkeyLocalMachine, "SOFTWARE\\Have\\New\\Deeper");
    std::vector<std::string> paths;
    for (const auto& e : record.Entries()) paths.push_back(e->RootKey + "|" + e->Path);
    EXPECT_EQ(paths, (std::vector<std::string>{"|C:\\Existing\\New", "|C:\\Existing\\New\\Deeper",
                                               "2147483650|SOFTWARE\\Have\\New",
                                               "2147483650|SOFTWARE\\Have\\New\\Deeper"}));
    EXPECT_TRUE(OS().Files().FolderExists("C:\\Existing\\New\\Deeper"));
}

// The Uninstall entry: seven values; the command quoted, the icon bare.
TEST_F(UninstallRecordTest, UninstallEntry) {
    TUnInstall::WriteUninstallEntry("C:\\Program Files\\演示\\UnInstall 演示.exe", "演示", "C:\\Program Files\\演示",
                                    "GUID", "作者", "http://x/", "1.0");
    std::string key = UninstallKeyPath("GUID");
    RegistryApi& reg = OS().Registry();
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "DisplayIcon"), "C:\\Program Files\\演示\\UnInstall 演示.exe");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "DisplayName"), "演示1.0");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "DisplayVersion"), "1.0");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "URLInfoAbout"), "http://x/");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "Publisher"), "作者");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "UninstallString"),
              "\"C:\\Program Files\\演示\\UnInstall 演示.exe\"");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "Install Dir"), "C:\\Program Files\\演示");
    EXPECT_EQ(reg.ListValues(kHkeyLocalMachine, key).size(), 7u);
    EXPECT_EQ(ReadInstallDir("GUID"), "C:\\Program Files\\演示");
    EXPECT_EQ(RecordPathFor("D:\\Apps\\demo\\UnInstall X.exe"), "D:\\Apps\\demo\\UnInstall X.log");
}

}  // namespace
}  // namespace setup::testing_sandbox
