#include "package/item_rules.h"

#include "package/install_paths.h"
#include "platform/os.h"
#include "platform/registry_roots.h"
#include "platform/text.h"

namespace setup {

namespace {

const char kProgramFilesRoot[] = "目标计算机\\Program Files\\";
const char kWindowsRoot[] = "目标计算机\\Windows\\";
const char kAbsoluteRoot[] = "指定目录\\";
const char kMachine[] = "目标计算机";
const char kRootsHint[] =
    "目标计算机\\Program Files\\, 目标计算机\\Windows\\ or 指定目录\\ and a folder with its drive";

// The longest standard folders: a 20-character user name (the longest
// Windows allows) in the XP profile folder or the Windows 7 one.
const std::string kUser(20, 'u');
const std::string kXpProfile = "C:\\Documents and Settings\\" + kUser;
const std::string kProgramFiles = "C:\\Program Files (x86)";
const std::string kWindows = "C:\\Windows";
const std::string kDesktop = kXpProfile + "\\Desktop";
const std::string kAppData = kXpProfile + "\\Application Data";
const std::string kQuickLaunch = kAppData + kQuickLaunchBelowAppData;
const std::string kPrograms = "C:\\Users\\" + kUser + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Whether the text is well-formed GBK: every lead byte has its trail byte.
bool IsValidGbk(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0x80 || c == 0xFF) return false;
        if (!IsLeadByte(c)) continue;
        if (i + 1 >= text.size() || !IsTrailByte(static_cast<unsigned char>(text[i + 1]))) return false;
        ++i;
    }
    return true;
}

// Splits at single-byte separators only: the trail byte of a double-byte
// character may be the separator's byte and is part of its character.
// Empty pieces are dropped, as the engine drops them.
std::vector<std::string> SplitLevels(std::string_view text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(c) && i + 1 < text.size()) {
            piece += text.substr(i, 2);
            ++i;
        } else if (c == '\\') {
            if (!piece.empty()) pieces.push_back(piece);
            piece.clear();
        } else {
            piece += static_cast<char>(c);
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The levels below a root, each a valid name, and (authoring rules) the
// expanded path's length: the machine a package lands on may well have a
// shorter folder than the longest one it could have, and a path Windows
// refuses fails there as any write does.
std::string CheckLevels(const std::string& expandedRoot, std::string_view rest, std::string_view fileName,
                        RuleSet rules) {
    std::string expanded = expandedRoot;
    for (const std::string& level : SplitLevels(rest)) {
        std::string problem = CheckName(level);
        if (!problem.empty()) return "has the folder " + Quoted(level) + ", which " + problem;
        expanded += "\\" + level;
    }
    if (!fileName.empty()) {
        std::string problem = CheckName(fileName);
        if (!problem.empty()) return "installs the file " + Quoted(fileName) + ", which " + problem;
        expanded += "\\" + std::string(fileName);
    }
    size_t length = GbkCharCount(expanded);
    if (rules == RuleSet::Authoring && length > kMaxPathChars) {
        return "makes a path of " + std::to_string(length) + " characters below " + expandedRoot +
               ", longer than the " + std::to_string(kMaxPathChars) + " Windows allows";
    }
    return "";
}

bool LooksAbsolute(std::string_view text) {
    if (text.size() >= 2 && text[1] == ':' &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        return true;
    }
    return !text.empty() && (text[0] == '\\' || text[0] == '/');
}

std::string ShortcutFolderExpansion(const std::string& first, const TargetLimits& limits) {
    if (EqualsNoCase(first, "开始菜单")) return limits.StartMenu;
    if (EqualsNoCase(first, "桌面")) return kDesktop;
    return kQuickLaunch;
}

}  // namespace

std::string ComparablePath(std::string_view path) {
    std::string result;
    for (const std::string& level : SplitLevels(path)) result += (result.empty() ? "" : "\\") + AsciiLowerCase(level);
    return result;
}

