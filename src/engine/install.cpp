#include "engine/install.h"

#include "engine/install_journal.h"

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

void InstallRun::Message(const std::string& hint) const {
    if (Model.OnCompile) Model.OnCompile("", hint, -1, -1);
}

void InstallRun::FileEvent(const std::string& fileName, int64_t position) const {
    if (Model.OnCompile) {
        Model.OnCompile(fileName, "正在安装文件", position, static_cast<int64_t>(Model.FileList.size()));
    }
}

void InstallRun::Fail(const std::string& item, const std::string& reason) const {
    Model.Failures.push_back(InstallFailure{item, reason});
}

namespace {

void RunSteps(TCompile& model, Stream& file) {
    TUnInstall record;
    // What earlier installations of this package recorded comes first (found in
    // the installation folder, never the current folder); this installation's
    // entries that repeat it are not added again.
    std::string uninstaller = UninstallerPathFor(model);
    MergeEarlierRecords(record, uninstaller.empty() ? "" : RecordPathFor(uninstaller), model.PackageId);
    ProcessMessages();
    record.SetProjectName(model.ItemName);
    record.SetPackageId(model.PackageId);
    InstallRun run{model, file, record, GetOSVersionText(), "", {}};
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

}  // namespace

void Install(TCompile& model) {
    Stream& file = model.PackageFile();
    model.Failures = model.LeftOut;
    // Every item's chunk lengths and small chunks are read through one buffer.
    ReadAheadStream setup(file);
    // Everything the run changes goes through the journal until it ends.
    InstallJournal journal;
    try {
        RunSteps(model, setup);
    } catch (const Error& e) {
        // What was collected so far has been undone with the rest.
        model.Failures.clear();
        std::vector<std::string> left = journal.Rollback();
        if (left.empty()) throw;
        std::string message = std::string(e.what()) + "\r\n未能撤销的更改：";
        for (const std::string& item : left) message += "\r\n" + item;
        throw Error(e.Kind(), message);
    } catch (...) {
        model.Failures.clear();
        journal.Rollback();
        throw;
    }
    journal.Commit();
}

}  // namespace setup
