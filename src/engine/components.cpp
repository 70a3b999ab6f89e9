// Post-install actions of installed files (COM servers, services, auto-run
// entries, programs to run) and the component packages the user chose.
#include "engine/install.h"
#include "engine/target_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/profile.h"
#include "platform/registry_roots.h"
#include "platform/text.h"

namespace setup {

namespace {

bool FileFailed(const InstallRun& run, const std::string& path) {
    for (const std::string& failed : run.FailedFiles) {
        if (EqualsNoCase(failed, path)) return true;
    }
    return false;
}

}  // namespace

void PostInstallActions(InstallRun& run) {
    for (const auto& item : run.Model.FileList) {
        if (item->Kind != fkFile) continue;
        if (!item->TargetOs.empty() && item->TargetOs != run.OsVersion) continue;
        const std::string& path = item->Source;
        // A file that was not written has nothing to register or start; its
        // failure is reported already.
        if (FileFailed(run, path)) continue;
        if (item->IsComponent) {
            run.Message("正在注册组件“" + path + "”，请稍候");
            bool started = false;
            try {
                started = RegisterServer(path, ServerAction::Register);
            } catch (const Error& e) {
                // Without the registration the product cannot work: the whole
                // installation is undone and the refusal reported.
                if (e.Kind() != ErrorKind::SilentAbort) throw;
                ThrowOsError(msg::RegistrationElevationRefused(path));
            }
            if (!started) run.Fail(path, msg::CannotStartRegistration());
        }
        if (item->IsService) {
            run.Message("正在注册服务“" + path + "”，请稍候");
            if (!InstallService(path, ServiceAction::Install)) run.Fail(path, msg::CannotStartServiceInstall());
        }
        if (item->RunAtStartup) {
            run.Message("正在安装自动运行程序“" + path + "”，请稍候");
            // The program is quoted, so that Windows cannot start a planted
            // C:\Program.exe for a path with blanks.
            if (!SetAutoRun(FileNamePart(path), "\"" + path + "\"", AutoRunAction::Add)) {
                run.Fail(path, msg::CannotWriteAutoRun());
            }
        }
        if (item->RunAfterInstall) {
            run.Message("正在自动运行程序“" + path + "”，请稍候");
            bool started = false;
            if (IsVistaOrLater(run.OsVersion)) {
                try {
                    started = RunElevated(path, "");
                } catch (const Error& e) {
                    // Declining to run the program leaves the installation whole.
                    if (e.Kind() != ErrorKind::SilentAbort) throw;
                    run.Fail(path, msg::ProgramNotStartedElevationRefused());
                    continue;
                }
            } else {
                started = ShellOpenFile(path);
            }
            if (!started) run.Fail(path, msg::CannotStartProgram());
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
    std::optional<uint32_t> root = RootKeyFromName(pieces[0], RootNameForms::LongOnly);
    if (!root) return false;
    std::string subkey;
    for (size_t i = 1; i + 1 < pieces.size(); ++i) subkey += (i > 1 ? "\\" : "") + pieces[i];
    if (!OS().Registry().KeyExists(*root, subkey)) return false;
    return !OS().Registry().ReadString(*root, subkey, pieces.back()).value_or("").empty();
}

bool RunAndWait(const std::string& program) {
    ShellExecuteRequest request;
    request.File = program;
    request.Show = kSwShowNormal;
    request.Mask = kSeeMaskNoCloseProcess;
    return OS().Shell().ShellExecuteAndWait(request, [] { ProcessMessages(); }).Ok;
}

void ComponentPackages(InstallRun& run) {
    TCompile& model = run.Model;
    for (const auto& component : model.CompList) {
        bool chosen = false;
        for (const std::string& name : model.ComponentList) chosen = chosen || EqualsNoCase(name, component->Name);
        if (!chosen) continue;
        std::string ini = FindComponentFile(model, component->Name, component->Name + ".ini");
        if (ini.empty()) continue;
        std::string regRun = ReadProfileString(ini, "Term", "RegRun", "");
        if (!regRun.empty() && RegistryValuePresent(regRun)) continue;
        if (ReadProfileString(ini, "RegistryList", "Regtype", "System") == "System") {
            std::string exe =
                FindComponentFile(model, component->Name, ReadProfileString(ini, "Option", "ExeFile", ""));
            if (!exe.empty() && OS().Files().FileExists(exe) && !RunAndWait(exe)) {
                run.Fail(component->Name, msg::CannotStartComponentInstaller(exe));
            }
        } else {
            for (const std::string& key : ReadProfileSectionKeys(ini, "SysDirList")) {
                std::string source = FindComponentFile(model, component->Name, key);
                std::string destination = ReadProfileString(ini, "SysDirList", key, "");
                // An existing destination is kept: it is not a failure.
                if (destination.empty()) continue;
                if (!SystemDestinationAllowed(destination)) {
                    run.Fail(destination, msg::ComponentDestinationRefused(key, component->Name));
                    continue;
                }
                std::string target = ExpandSystemDirectory(destination);
                if (OS().Files().CopyFileNoReplace(source, target) || OS().Files().FileExists(target)) continue;
                run.Fail(target, msg::CannotCopyComponentFile(key, component->Name));
            }
        }
    }
}

}  // namespace setup