TargetLimits TargetLimits::FromModel(const TCompile& model) {
    TargetLimits limits;
    std::string defaultPath, startFolder;
    for (const auto& setting : model.InfoList) {
        if (setting->Group == igInstallDir && setting->Key == "默认安装路径") defaultPath = setting->Value;
        if (setting->Group == igStartFolder && setting->Key == "默认文件夹名称") startFolder = setting->Value;
    }
    std::vector<std::string> pieces = SplitLevels(defaultPath);
    if (!pieces.empty()) {
        if (EqualsNoCase(pieces[0], "[System ProgramFiles]") || EqualsNoCase(pieces[0], "[Run]")) {
            // The setup program's own folder is unknown; Program Files stands in for it.
            limits.InstallDir = kProgramFiles;
        } else if (EqualsNoCase(pieces[0], "[System Desk]")) {
            limits.InstallDir = kDesktop;
        } else {
            limits.InstallDir = pieces[0];
        }
        for (size_t i = 1; i < pieces.size(); ++i) limits.InstallDir += "\\" + pieces[i];
    }
    if (!startFolder.empty()) limits.StartMenu = kPrograms + "\\" + startFolder;
    return limits;
}

size_t GbkCharCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i, ++count) {
        if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
    }
    return count;
}

std::string CheckPackageIdentity(std::string_view id) {
    bool ok = id.size() == 36;
    for (size_t i = 0; ok && i < id.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        ok = dash ? id[i] == '-' : ((id[i] >= '0' && id[i] <= '9') || (id[i] >= 'A' && id[i] <= 'F'));
    }
    if (ok) return "";
    if (id.empty()) return "is empty; it must be a GUID such as 0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
    return Quoted(id) + " is not a GUID such as 0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
}

std::string CheckName(std::string_view name) {
    if (name.empty()) return "is empty";
    if (!IsValidGbk(name)) return "is not valid GBK text";
    if (name == "." || name == "..") return "would leave its folder";
    size_t lastStart = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        lastStart = i;
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c)) {
            ++i;  // the trail byte belongs to its character, whatever its value
            continue;
        }
        if (c < 0x20) return "holds a control character, which Windows does not allow in names";
        if (std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos) {
            return std::string("holds the character ") + static_cast<char>(c) +
                   ", which Windows does not allow in names";
        }
    }
    if (lastStart == name.size() - 1 && (name.back() == '.' || name.back() == ' ')) {
        return "ends with a dot or a blank, which Windows drops";
    }
    // The device names are reserved with any extension: "nul.txt" is the device too.
    std::string base = AsciiUpperCase(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    bool device = false;
    for (const char* d : kDevices) device = device || base == d;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
        base[3] <= '9') {
        device = true;
    }
    if (device) return "is the name of a device (" + base + "), which Windows reserves";
    if (GbkCharCount(name) > kMaxNameChars) return "is longer than " + std::to_string(kMaxNameChars) + " characters";
    return "";
}

std::string CheckTargetPath(std::string_view folder, std::string_view fileName, const TargetLimits& limits,
                            RuleSet rules) {
    if (!IsValidGbk(folder)) return "is not valid GBK text";
    if (folder.empty()) return std::string("is empty; it must begin with ") + kRootsHint;
    std::string expandedRoot;
    std::string_view rest;
    if (StartsWithNoCase(folder, kProgramFilesRoot)) {
        expandedRoot = limits.InstallDir;
        rest = folder.substr(sizeof kProgramFilesRoot - 1);
    } else if (StartsWithNoCase(folder, kWindowsRoot)) {
        expandedRoot = kWindows;
        rest = folder.substr(sizeof kWindowsRoot - 1);
    } else if (StartsWithNoCase(folder, kAbsoluteRoot)) {
        rest = folder.substr(sizeof kAbsoluteRoot - 1);
        if (rest.size() >= 2 && (rest[0] == '\\' || rest[0] == '/') && (rest[1] == '\\' || rest[1] == '/')) {
            return "is a network path; a target must be a folder on a drive of the machine";
        }
        bool drive = rest.size() >= 2 && rest[1] == ':' &&
                     ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z')) &&
                     (rest.size() == 2 || rest[2] == '\\');
        if (!drive) return "must give a folder with its drive after 指定目录\\ (such as 指定目录\\D:\\Apps)";
        expandedRoot = std::string(rest.substr(0, 2));
        rest = rest.substr(2);
    } else if (LooksAbsolute(folder)) {
        return std::string("is an absolute path; a target begins with ") + kRootsHint;
    } else {
        return std::string("must begin with ") + kRootsHint;
    }
    // The engine looks for each root anywhere in the text, one after the other,
    // so a second root would move the target somewhere else again.
    for (const char* root : {kProgramFilesRoot, kWindowsRoot, kAbsoluteRoot}) {
        if (ContainsNoCase(rest, root)) return "holds a second root after its first";
    }
    return CheckLevels(expandedRoot, rest, fileName, rules);
}

