// Signed setup programs end to end: a test certificate made with openssl,
// signing by makesetup through osslsigncode, osslsigncode's own verification,
// the signed package installed on a simulated machine, packages outside the
// signature refused, and the signer found on PATH only.
#include <gtest/gtest.h>

#include <cstdlib>
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
    Install(model);
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

// A package appended after a real signature, as a second package after a
// signed one: verify names the signature and then fails, saying the package
// lies outside it; the setup program refuses the file.
TEST_F(SigningTest, PackageAfterTheSignatureIsRefused) {
    std::string path = WritePackage();
    int status = -1;
    ASSERT_EQ((Makesetup("sign '" + path + "' " + Keys(), status), status), 0);
    TCompile second;
    AddSetting(second, igProject, "项目名称", "演示");
    second.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    AddItem(second, fkFile, "app.exe", "D:\\s\\app.exe", "目标计算机\\Program Files\\");
    setup::WriteHostFile(path, testing_package::BuildPackage(second, {"unsigned app"}, setup::ReadHostFile(path)));
    std::string out = Makesetup("verify '" + path + "'", status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("signature: present"), std::string::npos) << out;
    EXPECT_NE(out.find("the package lies outside the signature"), std::string::npos) << out;
    EXPECT_EQ(out.find("OK:"), std::string::npos) << out;

    MemoryStream file(setup::ReadHostFile(path));
    TCompile model;
    try {
        model.LoadPackage(file, path);
        ADD_FAILURE() << "the package after the signature was read";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << e.what();
    }
}

// build refuses a signed setup program as its stub: the package would follow
// the signature. Signing the finished package is the way.
TEST_F(SigningTest, BuildRefusesASignedStub) {
    std::string stub = dir_ + "/stub.exe";
    setup::WriteHostFile(stub, MinimalPe());
    int status = -1;
    std::string out = RunHost("osslsigncode sign -certs '" + dir_ + "/cert.pem' -key '" + dir_ + "/key.pem' -in '" +
                                  stub + "' -out '" + stub + ".signed' 2>&1",
                              &status);
    ASSERT_EQ(status, 0) << out;
    std::string output = dir_ + "/demo-setup.exe";
    out =
        Makesetup("build '" + std::string(DEMO_PROJECT) + "' -o '" + output + "' --stub '" + stub + ".signed'", status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("is signed"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(output + ".partial"));
}

// The signer is looked up in the absolute folders of PATH only, in order:
// not in the current folder (an empty or "." entry), not through a relative
// entry, and not as a folder or a file that cannot be run.
TEST(HostProgramTest, FoundInAbsoluteFoldersOfThePathOnly) {
    char pattern[] = "/tmp/host-program-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    auto plant = [&](const std::string& path, fs::perms perms) {
        fs::create_directories(fs::path(path).parent_path());
        setup::WriteHostFile(path, "#!/bin/sh\nexit 0\n");
        fs::permissions(path, perms);
    };
    plant(dir + "/osslsigncode", fs::perms::owner_all);
    plant(dir + "/relative/osslsigncode", fs::perms::owner_all);
    plant(dir + "/plain/osslsigncode", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(dir + "/folder/osslsigncode");
    plant(dir + "/first/osslsigncode", fs::perms::owner_all);
    plant(dir + "/second/osslsigncode", fs::perms::owner_all);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    fs::path oldFolder = fs::current_path();
    fs::current_path(dir);
    std::string lookedOnly = ":.:relative:" + dir + "/missing:" + dir + "/plain:" + dir + "/folder";
    setenv("PATH", lookedOnly.c_str(), 1);
    EXPECT_EQ(FindHostProgram("osslsigncode"), "");
    EXPECT_EQ(RunHostProgram({"osslsigncode"}), -1);
    setenv("PATH", (lookedOnly + ":" + dir + "/first/:" + dir + "/second").c_str(), 1);
    EXPECT_EQ(FindHostProgram("osslsigncode"), dir + "/first/osslsigncode");
    EXPECT_EQ(FindHostProgram("./osslsigncode"), "");
    unsetenv("PATH");
    EXPECT_EQ(FindHostProgram("osslsigncode"), "");
    setenv("PATH", oldPath.c_str(), 1);
    fs::current_path(oldFolder);
    fs::remove_all(dir);
}

// makesetup sign run in a folder that holds a program named osslsigncode,
// with the current folder on PATH: the planted program never runs, and
// makesetup says the signer is in no folder of PATH. A signer in an absolute
// folder of PATH is the one started.
TEST(HostProgramTest, PlantedSignerInTheCurrentFolderIsNotRun) {
    char pattern[] = "/tmp/planted-signer-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    auto plant = [&](const std::string& path, const std::string& mark) {
        fs::create_directories(fs::path(path).parent_path());
        setup::WriteHostFile(path, "#!/bin/sh\necho ran > '" + dir + "/" + mark + "'\nexit 7\n");
        fs::permissions(path, fs::perms::owner_all);
    };
    plant(dir + "/osslsigncode", "planted-ran");
    plant(dir + "/bin/osslsigncode", "relative-ran");
    setup::WriteHostFile(dir + "/setup.exe", MinimalPe());
    int status = -1;
    std::string sign =
        "cd '" + dir + "' && PATH=':.:bin' '" + std::string(MAKESETUP) + "' sign setup.exe cert.pem key.pem 2>&1";
    std::string out = RunHost(sign, &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("osslsigncode is in no folder of PATH"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir + "/planted-ran"));
    EXPECT_FALSE(fs::exists(dir + "/relative-ran"));

    plant(dir + "/trusted/osslsigncode", "trusted-ran");
    sign = "cd '" + dir + "' && PATH=':.:bin:" + dir + "/trusted' '" + std::string(MAKESETUP) +
           "' sign setup.exe cert.pem key.pem 2>&1";
    out = RunHost(sign, &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("ended with status 7"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(dir + "/trusted-ran"));
    EXPECT_FALSE(fs::exists(dir + "/planted-ran"));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace setup::testing_sandbox
