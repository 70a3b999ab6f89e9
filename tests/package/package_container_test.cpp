// Packages on the simulated machine: the tail, the chunks, damage of every kind.
#include "package/codecs.h"
#include "package/compile.h"
#include "package/package_builder.h"
#include "platform/errors.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

using testing_package::AddItem;
using testing_package::AddSetting;
using testing_package::BuildPackage;

class PackageContainerTest : public SandboxTest {
protected:
    void Place(const std::string& bytes) { OS().Files().Open(kSetup, OpenMode::Create)->WriteBytes(bytes); }
    static constexpr const char* kSetup = "C:\\setup.exe";
};

TEST_F(PackageContainerTest, MissingFileLoadsNothing) {
    TCompile model;
    model.LoadFromExe("C:\\nowhere.exe");
    EXPECT_TRUE(model.InfoList.empty());
    EXPECT_EQ(model.InstallData.TotalSize, 0);
    EXPECT_TRUE(model.InstallData.InstallDir.empty());
}

// A tail that does not point at a project inside the file (offset 0, negative,
// at or past the tail) describes no package: damage, not an empty project.
TEST_F(PackageContainerTest, TailWithoutAProjectIsDamage) {
    for (int64_t offset : {int64_t{0}, int64_t{-5}, int64_t{12}, int64_t{1000}}) {
        std::string bytes = "stub" + std::string(8, '\0');
        AppendU64(bytes, 777);
        AppendU64(bytes, static_cast<uint64_t>(offset));
        Place(bytes);
        TCompile model;
        try {
            model.LoadFromExe(kSetup);
            ADD_FAILURE() << "loaded with offset " << offset;
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << offset;
        }
        EXPECT_TRUE(model.InfoList.empty());
    }
}

// A chunk that inflates to more than the item's promised size is refused as
// damage, and inflation stops at the bound.
TEST_F(PackageContainerTest, InflationIsBoundedByThePromisedSize) {
    TCompile project;
    AddItem(project, fkFile, "a.txt", "D:\\p\\a.txt", "目标计算机\\Program Files\\");
    project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    Place(BuildPackage(project, {std::string(100000, 'z')}, "MZ", cplDefault, 40000));
    std::unique_ptr<Stream> file = OpenFile(kSetup, OpenMode::Read);
    const TCompileFileData& item = *project.FileList[0];
    MemoryStream exact;
    TCompile::ReadPackageData(*file, exact, item.DataStart, item.DataEnd, 100000);
    EXPECT_EQ(exact.Size(), 100000);
    for (int64_t promised : {int64_t{99999}, int64_t{40000}, int64_t{0}}) {
        MemoryStream out;
        try {
            TCompile::ReadPackageData(*file, out, item.DataStart, item.DataEnd, promised);
            ADD_FAILURE() << promised;
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << promised;
        }
        EXPECT_LE(out.Size(), promised);
    }
    // One block that claims more than it may hold never allocates beyond the bound.
    std::string bomb = CompressBlock(std::string(50 * 1024 * 1024, '\0'), cplPress);
    EXPECT_THROW(DecompressBlock(bomb, 1024), Error);
    EXPECT_EQ(DecompressBlock(bomb).size(), 50u * 1024 * 1024);
}

// The same package on another stub, or split into many small chunks, reads the same.
TEST_F(PackageContainerTest, StubAndChunkSizeDoNotMatter) {
    for (auto [stub, chunk] : {std::pair<std::string, size_t>{"", kChunkBlockSize}, {std::string(5000, 'Z'), 7}}) {
        TCompile project;
        AddSetting(project, igProject, "项目名称", "演示");
        AddItem(project, fkFile, "a.txt", "D:\\p\\a.txt", "目标计算机\\Program Files\\");
        AddItem(project, fkFile, "empty.txt", "D:\\p\\empty.txt", "目标计算机\\Program Files\\");
        project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
        std::string content(1000, 'q');
        Place(BuildPackage(project, {content, ""}, stub, cplSpeed, chunk));
        TCompile model;
        model.LoadFromExe(kSetup);
        EXPECT_EQ(model.ItemName, "演示");
        EXPECT_EQ(model.Size, 1000);
        ASSERT_EQ(model.FileList.size(), 2u);
        std::unique_ptr<Stream> file = OpenFile(kSetup, OpenMode::Read);
        MemoryStream a, empty;
        TCompile::ReadPackageData(*file, a, model.FileList[0]->DataStart, model.FileList[0]->DataEnd);
        EXPECT_EQ(a.Bytes(), content);
        EXPECT_EQ(file->Position(), model.FileList[0]->DataEnd);
        EXPECT_EQ(model.FileList[1]->DataStart, model.FileList[1]->DataEnd);
        TCompile::ReadPackageData(*file, empty, model.FileList[1]->DataStart, model.FileList[1]->DataEnd);
        EXPECT_EQ(empty.Size(), 0);
    }
}