std::string CheckRegistryKey(std::string_view key, RuleSet rules) {
    if (!IsValidGbk(key)) return "is not valid GBK text";
    std::vector<std::string> levels = SplitLevels(key);
    if (levels.empty()) return "is empty";
    if (rules == RuleSet::Authoring && !EqualsNoCase(levels[0], kMachine)) {
        return "must begin with 目标计算机\\ and a root such as HKEY_LOCAL_MACHINE";
    }
    if (levels.size() < 2) return "names no root after 目标计算机\\";
    if (!RootKeyFromName(levels[1], RootNameForms::LongOnly)) {
        return "names the root " + Quoted(levels[1]) + ", which is none of " + RootKeyNameList();
    }
    if (levels.size() < 3) return "names no key below its root";
    if (rules == RuleSet::Machine) return "";
    for (size_t i = 2; i < levels.size(); ++i) {
        if (GbkCharCount(levels[i]) > kMaxNameChars) {
            return "has a level longer than " + std::to_string(kMaxNameChars) + " characters";
        }
    }
    return "";
}

std::string CheckRegistryData(uint8_t valueType, std::string_view data, RuleSet rules) {
    if (rules == RuleSet::Machine) return "";
    switch (valueType) {
        case rvString:
            return "";
        case rvDword: {
            if (data.empty()) return "has empty REG_DWORD data";
            for (char c : data) {
                if (!IsHexDigit(c)) return "has REG_DWORD data " + Quoted(data) + ", which is not a hexadecimal number";
            }
            size_t first = data.find_first_not_of('0');
            if (first != std::string_view::npos && data.size() - first > 8) {
                return "has REG_DWORD data " + Quoted(data) + ", which does not fit 32 bits";
            }
            return "";
        }
        case rvBinary:
            for (char c : data) {
                if (!IsHexDigit(c)) return "has REG_BINARY data that is not hexadecimal bytes";
            }
            if (data.size() % 2 != 0) return "has REG_BINARY data with an odd number of hexadecimal digits";
            return "";
        default:
            return "has the unknown value type " + std::to_string(valueType);
    }
}

std::string CheckShortcutFolder(std::string_view folder) {
    if (!IsValidGbk(folder)) return "is not valid GBK text";
    std::vector<std::string> levels = SplitLevels(folder);
    if (levels.empty() || !(EqualsNoCase(levels[0], "开始菜单") || EqualsNoCase(levels[0], "桌面") ||
                            EqualsNoCase(levels[0], "快速启动栏"))) {
        return "must begin with 开始菜单, 桌面 or 快速启动栏";
    }
    for (size_t i = 1; i < levels.size(); ++i) {
        std::string problem = CheckName(levels[i]);
        if (!problem.empty()) return "has the folder " + Quoted(levels[i]) + ", which " + problem;
    }
    return "";
}

std::string CheckShortcutPlacement(const TShotCutData& shortcut, const TargetLimits& limits, RuleSet rules) {
    std::string problem = CheckShortcutFolder(shortcut.Folder);
    if (!problem.empty()) return "has a folder that " + problem;
    // A kind the setup program does not know makes nothing.
    if (rules == RuleSet::Authoring && shortcut.Kind > 2) {
        return "has the unknown kind " + std::to_string(shortcut.Kind);
    }
    problem = CheckName(shortcut.Name);
    if (!problem.empty()) return "has a name that " + problem;
    if (rules == RuleSet::Machine) {
        if (shortcut.Kind == skInternetShortcut && (HasLineBreak(shortcut.Target) || HasLineBreak(shortcut.IconFile))) {
            return "holds a line break in the address or icon its internet shortcut file writes as lines";
        }
    } else if (HasLineBreak(shortcut.Target) || HasLineBreak(shortcut.IconFile) || HasLineBreak(shortcut.Arguments) ||
               HasLineBreak(shortcut.Description)) {
        return "holds a line break in its target, icon, arguments or description";
    }
    std::vector<std::string> levels = SplitLevels(shortcut.Folder);
    std::string expandedRoot = ShortcutFolderExpansion(levels[0], limits);
    std::string rest;
    for (size_t i = 1; i < levels.size(); ++i) rest += "\\" + levels[i];
    return CheckLevels(expandedRoot, rest, shortcut.Name + (shortcut.Kind == skInternetShortcut ? ".url" : ".lnk"),
                       rules);
}

