// Signed setup programs end to end: a test certificate made with openssl,
// signing by makesetup through osslsigncode, osslsigncode's own verification,
// and the signed package installed on a simulated machine.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/install.h"
#include "package/compile.h"
#include "package/package_builder.h"
#include "package/package_tail.h"
#include "package/pe_stub.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

namespace fs = std::filesystem;
using testing_package::AddItem;
using testing_package::AddSetting;
using testing_package::MinimalPe;

class SigningTest : public SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        int status = -1;
        RunHost("osslsigncode --version >/dev/null 2>&1", &status);
        if (status != 0) GTEST_SKIP() << "osslsigncode is not installed (scripts/bootstrap.sh installs it)";
        char pattern[] = "/tmp/signing-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        RunHost("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Setup Test' -keyout '" + dir_ +
                    "/key.pem' -out '" + dir_ + "/cert.pem' 2>&1",
                &status);
        ASSERT_EQ(status, 0) << "openssl could not make a test certificate";
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
        SandboxTest::TearDown();
    }
    // A package on a PE program, written to the test folder.
    std::string WritePackage() {
        TCompile project;
        AddSetting(project, igProject, "项目名称", "演示");
        AddSetting(project, igProject, "显示安装界面", "禁用");
        AddSetting(project, igInstallDir, "默认安装路径", "[System ProgramFiles]\\演示");
        project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
        AddItem(project, fkFile, "app.exe", "D:\\s\\app.exe", "目标计算机\\Program Files\\");
        std::string path = dir_ + "/setup.exe";
        setup::WriteHostFile(path, testing_package::BuildPackage(project, {"signed app"}, MinimalPe() + "odd"));
        return path;
    }
    std::string Makesetup(const std::string& args, int& status) {
        return RunHost(std::string(MAKESETUP) + " " + args + " 2>&1", &status);
    }
    std::string Keys() const { return "'" + dir_ + "/cert.pem' '" + dir_ + "/key.pem'"; }
    std::string dir_;
};

// makesetup signs; osslsigncode accepts the signature; the package installs.
TEST_F(SigningTest, SignedPackageVerifiesAndInstalls) {
    std::string path = WritePackage();
    int64_t unsignedSize = HostFileSize(path);
    int status = -1;
    std::string out = Makesetup("sign '" + path + "' " + Keys(), status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("signature: present"), std::string::npos) << out;
    EXPECT_GT(HostFileSize(path), unsignedSize);
    out = RunHost("osslsigncode verify -CAfile '" + dir_ + "/cert.pem' '" + path + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;

    OS().Files().CreateFolderTree("C:\\Downloads");
    OS().Files().Open("C:\\Downloads\\setup.exe", OpenMode::Create)->WriteBytes(setup::ReadHostFile(path));
    TCompile model;
    model.LoadFromExe("C:\\Downloads\\setup.exe");
    EXPECT_EQ(model.ItemName, "演示");
    Install(model, "C:\\Downloads\\setup.exe");
    EXPECT_TRUE(model.Failures.empty());
    std::unique_ptr<Stream> installed = OS().Files().Open("C:\\Program Files\\演示\\app.exe", OpenMode::Read);
    EXPECT_EQ(installed->ReadBytes(static_cast<size_t>(installed->Size())), "signed app");
}

// A signed file whose certificate table was damaged afterwards: verify and
// the setup program refuse it with the reason, nothing is read out of bounds.
TEST_F(SigningTest, DamagedCertificateTableIsRefused) {
    std::string path = WritePackage();
    int status = -1;
    ASSERT_EQ((Makesetup("sign '" + path + "' " + Keys(), status), status), 0);
    std::string bytes = setup::ReadHostFile(path);
    MemoryStream file(bytes);
    std::optional<CertificateTable> table = FindCertificateTable(file);
    ASSERT_TRUE(table.has_value());
    bytes[static_cast<size_t>(table->Offset) + 6] = 9;  // no certificate type
    setup::WriteHostFile(path, bytes);
    std::string out = Makesetup("verify '" + path + "'", status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find(u8"安装包已损坏：程序的安全目录指向的证书表在偏移 "), std::string::npos) << out;
    RunHost("osslsigncode verify -CAfile '" + dir_ + "/cert.pem' '" + path + "' >/dev/null 2>&1", &status);
    EXPECT_NE(status, 0);
}

// build --sign signs the uninstaller before packing it and the setup program
// after; verify reports the signature.
TEST_F(SigningTest, BuildSignsTheUninstallerAndTheProgram) {
    setup::WriteHostFile(dir_ + "/stub.exe", MinimalPe());
    setup::WriteHostFile(dir_ + "/uninstall.exe", MinimalPe() + "uninstaller");
    std::string output = dir_ + "/demo-setup.exe";
    int status = -1;
    std::string out = Makesetup("build '" + std::string(DEMO_PROJECT) + "' -o '" + output + "' --stub '" + dir_ +
                                    "/stub.exe' --uninstaller '" + dir_ + "/uninstall.exe' --sign " + Keys(),
                                status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_FALSE(fs::exists(output + ".uninstaller"));
    out = Makesetup("verify '" + output + "'", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("signature: present"), std::string::npos) << out;

    MemoryStream file(setup::ReadHostFile(output));
    TCompile model;
    model.LoadPackage(file, output);
    bool found = false;
    for (const auto& item : model.FileList) {
        if (item->Kind != fkUnInsFile) continue;
        MemoryStream uninstaller;
        TCompile::ReadPackageData(file, uninstaller, item->DataStart, item->DataEnd);
        MemoryStream packed(uninstaller.Bytes());
        EXPECT_TRUE(FindCertificateTable(packed).has_value());
        found = true;
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace setup::testing_sandbox
