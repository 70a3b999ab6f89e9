#include "engine/uninstall_record.h"

#include <cctype>

#include "package/codecs.h"
#include "package/install_paths.h"
#include "platform/errors.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/sha256.h"

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

// A default value is recorded as kind 3, never as the created key that kind 2
// with an empty name stands for; named values stay kind 2, as before. The
// kind-3 entry is stored in the same five fields.
TEST(UninstallRecordRulesTest, DefaultValueIsNotACreatedKey) {
    TUnInstall record;
    record.AddRegistryValue("2147483648", ".txt", "");
    record.AddRegistryValue("2147483648", ".TXT", "");
    record.AddRegistryValue("2147483648", ".txt", "Content Type");
    record.AddRegistry("2147483648", ".txt", "");  // a created key is another entry
    ASSERT_EQ(record.Entries().size(), 3u);
    EXPECT_EQ(record.Entries()[0]->EntryKind, ukRegistryDefaultValue);
    EXPECT_EQ(record.Entries()[1]->EntryKind, ukRegistry);
    EXPECT_EQ(record.Entries()[2]->EntryKind, ukRegistry);
    TUnInstall one;
    one.AddRegistryValue("2147483648", ".txt", "");
    std::string bytes = one.Serialize();
    EXPECT_EQ(bytes.substr(8), std::string("\x01\0\0\0"
                                           "\x0A\0\0\0"
                                           "2147483648"
                                           "\x04\0\0\0"
                                           ".txt"
                                           "\0\0\0\0"
                                           "\x01\x03",
                                           32));
    MemoryStream in(bytes);
    TUnInstall loaded;
    loaded.Deserialize(in);
    loaded.AddRegistryValue("2147483648", ".txt", "");  // read back, it is known
    ASSERT_EQ(loaded.Entries().size(), 1u);
    EXPECT_EQ(loaded.Entries()[0]->EntryKind, ukRegistryDefaultValue);
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

// The saved record's digest is the SHA-256 of the file's bytes; it is checked
// against the Uninstall entry of the record's own package identity.
TEST_F(UninstallRecordTest, DigestTiesTheRecordToItsUninstallEntry) {
    const std::string id = "{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}";
    TUnInstall record;
    record.SetPackageId(id);
    record.AddFile("C:\\a", true);
    std::string digest = record.SaveToFile("C:\\r.log");
    std::unique_ptr<Stream> in = OpenFile("C:\\r.log", OpenMode::Read);
    std::string bytes = in->ReadBytes(static_cast<size_t>(in->Size()));
    in.reset();
    EXPECT_EQ(digest, Sha256Hex(bytes));
    TUnInstall loaded;
    EXPECT_FALSE(loaded.LoadVerifiedFromFile("C:\\r.log"));  // no Uninstall entry
    EXPECT_FALSE(loaded.LoadVerifiedFromFile("C:\\none.log"));
    // Nowhere to keep it: a failure, never a record that no digest vouches for.
    EXPECT_THROW(TUnInstall::WriteRecordDigest(id, digest), Error);
    EXPECT_FALSE(TUnInstall::ReadRecordDigest(id));
    OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(id));
    TUnInstall::WriteRecordDigest(id, digest);
    EXPECT_TRUE(loaded.LoadVerifiedFromFile("C:\\r.log"));
    EXPECT_EQ(loaded.Entries().size(), 1u);
    // One more entry, saved by someone else: the digest no longer matches.
    loaded.AddFile("C:\\Windows\\explorer.exe", true);
    loaded.SaveToFile("C:\\r.log");
    EXPECT_FALSE(loaded.LoadVerifiedFromFile("C:\\r.log"));
}

// The trust of a record is decided from the digest of its raw bytes, looked
// up among all Uninstall entries, so a record is vouched for before it is
// inflated; a record no entry knows is still read when its product keeps no
// digest (saved by an earlier version), and is edited when it keeps another.
TEST_F(UninstallRecordTest, TrustComesFromTheRawBytesDigest) {
    const std::string mine = "{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}";
    const std::string other = "{11111111-2222-3333-4444-555555555555}";
    for (const std::string& id : {mine, other}) OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(id));
    TUnInstall record;
    record.SetPackageId(mine);
    record.AddFile("C:\\Program Files\\演示\\a.exe", true);
    std::string digest = record.SaveToFile("C:\\r.log");
    TUnInstall::WriteRecordDigest(other, "00");

    TUnInstall loaded;
    EXPECT_EQ(loaded.LoadCheckedFromFile("C:\\r.log"), TUnInstall::Trust::Unvouched);
    EXPECT_EQ(loaded.Entries().size(), 1u);  // an old record is still read
    std::string upper = digest;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    TUnInstall::WriteRecordDigest(mine, upper);
    EXPECT_EQ(loaded.LoadCheckedFromFile("C:\\r.log"), TUnInstall::Trust::Genuine);
    EXPECT_EQ(loaded.LoadCheckedFromFile("C:\\missing.log"), TUnInstall::Trust::Missing);
    // The bytes another product's entry vouches for, naming this product.
    TUnInstall::WriteRecordDigest(mine, "00");
    TUnInstall::WriteRecordDigest(other, digest);
    EXPECT_EQ(loaded.LoadCheckedFromFile("C:\\r.log"), TUnInstall::Trust::Edited);
    // No entry knows the bytes, and this product keeps another digest.
    TUnInstall::WriteRecordDigest(other, "00");
    EXPECT_EQ(loaded.LoadCheckedFromFile("C:\\r.log"), TUnInstall::Trust::Edited);
}

