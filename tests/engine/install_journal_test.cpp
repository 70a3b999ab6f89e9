// The journal of an installation: every change made through it can be undone
// so that the machine is exactly as before, or kept with its backups removed.
// Also the one report of failed items.
#include "engine/install_journal.h"

#include <filesystem>
#include <map>

#include "engine/install.h"
#include "platform/errors.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"

namespace setup::testing_sandbox {
namespace {

class InstallJournalTest : public SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // What was there before the run.
        OS().Files().CreateFolderTree("C:\\App");
        Write("C:\\App\\old.exe", "old program");
        Write("C:\\App\\keep.txt", "read-only data");
        OS().Files().SetAttributes("C:\\App\\keep.txt", kAttrReadOnly);
        Write("C:\\App\\gone.txt", "deleted by the run");
        OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Demo");
        OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "Path", "C:\\App");
        OS().Registry().WriteValue(kHkeyLocalMachine, "SOFTWARE\\Demo",
                                   {"Raw", kRegExpandSz, std::string("%\0\0\0", 4)});
        OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Demo\\Tree\\Leaf");
        OS().Registry().WriteDword(kHkeyLocalMachine, "SOFTWARE\\Demo\\Tree\\Leaf", "n", 7);
    }
    void Write(const std::string& path, const std::string& bytes) {
        OS().Files().Open(path, OpenMode::Create)->WriteBytes(bytes);
    }
    std::string Read(const std::string& path) {
        auto s = OS().Files().Open(path, OpenMode::Read);
        return s->ReadBytes(static_cast<size_t>(s->Size()));
    }
    std::map<std::string, std::string> Snapshot() {
        Machine().Flush();
        std::map<std::string, std::string> all;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
            std::string relative = std::filesystem::relative(entry.path(), root_).string();
            if (relative == "effects.jsonl") continue;
            all[relative] = entry.is_directory() ? "<folder>" : ReadHostFile(relative);
        }
        return all;
    }
    // Every kind of change an installation makes, through the journal.
    void Change() {
        FilesApi& files = OS().Files();
        RegistryApi& registry = OS().Registry();
        files.CreateFolderTree("C:\\App\\new\\deeper");
        Write("C:\\App\\new\\deeper\\a.txt", "new");
        Write("C:\\App\\old.exe.~new", "new program");
        files.MoveFile("C:\\App\\old.exe.~new", "C:\\App\\old.exe", MoveMode::ReplaceExisting);
        files.SetAttributes("C:\\App\\keep.txt", kAttrNormal);
        Write("C:\\App\\keep.txt", "overwritten");
        EXPECT_TRUE(files.DeleteFile("C:\\App\\gone.txt"));
        EXPECT_TRUE(files.CopyFileNoReplace("C:\\App\\old.exe", "C:\\App\\copy.exe"));
        ShellLink link;
        link.Path = "C:\\App\\old.exe";
        EXPECT_TRUE(OS().Shell().SaveShellLink(link, "C:\\App\\old.lnk"));
        registry.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Demo\\Created\\Level");
        registry.WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo\\Created\\Level", "v", "1");
        registry.WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "Path", "C:\\Elsewhere");
        registry.WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "Raw", "plain now");
        registry.WriteDword(kHkeyLocalMachine, "SOFTWARE\\Demo", "Added", 1);
        registry.DeleteKey(kHkeyLocalMachine, "SOFTWARE\\Demo\\Tree");
    }
};

// Make every kind of change, fail, roll back: the machine is as it was.
TEST_F(InstallJournalTest, RollbackRestoresTheMachineExactly) {
    std::map<std::string, std::string> before = Snapshot();
    {
        InstallJournal journal;
        Change();
        EXPECT_EQ(Read("C:\\App\\old.exe"), "new program");
        EXPECT_NE(Snapshot(), before);
        EXPECT_TRUE(journal.Rollback().empty());
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(OS().Files().GetAttributes("C:\\App\\keep.txt"), kAttrReadOnly);
    std::optional<RegValue> raw = OS().Registry().ReadValue(kHkeyLocalMachine, "SOFTWARE\\Demo", "Raw");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->Type, kRegExpandSz);
}

