#include "engine/install.h"

#include "platform/common.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

void InstallRun::Message(const std::string& hint) const {
    if (model.OnCompile) model.OnCompile("", hint, -1, -1);
}

void InstallRun::FileEvent(const std::string& fileName, int64_t position) const {
    if (model.OnCompile) {
        model.OnCompile(fileName, "正在安装文件", position, static_cast<int64_t>(model.FileList.size()));
    }
}

void Install(TCompile& model, const std::string& setupFile) {
    std::unique_ptr<Stream> file = OpenFile(setupFile, OpenMode::Read);
    TUnInstall record;
    // What earlier installations of this package recorded comes first (found in
    // the installation folder, never the current folder); this installation's
    // entries that repeat it are not added again.
    std::string uninstaller = UninstallerPathFor(model);
    MergeEarlierRecords(record, model.InstallData.InstallDir, uninstaller.empty() ? "" : RecordPathFor(uninstaller),
                        model.PackageId);
    ProcessMessages();
    record.SetProjectName(model.ItemName);
    record.SetPackageId(model.PackageId);
    InstallRun run{model, *file, record, GetOSVersionText(), ""};
    run.Message("正在创建安装文件夹，请稍候...");
    FolderPass(run);
    FilePass(run);
    PostInstallActions(run);
    if (model.Patched()) return;
    RegistryPass(run);
    ShortcutPass(run);
    ComponentPackages(run);
    if (model.InstallData.EnableUnIns == kSwitchOn) UninstallStep(run);
}

}  // namespace setup
