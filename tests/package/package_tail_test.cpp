// The package of a signed setup program: found before the certificate table
// whatever the signer's padding, and refused cleanly when the security
// directory or the table lies.
#include <gtest/gtest.h>

#include "package/compile.h"
#include "package/package_builder.h"
#include "package/package_tail.h"
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

// Unsigned programs, programs that are no PE, and a signed program with the
// package appended after its signature: the tail is at the end of the file.
TEST(PackageTailTest, TailAtTheEndWhenNoTableEndsTheFile) {
    for (const std::string& stub : {MinimalPe(),
                                    std::string("\x7F"
                                                "ELF"),
                                    SignLikeASigner(MinimalPe(), 64)}) {
        std::string bytes = Package(stub);
        MemoryStream file(bytes);
        EXPECT_EQ(FindPackageEnd(file), static_cast<int64_t>(bytes.size()));
        ExpectLoads(bytes);
    }
    MemoryStream unsignedPe(MinimalPe());
    EXPECT_FALSE(FindCertificateTable(unsignedPe).has_value());
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