// A successful run keeps its work and leaves no backup behind.
TEST_F(InstallJournalTest, CommitKeepsTheChangesAndDeletesTheBackups) {
    {
        InstallJournal journal;
        Change();
        journal.Commit();
    }
    EXPECT_EQ(Read("C:\\App\\old.exe"), "new program");
    EXPECT_EQ(Read("C:\\App\\keep.txt"), "overwritten");
    EXPECT_FALSE(OS().Files().FileExists("C:\\App\\gone.txt"));
    for (const FolderEntry& e : OS().Files().ListFolder("C:\\App")) EXPECT_FALSE(Contains(e.Name, ".~")) << e.Name;
    EXPECT_FALSE(OS().Registry().KeyExists(kHkeyLocalMachine, "SOFTWARE\\Demo\\Tree"));
}

// A step that cannot be undone (a folder someone else put a file into
// meanwhile) is named; the others are still undone.
TEST_F(InstallJournalTest, RollbackNamesWhatItCouldNotUndo) {
    std::vector<std::string> left;
    {
        InstallJournal journal;
        OS().Files().CreateFolderTree("C:\\App\\shared");
        OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "Path", "C:\\Elsewhere");
        Machine().Files().Open("C:\\App\\shared\\theirs.txt", OpenMode::Create)->WriteBytes("not ours");
        left = journal.Rollback();
    }
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], "新建的文件夹 C:\\App\\shared");
    EXPECT_EQ(Read("C:\\App\\shared\\theirs.txt"), "not ours");
    EXPECT_EQ(OS().Registry().ReadString(kHkeyLocalMachine, "SOFTWARE\\Demo", "Path"), "C:\\App");
}

// Each change that stays is described for the user, last first: a replaced
// file whose backup vanished names where the earlier file was kept, and a
// value names its root, its key and its name ("(默认)" for the default).
TEST_F(InstallJournalTest, RollbackDescribesTheChangesThatStay) {
    OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "", "before");
    std::vector<std::string> left;
    {
        InstallJournal journal;
        Write("C:\\App\\old.exe", "new program");
        OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "", "during");
        OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "Path", "C:\\Elsewhere");
        // Someone else takes the backup and the key away meanwhile.
        Machine().Files().DeleteFile("C:\\App\\old.exe.~bak");
        Machine().Registry().DeleteKey(kHkeyLocalMachine, "SOFTWARE\\Demo");
        left = journal.Rollback();
    }
    EXPECT_EQ(left, (std::vector<std::string>{
                        "写入的注册表值 HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo\\Path",
                        "写入的注册表值 HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo\\(默认)",
                        "被替换或删除的文件 C:\\App\\old.exe（原文件保存为 C:\\App\\old.exe.~bak）",
                    }));
}

// The report lists the first twenty items with their reasons and counts the rest.
TEST(InstallFailureReportTest, ListsTwentyAndCountsTheRest) {
    std::vector<InstallFailure> failures;
    for (int i = 1; i <= 23; ++i) failures.push_back({"C:\\f" + std::to_string(i), "reason " + std::to_string(i)});
    std::string text = InstallFailureReport(failures);
    EXPECT_TRUE(Contains(text, "安装已完成，但以下 23 项未能安装：")) << text;
    EXPECT_TRUE(Contains(text, "C:\\f20\r\n    reason 20")) << text;
    EXPECT_FALSE(Contains(text, "C:\\f21")) << text;
    EXPECT_TRUE(Contains(text, "另有 3 项未列出。")) << text;
    failures.resize(20);
    EXPECT_FALSE(Contains(InstallFailureReport(failures), "另有"));
}

}  // namespace
}  // namespace setup::testing_sandbox
