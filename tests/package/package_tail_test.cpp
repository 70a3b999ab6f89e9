// The package of a signed setup program: found before the certificate table
// whatever the signer's padding, refused cleanly when the security directory
// or the table lies, and never read from bytes the signature does not cover.
#include <gtest/gtest.h>

#include "package/compile.h"
#include "package/package_builder.h"
#include "package/package_tail.h"
#include "package/package_writer.h"
#include "package/pe_stub.h"
#include "platform/errors.h"

namespace setup::testing_package {
namespace {

std::string Package(const std::string& stub) {
    TCompile project;
    AddSetting(project, igProject, "项目名称", "演示");
    project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    AddItem(project, fkFile, "app.exe", "D:\\s\\app.exe", "目标计算机\\Program Files\\");
    return BuildPackage(project, {"the program's bytes"}, stub);
}

void ExpectLoads(const std::string& bytes) {
    MemoryStream file(bytes);
    TCompile model;
    model.LoadPackage(file, "setup.exe");
    EXPECT_EQ(model.ItemName, "演示");
    ASSERT_EQ(model.FileList.size(), 1u);
    MemoryStream out;
    TCompile::ReadPackageData(file, out, model.FileList[0]->DataStart, model.FileList[0]->DataEnd);
    EXPECT_EQ(out.Bytes(), "the program's bytes");
}

void ExpectDamaged(const std::string& bytes, const std::string& fragment) {
    MemoryStream file(bytes);
    TCompile model;
    try {
        model.LoadPackage(file, "setup.exe");
        ADD_FAILURE() << "loaded; expected damage mentioning " << fragment;
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << e.what();
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    }
}

// Every length of the unsigned file, so every padding from 0 to 7 bytes.
TEST(PackageTailTest, SignedPackageLoadsWhateverThePadding) {
    for (size_t extra = 0; extra < 8; ++extra) {
        std::string unsignedFile = Package(MinimalPe() + std::string(extra, 'x'));
        std::string signedFile = SignLikeASigner(unsignedFile);
        MemoryStream file(signedFile);
        std::optional<CertificateTable> table = FindCertificateTable(file);
        ASSERT_TRUE(table.has_value());
        EXPECT_EQ(table->Entries, 1);
        EXPECT_EQ(FindPackageEnd(file), static_cast<int64_t>(unsignedFile.size())) << "extra " << extra;
        ExpectLoads(signedFile);
    }
}

// Unsigned programs and programs that are no PE: the tail is at the end of
// the file.
TEST(PackageTailTest, TailAtTheEndOfAnUnsignedFile) {
    for (const std::string& stub : {MinimalPe(), std::string("\x7F"
                                                             "ELF")}) {
        std::string bytes = Package(stub);
        MemoryStream file(bytes);
        EXPECT_EQ(FindPackageEnd(file), static_cast<int64_t>(bytes.size()));
        ExpectLoads(bytes);
    }
    MemoryStream unsignedPe(MinimalPe());
    EXPECT_FALSE(FindCertificateTable(unsignedPe).has_value());
}

// A signed package followed by `after`, the security directory unchanged.
std::string SignedThen(const std::string& after) { return SignLikeASigner(Package(MinimalPe() + "ab")) + after; }

std::string LastBytes(const std::string& bytes, size_t count) { return bytes.substr(bytes.size() - count); }

struct Outside {
    const char* name;
    std::string (*make)();
};

const Outside kOutside[] = {
    // A package appended to a signed program: the table lies in the middle.
    {"package after a signed stub", [] { return Package(SignLikeASigner(MinimalPe(), 64)); }},
    // A second package appended to a signed one, its own tail at the end.
    {"second package after the signature", [] { return SignedThen(Package("")); }},
    {"the signed package's tail again", [] { return SignedThen(LastBytes(Package(MinimalPe() + "ab"), 16)); }},
    {"one byte after the table", [] { return SignedThen("x"); }},
    {"zero padding after the table", [] { return SignedThen(std::string(8, '\0')); }},
};

class OutsideSignatureTest : public testing::TestWithParam<Outside> {};

// Whatever follows a certificate table is covered by no signature: the file
// is refused as damaged, never read as a package.
TEST_P(OutsideSignatureTest, IsRefused) {
    std::string bytes = GetParam().make();
    MemoryStream file(bytes);
    ASSERT_TRUE(FindCertificateTable(file).has_value());
    ExpectDamaged(bytes, "不在签名范围之内");
}

INSTANTIATE_TEST_SUITE_P(Outside, OutsideSignatureTest, testing::ValuesIn(kOutside), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

// A second package hidden in a certificate entry of its own after the
// signature: the table ends the file, and the package read is the signed one
// before the table.
TEST(PackageTailTest, PackageInsideTheTableIsNeverRead) {
    std::string bytes = SignLikeASigner(Package(MinimalPe()));
    MemoryStream signedFile(bytes);
    std::optional<CertificateTable> table = FindCertificateTable(signedFile);
    ASSERT_TRUE(table.has_value());
    TCompile other;
    AddSetting(other, igProject, "项目名称", "别的");
    other.PackageId = "0D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    AddItem(other, fkFile, "evil.exe", "D:\\s\\evil.exe", "目标计算机\\Program Files\\");
    std::string entry(8, '\0');
    entry += BuildPackage(other, {"unsigned bytes"}, "");
    entry.append((8 - entry.size() % 8) % 8, '\0');
    PutU32(entry, 0, static_cast<uint32_t>(entry.size()));
    PutU16(entry, 4, 0x0200);
    PutU16(entry, 6, 0x0002);
    bytes += entry;
    PutU32(bytes, kPeSecurityDirectory + 4, static_cast<uint32_t>(table->Size) + static_cast<uint32_t>(entry.size()));
    MemoryStream file(bytes);
    ASSERT_EQ(FindCertificateTable(file)->Entries, 2);
    ExpectLoads(bytes);
}

// A signed package whose second file's data lies inside the certificate
// table, where the signature does not reach. Its chunks are stored, so the
// project stream is as long whatever offsets it holds, and the place of the
// table is known from a first pass.
struct DataInTheTable {
    std::string Bytes;
    int64_t DataStart = 0;
    int64_t DataEnd = 0;
};

DataInTheTable SignedWithDataInTheTable() {
    MemoryStream chunkOut;
    PackageWriter chunkWriter(chunkOut, cplNone);
    chunkWriter.WriteStub(std::string_view());
    ItemRange chunkRange = chunkWriter.WriteItem(std::string_view("unsigned bytes"));
    std::string chunk = chunkOut.Bytes().substr(static_cast<size_t>(chunkRange.DataStart),
                                                static_cast<size_t>(chunkRange.DataEnd - chunkRange.DataStart));
    DataInTheTable result;
    int64_t tableOffset = 0;
    for (int pass = 0; pass < 2; ++pass) {
        TCompile project;
        AddSetting(project, igProject, "项目名称", "演示");
        project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
        TCompileFileData& app = AddItem(project, fkFile, "app.exe", "D:\\s\\app.exe", "目标计算机\\Program Files\\");
        TCompileFileData& evil = AddItem(project, fkFile, "evil.dll", "D:\\s\\evil.dll", "目标计算机\\Program Files\\");
        MemoryStream out;
        PackageWriter writer(out, cplNone);
        writer.WriteStub(MinimalPe());
        ItemRange range = writer.WriteItem(std::string_view("the program's bytes"));
        app.DataStart = range.DataStart;
        app.DataEnd = range.DataEnd;
        app.FileSize = range.Size;
        evil.DataStart = tableOffset + 8;
        evil.DataEnd = evil.DataStart + static_cast<int64_t>(chunk.size());
        evil.FileSize = chunkRange.Size;
        writer.Finish(project, app.FileSize + evil.FileSize);
        result = {out.TakeBytes(), evil.DataStart, evil.DataEnd};
        tableOffset = static_cast<int64_t>((result.Bytes.size() + 7) / 8 * 8);
    }
    EXPECT_EQ(result.DataStart, tableOffset + 8) << "the project stream changed its length";
    result.Bytes = SignLikeASigner(result.Bytes, chunk.size());
    result.Bytes.replace(static_cast<size_t>(result.DataStart), chunk.size(), chunk);
    return result;
}

// An item whose data lies in the certificate table is refused, though its
// bytes there inflate: no one signed them.
TEST(PackageTailTest, ItemDataInsideTheTableIsRefused) {
    DataInTheTable package = SignedWithDataInTheTable();
    MemoryStream file(package.Bytes);
    ASSERT_TRUE(FindCertificateTable(file).has_value());
    MemoryStream inflated;
    TCompile::ReadPackageData(file, inflated, package.DataStart, package.DataEnd);
    EXPECT_EQ(inflated.Bytes(), "unsigned bytes");
    ExpectDamaged(package.Bytes, "超出了签名范围");
}

struct Lie {
    const char* name;
    void (*damage)(std::string& bytes, size_t tableOffset, size_t tailEnd);
    const char* message;
};

const Lie kLies[] = {
    {"table past the end",
     [](std::string& b, size_t, size_t) { PutU32(b, kPeSecurityDirectory + 4, static_cast<uint32_t>(b.size())); },
     "超出了文件末尾"},
    {"offset past the end", [](std::string& b, size_t, size_t) { PutU32(b, kPeSecurityDirectory, 0xFFFFFFF0u); },
     "超出了文件末尾"},
    {"table inside the headers", [](std::string& b, size_t, size_t) { PutU32(b, kPeSecurityDirectory, 0x40); },
     "指向程序头部之内的证书表"},
    {"empty table", [](std::string& b, size_t, size_t) { PutU32(b, kPeSecurityDirectory + 4, 0); },
     "指向一个空的证书表"},
    {"entry longer than the table", [](std::string& b, size_t t, size_t) { PutU32(b, t, 0x7FFFFFFF); }, "处的项声称有"},
    {"entry of no length", [](std::string& b, size_t t, size_t) { PutU32(b, t, 0); }, "处的项声称有"},
    {"entry of a short length", [](std::string& b, size_t t, size_t) { PutU32(b, t, 16); }, "处的项声称有"},
    {"unknown revision", [](std::string& b, size_t t, size_t) { PutU16(b, t + 4, 0x0300); }, "处的项不是证书"},
    {"unknown type", [](std::string& b, size_t t, size_t) { PutU16(b, t + 6, 9); }, "处的项不是证书"},
    {"tail before the table overwritten", [](std::string& b, size_t, size_t end) { PutU32(b, end - 8, 0xFFFFFF); },
     "之前没有安装包尾部"},
    {"project offset into the items", [](std::string& b, size_t, size_t end) { b[end - 8] ^= 0x01; },
     "之前没有安装包尾部"},
};

class SignedTailLieTest : public testing::TestWithParam<Lie> {};

// A damaged certificate table or a lying security directory is damage, never
// a read out of bounds or a package found in the wrong place.
TEST_P(SignedTailLieTest, IsRefused) {
    std::string unsignedFile = Package(MinimalPe() + "xyz");
    std::string bytes = SignLikeASigner(unsignedFile);
    size_t tableOffset = (unsignedFile.size() + 7) / 8 * 8;
    GetParam().damage(bytes, tableOffset, unsignedFile.size());
    ExpectDamaged(bytes, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Lies, SignedTailLieTest, testing::ValuesIn(kLies), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

}  // namespace
}  // namespace setup::testing_package
