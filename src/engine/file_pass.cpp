// The folder and file passes: every listed folder, then every packaged file
// written into its target folder with its target-system filter and overwrite
// rule, recorded for the uninstaller, and every reference to it re-pointed at
// the installed copy.
#include <unordered_map>

#include "engine/install.h"
#include "engine/target_paths.h"
#include "package/item_inflater.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/messages.h"
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
    TCompile& model = run.Model;
    FilesApi& files = OS().Files();
    const std::string& installDir = model.InstallData.InstallDir;
    std::vector<std::string> folders;
    if (!files.FolderExists(installDir)) run.Record.CreateFoldersLogged(installDir);
    folders.push_back(installDir);
    for (const std::string& folder : model.FileFolderList) {
        folders.push_back(ResolveTargetFolder(folder, installDir, run.Record));
    }
    for (const auto& item : model.FileList) {
        if (item->Kind == fkFolder) {
            folders.push_back(ResolveTargetFolder(item->TargetDir + "\\" + item->Name, installDir, run.Record));
        }
    }
    // A folder that could not be made is reported once, however many lists name it.
    std::vector<std::string> reported;
    for (const std::string& folder : folders) {
        if (folder.empty() || files.FolderExists(folder)) continue;
        bool seen = false;
        for (const std::string& r : reported) seen = seen || EqualsNoCase(r, folder);
        if (seen) continue;
        reported.push_back(folder);
        run.Fail(folder, msg::CannotCreateFolder(folder));
    }
}

namespace {

// A name beside the target for the file being written: the target itself is
// replaced only once the new content is complete.
std::string TemporaryNameFor(const std::string& target) {
    FilesApi& files = OS().Files();
    std::string temp = target + ".~new";
    // A file or a folder of that name: one query answers both.
    for (int n = 2; files.GetAttributes(temp); ++n) temp = target + ".~new" + std::to_string(n);
    return temp;
}

// Writes the item's data into a new file and sets its time through the same
// handle; a failure removes what was written. Raises what went wrong.
void WriteNewFile(ItemInflater& inflater, size_t index, const TCompileFileData& item, std::unique_ptr<Stream> out,
                  const std::string& path) {
    try {
        inflater.WriteItem(index, *out);
        SetLastWriteTimeOf(*out, path, item.FileTime);
        out.reset();
    } catch (const Error&) {
        out.reset();
        OS().Files().DeleteFile(path);
        throw;
    }
}

// Writes the item's data to the target. The file is first created new at
// the target's name: where nothing has the name, that one call by name (and
// the handle it gives) is the whole work. Where an earlier file has it, the
// creation is refused; the data is then written under a temporary name and
// moved over the target, so the earlier file stays whole until then. A
// target that a running program holds is replaced when Windows restarts:
// the new content waits under its temporary name, which is returned. A
// failure leaves no partial file behind. Raises what went wrong.
std::string WriteInstalledFile(ItemInflater& inflater, size_t index, const TCompileFileData& item,
                               const std::string& target) {
    FilesApi& files = OS().Files();
    std::unique_ptr<Stream> out;
    try {
        out = OpenFile(target, OpenMode::CreateNew);
    } catch (const Error&) {
        // Refused for a reason other than the name being taken (no such
        // folder, no access): that is the failure to report.
        if (!files.GetAttributes(target)) throw;
    }
    if (out) {
        WriteNewFile(inflater, index, item, std::move(out), target);
        return "";
    }
    std::string temp = TemporaryNameFor(target);
    try {
        WriteNewFile(inflater, index, item, OpenFile(temp, OpenMode::CreateNew), temp);
        // Read-only, hidden or system files are replaced too: they are made
        // plain first, and keep their attributes when the replacement fails.
        // A folder of the target's name is left to the move, which refuses it.
        std::optional<uint32_t> found = files.GetAttributes(target);
        bool unplain = found && !(*found & kAttrDirectory) && (*found & (kAttrReadOnly | kAttrHidden | kAttrSystem));
        if (unplain) files.SetAttributes(target, kAttrNormal);
        try {
            files.MoveFile(temp, target, MoveMode::ReplaceExisting);
        } catch (const Error&) {
            if (unplain) files.SetAttributes(target, *found);
            if (files.InUse(target) && files.MoveAtRestart(temp, target)) return temp;
            throw;
        }
    } catch (const Error&) {
        if (files.FileExists(temp)) files.DeleteFile(temp);
        throw;
    }
    return "";
}

}  // namespace

void FilePass(InstallRun& run) {
    TCompile& model = run.Model;
    FilesApi& files = OS().Files();
    // Every target folder is resolved (and made) once, however many files go
    // into it: nothing else changes the folders while the pass runs.
    std::unordered_map<std::string, std::string> resolved;
    auto installs = [&run](const TCompileFileData& item) {
        return item.Kind == fkFile && (item.TargetOs.empty() || item.TargetOs == run.OsVersion);
    };
    // The data of the files is inflated on a second thread, in the order the
    // pass writes them, while this one writes and reports.
    std::vector<ItemDataRange> ranges;
    for (const auto& item : model.FileList) {
        if (installs(*item)) ranges.push_back(ItemDataRange{item->DataStart, item->DataEnd, item->FileSize});
    }
    ItemInflater inflater(run.SetupFile, std::move(ranges));
    size_t next = 0;
    for (size_t i = 0; i < model.FileList.size(); ++i) {
        TCompileFileData& item = *model.FileList[i];
        if (!installs(item)) continue;
        size_t index = next++;
        auto known = resolved.find(item.TargetDir);
        if (known == resolved.end()) {
            known = resolved
                        .emplace(item.TargetDir,
                                 ResolveTargetFolder(item.TargetDir, model.InstallData.InstallDir, run.Record))
                        .first;
        }
        const std::string& folder = known->second;
        std::string target = folder + "\\" + FileNamePart(item.Source);
        Repoint(model, item.Source, target);
        item.Source = target;

        if (item.NoOverwrite && files.FileExists(target)) {
            inflater.SkipItem(index);
        } else {
            // One file's failure (locked, disk full, damaged data) does not stop
            // the others; it is reported at the end.
            try {
                std::string waiting = WriteInstalledFile(inflater, index, item, target);
                run.Record.AddFile(target, !item.KeepOnUninstall);
                if (!waiting.empty()) {
                    // The uninstaller knows the waiting file too: it is gone
                    // after the restart, and removed with the rest before it.
                    run.Record.AddFile(waiting, true);
                    model.ReplacedAtRestart.push_back(target);
                    run.FailedFiles.push_back(target);
                }
            } catch (const Error& e) {
                if (e.Kind() == ErrorKind::SilentAbort) throw;
                // A COM server that could not be written is listed like any
                // other file; it gets no registration (FailedFiles), so
                // nothing half-registered is left behind.
                // A chunk that does not inflate says only "error"; the report names the cause.
                run.Fail(target,
                         e.Kind() == ErrorKind::Decompression ? msg::FileDataDoesNotInflate() : std::string(e.what()));
                run.FailedFiles.push_back(target);
            }
        }
        run.FileEvent(target, static_cast<int64_t>(i) + 1);
    }
}

}  // namespace setup
