#include "signing.h"

#include <ostream>

#include "package/package_tail.h"
#include "platform/errors.h"
#include "platform/host_files.h"

namespace setup::makesetup {

void SignProgram(const std::string& input, const std::string& output, const SigningKey& key, std::ostream& log) {
    std::string signedCopy = output + ".signed";
    RemoveHostFile(signedCopy);
    int status = RunHostProgram({"osslsigncode", "sign", "-certs", key.Certificate, "-key", key.Key, "-h", "sha256",
                                 "-in", input, "-out", signedCopy});
    if (status != 0) {
        RemoveHostFile(signedCopy);
        if (status < 0) {
            ThrowOsError("Cannot sign " + input +
                         ": osslsigncode could not be started (Debian: apt-get install -t bookworm-backports "
                         "osslsigncode)");
        }
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

}  // namespace setup::makesetup
