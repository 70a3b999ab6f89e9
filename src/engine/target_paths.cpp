#include "engine/target_paths.h"

#include <algorithm>

#include "engine/uninstall_record.h"
#include "platform/common.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

namespace {
const char kProgramFilesRoot[] = "目标计算机\\Program Files\\";
const char kWindowsRoot[] = "目标计算机\\Windows\\";
const char kGivenRoot[] = "指定目录\\";
// Prefixes of registry value texts (the separator after them is dropped with
// them) and of a destination in the system folder.
const char kWindowsPrefix[] = "[windows]";
const char kInstallDirPrefix[] = "[安装目录]";
const char kSystemDirectoryPrefix[] = "[System Directory]\\\\";

// The byte length of a GBK literal.
template <size_t N>
constexpr size_t LengthOf(const char (&)[N]) {
    return N - 1;
}

// What follows the first count bytes of text; empty when nothing does.
std::string After(const std::string& text, size_t count) { return text.size() > count ? text.substr(count) : ""; }
}  // namespace

std::string GraftOnInstallDir(const std::string& installDir, const std::string& rest) {
    std::vector<std::string> install = SplitPath(installDir);
    std::vector<std::string> restPieces = SplitPath(rest);
    std::string result;
    if (restPieces.empty()) {
        result = installDir + "\\" + rest;
    } else if (install.empty()) {
        // No installation folder to graft on: the packaged tree stands alone.
        result = rest;
    } else {
        std::string prefix;
        for (size_t k = 0; k < install.size(); ++k) {
            if (EqualsNoCase(install[k], restPieces[0])) {
                result = prefix.empty() ? rest : prefix + "\\" + rest;
                break;
            }
            prefix = k == 0 ? install[k] : prefix + "\\" + install[k];
            if (k + 1 == install.size()) result = prefix + "\\" + rest;
        }
    }
    return StripTrailingSeparator(result);
}

std::string ResolveTargetFolder(const std::string& virtualFolder, const std::string& installDir, TUnInstall& record) {
    std::string text = virtualFolder;
    auto created = [&] {
        if (!OS().Files().FolderExists(text)) record.CreateFoldersLogged(text);
    };
    // Each root is found anywhere in the text, but the removal counts from its start.
    if (ContainsNoCase(text, kProgramFilesRoot)) {
        text = GraftOnInstallDir(installDir, After(text, LengthOf(kProgramFilesRoot)));
        created();
    }
    if (ContainsNoCase(text, kWindowsRoot)) {
        text = StripTrailingSeparator(GetWindowsFolder() + "\\" + After(text, LengthOf(kWindowsRoot)));
        created();
    }
    if (ContainsNoCase(text, kGivenRoot)) {
        text = StripTrailingSeparator(After(text, LengthOf(kGivenRoot)));
        created();
    }
    return text;
}

std::string ExpandRegistryText(const std::string& value, const std::string& installDir) {
    std::string result = value;
    if (StartsWithNoCase(value, kWindowsPrefix)) {
        result = GetWindowsFolder() + "\\" + After(value, LengthOf(kWindowsPrefix) + 1);
    }
    if (StartsWithNoCase(value, kInstallDirPrefix)) {
        result = installDir + "\\" + After(value, LengthOf(kInstallDirPrefix) + 1);
    }
    return result;
}

std::string ExpandSystemDirectory(const std::string& destination) {
    if (!ContainsNoCase(destination, kSystemDirectoryPrefix)) return destination;
    return GetWindowsFolder() + "\\" + After(destination, LengthOf(kSystemDirectoryPrefix));
}

bool SystemDestinationAllowed(const std::string& destination) {
    // Windows separates levels with "/" as well, and drops the dots and
    // blanks that end a level: "..." and ". ." are taken for "..".
    for (const std::string& part : SplitOn(destination, '\\')) {
        for (const std::string& level : SplitOn(part, '/')) {
            if (level.find_first_not_of(". ") == std::string::npos &&
                std::count(level.begin(), level.end(), '.') >= 2) {
                return false;
            }
        }
    }
    if (ContainsNoCase(destination, kSystemDirectoryPrefix)) {
        // What follows the macro lies inside the Windows folder: a drive, a
        // share or a stream name there would leave it, and nothing at all
        // names the Windows folder itself.
        std::string rest = After(destination, LengthOf(kSystemDirectoryPrefix));
        if (rest.find(':') != std::string::npos) return false;
        if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) return false;
        return rest.find_first_not_of("\\/") != std::string::npos;
    }
    // Without the macro the destination is taken as written: a full path (a
    // relative one counts from the current folder). A colon names the drive
    // and nothing else, never a stream of an existing file.
    size_t colon = destination.find(':');
    if (colon != std::string::npos && (colon != 1 || destination.find(':', 2) != std::string::npos)) return false;
    std::vector<std::string> levels;
    for (const std::string& part : SplitOn(destination, '\\')) {
        for (const std::string& level : SplitOn(part, '/')) {
            if (!level.empty()) levels.push_back(level);
        }
    }
    // A root: nothing, a drive, or a share (two levels after "\\\\").
    bool share = destination.size() >= 2 && (destination[0] == '\\' || destination[0] == '/') &&
                 (destination[1] == '\\' || destination[1] == '/');
    if (levels.empty()) return false;
    if (colon == 1 && levels.size() == 1) return false;
    if (share && levels.size() <= 2) return false;
    return true;
}

std::string ResolveShortcutFolder(const std::string& folder, const std::string& startFolder) {
    std::vector<std::string> pieces = SplitPath(folder);
    if (pieces.empty()) return "";
    std::string result;
    if (EqualsNoCase(pieces[0], "开始菜单")) {
        result = GetSpecialFolder(kCsidlPrograms) + "\\" + startFolder;
    } else if (EqualsNoCase(pieces[0], "桌面")) {
        result = GetSpecialFolder(kCsidlDesktop);
    } else if (EqualsNoCase(pieces[0], "快速启动栏")) {
        result = GetQuickLaunchFolder();
    } else {
        return "";
    }
    for (size_t i = 1; i < pieces.size(); ++i) result += "\\" + pieces[i];
    return result;
}

}  // namespace setup
