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

bool RemovalGuard::KeyProtected(const std::string& subkey) {
    size_t pieces = 0;
    for (const std::string& piece : SplitOn(subkey, '\\')) pieces += piece.empty() ? 0 : 1;
    return pieces <= 1;
}

}  // namespace setup