// A record file that inflates beyond 64 MiB is damaged: inflation stops at
// the bound instead of claiming the memory, whichever way it is read.
TEST_F(UninstallRecordTest, InflationOfARecordIsBounded) {
    auto compressed = [](int64_t size) {
        MemoryStream content(std::string(static_cast<size_t>(size), '\0'));
        MemoryStream file;
        CompressStream(content, file);
        return file.TakeBytes();
    };
    OS().Files().Open("C:\\big.log", OpenMode::Create)->WriteBytes(compressed((64LL << 20) + 1));
    TUnInstall loaded;
    try {
        loaded.LoadFromFile("C:\\big.log");
        ADD_FAILURE() << "a record beyond the bound was read";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << e.what();
    }
    EXPECT_THROW(loaded.LoadCheckedFromFile("C:\\big.log"), Error);
}

// A reinstall merges the genuine record of the same package; an edited
// record, another package's record, a damaged one and a planted Ins.log are
// left out.
TEST_F(UninstallRecordTest, EarlierRecordsMerged) {
    const std::string id = "{7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F}";
    const std::string dir = "C:\\Program Files\\演示";
    OS().Files().CreateFolderTree(dir);
    OS().Registry().CreateKey(kHkeyLocalMachine, UninstallKeyPath(id));
    TUnInstall insLog;
    insLog.AddFile("C:\\Windows\\System32\\victim.dll", true);
    insLog.SaveToFile(dir + "\\Ins.log");
    TUnInstall earlier;
    earlier.SetPackageId(id);
    earlier.AddFolder(dir + "\\data");
    earlier.AddFile(dir + "\\a.lnk", true);
    earlier.AddRegistry("2147483649", "Software\\演示", "");
    std::string recordPath = dir + "\\UnInstall 演示.log";
    TUnInstall::WriteRecordDigest(id, earlier.SaveToFile(recordPath));

    TUnInstall record;
    MergeEarlierRecords(record, recordPath, id);
    std::vector<std::string> paths;
    for (const auto& e : record.Entries()) paths.push_back(e->Path);
    EXPECT_EQ(paths, (std::vector<std::string>{dir + "\\data", dir + "\\a.lnk", "Software\\演示"}));
    EXPECT_TRUE(record.RecordedEarlier(dir + "\\A.LNK"));
    record.AddFile(dir + "\\b.lnk", true);
    EXPECT_FALSE(record.RecordedEarlier(dir + "\\b.lnk"));  // this run's own

    TUnInstall other;  // the same bytes but for another package identity
    MergeEarlierRecords(other, recordPath, "{00000000-0000-0000-0000-000000000000}");
    EXPECT_TRUE(other.Entries().empty());
    earlier.AddFile("C:\\Windows\\win.ini", true);
    earlier.SaveToFile(recordPath);  // edited: the digest does not match
    TUnInstall edited;
    MergeEarlierRecords(edited, recordPath, id);
    EXPECT_TRUE(edited.Entries().empty());
    OpenFile(recordPath, OpenMode::Create)->WriteBytes("damaged");
    OpenFile(dir + "\\Ins.log", OpenMode::Create)->WriteBytes("damaged");
    TUnInstall damaged;
    EXPECT_NO_THROW(MergeEarlierRecords(damaged, recordPath, id));
    EXPECT_TRUE(damaged.Entries().empty());
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
    EXPECT_EQ(paths,
              (std::vector<std::string>{"|C:\\Existing\\New", "|C:\\Existing\\New\\Deeper",
                                        "2147483650|SOFTWARE\\Have\\New", "2147483650|SOFTWARE\\Have\\New\\Deeper"}));
    EXPECT_TRUE(OS().Files().FolderExists("C:\\Existing\\New\\Deeper"));
}

// The Uninstall entry: the commands quoted, the icon bare, the size in KiB
// rounded up, no modify or repair.
TEST_F(UninstallRecordTest, UninstallEntry) {
    TUnInstall::WriteUninstallEntry("C:\\Program Files\\演示\\UnInstall 演示.exe", "演示", "C:\\Program Files\\演示",
                                    "GUID", "作者", "http://x/", "1.0", 1025);
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
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "InstallLocation"), "C:\\Program Files\\演示");
    EXPECT_EQ(reg.ReadString(kHkeyLocalMachine, key, "QuietUninstallString"),
              "\"C:\\Program Files\\演示\\UnInstall 演示.exe\" /S");
    auto dword = [&](const char* name) {
        std::optional<RegValue> value = reg.ReadValue(kHkeyLocalMachine, key, name);
        EXPECT_TRUE(value && value->Type == kRegDword) << name;
        return value ? value->Data : std::string();
    };
    EXPECT_EQ(dword("EstimatedSize"), std::string("\x02\0\0\0", 4));
    EXPECT_EQ(dword("NoModify"), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(dword("NoRepair"), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(reg.ListValues(kHkeyLocalMachine, key).size(), 12u);

    // A size of 0 reads 0 KiB; one beyond a DWORD's range is capped.
    TUnInstall::WriteUninstallEntry("C:\\a\\u.exe", "a", "C:\\a", "G2", "", "", "", 0);
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, UninstallKeyPath("G2"), "EstimatedSize")->Data, std::string(4, '\0'));
    TUnInstall::WriteUninstallEntry("C:\\a\\u.exe", "a", "C:\\a", "G3", "", "", "", int64_t{1} << 50);
    EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, UninstallKeyPath("G3"), "EstimatedSize")->Data, std::string(4, '\xFF'));
    EXPECT_EQ(ReadInstallDir("GUID"), "C:\\Program Files\\演示");
    EXPECT_EQ(RecordPathFor("D:\\Apps\\demo\\UnInstall X.exe"), "D:\\Apps\\demo\\UnInstall X.log");
}

}  // namespace
}  // namespace setup::testing_sandbox
