#include "engine/install.h"

#include <functional>

#include "engine/install_journal.h"
#include "package/install_paths.h"

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

void FinishRun(TCompile& model) {
    std::string folder = model.TempFolders.empty() ? std::string() : model.TempFolders.front();
    model.DeleteTempFiles();
    if (folder.empty() || model.PackageId.empty()) return;
    // Only the pointer to this run's journal: one to an earlier run's is
    // for the next installation to follow.
    std::optional<std::string> pointer =
        OS().Registry().ReadString(kHkeyLocalMachine, UninstallKeyPath(model.PackageId), journal::kJournalValue);
    if (pointer && EqualsNoCase(FolderPart(*pointer), folder)) {
        journal::RemoveJournalPointer(OS().Registry(), model.PackageId);
    }
}

void Install(TCompile& model) {
    Stream& file = model.PackageFile();
    model.Failures = model.LeftOut;
    model.ReplacedAtRestart.clear();
    model.RestartNeeded = false;
    // An earlier run of this package that never came to its end is finished
    // first: undone, or, where it had committed, cleared of its backups.
    journal::Recovery recovery = journal::RecoverUnfinishedRun(model.PackageId);
    for (const std::string& left : recovery.Left) model.Failures.push_back(InstallFailure{left, ""});
    // Every item's chunk lengths and small chunks are read through one buffer.
    ReadAheadStream setup(file);
    // Everything the run changes goes through the journal until it ends; the
    // journal is kept in the run's own temporary folder as well.
    InstallJournal journal;
    // Where the run has no folder yet, the pointer to the journal is written
    // before the folder is made, so that a run ending in between leaves
    // nothing the next one does not find.
    bool hasFolder = !model.TempFolders.empty();
    std::string folder = hasFolder ? model.TempFolders.front() : model.NewRunFolderName();
    std::function<bool()> makeFolder;
    if (!hasFolder) makeFolder = [&model, folder] { return model.MakeRunFolder(folder); };
    journal.KeepOnDisk(folder + "\\" + journal::kJournalFileName, model.PackageId, makeFolder);
    journal.KeepPointerAtEnd(!model.TempFiles.empty());
    try {
        RunSteps(model, setup);
    } catch (const Error& e) {
        // What was collected so far has been undone with the rest.
        model.Failures.clear();
        model.ReplacedAtRestart.clear();
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
    model.RestartNeeded = recovery.RestartNeeded || journal.RestartNeeded() || !model.ReplacedAtRestart.empty();
}

}  // namespace setup