std::string StartFolderProblem(std::string_view folder) {
    if (!IsValidGbk(folder)) return "文件夹名称含有无法识别的字符。";
    if (LooksAbsolute(folder) || (folder.size() >= 2 && folder[1] == ':')) {
        return "只能填写开始菜单“程序”文件夹中的文件夹名称，不能是驱动器或以“\\”开头的路径。";
    }
    for (const std::string& level : SplitLevels(folder)) {
        if (level == "." || level == "..") return "文件夹名称不能是“.”或“..”。";
        std::string problem = CheckName(level);
        if (problem.empty()) continue;
        if (problem.find("device") != std::string::npos) {
            return "“" + level + "”是 Windows 保留的设备名称，不能用作文件夹名称。";
        }
        if (problem.find("ends with") != std::string::npos) {
            return "文件夹名称“" + level + "”不能以句点或空格结尾。";
        }
        if (problem.find("longer") != std::string::npos) {
            return "文件夹名称“" + level + "”太长，不能超过 " + std::to_string(kMaxNameChars) + " 个字符。";
        }
        return "文件夹名称“" + level + "”不能包含控制字符或下列字符：/ : * ? \" < > |";
    }
    return "";
}

bool IsAddress(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2 || colon + 1 >= text.size() || HasLineBreak(text)) return false;
    for (size_t i = 0; i < colon; ++i) {
        char c = text[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool other = i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
        if (!letter && !other) return false;
    }
    return true;
}

std::string InstalledName(const TCompileFileData& item) {
    std::vector<std::string> levels = SplitLevels(item.Source);
    return levels.empty() ? "" : levels.back();
}

std::string CheckFileItem(const TCompileFileData& item, const TargetLimits& limits, RuleSet rules) {
    switch (item.Kind) {
        case fkFile:
            return CheckTargetPath(item.TargetDir, InstalledName(item), limits, rules);
        case fkFolder:
            return CheckTargetPath(item.TargetDir, "", limits, rules);
        case fkRegFile:
        case fkInfoFile:
        case fkUnInsFile: {
            std::string problem = CheckName(InstalledName(item));
            return problem.empty() ? "" : "is written under a name that " + problem;
        }
        case fkCompFile: {
            std::string problem = CheckName(item.Name);
            if (!problem.empty()) return "belongs to a component whose name " + problem;
            // The component's files keep their levels below the component's
            // folder: the setup program takes what follows its length.
            if (item.Source.size() <= item.TargetDir.size()) {
                return "does not lie below its component's folder " + Quoted(item.TargetDir);
            }
            if (rules == RuleSet::Authoring && !StartsWithNoCase(item.Source, item.TargetDir)) {
                return "does not lie below its component's folder " + Quoted(item.TargetDir);
            }
            for (const std::string& level : SplitLevels(std::string_view(item.Source).substr(item.TargetDir.size()))) {
                problem = CheckName(level);
                if (!problem.empty()) return "has the level " + Quoted(level) + ", which " + problem;
            }
            return "";
        }
        default:
            // The setup program passes over a kind it does not know.
            return rules == RuleSet::Authoring ? "has the unknown kind " + std::to_string(item.Kind) : "";
    }
}

std::string CheckRegistryValue(const TRegInfoData& value, RuleSet rules) {
    std::string problem = CheckRegistryKey(value.Key, rules);
    if (!problem.empty()) return "has a key that " + problem;
    return CheckRegistryData(value.ValueType, value.Data, rules);
}

}  // namespace setup