// A damaged chunk in the middle of an item: the chunks before it are written.
TEST_F(PackageContainerTest, DamagedChunkInTheMiddleOfAnItem) {
    TCompile project;
    AddItem(project, fkFile, "a", "D:\\a", "目标计算机\\Program Files\\");
    std::string content = std::string(100, 'a') + std::string(100, 'b') + std::string(100, 'c');
    std::string bytes = BuildPackage(project, {content}, "stub", cplDefault, 100);
    TCompileFileData& item = *project.FileList[0];
    // Flip a byte inside the second chunk's zlib data.
    MemoryStream s(bytes);
    s.Seek(item.DataStart, SeekOrigin::Begin);
    uint32_t first = s.ReadU32();
    size_t second = static_cast<size_t>(item.DataStart) + 4 + first + 4;
    bytes[second + 3] ^= 0x40;
    Place(bytes);
    std::unique_ptr<Stream> file = OpenFile(kSetup, OpenMode::Read);
    MemoryStream out;
    try {
        TCompile::ReadPackageData(*file, out, item.DataStart, item.DataEnd);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Decompression);
        EXPECT_STREQ(e.what(), "error");
    }
    EXPECT_EQ(out.Bytes(), std::string(100, 'a'));
}

TEST_F(PackageContainerTest, OffsetsOutsideTheFileAreDamage) {
    Place("0123456789");
    std::unique_ptr<Stream> file = OpenFile(kSetup, OpenMode::Read);
    MemoryStream out;
    EXPECT_THROW(TCompile::ReadPackageData(*file, out, 5, 4), Error);
    EXPECT_THROW(TCompile::ReadPackageData(*file, out, -1, 4), Error);
    EXPECT_THROW(TCompile::ReadPackageData(*file, out, 2, 11), Error);
    TCompile::ReadPackageData(*file, out, 10, 10);
    EXPECT_EQ(out.Size(), 0);

    for (int64_t offset : {int64_t(1) << 40, int64_t(20)}) {
        std::string bytes(30, 'x');
        AppendU64(bytes, 0);
        AppendU64(bytes, offset);
        Place(bytes);
        TCompile model;
        EXPECT_THROW(model.LoadFromExe(kSetup), Error) << offset;
    }
    Place("short");
    TCompile model;
    EXPECT_THROW(model.LoadFromExe(kSetup), Error);
}

// A package with a megabyte of data or more is checked on two threads, which
// take runs of items in turn: damage anywhere is found, and where several
// items are damaged the failure names the first of them, as a check in one
// pass would.
TEST_F(PackageContainerTest, LargePackageCheckNamesTheFirstDamagedItem) {
    TCompile project;
    std::vector<std::string> contents;
    uint32_t x = 12345;
    for (int i = 0; i < 6; ++i) {
        std::string name = "f" + std::to_string(i) + ".bin";
        AddItem(project, fkFile, name, "D:\\p\\" + name, "目标计算机\\Program Files\\");
        std::string content(300000, '\0');
        for (char& c : content) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 23);
        }
        contents.push_back(content);
    }
    project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    std::string bytes = BuildPackage(project, contents, "MZ", cplDefault);
    auto damaged = [&](const std::vector<size_t>& items) {
        std::string copy = bytes;
        for (size_t i : items) {
            const TCompileFileData& item = *project.FileList[i];
            copy[static_cast<size_t>(item.DataStart + (item.DataEnd - item.DataStart) / 2)] ^= 0x10;
        }
        return copy;
    };
    Place(bytes);
    {
        // The loaded model holds the file locked until it goes.
        TCompile whole;
        whole.LoadFromExe(kSetup);
        EXPECT_EQ(whole.FileList.size(), 6u);
    }
    for (auto [items, named] : std::vector<std::pair<std::vector<size_t>, std::string>>{
             {{4}, "f4.bin"}, {{1}, "f1.bin"}, {{1, 5}, "f1.bin"}, {{0, 3}, "f0.bin"}}) {
        Place(damaged(items));
        TCompile model;
        try {
            model.LoadFromExe(kSetup);
            ADD_FAILURE() << named;
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << named;
            EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
        }
    }
}

// Every truncation and many bit flips of a real package are refused cleanly
// (or, where the flip hits data the reader does not check, load), never crash.
TEST_F(PackageContainerTest, TruncatedAndFlippedPackagesFailCleanly) {
    TCompile project;
    AddSetting(project, igProject, "项目名称", "演示");
    AddSetting(project, igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
    AddItem(project, fkFile, "a", "D:\\a", "目标计算机\\Program Files\\");
    project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    std::string bytes = BuildPackage(project, {std::string(3000, 'x')}, "MZ", cplPress, 1000);
    // Without a magic number, a cut whose last 16 bytes read as a tail with no
    // project is an empty package; anything else must be refused.
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        Place(bytes.substr(0, cut));
        TCompile model;
        try {
            model.LoadFromExe(kSetup);
            EXPECT_TRUE(model.InfoList.empty() && model.FileList.empty()) << cut;
        } catch (const Error&) {
        }
    }
    int refused = 0;
    for (size_t at = 0; at < bytes.size(); at += 3) {
        std::string flipped = bytes;
        flipped[at] ^= static_cast<char>(1 << (at % 8));
        Place(flipped);
        TCompile model;
        try {
            model.LoadFromExe(kSetup);
        } catch (const Error&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace setup::testing_sandbox
