// Post-install actions of installed files (COM servers, services, auto-run
// entries, programs to run) and the component packages the user chose.
#include "engine/install.h"
#include "engine/target_paths.h"
#include "platform/common.h"
#include "platform/os.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace setup {

void PostInstallActions(InstallRun& run) {
    for (const auto& item : run.model.FileList) {
        if (item->Kind != fkFile) continue;
        if (!item->TargetOs.empty() && item->TargetOs != run.osVersion) continue;
        const std::string& path = item->Source;
        if (item->IsComponent) {
            run.Message("正在注册组件“" + path + "”，请稍候");
            RegisterServer(path, true);
        }
        if (item->IsService) {
            run.Message("正在注册服务“" + path + "”，请稍候");
            InstallService(path, true);
        }
        if (item->RunAtStartup) {
            run.Message("正在安装自动运行程序“" + path + "”，请稍候");
            SetAutoRun(FileNamePart(path), path, true);
        }
        if (item->RunAfterInstall) {
            run.Message("正在自动运行程序“" + path + "”，请稍候");
            if (IsVistaOrLater(run.osVersion)) {
                RunElevated(path, "");
            } else {
                ShellExecuteRequest request;
                request.verb = "Open";
                request.file = path;
                request.directory = FolderPart(path);
                request.show = kSwShowNormal;
                OS().Shell().ShellExecuteEx(request);
            }
        }
    }
}

std::string FindComponentFile(const TCompile& model, const std::string& componentName, const std::string& fragment) {
    if (fragment.empty()) return "";
    for (const auto& item : model.FileList) {
        if (item->Kind == fkCompFile && EqualsNoCase(item->Name, componentName) &&
            ContainsNoCase(item->Source, fragment)) {
            return item->Source;
        }
    }
    return "";
}

bool RegistryValuePresent(const std::string& path) {
    std::vector<std::string> pieces = SplitPath(path);
    if (pieces.size() < 2) return false;
    uint32_t root = RootKeyOfName(pieces[0]);
    if (root == 0) return false;
    std::string subkey;
    for (size_t i = 1; i + 1 < pieces.size(); ++i) subkey += (i > 1 ? "\\" : "") + pieces[i];
    if (!OS().Registry().KeyExists(root, subkey)) return false;
    return !OS().Registry().ReadString(root, subkey, pieces.back()).value_or("").empty();
}

void RunAndWait(const std::string& program) {
    ShellExecuteRequest request;
    request.file = program;
    request.show = kSwShowNormal;
    request.mask = kSeeMaskNoCloseProcess;
    OS().Shell().ShellExecuteAndWait(request, [] { ProcessMessages(); });
}

void ComponentPackages(InstallRun& run) {
    TCompile& model = run.model;
    for (const auto& component : model.CompList) {
        bool chosen = false;
        for (const std::string& name : model.ComponentList) chosen = chosen || EqualsNoCase(name, component->Name);
        if (!chosen) continue;
        std::string ini = FindComponentFile(model, component->Name, component->Name + ".ini");
        if (ini.empty()) continue;
        std::string regRun = ReadProfileString(ini, "Term", "RegRun", "");
        if (!regRun.empty() && RegistryValuePresent(regRun)) continue;
        if (ReadProfileString(ini, "RegistryList", "Regtype", "System") == "System") {
            std::string exe = FindComponentFile(model, component->Name, ReadProfileString(ini, "Option", "ExeFile", ""));
            if (!exe.empty() && OS().Files().FileExists(exe)) RunAndWait(exe);
        } else {
            for (const std::string& key : ReadProfileSectionKeys(ini, "SysDirList")) {
                std::string source = FindComponentFile(model, component->Name, key);
                std::string destination = ReadProfileString(ini, "SysDirList", key, "");
                // A missing source or an existing destination is skipped silently.
                if (!destination.empty()) OS().Files().CopyFileNoReplace(source, ExpandSystemDirectory(destination));
            }
        }
    }
}

}  // namespace setup
