// The folder and file passes: every listed folder, then every packaged file
// written into its target folder with its target-system filter and overwrite
// rule, recorded for the uninstaller, and every reference to it re-pointed at
// the installed copy.
#include "engine/install.h"
#include "engine/target_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

namespace {

void Repoint(TCompile& model, const std::string& from, const std::string& to) {
    for (const auto& shortcut : model.ShotCutList) {
        if (EqualsNoCase(shortcut->Target, from)) shortcut->Target = to;
        if (EqualsNoCase(shortcut->IconFile, from)) shortcut->IconFile = to;
    }
    TInstallData& data = model.InstallData;
    if (EqualsNoCase(data.AppFile, from)) data.AppFile = to;
    if (EqualsNoCase(data.ReadmeFile, from)) data.ReadmeFile = to;
}

}  // namespace

void FolderPass(InstallRun& run) {
    TCompile& model = run.model;
    const std::string& installDir = model.InstallData.InstallDir;
    if (!OS().Files().FolderExists(installDir)) run.record.CreateFoldersLogged(installDir);
    for (const std::string& folder : model.FileFolderList) ResolveTargetFolder(folder, installDir, run.record);
    for (const auto& item : model.FileList) {
        if (item->Kind == fkFolder) ResolveTargetFolder(item->TargetDir + "\\" + item->Name, installDir, run.record);
    }
}

void FilePass(InstallRun& run) {
    TCompile& model = run.model;
    FilesApi& files = OS().Files();
    for (size_t i = 0; i < model.FileList.size(); ++i) {
        TCompileFileData& item = *model.FileList[i];
        if (item.Kind != fkFile) continue;
        if (!item.TargetOs.empty() && item.TargetOs != run.osVersion) continue;
        std::string folder = ResolveTargetFolder(item.TargetDir, model.InstallData.InstallDir, run.record);
        std::string target = folder + "\\" + FileNamePart(item.Source);
        Repoint(model, item.Source, target);
        item.Source = target;

        bool write = true;
        if (files.FileExists(target)) {
            if (item.NoOverwrite) {
                write = false;
            } else {
                files.SetAttributes(target, kAttrNormal);
            }
        }
        if (write) {
            // One file's failure (locked, disk full) must not stop the others.
            try {
                {
                    std::unique_ptr<Stream> out = OpenFile(target, OpenMode::Create);
                    TCompile::ReadPackageData(run.setupFile, *out, item.DataStart, item.DataEnd);
                    run.record.AddFile(target, !item.KeepOnUninstall);
                }
                SetFileTimeOf(target, 2, item.FileTime);
            } catch (const Error& e) {
                if (e.Kind() == ErrorKind::SilentAbort) throw;
            }
        }
        run.FileEvent(target, static_cast<int64_t>(i) + 1);
    }
}

}  // namespace setup
