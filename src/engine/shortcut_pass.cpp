// The shortcut pass: the Start-menu folder and the listed shortcut folders,
// then every shell link and internet shortcut, never over an existing one
// that this installation did not write itself, each recorded for the uninstaller; quick-launch links are also pinned to
// the taskbar from Windows Vista on. Also the uninstaller's own shortcut.
#include "engine/install.h"
#include "engine/target_paths.h"
#include "package/item_rules.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

namespace {

// Whether the Start-menu entries are made: wanted, and in a folder that stays
// below the Programs folder (a name typed with ".." or a drive would put
// them, and the uninstaller's link, somewhere else, the Startup folder of
// every user for one).
bool StartMenuWanted(const TInstallData& data) {
    return data.CreateStartFolder && StartFolderProblem(data.StartFolder).empty();
}

// Entries for the desktop, the quick-launch bar or the Start menu are skipped
// when the user did not want those shortcuts.
bool Skipped(const std::string& folder, const TInstallData& data) {
    return (StartsWithNoCase(folder, "桌面") && !data.DesktopShortcut) ||
           (StartsWithNoCase(folder, "快速启动栏") && !data.QuickLaunchShortcut) ||
           (StartsWithNoCase(folder, "开始菜单") && !StartMenuWanted(data));
}

// The name for a new link: a link this product made in an earlier installation
// is replaced; any other file keeps its name and the link gets a free one.
std::string LinkName(const TUnInstall& record, const std::string& folder, const std::string& name,
                     const std::string& extension) {
    if (record.RecordedEarlier(folder + "\\" + name + extension)) return name;
    return FreeShortcutName(folder, name, extension);
}

}  // namespace

std::string FreeShortcutName(const std::string& folder, const std::string& name, const std::string& extension) {
    std::string candidate = name;
    for (int n = 1; OS().Files().FileExists(folder + "\\" + candidate + extension); ++n) {
        candidate += "(" + std::to_string(n) + ")";
    }
    return candidate;
}

bool WriteInternetShortcut(const std::string& name, const std::string& address, const std::string& folder,
                           const std::string& icon) {
    std::string text = "[InternetShortcut]\r\nURL=" + address + "\r\n";
    if (!icon.empty()) text += "IconFile=" + icon + "\r\nIconIndex=0\r\n";
    std::string path = (EndsWithChar(folder, '\\') ? folder : folder + "\\") + name + ".url";
    try {
        OpenFile(path, OpenMode::Create)->WriteBytes(text);
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::Os) throw;
        return false;
    }
    return true;
}

bool WriteShellLink(const std::string& folder, const std::string& linkFileName, const std::string& target,
                    const std::string& icon, const std::string& description, const std::string& arguments) {
    ShellLink link;
    link.ShowCommand = kSwShowNormal;
    link.IconPath = icon;
    link.IconIndex = 0;
    link.Arguments = arguments;
    link.Description = description;
    link.Path = target;
    link.WorkingDirectory = FolderPart(target);
    return OS().Shell().SaveShellLink(link, folder + "\\" + linkFileName);
}

