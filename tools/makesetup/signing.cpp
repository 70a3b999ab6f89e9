#include "signing.h"

#include <ostream>

#include "package/package_tail.h"
#include "platform/errors.h"
#include "platform/host_files.h"

namespace setup::makesetup {

void SignProgram(const std::string& input, const std::string& output, const SigningKey& key, std::ostream& log) {
    std::string signedCopy = output + ".signed";
    RemoveHostFile(signedCopy);
    // The signer is taken from the folders of PATH only: one lying in the
    // folder makesetup runs in, or beside it, would sign with the author's
    // private key.
    std::string signer = FindHostProgram("osslsigncode");
    if (signer.empty()) {
        ThrowOsError("Cannot sign " + input +
                     ": osslsigncode is in no folder of PATH (Debian: apt-get install -t bookworm-backports "
                     "osslsigncode)");
    }
    int status = RunHostProgram(
        {signer, "sign", "-certs", key.Certificate, "-key", key.Key, "-h", "sha256", "-in", input, "-out", signedCopy});
    if (status != 0) {
        RemoveHostFile(signedCopy);
        if (status < 0) ThrowOsError("Cannot sign " + input + ": " + signer + " could not be started");
        ThrowOsError("Cannot sign " + input + ": osslsigncode ended with status " + std::to_string(status));
    }
    RenameHostFile(signedCopy, output);
    MakeHostFileExecutable(output);
    log << "signed " << output << "\n";
}

std::string SignUninstaller(BuildPlan& plan, const std::string& output, const SigningKey& key, std::ostream& log) {
    TCompile& model = *plan.Model;
    for (size_t i = 0; i < model.FileList.size(); ++i) {
        if (model.FileList[i]->Kind != fkUnInsFile || plan.DataFiles[i].empty()) continue;
        std::string copy = output + ".uninstaller";
        SignProgram(plan.DataFiles[i], copy, key, log);
        plan.DataFiles[i] = copy;
        model.FileList[i]->FileSize = HostFileSize(copy);
        return copy;
    }
    return "";
}

std::string SignatureLine(const std::string& path) {
    std::unique_ptr<Stream> file = OpenHostFile(path, OpenMode::Read);
    std::optional<CertificateTable> table = FindCertificateTable(*file);
    if (!table) return "signature: none";
    return "signature: present, certificate table at offset " + std::to_string(table->Offset) + ", " +
           std::to_string(table->Size) + " bytes, " + std::to_string(table->Entries) + " certificate(s)";
}

void RequireSignatureAtEnd(const std::string& path) {
    std::unique_ptr<Stream> file = OpenHostFile(path, OpenMode::Read);
    std::optional<CertificateTable> table = FindCertificateTable(*file);
    if (!table) return;
    int64_t tableEnd = table->Offset + table->Size;
    int64_t after = file->Size() - tableEnd;
    if (after == 0) return;
    ThrowDamaged("the package lies outside the signature: " + std::to_string(after) +
                 " bytes follow the certificate table, which ends at offset " + std::to_string(tableEnd) +
                 "; the signature covers nothing after it, and the setup program refuses such a file. Build on "
                 "an unsigned setup program and sign the finished package (build --sign, or makesetup sign)");
}

void RefuseSignedStub(const std::string& stub) {
    std::unique_ptr<Stream> file = OpenHostFile(stub, OpenMode::Read);
    if (!FindCertificateTable(*file)) return;
    ThrowFormatError("The setup program " + stub +
                     " is signed: a package appended to it would lie outside its signature, and the setup program "
                     "refuses such a file. Build on an unsigned setup program and sign the result with --sign");
}

}  // namespace setup::makesetup
