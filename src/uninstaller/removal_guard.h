// What the uninstaller never removes, whatever a record says: a drive root, a
// shell special folder of this machine (and every folder above one), the
// Windows, system and temporary folders, a registry root and the system's own
// keys below the roots (HKEY_CLASSES_ROOT\CLSID, HKEY_LOCAL_MACHINE\SOFTWARE,
// ...\CurrentVersion\Run and the like). The record is checked against its digest before it is used; this is
// the second line, for a record that is genuine but names such a place.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

namespace setup {

class RemovalGuard {
public:
    // Collects the protected folders of the active platform's machine.
    RemovalGuard();
    // True for a folder that must stay: a protected one, a drive or share
    // root, or a path that names no folder on a drive (relative or empty).
    bool FolderProtected(const std::string& path) const;
    // True for a key that must not be deleted even when it is empty: a root,
    // a key of the system's own (in any of the views of the classes), a
    // user's hive under HKEY_USERS. A key a product created directly under a
    // root (a file type under HKEY_CLASSES_ROOT) is not protected.
    static bool KeyProtected(uint32_t root, const std::string& subkey);
    // The folder below which nothing on the way to path may be a link before
    // path is removed, as path spells it: installDir (itself included) when
    // path lies in it, else the deepest folder above path that is protected
    // (a special folder, at least the drive root "C:\\"). Empty for a path
    // on no drive.
    std::string RootAbove(const std::string& path, const std::string& installDir) const;

private:
    std::unordered_set<std::string> folders_;  // normalised (see NormalFolderPath)
};

// A folder path as Windows resolves it, for comparison: "\" and "/" both
// separate, empty and "." pieces are dropped, ".." goes up, trailing dots and
// blanks of a name are dropped, a "\\?\" prefix is ignored, ASCII letters are
// folded; pieces joined with "\". A UNC path keeps a leading "\\".
std::string NormalFolderPath(const std::string& path);

}  // namespace setup