void ShortcutPass(InstallRun& run) {
    TCompile& model = run.Model;
    const TInstallData& data = model.InstallData;
    FilesApi& files = OS().Files();
    if (!model.ShotCutFolderList.empty() || !model.ShotCutList.empty()) run.Message("正在创建快捷方式，请稍候...");
    std::string startProblem = StartFolderProblem(data.StartFolder);
    if (data.CreateStartFolder && !startProblem.empty()) {
        run.Fail(data.StartFolder, msg::StartFolderNoLinks(startProblem));
    }
    if (StartMenuWanted(data) && !data.StartFolder.empty()) {
        std::string folder = ResolveShortcutFolder("开始菜单\\", data.StartFolder);
        if (!files.FolderExists(folder)) run.Record.CreateFoldersLogged(folder);
    }
    for (const std::string& entry : model.ShotCutFolderList) {
        if (Skipped(entry, data)) continue;
        std::string folder = ResolveShortcutFolder(entry, data.StartFolder);
        if (!folder.empty() && !files.FolderExists(folder)) run.Record.CreateFoldersLogged(folder);
    }
    for (const auto& shortcut : model.ShotCutList) {
        if (Skipped(shortcut->Folder, data)) continue;
        std::string folder = ResolveShortcutFolder(shortcut->Folder, data.StartFolder);
        // A folder under none of the three roots has no place on this machine.
        if (folder.empty()) continue;
        // A standard folder this machine lacks (the quick-launch bar is not on
        // every system) is made and recorded, so that the shortcut is not lost
        // and the uninstaller removes the folder again once it is empty.
        if (!files.FolderExists(folder)) run.Record.CreateFoldersLogged(folder);
        if (shortcut->Kind == skInternetShortcut) {
            shortcut->Name = LinkName(run.Record, folder, shortcut->Name, ".url");
            std::string file = folder + "\\" + shortcut->Name + ".url";
            if (!WriteInternetShortcut(shortcut->Name, shortcut->Target, folder, shortcut->IconFile)) {
                run.Fail(file, msg::CannotSaveInternetShortcut());
            }
            run.Record.AddFile(file, true);
        } else if (shortcut->Kind == skShellLink || shortcut->Kind == skFolderLink) {
            shortcut->Name = LinkName(run.Record, folder, shortcut->Name, ".lnk");
            std::string path = shortcut->Target;
            std::string icon = shortcut->IconFile;
            if (shortcut->Kind == skFolderLink) {
                size_t cut = FindLastChar(path, '\\');
                path = cut == std::string::npos ? path : path.substr(0, cut + 1);
                icon.clear();
            }
            std::string link = folder + "\\" + shortcut->Name + ".lnk";
            if (!WriteShellLink(folder, shortcut->Name + ".lnk", path, icon, shortcut->Description,
                                shortcut->Arguments)) {
                run.Fail(link, msg::CannotSaveShortcut());
            }
            run.Record.AddFile(link, true);
            if (IsVistaOrLater(run.OsVersion) && ContainsNoCase(folder, kQuickLaunchBelowAppData)) {
                PinToTaskbar(link);
            }
        }
    }
}

std::string UninstallerPathFor(const TCompile& model) {
    std::string path;
    for (const auto& item : model.FileList) {
        if (item->Kind == fkUnInsFile) path = model.InstallData.InstallDir + "\\" + FileNamePart(item->Source);
    }
    return path;
}

void UninstallStep(InstallRun& run) {
    TCompile& model = run.Model;
    const TInstallData& data = model.InstallData;
    run.Message("正在写入反安装信息，请稍候...");
    for (const auto& item : model.FileList) {
        if (item->Kind != fkUnInsFile) continue;
        std::string path = data.InstallDir + "\\" + FileNamePart(item->Source);
        std::unique_ptr<Stream> out = OpenFile(path, OpenMode::Create);
        // The entry's size field means nothing: the chunks alone say how much.
        TCompile::ReadPackageData(run.SetupFile, *out, item->DataStart, item->DataEnd);
        run.UninstallerPath = path;
    }
    // Without an uninstaller there is nothing to register: an Uninstall entry
    // would list the product with no way to remove it, and the record would
    // have no reader.
    if (run.UninstallerPath.empty()) return;
    // The uninstall link goes into the product's Start-menu folder where that
    // exists (made by this run or found): a user who declined the Start-menu
    // entries gets none, and the product is still listed among the installed
    // programs.
    std::string folder = StripTrailingSeparator(GetSpecialFolder(kCsidlPrograms) + "\\" + data.StartFolder);
    if (StartFolderProblem(data.StartFolder).empty() && OS().Files().FolderExists(folder)) {
        std::string name = LinkName(run.Record, folder, "卸载“" + model.ItemName + "”", ".lnk");
        if (!WriteShellLink(folder, name + ".lnk", run.UninstallerPath, "", "", "")) {
            run.Fail(folder + "\\" + name + ".lnk", msg::CannotSaveShortcut());
        }
        run.Record.AddFile(folder + "\\" + name + ".lnk", true);
    }
    TUnInstall::WriteUninstallEntry(run.UninstallerPath, model.ItemName, data.InstallDir, model.PackageId, model.Author,
                                    model.Url, model.Version, model.Size);
    // The record and the digest that vouches for it go together: a record the
    // uninstaller would refuse for ever is not left behind (the run fails and
    // is undone instead).
    std::string digest = run.Record.SaveToFile(RecordPathFor(run.UninstallerPath));
    TUnInstall::WriteRecordDigest(model.PackageId, digest);
}

}  // namespace setup
