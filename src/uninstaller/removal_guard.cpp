#include "uninstaller/removal_guard.h"

#include <vector>

#include "platform/os.h"
#include "platform/text.h"

namespace setup {

namespace {

struct NormalPath {
    bool Unc = false;
    std::vector<std::string> Pieces;  // folded
};

NormalPath Normalize(const std::string& path) {
    NormalPath result;
    std::string text = path;
    for (size_t i = 0; i < text.size(); i += CharLengthAt(text, i)) {
        if (text[i] == '/' && CharLengthAt(text, i) == 1) text[i] = '\\';
    }
    if (StartsWithNoCase(text, "\\\\?\\UNC\\")) {
        text = "\\\\" + text.substr(8);
    } else if (StartsWithNoCase(text, "\\\\?\\") || StartsWithNoCase(text, "\\\\.\\")) {
        text = text.substr(4);
    }
    result.Unc = StartsWithNoCase(text, "\\\\");
    for (std::string piece : SplitOn(text, '\\')) {
        while (!piece.empty() && (piece.back() == '.' || piece.back() == ' ') &&
               IsCharBoundary(piece, piece.size() - 1)) {
            if (piece == "..") break;
            piece.pop_back();
        }
        if (piece.empty() || piece == ".") continue;
        if (piece == "..") {
            // ".." never climbs above the drive or the share.
            if (result.Pieces.size() > (result.Unc ? 2u : 1u)) result.Pieces.pop_back();
            continue;
        }
        result.Pieces.push_back(AsciiLowerCase(piece));
    }
    return result;
}

std::string Join(const NormalPath& path, size_t count) {
    std::string text = path.Unc ? "\\\\" : "";
    for (size_t i = 0; i < count && i < path.Pieces.size(); ++i) text += (i > 0 ? "\\" : "") + path.Pieces[i];
    return text;
}

bool OnDrive(const NormalPath& path) {
    return !path.Unc && !path.Pieces.empty() && path.Pieces[0].size() == 2 && path.Pieces[0][1] == ':';
}

}  // namespace

std::string NormalFolderPath(const std::string& path) {
    NormalPath normal = Normalize(path);
    return Join(normal, normal.Pieces.size());
}

RemovalGuard::RemovalGuard() {
    SystemApi& system = OS().System();
    std::vector<std::string> special;
    special.reserve(kCsidlEnd + 3);
    // Every shell folder identifier there is (the defined ones lie below 0x40).
    for (int csidl = 0; csidl < kCsidlEnd; ++csidl) special.push_back(system.GetSpecialFolderPath(csidl));
    special.push_back(system.GetWindowsDirectory());
    special.push_back(system.GetSystemDirectory());
    special.push_back(system.GetTempPath());
    for (const std::string& folder : special) {
        if (folder.empty()) continue;
        // The folders above a special folder stay too (C:\Users above a profile).
        NormalPath normal = Normalize(folder);
        for (size_t n = 1; n <= normal.Pieces.size(); ++n) folders_.insert(Join(normal, n));
    }
}

bool RemovalGuard::FolderProtected(const std::string& path) const {
    NormalPath normal = Normalize(path);
    if (normal.Unc ? normal.Pieces.size() <= 2 : (!OnDrive(normal) || normal.Pieces.size() <= 1)) return true;
    return folders_.count(Join(normal, normal.Pieces.size())) != 0;
}

std::string RemovalGuard::RootAbove(const std::string& path, const std::string& installDir) const {
    if (!OnDrive(Normalize(path)) || path.size() < 3 || path[2] != '\\') return "";
    // Always a leading part of path as it is spelled, so that the levels
    // below it are exactly the ones path goes through.
    std::string install = NormalFolderPath(installDir);
    bool protectedInstall = FolderProtected(installDir);
    std::string root = path.substr(0, 3);
    for (size_t i = 3; i < path.size(); i += CharLengthAt(path, i)) {
        if (path[i] != '\\' || CharLengthAt(path, i) != 1) continue;
        std::string folder = path.substr(0, i);
        if (!protectedInstall && !install.empty() && NormalFolderPath(folder) == install) return folder;
        if (FolderProtected(folder)) root = folder;
    }
    return root;
}

namespace {

// The system's own keys, folded, each under the view it is named in. The
// classes are one tree seen from three places; they are listed once under
// "classes\".
const char* const kSystemKeys[] = {
    // HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE\SOFTWARE\Classes, HKEY_CURRENT_USER\Software\Classes
    "classes",
    "classes\\*",
    "classes\\allfilesystemobjects",
    "classes\\appid",
    "classes\\applications",
    "classes\\clsid",
    "classes\\directory",
    "classes\\directory\\background",
    "classes\\directory\\shell",
    "classes\\drive",
    "classes\\exefile",
    "classes\\folder",
    "classes\\interface",
    "classes\\lnkfile",
    "classes\\mime",
    "classes\\mime\\database",
    "classes\\mime\\database\\content type",
    "classes\\protocols",
    "classes\\systemfileassociations",
    "classes\\typelib",
    "classes\\wow6432node",
    "classes\\wow6432node\\clsid",
    "classes\\wow6432node\\interface",
    "classes\\wow6432node\\typelib",
    // HKEY_LOCAL_MACHINE
    "hklm\\bcd00000000",
    "hklm\\components",
    "hklm\\drivers",
    "hklm\\hardware",
    "hklm\\sam",
    "hklm\\security",
    "hklm\\software",
    "hklm\\system",
    "hklm\\system\\currentcontrolset",
    "hklm\\system\\currentcontrolset\\control",
    "hklm\\system\\currentcontrolset\\services",
    "hklm\\software\\microsoft",
    "hklm\\software\\policies",
    "hklm\\software\\wow6432node",
    "hklm\\software\\wow6432node\\microsoft",
    // HKEY_CURRENT_USER
    "hkcu\\appevents",
    "hkcu\\console",
    "hkcu\\control panel",
    "hkcu\\environment",
    "hkcu\\eudc",
    "hkcu\\identities",
    "hkcu\\keyboard layout",
    "hkcu\\network",
    "hkcu\\printers",
    "hkcu\\software",
    "hkcu\\software\\microsoft",
    "hkcu\\software\\policies",
    "hkcu\\software\\wow6432node",
    "hkcu\\system",
    "hkcu\\volatile environment",
    // HKEY_CURRENT_CONFIG
    "hkcc\\software",
    "hkcc\\system",
};

// Below HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft and HKEY_CURRENT_USER\\Software\\Microsoft
// (and their 32-bit views) these are the system's too, with every level above them.
const char* const kSystemKeysBelowMicrosoft[] = {
    "windows\\currentversion\\run",       "windows\\currentversion\\runonce",   "windows\\currentversion\\runonceex",
    "windows\\currentversion\\uninstall", "windows\\currentversion\\app paths", "windows\\currentversion\\explorer",
    "windows\\currentversion\\policies",  "windows nt\\currentversion",         "internet explorer",
    "active setup\\installed components",
};

const std::unordered_set<std::string>& SystemKeys() {
    static const std::unordered_set<std::string> keys = [] {
        std::unordered_set<std::string> set(std::begin(kSystemKeys), std::end(kSystemKeys));
        for (const char* below : kSystemKeysBelowMicrosoft) {
            for (const char* microsoft :
                 {"hklm\\software\\microsoft", "hkcu\\software\\microsoft", "hklm\\software\\wow6432node\\microsoft"}) {
                std::string key = microsoft;
                for (const std::string& piece : SplitOn(below, '\\')) set.insert(key += "\\" + piece);
            }
        }
        return set;
    }();
    return keys;
}

}  // namespace

bool RemovalGuard::KeyProtected(uint32_t root, const std::string& subkey) {
    std::vector<std::string> pieces;
    for (const std::string& piece : SplitOn(subkey, '\\')) {
        if (!piece.empty()) pieces.push_back(AsciiLowerCase(piece));
    }
    if (pieces.empty()) return true;  // the root itself
    // Every key directly under HKEY_USERS is a user's hive (or its classes).
    if (root == kHkeyUsers && pieces.size() <= 2) return true;
    std::string key;
    size_t from = 0;
    if (root == kHkeyClassesRoot) {
        key = "classes";
    } else if ((root == kHkeyLocalMachine || root == kHkeyCurrentUser) && pieces.size() >= 2 &&
               pieces[0] == "software" && pieces[1] == "classes") {
        key = "classes";
        from = 2;
    } else if (root == kHkeyLocalMachine) {
        key = "hklm";
    } else if (root == kHkeyCurrentUser) {
        key = "hkcu";
    } else if (root == kHkeyCurrentConfig) {
        key = "hkcc";
    } else {
        return pieces.size() <= 1;  // performance data and the like: never below their top
    }
    for (size_t i = from; i < pieces.size(); ++i) key += "\\" + pieces[i];
    return SystemKeys().count(key) != 0;
}

}  // namespace setup
