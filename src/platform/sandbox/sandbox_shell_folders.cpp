// The shell's folder tree on the simulated machine: the desktop, Computer
// with its drives, and the file-system folders below them, named as the
// Chinese Explorer names them.
#include <algorithm>
#include <cctype>

#include "platform/sandbox/sandbox_machine.h"
#include "platform/text.h"

namespace setup::sandbox {

namespace {

// Folders below a file-system folder, in name order as NTFS lists them.
std::vector<std::string> Subfolders(SandboxMachine& machine, const std::string& folder) {
    std::vector<std::string> names;
    for (const FolderEntry& entry : machine.Files().ListFolder(folder)) {
        if (entry.Attributes & kAttrDirectory) names.push_back(entry.Name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
    return names;
}

std::string DriveDisplayName(char letter, DriveType type) {
    std::string drive = std::string("(") + letter + ":)";
    switch (type) {
        case DriveType::Removable:
            return "可移动磁盘 " + drive;
        case DriveType::CdRom:
            return "DVD 驱动器 " + drive;
        case DriveType::Remote:
            return "网络驱动器 " + drive;
        default:
            return "本地磁盘 " + drive;
    }
}

std::string WithSeparator(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
}

}  // namespace

std::optional<ShellFolderItem> SandboxShell::ShellFolderOf(const std::string& id) {
    ShellFolderItem item;
    item.Id = id;
    item.HasSubfolders = true;
    if (id.empty()) {
        item.DisplayName = "桌面";
        item.Path = machine_.UserProfile() + "\\Desktop";
        return item;
    }
    if (id == kComputerFolderId) {
        item.DisplayName = "计算机";
        return item;
    }
    if (!machine_.Files().FolderExists(id)) return std::nullopt;
    item.Path = id;
    if (id.size() <= 3 && id.size() >= 2 && id[1] == ':') {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(id[0])));
        item.DisplayName = DriveDisplayName(letter, machine_.System().GetDriveType(std::string(1, letter) + ":\\"));
    } else {
        std::string trimmed = id.back() == '\\' ? id.substr(0, id.size() - 1) : id;
        size_t cut = FindLastChar(trimmed, '\\');
        item.DisplayName = cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
    }
    item.HasSubfolders = !Subfolders(machine_, id).empty();
    return item;
}

std::vector<ShellFolderItem> SandboxShell::ListShellFolders(const std::string& id) {
    std::vector<ShellFolderItem> items;
    if (id == kComputerFolderId) {
        for (const auto& [letter, drive] : machine_.Config().Drives) {
            if (drive.Missing) continue;
            std::string root = std::string(1, letter) + ":\\";
            if (std::optional<ShellFolderItem> item = ShellFolderOf(root)) items.push_back(*item);
        }
        return items;
    }
    std::string folder = id.empty() ? machine_.UserProfile() + "\\Desktop" : id;
    if (!machine_.Files().FolderExists(folder)) return items;
    for (const std::string& name : Subfolders(machine_, folder)) {
        if (std::optional<ShellFolderItem> item = ShellFolderOf(WithSeparator(folder) + name)) items.push_back(*item);
    }
    // The desktop holds Computer after the user's own folders.
    if (id.empty()) items.push_back(*ShellFolderOf(kComputerFolderId));
    return items;
}

}  // namespace setup::sandbox
